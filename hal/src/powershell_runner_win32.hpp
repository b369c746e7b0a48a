#pragma once
// Running PowerShell: one program, its arguments, a time limit; its exit code and its standard
// output back.

#include <windows.h>

#include <chrono>
#include <expected>
#include <string>
#include <vector>

#include "hal/src/hal_error.hpp"

namespace vantrel {

struct ProcessOutcome {
    DWORD exit_code;
    std::string standard_output;  // cut at a bound far above the one line the script prints
};

// Windows PowerShell by its absolute path, under the system directory.
[[nodiscard]] std::expected<std::wstring, HalError> system_powershell();

// Runs `program` (an absolute path: nothing is searched) without a window, standard input empty,
// standard output and standard error captured, and waits at most `limit` for it and everything it
// started. Standard error is read only so that the program never blocks on it.
[[nodiscard]] std::expected<ProcessOutcome, HalError> run_powershell(const std::wstring& program,
                                                                     const std::vector<std::string>& arguments,
                                                                     std::chrono::seconds limit);

}  // namespace vantrel
