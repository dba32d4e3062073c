#include "platform/Files.h"

#include <windows.h>
// windows.h first: shellapi.h needs its types.
#include <shellapi.h>

#include "platform/Text_win.h"

namespace tessera::platform {

// Built from UTF-16, so std::filesystem and the streams call the wide functions.
std::filesystem::path FsPath(const std::string& utf8) { return std::filesystem::path(win::Widen(utf8)); }

std::string Utf8Path(const std::filesystem::path& path) { return win::Narrow(path.native()); }

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    int count = 0;
    LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!wide) {
        // Not expected; the narrow arguments are better than none.
        if (argc < 1) return {};
        return std::vector<std::string>(argv + 1, argv + argc);
    }
    std::vector<std::string> args;
    for (int i = 1; i < count; ++i) args.push_back(win::Narrow(wide[i]));
    ::LocalFree(wide);
    return args;
}

}  // namespace tessera::platform
