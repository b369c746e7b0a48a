#pragma once
// The file-system side of the catalogue: listing a directory and reading a file, with the
// platform's own error texts ("{system message} (os error {code})").

#include <expected>
#include <string>
#include <vector>

#include "profiles/catalogue.hpp"

namespace vantrel {

// The names of the entries of `dir`, "." and ".." left out, in the order the system lists them.
// An entry the listing cannot name (a failed step, a name that is not valid UTF-16 on Windows)
// is skipped.
[[nodiscard]] std::expected<std::vector<std::string>, LoadError> list_directory(const std::string& dir);

// `dir` unchanged, then the platform's separator unless `dir` already ends with one, then `name`.
[[nodiscard]] std::string join_path(const std::string& dir, const std::string& name);

// The whole content of the file, as bytes.
[[nodiscard]] std::expected<std::string, LoadError> read_whole_file(const std::string& path);

}  // namespace vantrel
