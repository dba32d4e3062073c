// The POSIX backend: the device registry (a directory per device interface under the
// interface class directory, a SOCK_SEQPACKET socket per pipe) and the USB tree as Linux
// shows it in sysfs.

#include <dirent.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

// Header-only, these: the library links nothing of the system.
#include "platform/PipeIo_posix.h"
#include "platform/RegistryRoot.h"
#include "platform/UnixSocket.h"
#include "transport/InstrumentIds.h"
#include "transport/OsCalls.h"

namespace tessera::transport {

namespace {

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::vector<std::string> SortedEntries(const std::string& dir) {
    std::vector<std::string> names;
    DIR* d = ::opendir(dir.c_str());
    if (!d) return names;
    while (dirent* e = ::readdir(d)) {
        // Hidden names are entries still being built (they appear by rename when complete).
        if (e->d_name[0] == '.') continue;
        names.emplace_back(e->d_name);
    }
    ::closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

bool ReadFirstLine(const std::string& path, std::string& out) {
    std::ifstream in(path);
    if (!in) return false;
    std::getline(in, out);
    while (!out.empty() && (out.back() == '\r' || out.back() == ' ')) out.pop_back();
    return true;
}

bool ReadHex16(const std::string& path, std::uint16_t& out) {
    std::string s;
    if (!ReadFirstLine(path, s) || s.empty() || s.size() > 4) return false;
    char* end = nullptr;
    const unsigned long v = std::strtoul(s.c_str(), &end, 16);
    if (!end || *end != '\0') return false;
    out = static_cast<std::uint16_t>(v);
    return true;
}

// sysfs shows strings in UTF-8; the walk hands out UTF-16 units as a descriptor holds them.
std::u16string Utf8ToUtf16(const std::string& s) {
    std::u16string out;
    for (std::size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        char32_t cp;
        int extra;
        if (c < 0x80) cp = c, extra = 0;
        else if ((c & 0xe0) == 0xc0) cp = c & 0x1f, extra = 1;
        else if ((c & 0xf0) == 0xe0) cp = c & 0x0f, extra = 2;
        else if ((c & 0xf8) == 0xf0) cp = c & 0x07, extra = 3;
        else cp = 0xfffd, extra = 0;
        ++i;
        for (int k = 0; k < extra; ++k, ++i) {
            if (i >= s.size() || (static_cast<unsigned char>(s[i]) & 0xc0) != 0x80) {
                cp = 0xfffd;
                break;
            }
            cp = (cp << 6) | (static_cast<unsigned char>(s[i]) & 0x3f);
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xd800 + (cp >> 10));
            out += static_cast<char16_t>(0xdc00 + (cp & 0x3ff));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

class PosixOsCalls final : public OsCalls {
public:
    std::vector<std::string> Interfaces() override {
        std::vector<std::string> out;
        for (const auto& root : platform::registry::SearchRoots()) {
            const std::string classDir = root + "/" + INSTRUMENT_INTERFACE_CLASS_TEXT;
            for (const auto& name : SortedEntries(classDir)) {
                const std::string path = classDir + "/" + name;
                if (IsDirectory(path)) out.push_back(path);
            }
        }
        return out;
    }

    bool InterfaceOpens(const std::string& path) override {
        // The device opens when its command pipe accepts a connection; an entry left
        // behind by a driver that died refuses it and is passed over.
        return platform::unixsocket::SomeoneServes(path + "/" + std::to_string(kCommandPipe));
    }

    MeterIdentity Identity(const std::string& path) override {
        // Read whole, however it was written: a short file is at worst an identity not
        // (yet) known.
        std::ifstream in(path + "/" + kIdentityFile, std::ios::binary);
        std::string text(4096, '\0');
        in.read(text.data(), static_cast<std::streamsize>(text.size()));
        text.resize(static_cast<std::size_t>(in.gcount()));
        return ParseIdentity(text);
    }

    std::string ChosenMeter() override { return Env("TESSERA_METER"); }

    Handle OpenPipe(const std::string& pipePath, bool /*overlapped: POSIX reads are plain*/) override {
        // Bounded too: a server that stopped accepting (its queue full) must not hang the
        // program, whose window may be waiting on this very call.
        const int ms = platform::pipeio::TimeoutMs();
        const int fd = platform::unixsocket::Connect(pipePath, SOCK_SEQPACKET, ms);
        if (fd < 0) return kInvalid;
        timeval tv{ms / 1000, (ms % 1000) * 1000};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
        return fd;
    }

    bool Read(Handle h, void* buffer, std::uint32_t wanted, std::uint32_t* got) override {
        return platform::pipeio::Read(static_cast<int>(h), buffer, wanted, got);
    }

    bool Write(Handle h, const void* data, std::uint32_t size, std::uint32_t* written) override {
        return platform::pipeio::Write(static_cast<int>(h), data, size, written);
    }

    void Close(Handle h) override {
        if (h >= 0) ::close(static_cast<int>(h));
    }

    char PipeSeparator() const override { return '/'; }

    std::vector<UsbDevice> WalkUsb() override {
        std::string sys = Env("TESSERA_SYSFS_ROOT");
        if (sys.empty()) sys = "/sys";
        devices_ = sys + "/bus/usb/devices";
        std::vector<std::pair<long, std::string>> roots;
        for (const auto& name : SortedEntries(devices_)) {
            if (name.size() > 3 && name.compare(0, 3, "usb") == 0 &&
                std::all_of(name.begin() + 3, name.end(), [](char c) { return c >= '0' && c <= '9'; }))
                roots.push_back({std::strtol(name.c_str() + 3, nullptr, 10), name});
        }
        std::sort(roots.begin(), roots.end());
        std::vector<UsbDevice> out;
        for (const auto& [bus, name] : roots) Hub(name, std::to_string(bus) + "-", 0, out);
        return out;
    }

private:
    // Ports 1..maxchild of a hub; a device on port p of root hub usbN is "N-p", on port q
    // of hub "N-p" it is "N-p.q". USB allows at most seven tiers; the limit also keeps a
    // malformed tree from recursing for ever.
    void Hub(const std::string& hub, const std::string& childPrefix, int depth, std::vector<UsbDevice>& out) {
        if (depth > 7) return;
        std::string ports;
        if (!ReadFirstLine(devices_ + "/" + hub + "/maxchild", ports)) return;
        const long count = std::strtol(ports.c_str(), nullptr, 10);
        for (long port = 1; port <= count && port <= 255; ++port) {
            const std::string child = childPrefix + std::to_string(port);
            const std::string dir = devices_ + "/" + child;
            if (!IsDirectory(dir)) continue;
            UsbDevice d;
            if (!ReadHex16(dir + "/idVendor", d.vendorId) || !ReadHex16(dir + "/idProduct", d.productId)) continue;
            std::string serial;
            if (ReadFirstLine(dir + "/serial", serial)) {
                d.hasSerialIndex = true;
                d.serial = Utf8ToUtf16(serial);
            }
            out.push_back(d);
            std::string cls;
            if (ReadFirstLine(dir + "/bDeviceClass", cls) && cls == "09") Hub(child, child + ".", depth + 1, out);
        }
    }

    std::string devices_;
};

}  // namespace

OsCalls& SystemOsCalls() {
    static PosixOsCalls calls;
    return calls;
}

}  // namespace tessera::transport
