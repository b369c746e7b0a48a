#pragma once

#include "src/cli/command_line.hpp"

namespace vantrel {

// The real actions of the shipped executable, on the platform it was built for.
[[nodiscard]] CliActions shipped_actions();

}  // namespace vantrel
