#include "src/util/text_win32.hpp"

#include "src/util/unicode.hpp"

namespace vantrel::win32 {

std::wstring to_utf16(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), size);
    return wide;
}

std::optional<std::string> to_utf8(std::wstring_view utf16) {
    if (utf16.empty()) return std::string();
    // WC_ERR_INVALID_CHARS: a lone surrogate fails instead of turning silently into U+FFFD.
    const int size = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, utf16.data(),
                                         static_cast<int>(utf16.size()), nullptr, 0, nullptr, nullptr);
    if (size == 0) return std::nullopt;
    std::string utf8(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, utf16.data(), static_cast<int>(utf16.size()),
                        utf8.data(), size, nullptr, nullptr);
    return utf8;
}

std::string to_utf8_lossy(std::wstring_view utf16) {
    // The portable decoder: how the system replaces a lone surrogate differs between Windows versions
    // and Wine.
    return decode_utf16_lossy(std::u16string(utf16.begin(), utf16.end()));
}

std::string to_generalized_utf8(std::wstring_view utf16) {
    std::string text;
    std::size_t run = 0;  // where the valid UTF-16 not yet converted begins
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        const wchar_t unit = utf16[i];
        if (IS_HIGH_SURROGATE(unit) && i + 1 < utf16.size() && IS_LOW_SURROGATE(utf16[i + 1])) {
            ++i;
            continue;
        }
        if (unit < 0xD800 || unit > 0xDFFF) continue;  // a lone surrogate is written by hand
        text += to_utf8(utf16.substr(run, i - run)).value_or(std::string());
        text += static_cast<char>(0xE0 | (unit >> 12));
        text += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (unit & 0x3F));
        run = i + 1;
    }
    text += to_utf8(utf16.substr(run)).value_or(std::string());
    return text;
}

std::wstring from_generalized_utf8(std::string_view text) {
    std::wstring wide;
    std::size_t run = 0;  // where the UTF-8 not yet converted begins
    const auto byte = [text](std::size_t at) { return static_cast<unsigned char>(text[at]); };
    for (std::size_t i = 0; i + 2 < text.size(); ++i) {
        // ED A0..BF 80..BF: U+D800 to U+DFFF, which no valid UTF-8 holds.
        if (byte(i) != 0xED || (byte(i + 1) & 0xE0) != 0xA0 || (byte(i + 2) & 0xC0) != 0x80) continue;
        wide += to_utf16(text.substr(run, i - run));
        wide += static_cast<wchar_t>(0xD000 | ((byte(i + 1) & 0x3F) << 6) | (byte(i + 2) & 0x3F));
        i += 2;
        run = i + 1;
    }
    wide += to_utf16(text.substr(run));
    return wide;
}

}  // namespace vantrel::win32
