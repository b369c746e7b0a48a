#include "cli/write_output.hpp"

#include <ostream>

#include "cli/standard_stream.hpp"
#include "hal/os_error.hpp"

namespace vantrel {

std::string stream_failure_reason(const std::ostream& stream) {
    const auto* buffer = dynamic_cast<const StreamWriteError*>(stream.rdbuf());
    if (buffer == nullptr || buffer->write_error() == 0) return "écriture refusée par le flux";
    return describe_os_error(buffer->write_error());
}

int write_output(std::string_view document, const std::optional<std::string>& out_path, std::ostream& out,
                 std::ostream& err) {
    std::string text;
    text.reserve(document.size() + 1);
    text.append(document);
    text.push_back('\n');
    if (!out_path) {
        out << text;
        out.flush();
        // A full disk or a closed handle: the document did not arrive, which is no success.
        if (!out) {
            err << "erreur : écriture de la sortie standard : " << stream_failure_reason(out) << '\n';
            err.flush();
            return 1;
        }
        return 0;
    }
    const auto written = write_whole_file(*out_path, text);
    if (!written) {
        err << "erreur : écriture de " << *out_path << " : " << written.error() << '\n';
        err.flush();
        return 1;
    }
    return 0;
}

}  // namespace vantrel
