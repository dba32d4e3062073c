// The serial-number walk of the Windows backend against a made-up USB tree: host
// controllers, root hubs, external hubs and devices that answer the hub control codes with
// the system's structure layouts.

#include "transport/UsbHubWalk.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

namespace tessera::transport {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::uint16_t kVendor = 0x1209;
constexpr std::uint16_t kProduct = 0x3000;
constexpr std::uint16_t kEnglish = 0x0409;
constexpr std::uint16_t kGerman = 0x0407;

Bytes StringDescriptor(const std::u16string& text) {
    Bytes d{static_cast<std::uint8_t>(2 + 2 * text.size()), 3};
    for (char16_t c : text) {
        d.push_back(static_cast<std::uint8_t>(c));
        d.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return d;
}

struct Device {
    std::uint16_t vendor = kVendor, product = kProduct;
    std::uint8_t iManufacturer = 1, iProduct = 2, iSerial = 3;
    std::uint8_t iConfiguration = 0, iInterface = 0;
    std::vector<std::uint16_t> languages{kEnglish};
    // (index, language) -> descriptor bytes as the device answers them.
    std::map<std::pair<int, int>, Bytes> strings;
    bool configHeaderShort = false;  // the 9-byte header request comes back incomplete
    std::uint16_t configTotalOverride = 0;

    Device& Serial(const std::u16string& s, std::uint16_t lang = kEnglish) {
        strings[{iSerial, lang}] = StringDescriptor(s);
        return *this;
    }
    Bytes DeviceDescriptor() const {
        Bytes d(18, 0);
        d[0] = 18;
        d[1] = 1;
        d[8] = vendor & 0xff;
        d[9] = vendor >> 8;
        d[10] = product & 0xff;
        d[11] = product >> 8;
        d[14] = iManufacturer;
        d[15] = iProduct;
        d[16] = iSerial;
        d[17] = 1;
        return d;
    }
    Bytes Configuration() const {
        Bytes c{9, 2, 18, 0, 1, 1, iConfiguration, 0x80, 50, 9, 4, 0, 0, 1, 0xff, 0, 0, iInterface};
        if (configTotalOverride) {
            c[2] = configTotalOverride & 0xff;
            c[3] = configTotalOverride >> 8;
        }
        return c;
    }
};

struct Port {
    bool connected = false;
    bool connectionInfoFails = false;
    std::shared_ptr<Device> device;
    std::u16string hub;  // name of the hub behind this port, when it is one
};

struct Hub {
    std::vector<Port> ports;
    bool nodeInfoFails = false;
};

// One control request the walk sent, for checking what was read.
struct Request {
    std::u16string device;
    std::uint32_t code, port;
    std::uint16_t value, index;
};

class FakeUsb : public UsbHostAccess {
public:
    std::map<std::u16string, std::u16string> controllers;  // "HCDn" -> root hub name
    std::map<std::u16string, Hub> hubs;
    std::vector<Request> requests;
    int openCount = 0;

    void* Open(const std::u16string& name) override {
        if (!controllers.count(name) && !hubs.count(name)) return nullptr;
        ++openCount;
        names_.push_back(std::make_unique<std::u16string>(name));
        return names_.back().get();
    }
    void Close(void* device) override {
        ASSERT_NE(device, nullptr);
        --openCount;
    }
    bool Control(void* handle, std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
                 std::uint32_t outSize, std::uint32_t* returned) override {
        const std::u16string& name = *static_cast<std::u16string*>(handle);
        auto* o = static_cast<std::uint8_t*>(out);
        const auto* i = static_cast<const std::uint8_t*>(in);
        std::uint32_t port = inSize >= 4 ? U32(i) : 0;
        Request r{name, code, port, 0, 0};
        if (code == kIoctlDescriptorFromNodeConnection && inSize >= 12) {
            r.value = U16(i + 6);
            r.index = U16(i + 8);
        }
        requests.push_back(r);
        *returned = 0;
        if (controllers.count(name)) {
            if (code == kIoctlRootHubName) return Name(controllers[name], 4, o, outSize, returned);
            return false;  // the driver key name: this fake has none
        }
        Hub& hub = hubs.at(name);
        if (code == kIoctlNodeInformation) {
            if (hub.nodeInfoFails || outSize < 76) return false;
            std::memset(o, 0, 76);
            o[4] = 71;
            o[5] = 0x29;
            o[6] = static_cast<std::uint8_t>(hub.ports.size());
            *returned = 76;
            return true;
        }
        if (port == 0 || port > hub.ports.size()) return false;
        const Port& p = hub.ports[port - 1];
        switch (code) {
            case kIoctlNodeConnectionInformation: {
                if (p.connectionInfoFails || outSize < 365) return false;
                std::memset(o + 4, 0, 361);
                if (p.device) {
                    const Bytes d = p.device->DeviceDescriptor();
                    std::memcpy(o + 4, d.data(), d.size());
                }
                o[24] = p.hub.empty() ? 0 : 1;
                PutU32(o + 31, p.connected ? 1 : 0);
                *returned = 35;
                return true;
            }
            case kIoctlNodeConnectionName:
                if (p.hub.empty()) return false;
                return Name(p.hub, 8, o, outSize, returned);
            case kIoctlDescriptorFromNodeConnection:
                return Descriptor(p, r.value, r.index, U16(i + 10), o, outSize, returned);
            default: return false;
        }
    }

private:
    static std::uint16_t U16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
    static std::uint32_t U32(const std::uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (p[3] << 24); }
    static void PutU32(std::uint8_t* p, std::uint32_t v) {
        for (int k = 0; k < 4; ++k) p[k] = static_cast<std::uint8_t>(v >> (8 * k));
    }

    // The name structures: the full size in ActualLength, the name only when it fits.
    static bool Name(const std::u16string& text, std::uint32_t header, std::uint8_t* o, std::uint32_t outSize,
                     std::uint32_t* returned) {
        const std::uint32_t actual = header + 2 * static_cast<std::uint32_t>(text.size()) + 2;
        if (outSize < header) return false;
        PutU32(o + header - 4, actual);
        if (outSize < actual) {
            *returned = header;
            return true;
        }
        for (std::size_t k = 0; k <= text.size(); ++k) {
            const char16_t c = k < text.size() ? text[k] : 0;
            o[header + 2 * k] = static_cast<std::uint8_t>(c);
            o[header + 2 * k + 1] = static_cast<std::uint8_t>(c >> 8);
        }
        *returned = actual;
        return true;
    }

    static bool Descriptor(const Port& p, std::uint16_t value, std::uint16_t language, std::uint16_t length,
                           std::uint8_t* o, std::uint32_t outSize, std::uint32_t* returned) {
        if (!p.connected || !p.device || outSize < 12u + length) return false;
        const Device& d = *p.device;
        Bytes answer;
        const int type = value >> 8, index = value & 0xff;
        if (type == 2) {
            answer = d.Configuration();
            if (d.configHeaderShort && length == 9) answer.resize(7);
        } else if (type == 3 && index == 0 && !d.strings.count({0, 0})) {
            answer = {static_cast<std::uint8_t>(2 + 2 * d.languages.size()), 3};
            for (auto l : d.languages) {
                answer.push_back(l & 0xff);
                answer.push_back(l >> 8);
            }
        } else if (type == 3) {
            auto it = d.strings.find({index, language});
            if (it == d.strings.end()) return false;  // the device stalls the request
            answer = it->second;
        } else {
            return false;
        }
        const std::size_t n = std::min<std::size_t>(answer.size(), length);
        std::memcpy(o + 12, answer.data(), n);
        *returned = static_cast<std::uint32_t>(12 + n);
        return true;
    }

    std::vector<std::unique_ptr<std::u16string>> names_;
};

Port Attached(std::shared_ptr<Device> d) {
    Port p;
    p.connected = true;
    p.device = std::move(d);
    return p;
}

std::shared_ptr<Device> Instrument(const std::u16string& serial) {
    auto d = std::make_shared<Device>();
    d->Serial(serial);
    return d;
}

// The instruments the shared code would count: vendor and product match and a serial-number
// string index; their serial strings as read (ASCII here).
std::vector<std::string> FindInstrumentSerials(UsbHostAccess& host, std::uint16_t vendor, std::uint16_t product) {
    std::vector<std::string> out;
    for (const UsbDevice& d : WalkUsbDevices(host)) {
        if (d.vendorId != vendor || d.productId != product || !d.hasSerialIndex) continue;
        out.emplace_back(d.serial.begin(), d.serial.end());
    }
    return out;
}

int StringRequests(const FakeUsb& usb, std::uint32_t port, int index) {
    int n = 0;
    for (const auto& r : usb.requests) {
        if (r.code == kIoctlDescriptorFromNodeConnection && r.port == port && r.value == (0x300 | index)) ++n;
    }
    return n;
}

TEST(UsbHubWalk, NoHostControllerFindsNothing) {
    FakeUsb usb;
    EXPECT_TRUE(FindInstrumentSerials(usb, kVendor, kProduct).empty());
    EXPECT_TRUE(usb.requests.empty());
}

TEST(UsbHubWalk, InstrumentsBehindHubsAreFoundInOrderAtAnyDepth) {
    FakeUsb usb;
    // HCD2 -> root hub with an empty port, an instrument and an external hub; the external hub
    // holds two instruments and one more hub with a third one. HCD7 holds a fourth.
    usb.controllers[u"HCD2"] = u"ROOT_A";
    usb.controllers[u"HCD7"] = u"ROOT_B";
    Port toHub1;
    toHub1.connected = true;
    toHub1.device = std::make_shared<Device>();
    toHub1.device->vendor = 0x05e3;
    toHub1.device->product = 0x0608;
    toHub1.device->iSerial = 0;
    toHub1.hub = u"HUB_1";
    usb.hubs[u"ROOT_A"].ports = {Port{}, Attached(Instrument(u"A10000001")), toHub1};
    Port toHub2 = toHub1;
    toHub2.hub = u"HUB_2";
    usb.hubs[u"HUB_1"].ports = {Attached(Instrument(u"B20000002")), toHub2, Attached(Instrument(u"C30000003"))};
    usb.hubs[u"HUB_2"].ports = {Attached(Instrument(u"D40000004"))};
    usb.hubs[u"ROOT_B"].ports = {Attached(Instrument(u"E50000005"))};

    const auto serials = FindInstrumentSerials(usb, kVendor, kProduct);
    EXPECT_EQ(serials, (std::vector<std::string>{"A10000001", "B20000002", "D40000004", "C30000003", "E50000005"}));
    EXPECT_EQ(usb.openCount, 0) << "every controller and hub is closed again";
}

TEST(UsbHubWalk, WhatCountsAsAnInstrument) {
    FakeUsb usb;
    usb.controllers[u"HCD0"] = u"ROOT";
    auto noSerialIndex = Instrument(u"X00000000");
    noSerialIndex->strings.clear();
    noSerialIndex->iSerial = 0;
    auto otherProduct = Instrument(u"Y00000000");
    otherProduct->product = 0x3001;
    auto otherVendor = Instrument(u"Z00000000");
    otherVendor->vendor = 0x1234;
    auto longSerial = Instrument(u"SN1234567890");
    auto shortSerial = Instrument(u"SN42");
    usb.hubs[u"ROOT"].ports = {Attached(noSerialIndex), Attached(otherProduct), Attached(otherVendor),
                               Attached(longSerial), Attached(shortSerial)};

    // Strings come back whole; cutting them to nine characters is the shared code's part.
    EXPECT_EQ(FindInstrumentSerials(usb, kVendor, kProduct), (std::vector<std::string>{"SN1234567890", "SN42"}));
    // The device of another product is read all the same, just not counted.
    EXPECT_EQ(StringRequests(usb, 2, 3), 1);
    EXPECT_EQ(StringRequests(usb, 1, 3), 0);
}

TEST(UsbHubWalk, StringDescriptorsMustBeWholeAndWellFormed) {
    FakeUsb usb;
    usb.controllers[u"HCD0"] = u"ROOT";
    // Two languages: the serial is taken from the last one that was accepted.
    auto twoLanguages = Instrument(u"ENGLISH01");
    twoLanguages->languages = {kEnglish, kGerman};
    twoLanguages->Serial(u"GERMAN002", kGerman);
    // The second language's answer is of the wrong type: the first one stays.
    auto wrongType = Instrument(u"GOODSER01");
    wrongType->languages = {kEnglish, kGerman};
    wrongType->strings[{3, kGerman}] = StringDescriptor(u"BADTYPE02");
    wrongType->strings[{3, kGerman}][1] = 2;
    // An odd announced length, and a length that does not match the reply: never accepted.
    auto oddLength = Instrument(u"ODD000001");
    oddLength->strings[{3, kEnglish}].push_back('!');
    oddLength->strings[{3, kEnglish}][0] += 1;
    auto lengthMismatch = Instrument(u"LONGER001");
    lengthMismatch->strings[{3, kEnglish}][0] -= 2;
    // A language list that is not a string descriptor: nothing more is read.
    auto badLanguages = Instrument(u"NOLANG001");
    badLanguages->strings[{0, 0}] = {4, 2, 0x09, 0x04};
    usb.hubs[u"ROOT"].ports = {Attached(twoLanguages), Attached(wrongType), Attached(oddLength),
                               Attached(lengthMismatch), Attached(badLanguages)};

    // Devices whose serial-number string was never accepted come without one.
    EXPECT_EQ(FindInstrumentSerials(usb, kVendor, kProduct),
              (std::vector<std::string>{"GERMAN002", "GOODSER01", "", "", ""}));
    EXPECT_EQ(StringRequests(usb, 5, 0), 1);
    EXPECT_EQ(StringRequests(usb, 5, 3), 0);
    // Manufacturer, product and serial, once per language.
    EXPECT_EQ(StringRequests(usb, 1, 1), 2);
    EXPECT_EQ(StringRequests(usb, 1, 2), 2);
    EXPECT_EQ(StringRequests(usb, 1, 3), 2);
}

TEST(UsbHubWalk, ConfigurationDescriptorDecidesWhetherStringsAreRead) {
    FakeUsb usb;
    usb.controllers[u"HCD0"] = u"ROOT";
    auto shortHeader = Instrument(u"SHORT0001");
    shortHeader->configHeaderShort = true;
    auto tinyTotal = Instrument(u"TINY00001");
    tinyTotal->configTotalOverride = 8;
    // No string index in the device descriptor, but the interface names one: strings are read
    // (the language list), yet there is no serial-number string to count.
    auto interfaceString = Instrument(u"IFACE0001");
    interfaceString->iManufacturer = interfaceString->iProduct = interfaceString->iSerial = 0;
    interfaceString->iInterface = 4;
    // Nothing names a string: not even the language list is asked for.
    auto noStrings = Instrument(u"NONE00001");
    noStrings->iManufacturer = noStrings->iProduct = noStrings->iSerial = 0;
    usb.hubs[u"ROOT"].ports = {Attached(shortHeader), Attached(tinyTotal), Attached(interfaceString),
                               Attached(noStrings), Attached(Instrument(u"FINE00001"))};

    EXPECT_EQ(FindInstrumentSerials(usb, kVendor, kProduct), (std::vector<std::string>{"FINE00001"}));
    EXPECT_EQ(StringRequests(usb, 1, 0), 0);
    EXPECT_EQ(StringRequests(usb, 2, 0), 0);
    EXPECT_EQ(StringRequests(usb, 3, 0), 1);
    EXPECT_EQ(StringRequests(usb, 4, 0), 0);
}

TEST(UsbHubWalk, FailuresSkipOnlyTheElementConcerned) {
    FakeUsb usb;
    usb.controllers[u"HCD0"] = u"BROKEN_ROOT";   // a root hub that cannot report its ports
    usb.controllers[u"HCD1"] = u"MISSING_ROOT";  // a root hub that does not open
    usb.controllers[u"HCD4"] = u"ROOT";
    usb.hubs[u"BROKEN_ROOT"].nodeInfoFails = true;
    usb.hubs[u"BROKEN_ROOT"].ports = {Attached(Instrument(u"LOST00001"))};
    Port failing = Attached(Instrument(u"LOST00002"));
    failing.connectionInfoFails = true;
    Port disconnected = Attached(Instrument(u"LOST00003"));
    disconnected.connected = false;
    // A hub whose own descriptors fail: the instrument behind it is still found.
    Port brokenHub;
    brokenHub.connected = true;
    brokenHub.device = Instrument(u"HUB000000");
    brokenHub.device->vendor = 0x05e3;
    brokenHub.device->configHeaderShort = true;
    brokenHub.hub = u"HUB_X";
    usb.hubs[u"HUB_X"].ports = {Attached(Instrument(u"BEHIND001"))};
    usb.hubs[u"ROOT"].ports = {failing, disconnected, brokenHub, Attached(Instrument(u"LAST00001"))};

    EXPECT_EQ(FindInstrumentSerials(usb, kVendor, kProduct), (std::vector<std::string>{"BEHIND001", "LAST00001"}));
    EXPECT_EQ(usb.openCount, 0);
}

TEST(UsbHubWalk, AHubLoopEndsInsteadOfRecursingForever) {
    FakeUsb usb;
    usb.controllers[u"HCD0"] = u"ROOT";
    Port loop;
    loop.connected = true;
    loop.device = std::make_shared<Device>();
    loop.device->vendor = 0x05e3;
    loop.hub = u"ROOT";
    usb.hubs[u"ROOT"].ports = {Attached(Instrument(u"ONCE00001")), loop};
    const auto serials = FindInstrumentSerials(usb, kVendor, kProduct);
    ASSERT_FALSE(serials.empty());
    EXPECT_EQ(serials.front(), "ONCE00001");
    EXPECT_EQ(usb.openCount, 0);
}

}  // namespace
}  // namespace tessera::transport
