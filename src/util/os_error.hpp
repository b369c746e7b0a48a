#pragma once
// The texts of operating-system errors, composed here for the whole system. Each shape is a contract
// that users and tests read byte for byte:
//   system_message(5)     "Access is denied."              the system's own words, alone
//   describe_os_error(5)  "Access is denied. (os error 5)" the words and the code, for files and streams
//   os_error_code(5)      "(code 5)"                       the code alone, after the system's step
//                                                          that failed (the service manager's calls)
// On Windows the words are FormatMessageW's (in UTF-8), on Linux strerror's.

#include <string>

namespace vantrel {

[[nodiscard]] std::string system_message(unsigned long code);
[[nodiscard]] std::string describe_os_error(unsigned long code);
[[nodiscard]] std::string os_error_code(unsigned long code);

}  // namespace vantrel
