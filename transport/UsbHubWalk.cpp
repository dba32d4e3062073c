#include "transport/UsbHubWalk.h"

#include <algorithm>
#include <optional>

namespace tessera::transport {

namespace {

using namespace usb_layout;
using Bytes = std::vector<std::uint8_t>;

// Names reported by the drivers are short; a reported length beyond this is a broken reply.
constexpr std::uint32_t kMaxNameStructure = 4096;
// USB allows five tiers of hubs below the root hub; a deeper "tree" can only be a loop.
constexpr int kMaxHubDepth = 16;

constexpr std::uint8_t kConfigurationType = 2;
constexpr std::uint8_t kStringType = 3;
constexpr std::uint8_t kInterfaceType = 4;

std::uint16_t U16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t U32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
void PutU16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
void PutU32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

class Walk {
public:
    explicit Walk(UsbHostAccess& host) : host_(host) {}

    std::vector<UsbDevice> Run() {
        for (int n = 0; n <= 9; ++n) {
            std::u16string name = u"HCD";
            name += static_cast<char16_t>(u'0' + n);
            void* hc = host_.Open(name);
            if (!hc) continue;
            // The driver key name only identifies the controller in the registry; asked for
            // as the system's own tools do, but nothing depends on its answer.
            (void)ReadName(hc, kIoctlHcdDriverKeyName, std::nullopt);
            if (auto rootHub = ReadName(hc, kIoctlRootHubName, std::nullopt)) EnumerateHub(*rootHub, 0);
            host_.Close(hc);
        }
        return std::move(devices_);
    }

private:
    // The name structures: [connection index (4), when asked per port] actual length (4),
    // UTF-16 name. First asked with the bare structure for the length, then in full.
    std::optional<std::u16string> ReadName(void* device, std::uint32_t code, std::optional<std::uint32_t> port) {
        const std::uint32_t header = port ? 8 : 4;
        const std::uint32_t bare = header + 4;  // header + one UTF-16 unit, padded
        Bytes probe(bare, 0);
        if (port) PutU32(probe.data(), *port);
        std::uint32_t got = 0;
        if (!host_.Control(device, code, probe.data(), bare, probe.data(), bare, &got) || got < header) {
            return std::nullopt;
        }
        const std::uint32_t actual = U32(probe.data() + header - 4);
        if (actual <= header || actual > kMaxNameStructure) return std::nullopt;
        Bytes full(actual, 0);
        if (port) PutU32(full.data(), *port);
        got = 0;
        if (!host_.Control(device, code, full.data(), actual, full.data(), actual, &got) || got <= header) {
            return std::nullopt;
        }
        std::u16string name;
        for (std::uint32_t at = header; at + 1 < std::min(got, actual); at += 2) {
            const char16_t c = static_cast<char16_t>(U16(full.data() + at));
            if (c == 0) break;
            name += c;
        }
        if (name.empty()) return std::nullopt;
        return name;
    }

    // One descriptor request through the hub; answers the bytes returned (header included).
    std::optional<Bytes> RequestDescriptor(void* hub, std::uint32_t port, std::uint8_t type, std::uint8_t index,
                                           std::uint16_t language, std::uint32_t length) {
        Bytes request(kRequestHeaderSize + length, 0);
        PutU32(request.data() + kConnIndex, port);
        PutU16(request.data() + kRequestValue, (static_cast<std::uint32_t>(type) << 8) | index);
        PutU16(request.data() + kRequestIndex, language);
        PutU16(request.data() + kRequestLength, length);
        std::uint32_t got = 0;
        const auto size = static_cast<std::uint32_t>(request.size());
        if (!host_.Control(hub, kIoctlDescriptorFromNodeConnection, request.data(), size, request.data(), size, &got)) {
            return std::nullopt;
        }
        request.resize(std::min(got, size));
        return request;
    }

    // A string descriptor counts only when it is a whole, well-formed string descriptor:
    // type 3, the reply exactly its announced length, and that length even.
    std::optional<Bytes> ReadString(void* hub, std::uint32_t port, std::uint8_t index, std::uint16_t language) {
        auto reply = RequestDescriptor(hub, port, kStringType, index, language, kMaxDescriptorData);
        if (!reply || reply->size() < kRequestHeaderSize + 2) return std::nullopt;
        const std::uint8_t* d = reply->data() + kRequestHeaderSize;
        if (d[1] != kStringType) return std::nullopt;
        if (reply->size() != d[0] + kRequestHeaderSize) return std::nullopt;
        if (d[0] % 2 != 0) return std::nullopt;
        return Bytes(d, d + d[0]);
    }

