// The USB serial-number walk over a fake sysfs tree (TESSERA_SYSFS_ROOT), through the
// real POSIX backend and the shared matching and listing.

#include <gtest/gtest.h>

#include <stdlib.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "transport/InstrumentIds.h"
#include "transport/Transport.h"

namespace tessera::transport {
namespace {

namespace fs = std::filesystem;

class FakeSysfs : public ::testing::Test {
protected:
    void SetUp() override {
        char templ[] = "/tmp/tessera-sysfs-XXXXXX";
        ASSERT_NE(::mkdtemp(templ), nullptr);
        root_ = templ;
        devices_ = root_ + "/bus/usb/devices";
        fs::create_directories(devices_);
        ::setenv("TESSERA_SYSFS_ROOT", root_.c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("TESSERA_SYSFS_ROOT");
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    void Attr(const std::string& dev, const std::string& name, const std::string& value) {
        fs::create_directories(devices_ + "/" + dev);
        std::ofstream(devices_ + "/" + dev + "/" + name) << value << "\n";
    }
    void Hub(const std::string& dev, int ports) {
        Attr(dev, "idVendor", "1d6b");
        Attr(dev, "idProduct", "0002");
        Attr(dev, "bDeviceClass", "09");
        Attr(dev, "maxchild", std::to_string(ports));
    }
    void Device(const std::string& dev, std::uint16_t vendor, std::uint16_t product, const char* serial) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "%04x", vendor);
        Attr(dev, "idVendor", hex);
        std::snprintf(hex, sizeof hex, "%04x", product);
        Attr(dev, "idProduct", hex);
        Attr(dev, "bDeviceClass", "00");
        Attr(dev, "maxchild", "0");
        if (serial) Attr(dev, "serial", serial);
    }
    int Walk(std::string& output, std::string& list) {
        Transport t(SystemOsCalls());
        char out[16];
        std::memset(out, 'Z', sizeof out);
        const int n = t.CheckUSBDevices(out);
        output = out;
        char all[80];
        std::memset(all, '#', sizeof all);
        EXPECT_EQ(t.GetSerialStringAllDevices(all), 1);
        EXPECT_EQ(all[64], '#') << "the list never spills past its 64 bytes";
        list = all;
        return n;
    }

    std::string root_, devices_;
};

TEST_F(FakeSysfs, NoHostControllerFindsNothing) {
    std::string out, list;
    EXPECT_EQ(Walk(out, list), 0);
    EXPECT_EQ(out, "");
    EXPECT_EQ(list, "");
}

TEST_F(FakeSysfs, TwoInstrumentsBehindAHubAreFoundThroughTheRecursion) {
    Hub("usb1", 2);
    Hub("1-2", 4);
    Device("1-2.1", INSTRUMENT_VENDOR_ID, 0x3000, "QM0000011");
    Device("1-2.3", 0x046d, 0xc52b, "MOUSE1234");
    Device("1-2.4", INSTRUMENT_VENDOR_ID, 0x3000, "QM0000012");
    std::string out, list;
    EXPECT_EQ(Walk(out, list), 2);
    EXPECT_EQ(list, "QM0000011,QM0000012");
    EXPECT_EQ(out, "QM0000012");
}

TEST_F(FakeSysfs, OnlyInstrumentsWithASerialAndTheRightProductCount) {
    Hub("usb1", 4);
    Hub("usb2", 2);
    Device("1-1", INSTRUMENT_VENDOR_ID, 0x3000, nullptr);          // no serial-number string
    Device("1-2", INSTRUMENT_VENDOR_ID, 0x3001, "OTHERPROD");      // same vendor, other product
    Device("1-4", INSTRUMENT_VENDOR_ID, 0x3000, "ABCDEFGHIJKLM");  // longer than nine
    Device("2-2", INSTRUMENT_VENDOR_ID, 0x3000, "SHORT");          // shorter: taken whole
    std::string out, list;
    EXPECT_EQ(Walk(out, list), 2);
    EXPECT_EQ(list, "ABCDEFGHI,SHORT");
    EXPECT_EQ(out, "SHORT");
}

TEST_F(FakeSysfs, MoreThanSixInstrumentsAreCountedButTheListKeepsSixWholeSerials) {
    Hub("usb1", 8);
    for (int i = 1; i <= 8; ++i)
        Device("1-" + std::to_string(i), INSTRUMENT_VENDOR_ID, 0x3000, ("SER00000" + std::to_string(i)).c_str());
    std::string out, list;
    EXPECT_EQ(Walk(out, list), 8);
    EXPECT_EQ(list, "SER000001,SER000002,SER000003,SER000004,SER000005,SER000006");
    EXPECT_EQ(out, "SER000008");
}

TEST_F(FakeSysfs, ASeventhSerialThatWouldFillTheLastByteIsLeftOut) {
    // Six nine-character serials and their commas take 59 bytes: a four-character seventh
    // would need 64 with its comma, leaving no room for the terminating zero.
    Hub("usb1", 7);
    for (int i = 1; i <= 6; ++i)
        Device("1-" + std::to_string(i), INSTRUMENT_VENDOR_ID, 0x3000, ("SER00000" + std::to_string(i)).c_str());
    Device("1-7", INSTRUMENT_VENDOR_ID, 0x3000, "ABCD");
    std::string out, list;
    EXPECT_EQ(Walk(out, list), 7);
    EXPECT_EQ(list, "SER000001,SER000002,SER000003,SER000004,SER000005,SER000006");
}

TEST_F(FakeSysfs, NonAsciiSerialsGiveTheLowByteOfEachUtf16Unit) {
    Hub("usb3", 1);
    Device("3-1", INSTRUMENT_VENDOR_ID, 0x3000,
           "\xC3\xA9"
           "12345678");  // U+00E9 then digits
    std::string out, list;
    EXPECT_EQ(Walk(out, list), 1);
    EXPECT_EQ(out,
              "\xE9"
              "12345678");
}

}  // namespace
}  // namespace tessera::transport
