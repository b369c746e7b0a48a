#pragma once
// The programs the Windows tests run (the stand-in PowerShell, vantrel.exe) are built beside the
// unit-test binary, in the build folder.

#include <string>
#include <string_view>

#include "src/util/executable_path_win32.hpp"
#include "src/util/text_win32.hpp"

namespace vantrel::test {

// The UTF-8 path of `name` in the folder of the running test binary.
inline std::string beside_test_binary(std::string_view name) {
    return *win32::to_utf8(win32::executable_directory().value()) + std::string(name);
}

}  // namespace vantrel::test
