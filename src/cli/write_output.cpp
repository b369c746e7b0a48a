#include "src/cli/write_output.hpp"

#include <ostream>

#include "src/cli/standard_stream.hpp"

namespace vantrel {

std::expected<void, std::string> write_output(std::string_view document, const std::optional<std::string>& out_path,
                                              std::ostream& out) {
    std::string text;
    text.reserve(document.size() + 1);
    text.append(document);
    text.push_back('\n');
    if (!out_path) {
        out << text;
        out.flush();
        // A full disk or a closed handle: the document did not arrive, which is no success.
        if (!out) return std::unexpected("écriture de la sortie standard : " + stream_failure_reason(out));
        return {};
    }
    const auto written = write_whole_file(*out_path, text);
    if (!written) return std::unexpected("écriture de " + *out_path + " : " + written.error());
    return {};
}

}  // namespace vantrel
