// Writes the backlight reader fuzzer's starting corpus: the outputs and replies of the unit tests.
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/backlight_samples.hpp"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder);
    int index = 0;
    for (const auto sample : vantrel::backlight_samples::OUTPUTS) {
        std::ofstream file(folder / ("sample-" + std::to_string(index++)), std::ios::binary);
        file.write(sample.data(), static_cast<std::streamsize>(sample.size()));
        if (!file) return 1;
    }
    return 0;
}
