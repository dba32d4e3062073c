#include "launcher/LaunchRules.h"

namespace tessera::launcher {

std::wstring ModuleDirectory(std::wstring_view modulePath) {
    const auto slash = modulePath.find_last_of(L'\\');
    if (slash == std::wstring_view::npos) return {};
    return std::wstring(modulePath.substr(0, slash));
}

bool Is64BitSystem(bool functionFound, bool callSucceeded, unsigned long lastError) {
    if (!functionFound) return false;
    if (callSucceeded) return true;
    return lastError != kErrorCallNotImplemented;
}

std::wstring_view InstallerName(bool is64Bit) { return is64Bit ? kInstaller64 : kInstaller32; }

std::wstring_view ArgumentsAfterProgramName(std::wstring_view commandLine) {
    std::size_t pos = 0;
    if (!commandLine.empty() && commandLine.front() == L'"') {
        const auto close = commandLine.find(L'"', 1);
        pos = close == std::wstring_view::npos ? commandLine.size() : close + 1;
    } else {
        const auto space = commandLine.find(L' ');
        pos = space == std::wstring_view::npos ? commandLine.size() : space;
    }
    return commandLine.substr(pos);
}

std::optional<std::wstring> ChildCommandLine(bool is64Bit, std::wstring_view ownCommandLine) {
    const std::wstring_view name = InstallerName(is64Bit);
    const std::wstring_view rest = ArgumentsAfterProgramName(ownCommandLine);
    if (name.size() + rest.size() + 1 > kCommandLineCapacity) return std::nullopt;
    std::wstring line(name);
    line += rest;
    return line;
}

}  // namespace tessera::launcher
