#pragma once
// Where the per-user runtime directory (named locks) and the device registry live, and which
// directories may be trusted with them. One rule for every program that serves or searches
// the registry: the program and tessera-cli (locks, device watcher), the transport library,
// the virtual meter and the USB driver. A directory that another user could have made or may
// write (a planted /tmp/tessera-<uid>, say) would let that user pose as the meter or take our
// locks, so it is never used.
//
// Header-only on purpose: the transport library may use nothing of the system but the
// operating system, so it compiles these few functions instead of linking the platform library.

#if !defined(_WIN32)

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace tessera::platform::registry {

// The root a system-wide driver (run as root) serves; every user's program searches it first.
inline constexpr const char* kSystemRoot = "/run/tessera";

inline std::string Environment(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

inline std::string WithoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

// Empty when `path` is a directory (not a link to one) that we own, or root owns when
// `rootMayOwn`, and that neither its group nor others may write; otherwise what is wrong.
inline std::string DirectoryProblem(const std::string& path, bool rootMayOwn = false) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return path + ": " + std::strerror(errno);
    if (S_ISLNK(st.st_mode)) return path + " is a symbolic link";
    if (!S_ISDIR(st.st_mode)) return path + " is not a directory";
    if (st.st_uid != ::geteuid() && !(rootMayOwn && st.st_uid == 0)) return path + " belongs to another user";
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) return path + " may be written by other users";
    return {};
}

// Creates a missing `path`, and missing directories above it, each with `mode`; empty, or
// what failed ("cannot create DIR: why"). An existing directory is fine.
inline std::string MakeDirectories(const std::string& path, mode_t mode = 0700) {
    if (path.empty()) return "no directory given";
    for (std::size_t pos = 1; pos <= path.size(); ++pos) {
        if (pos != path.size() && path[pos] != '/') continue;
        const std::string part = path.substr(0, pos);
        if (::mkdir(part.c_str(), mode) != 0 && errno != EEXIST)
            return "cannot create " + part + ": " + std::strerror(errno);
    }
    return {};
}

// Gives the directory or socket at `path` to `group` with `mode` (the system-wide registry:
// its owner root, and the members of the group). Empty, or what failed.
inline std::string ShareWithGroup(const std::string& path, unsigned long group, mode_t mode) {
    if (::lchown(path.c_str(), static_cast<uid_t>(-1), static_cast<gid_t>(group)) != 0 ||
        ::chmod(path.c_str(), mode) != 0)
        return "cannot give " + path + " to group " + std::to_string(group) + ": " + std::strerror(errno);
    return {};
}

// Creates a missing `path` as MakeDirectories does; then answers what keeps it from being
// used (empty when nothing does).
inline std::string EnsureDirectory(const std::string& path, mode_t mode = 0700, bool rootMayOwn = false) {
    if (std::string problem = MakeDirectories(path, mode); !problem.empty()) return problem;
    return DirectoryProblem(path, rootMayOwn);
}

struct Choice {
    std::string path;
    std::string problem;  // empty: the directory exists and may be used
};

// The per-user runtime directory: $TESSERA_RUNTIME_DIR as given; else $XDG_RUNTIME_DIR/tessera,
// else $TMPDIR/tessera-<uid> ($TMPDIR defaults to /tmp). Created (mode 700) when missing. A
// computed one that is not ours (a shared temporary directory, or another login's runtime
// directory) gives way to $HOME/.cache/tessera-runtime.
inline Choice RuntimeDirectory() {
    const std::string own = Environment("TESSERA_RUNTIME_DIR");
    if (!own.empty()) {
        const std::string path = WithoutTrailingSlashes(own);
        return {path, EnsureDirectory(path)};
    }
    std::string candidate;
    if (const std::string xdg = Environment("XDG_RUNTIME_DIR"); !xdg.empty()) {
        candidate = WithoutTrailingSlashes(xdg) + "/tessera";
    } else {
        std::string tmp = Environment("TMPDIR");
        if (tmp.empty()) tmp = "/tmp";
        candidate = WithoutTrailingSlashes(tmp) + "/tessera-" + std::to_string(static_cast<unsigned long>(::getuid()));
    }
    candidate = WithoutTrailingSlashes(candidate);
    const std::string problem = EnsureDirectory(candidate);
    if (problem.empty()) return {candidate, {}};
    const std::string home = Environment("HOME");
    const std::string fallback =
        (home.empty() ? std::string(".") : WithoutTrailingSlashes(home)) + "/.cache/tessera-runtime";
    if (EnsureDirectory(fallback).empty()) return {fallback, {}};
    return {candidate, problem};
}

