#pragma once
// The device registry as Windows serves it without a kernel driver: every present device
// interface is a marker file in <root>\<interface class GUID>\ whose one line names the
// entry's named pipes. Pipe N of the entry is that name, a backslash and N; each pipe is a
// message-mode named pipe carrying one USB packet per message, a zero-length message ending
// a reply. Marker files, because listing \\.\pipe\ is not possible everywhere (wine).
//
// Header-only and portable, so the server (the virtual meter) and the transport agree on
// the format and tests run on any platform.

#include <cctype>
#include <cstddef>
#include <string>
#include <string_view>

namespace tessera::transport {

inline constexpr std::string_view kNamedPipePrefix = "\\\\.\\pipe\\";
// Room for the pipe number and the separator within the transport's 256-byte device path.
inline constexpr std::size_t kMaxPipeBaseLength = 200;

// Whether `path` lies in the named-pipe namespace (case as the system ignores it).
inline bool IsNamedPipePath(std::string_view path) {
    if (path.size() < kNamedPipePrefix.size()) return false;
    for (std::size_t i = 0; i < kNamedPipePrefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(path[i])) != kNamedPipePrefix[i]) return false;
    }
    return true;
}

// A name a registry entry may use for its pipes: the named-pipe prefix, then components of
// letters, digits and "{}-_." separated by single backslashes, none of them "." or "..",
// so the name can never lead the opener out of the pipe namespace.
inline bool IsPlainPipeBase(std::string_view base) {
    if (!IsNamedPipePath(base) || base.size() > kMaxPipeBaseLength) return false;
    const std::string_view rest = base.substr(kNamedPipePrefix.size());
    std::size_t start = 0;
    for (std::size_t i = 0; i <= rest.size(); ++i) {
        if (i == rest.size() || rest[i] == '\\') {
            const std::string_view part = rest.substr(start, i - start);
            if (part.empty() || part == "." || part == "..") return false;
            start = i + 1;
            continue;
        }
        const unsigned char c = static_cast<unsigned char>(rest[i]);
        if (!std::isalnum(c) && c != '{' && c != '}' && c != '-' && c != '_' && c != '.') return false;
    }
    return true;
}

// What a server writes into its marker: the pipe base and a line end, which marks the
// marker complete.
inline std::string MarkerText(std::string_view base) { return std::string(base) + "\r\n"; }

// The pipe base a marker names; empty while the marker is incomplete (no line end yet) or
// when it names anything but a plain pipe base.
inline std::string PipeBaseFromMarker(std::string_view text) {
    const std::size_t end = text.find('\n');
    if (end == std::string_view::npos) return {};
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return IsPlainPipeBase(line) ? std::string(line) : std::string();
}

}  // namespace tessera::transport
