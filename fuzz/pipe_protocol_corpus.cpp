// Writes the pipe fuzzer's starting corpus: the request shapes the unit tests check, one file each.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage : pipe_protocol_corpus DOSSIER\n", stderr);
        return 2;
    }
    const std::string requests[] = {
        "{\"op\":\"keyboard_read\"}\n",
        "{\"op\":\"keyboard_write\",\"level\":1}\n",
        "{\"op\":\"keyboard_write\",\"level\":7}",
        "{\"op\":\"keyboard_write\",\"level\":-1}",
        "{\"op\":\"keyboard_write\",\"level\":1.5}",
        "{\"op\":\"keyboard_write\",\"level\":\"1\"}",
        "{\"op\":\"keyboard_write\",\"level\":true}",
        "{\"op\":\"keyboard_write\",\"level\":null}",
        "{\"op\":\"keyboard_write\"}",
        "{\"op\":\"Keyboard_Read\"}",
        "{\"op\":\"lire \\\"\\u00e9\\\"\\u0007\"}",
        "{}",
        "\"keyboard_read\"",
        "42",
        "[{\"op\":\"keyboard_read\"}]",
        " \t\r\n{\"op\":\"keyboard_read\"}\n\t ",
        "\xE3\x80\x80{\"op\":\"keyboard_read\"}\xE2\x80\xA8",
        "{\"op\":\"keyboard_read\"}\n{\"op\":\"keyboard_read\"}\n",
        "\xEF\xBB\xBF{\"op\":\"keyboard_read\"}",
        "{\"op\":\"keyboard_read\xFF\"}",
        "{\"x\":[1,{\"y\":null}],\"op\":\"keyboard_write\",\"level\":2}",
        "{\"op\":\"\\ud800\"}",
    };
    int index = 0;
    for (const std::string& request : requests) {
        std::ofstream file(std::filesystem::path(argv[1]) / ("request-" + std::to_string(++index)), std::ios::binary);
        file.write(request.data(), static_cast<std::streamsize>(request.size()));
        if (!file) return 1;
    }
    return 0;
}
