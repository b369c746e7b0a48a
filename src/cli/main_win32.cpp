// Entry point of vantrel.exe: the wide command line converted to UTF-8, the standard streams
// written as raw UTF-8 (or UTF-16 on a console), and the exit code of the command line.
#include <windows.h>
#include <shellapi.h>

#include <ostream>
#include <string>
#include <vector>

#include "src/cli/command_line.hpp"
#include "src/cli/console_win32.hpp"
#include "src/cli/shipped_actions.hpp"
#include "src/util/text_win32.hpp"
#include "src/util/unique_handle_win32.hpp"

int wmain() {
    vantrel::win32::StandardHandleStreamBuf out_buf(STD_OUTPUT_HANDLE);
    vantrel::win32::StandardHandleStreamBuf err_buf(STD_ERROR_HANDLE);
    std::ostream out(&out_buf);
    std::ostream err(&err_buf);

    try {
        // The narrow argv is in the ANSI code page and loses characters: read the wide command line.
        int count = 0;
        const vantrel::win32::UniqueLocalMemory<wchar_t*> wide(CommandLineToArgvW(GetCommandLineW(), &count));
        std::vector<std::string> args;
        for (int i = 1; wide && i < count; ++i) {
            auto utf8 = vantrel::win32::to_utf8(wide.get()[i]);
            if (!utf8) {
                return vantrel::report_usage_error(
                    err, "argument " + std::to_string(i) + " illisible : texte UTF-16 mal formé");
            }
            args.push_back(std::move(*utf8));
        }
        return vantrel::run_command_line(args, vantrel::shipped_actions(), out, err);
    } catch (...) {
        return vantrel::report_escaped_exception(err);
    }
}
