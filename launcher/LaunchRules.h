#pragma once
// The decisions of the driver installer launcher, free of any system call so they can be
// checked on every platform. The Windows program (instlaunch_win.cpp) feeds them.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tessera::launcher {

// Room for the launcher's module path and for the child command line, terminator included.
inline constexpr std::size_t kPathCapacity = 2048;
inline constexpr std::size_t kCommandLineCapacity = 2048;

inline constexpr std::wstring_view kInstaller64 = L"dpinst64.exe";
inline constexpr std::wstring_view kInstaller32 = L"dpinst32.exe";

// The error GetSystemWow64DirectoryW reports on a system without a 32-bit subsystem.
inline constexpr unsigned long kErrorCallNotImplemented = 120;

// The module directory: the path with everything from its last backslash on removed.
// A path without a backslash has no directory part (empty answer).
std::wstring ModuleDirectory(std::wstring_view modulePath);

// Whether the system is 64-bit, from the probe of "GetSystemWow64DirectoryW":
// no such function (or no kernel library) -> 32-bit; the call succeeded, or failed with any
// error but "call not implemented" -> 64-bit.
bool Is64BitSystem(bool functionFound, bool callSucceeded, unsigned long lastError);

std::wstring_view InstallerName(bool is64Bit);

// The launcher's own arguments as the system reports its command line: the program name
// skipped (quoted: up to and past the closing quote, or to the end; unquoted: up to the first
// space, or to the end). The rest is kept unchanged, normally starting with a space.
std::wstring_view ArgumentsAfterProgramName(std::wstring_view commandLine);

// The installer's file name followed by the launcher's own arguments, or nothing when the
// result (with its terminator) would not fit kCommandLineCapacity characters.
std::optional<std::wstring> ChildCommandLine(bool is64Bit, std::wstring_view ownCommandLine);

}  // namespace tessera::launcher
