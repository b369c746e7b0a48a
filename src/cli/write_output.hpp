#pragma once
// Hands a rendered document over: on standard output, or into the `--out` file.

#include <expected>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel {

// Writes the document and one line feed to `out`, or into the file at `out_path` (created or
// replaced whole; the directories on the way are not created). The failure is
// "écriture de {path} : {reason}", {path} being "la sortie standard" when `out` refused the
// document.
[[nodiscard]] std::expected<void, std::string> write_output(std::string_view document,
                                                            const std::optional<std::string>& out_path,
                                                            std::ostream& out);

// Creates or truncates the file at `path` (UTF-8), writes every byte and closes it; the failure is
// the system's description of the error.
[[nodiscard]] std::expected<void, std::string> write_whole_file(const std::string& path, std::string_view bytes);

}  // namespace vantrel
