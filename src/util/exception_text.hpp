#pragma once
// What an exception that reaches an entry point (the command line, one pipe request) is told as.
// Nothing else catches them: lower layers return their failures as values, so an exception here
// is an allocation failure or something the code did not expect.

#include <string>

namespace vantrel {

// Only while an exception is being handled (inside a catch block): "mémoire insuffisante" for an
// allocation failure, "erreur inattendue : {description}" for another standard exception, and
// "erreur inattendue" for anything else.
[[nodiscard]] std::string describe_current_exception();

}  // namespace vantrel
