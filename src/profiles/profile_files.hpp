#pragma once
// The file-system side of the catalogue: listing a directory and reading a file, with the
// platform's own error texts ("{system message} (os error {code})").

#include <cstddef>
#include <expected>
#include <string>
#include <vector>

#include "src/profiles/catalogue.hpp"

namespace vantrel {

// A profile is a few kilobytes; a file beyond this is refused before it is read, so that no file
// (a huge one, or a device that never ends) can exhaust memory.
inline constexpr std::size_t MAX_PROFILE_FILE_BYTES = 4 * 1024 * 1024;

// The names of the entries of `dir`, "." and ".." left out, in the order the system lists them.
// Every name is kept, also one without a UTF-8 form: natively its bytes as they are, on Windows
// its UTF-16 in the generalized UTF-8 that keeps a lone surrogate (so the file still opens and the
// names still sort by code point). A listing that cannot go on to its end is an error.
[[nodiscard]] std::expected<std::vector<std::string>, LoadError> list_directory(const std::string& dir);

// A path built from a listed name, as a message shows it: UTF-8, anything without a UTF-8 form
// replaced by U+FFFD.
[[nodiscard]] std::string display_path(const std::string& path);

// `dir` unchanged, then the platform's separator unless `dir` already ends with one, then `name`.
[[nodiscard]] std::string join_path(const std::string& dir, const std::string& name);

// The whole content of the file, as bytes. Only a regular file is read (a FIFO or a device would
// block or never end); one larger than MAX_PROFILE_FILE_BYTES is refused with
// "{path} : fichier trop volumineux pour un profil (plus de 4194304 octets)".
[[nodiscard]] std::expected<std::string, LoadError> read_whole_file(const std::string& path);

// How many threads may read and decode the files of one directory at once.
[[nodiscard]] std::size_t loading_threads();

[[nodiscard]] inline LoadError profile_too_large(const std::string& path) {
    return {display_path(path) + " : fichier trop volumineux pour un profil (plus de " +
            std::to_string(MAX_PROFILE_FILE_BYTES) + " octets)"};
}

}  // namespace vantrel
