#pragma once
// What a person reads to tell meters apart: the serial number (the USB serial string of a
// real meter, the one given to a virtual meter) and the model. A registry server publishes
// it with its entry (POSIX: the file "identity" in the entry's directory; Windows: lines of
// the marker after the pipe name); a kernel driver's device path holds the serial itself.
//
// Header-only and portable, so the servers and the transport agree on the format and tests
// run on any platform.

#include <cctype>
#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

namespace tessera::transport {

struct MeterIdentity {
    std::string serial;  // empty: the meter does not say
    std::string model;
};

// The file in a POSIX registry entry that holds its identity.
inline constexpr const char* kIdentityFile = "identity";
// The model of every meter with the instrument's vendor and product id.
inline constexpr const char* kModelName = "QM8620";

// A serial as it is shown and compared: printable ASCII without spaces, at most 64
// characters; anything else becomes '?', so a name can never carry a line end.
inline std::string PlainSerial(std::string_view text) {
    std::string out;
    for (char c : text.substr(0, 64)) out += (c > ' ' && c < 0x7f) ? c : '?';
    return out;
}

// Whether two serials name the same meter. Letter case does not count: Windows writes the
// serial inside a device interface path in its own case (often lower), whatever the meter's
// USB string says, and a person types what the label shows.
inline bool SameSerial(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// "serial X" and "model Y" lines, each ended by CR LF.
inline std::string IdentityText(const MeterIdentity& identity) {
    std::string text;
    if (!identity.serial.empty()) text += "serial " + PlainSerial(identity.serial) + "\r\n";
    if (!identity.model.empty()) text += "model " + PlainSerial(identity.model) + "\r\n";
    return text;
}

// The identity in `text` (IdentityText's lines, in any order, among others); a line without
// its end is not taken, as it may still be being written.
inline MeterIdentity ParseIdentity(std::string_view text) {
    MeterIdentity identity;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) break;
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.substr(0, 7) == "serial ") identity.serial = PlainSerial(line.substr(7));
        else if (line.substr(0, 6) == "model ") identity.model = PlainSerial(line.substr(6));
        start = end + 1;
    }
    return identity;
}

// The identity a Windows device interface path of a USB device holds:
// \\?\usb#vid_VVVV&pid_PPPP#SERIAL#{class}. The system makes up an instance id with '&' in it
// for a device without a serial number: no serial then.
inline MeterIdentity IdentityFromDevicePath(std::string_view path, unsigned vendor, unsigned product) {
    MeterIdentity identity;
    const std::size_t first = path.find('#');
    if (first == std::string_view::npos) return identity;
    const std::size_t second = path.find('#', first + 1);
    if (second == std::string_view::npos) return identity;
    const std::size_t third = path.find('#', second + 1);
    std::string ids(path.substr(first + 1, second - first - 1));
    for (char& c : ids) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    char expected[32];
    std::snprintf(expected, sizeof expected, "vid_%04x&pid_%04x", vendor & 0xffffu, product & 0xffffu);
    if (ids.rfind(expected, 0) == 0) identity.model = kModelName;
    if (third == std::string_view::npos) return identity;
    const std::string_view instance = path.substr(second + 1, third - second - 1);
    if (!instance.empty() && instance.find('&') == std::string_view::npos) identity.serial = PlainSerial(instance);
    return identity;
}

}  // namespace tessera::transport
