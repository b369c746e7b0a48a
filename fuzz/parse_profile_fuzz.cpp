// libFuzzer target: any bytes as one profile file. Decoding and validation must return a value
// (a profile or an error) without crashing, leaking or tripping a sanitizer; a failure must carry
// the report's opening line.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "src/profiles/catalogue.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto parsed = vantrel::parse_profile(text);
    if (!parsed && parsed.error().kind == vantrel::ProfileErrorKind::Toml &&
        !parsed.error().message.starts_with("TOML invalide : TOML parse error at line "))
        std::abort();
    return 0;
}