    std::optional<Bytes> ReadConfiguration(void* hub, std::uint32_t port) {
        auto head = RequestDescriptor(hub, port, kConfigurationType, 0, 0, 9);
        if (!head || head->size() != kRequestHeaderSize + 9) return std::nullopt;
        const std::uint16_t total = U16(head->data() + kRequestHeaderSize + 2);
        if (total <= 8) return std::nullopt;
        auto whole = RequestDescriptor(hub, port, kConfigurationType, 0, 0, total);
        if (!whole || whole->size() != kRequestHeaderSize + total) return std::nullopt;
        return Bytes(whole->begin() + kRequestHeaderSize, whole->end());
    }

    static bool NamesAnyString(const std::uint8_t* device, const Bytes& configuration) {
        if (device[kDevManufacturer] || device[kDevProductString] || device[kDevSerial]) return true;
        if (configuration.size() >= 7 && configuration[6] != 0) return true;  // iConfiguration
        std::size_t at = configuration.empty() ? 0 : configuration[0];
        while (at + 2 <= configuration.size()) {
            const std::uint8_t length = configuration[at];
            if (length < 2) break;
            if (configuration[at + 1] == kInterfaceType && length >= 9 && at + 9 <= configuration.size() &&
                configuration[at + 8] != 0) {
                return true;
            }
            at += length;
        }
        return false;
    }

    // Answers the last serial-number string that was accepted.
    std::optional<Bytes> ReadStrings(void* hub, std::uint32_t port, const std::uint8_t* device) {
        const auto languages = ReadString(hub, port, 0, 0);
        if (!languages) return std::nullopt;
        std::optional<Bytes> lastSerial;
        for (const std::uint32_t field : {kDevManufacturer, kDevProductString, kDevSerial}) {
            const std::uint8_t index = device[field];
            if (index == 0) continue;
            for (std::size_t at = 2; at + 1 < languages->size(); at += 2) {
                auto text = ReadString(hub, port, index, U16(languages->data() + at));
                if (text && field == kDevSerial) lastSerial = std::move(text);
            }
        }
        return lastSerial;
    }

    void EnumeratePort(void* hub, std::uint32_t port, int depth) {
        Bytes info(kConnectionInformationSize, 0);
        PutU32(info.data() + kConnIndex, port);
        std::uint32_t got = 0;
        if (!host_.Control(hub, kIoctlNodeConnectionInformation, info.data(), kConnectionInformationSize, info.data(),
                           kConnectionInformationSize, &got) ||
            got < kConnStatus + 4) {
            return;
        }
        const std::uint8_t* device = info.data() + kConnDeviceDescriptor;
        if (U32(info.data() + kConnStatus) == kDeviceConnected) {
            (void)ReadName(hub, kIoctlNodeConnectionDriverKeyName, port);
            if (auto configuration = ReadConfiguration(hub, port)) {
                UsbDevice found;
                found.vendorId = U16(device + kDevVendor);
                found.productId = U16(device + kDevProduct);
                found.hasSerialIndex = device[kDevSerial] != 0;
                if (NamesAnyString(device, *configuration)) {
                    if (auto serial = ReadStrings(hub, port, device)) {
                        for (std::size_t at = 2; at + 1 < serial->size(); at += 2) {
                            found.serial += static_cast<char16_t>(U16(serial->data() + at));
                        }
                    }
                }
                devices_.push_back(std::move(found));
            }
        }
        // A hub behind the port is walked even when its own descriptors could not be read:
        // the instruments behind it must not be lost with it.
        if (info[kConnDeviceIsHub] != 0) {
            if (auto name = ReadName(hub, kIoctlNodeConnectionName, port)) EnumerateHub(*name, depth + 1);
        }
    }

    void EnumerateHub(const std::u16string& name, int depth) {
        if (depth > kMaxHubDepth) return;
        void* hub = host_.Open(name);
        if (!hub) return;
        Bytes node(kNodeInformationSize, 0);
        std::uint32_t got = 0;
        if (host_.Control(hub, kIoctlNodeInformation, node.data(), kNodeInformationSize, node.data(),
                          kNodeInformationSize, &got) &&
            got > kNodeInfoPortCount) {
            const std::uint32_t ports = node[kNodeInfoPortCount];
            for (std::uint32_t port = 1; port <= ports; ++port) EnumeratePort(hub, port, depth);
        }
        host_.Close(hub);
    }

    UsbHostAccess& host_;
    std::vector<UsbDevice> devices_;
};

}  // namespace

std::vector<UsbDevice> WalkUsbDevices(UsbHostAccess& host) { return Walk(host).Run(); }

}  // namespace tessera::transport