// The roots a program searches for devices, in order. $TESSERA_DEVICE_ROOT, when set, is the
// only one (tests and private registries); otherwise the system-wide root, then the runtime
// directory. A root that exists but fails the checks is left out; one that does not exist
// yet stays in (nothing can be found there, and a watcher may wait for it).
inline std::vector<std::string> SearchRoots() {
    auto usable = [](const std::string& path, bool rootMayOwn) {
        struct stat st {};
        return (::lstat(path.c_str(), &st) != 0 && errno == ENOENT) || DirectoryProblem(path, rootMayOwn).empty();
    };
    std::vector<std::string> roots;
    const std::string own = Environment("TESSERA_DEVICE_ROOT");
    if (!own.empty()) {
        const std::string path = WithoutTrailingSlashes(own);
        if (usable(path, false)) roots.push_back(path);
        return roots;
    }
    if (usable(kSystemRoot, true)) roots.emplace_back(kSystemRoot);
    const Choice runtime = RuntimeDirectory();
    if (runtime.problem.empty()) roots.push_back(runtime.path);
    return roots;
}

// The root a server registers its devices under: $TESSERA_DEVICE_ROOT when set, else the
// system-wide root for a system-wide server, else the runtime directory. Created when missing
// with mode 700; the system-wide server gives its root to its group afterwards
// (ShareWithGroup), never to every account.
inline Choice ServerRoot(bool systemWide = false) {
    const std::string own = Environment("TESSERA_DEVICE_ROOT");
    if (!own.empty()) {
        const std::string path = WithoutTrailingSlashes(own);
        return {path, EnsureDirectory(path)};
    }
    if (systemWide) return {kSystemRoot, EnsureDirectory(kSystemRoot, 0700, true)};
    return RuntimeDirectory();
}

}  // namespace tessera::platform::registry

#else  // _WIN32: the user-space registry's marker files and named pipes, and the named locks

#include <windows.h>

#include <string>

namespace tessera::platform::registry {

inline std::wstring Environment(const wchar_t* name) {
    const DWORD n = ::GetEnvironmentVariableW(name, nullptr, 0);
    if (n == 0) return {};
    std::wstring value(n, L'\0');
    const DWORD got = ::GetEnvironmentVariableW(name, value.data(), n);
    value.resize(got < n ? got : 0);
    return value;
}

inline std::wstring WithoutTrailingSlashes(std::wstring path) {
    while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
    return path;
}

// Creates each missing directory along the path; an existing one is fine.
inline void MakeDirectories(const std::wstring& path) {
    for (std::size_t pos = 0; pos <= path.size(); ++pos) {
        if (pos == path.size() || path[pos] == L'\\' || path[pos] == L'/') {
            const std::wstring part = path.substr(0, pos);
            // Skip drive roots ("C:") and the leading parts of a UNC name.
            if (part.empty() || part.back() == L':' || part == L"\\" || part == L"\\\\") continue;
            ::CreateDirectoryW(part.c_str(), nullptr);
        }
    }
}

// The per-user runtime directory: $TESSERA_RUNTIME_DIR, else %LOCALAPPDATA%\tessera, else
// "tessera" in the temporary directory. Created when missing; a user's %LOCALAPPDATA% is
// private already.
inline std::wstring RuntimeDirectory() {
    std::wstring dir = Environment(L"TESSERA_RUNTIME_DIR");
    if (dir.empty()) {
        const std::wstring local = Environment(L"LOCALAPPDATA");
        if (!local.empty()) {
            dir = local + L"\\tessera";
        } else {
            wchar_t temp[MAX_PATH + 1];
            const DWORD n = ::GetTempPathW(MAX_PATH + 1, temp);
            dir = (n > 0 && n <= MAX_PATH ? std::wstring(temp, n) : std::wstring(L".\\")) + L"tessera";
        }
    }
    dir = WithoutTrailingSlashes(dir);
    MakeDirectories(dir);
    return dir;
}

// The root every program searches and a server registers under: $TESSERA_DEVICE_ROOT when
// set, else the runtime directory.
inline std::wstring DeviceRoot() {
    const std::wstring own = Environment(L"TESSERA_DEVICE_ROOT");
    return own.empty() ? RuntimeDirectory() : WithoutTrailingSlashes(own);
}

}  // namespace tessera::platform::registry

#endif  // _WIN32
