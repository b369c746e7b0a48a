#pragma once
// The text of an operating-system error as users see it wherever one reaches them:
// "{the system's description} (os error {code})". On Windows the description is FormatMessageW's
// (in UTF-8), on Linux strerror's.

#include <string>

namespace vantrel {

[[nodiscard]] std::string describe_os_error(unsigned long code);

}  // namespace vantrel
