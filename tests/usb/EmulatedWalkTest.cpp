// The USB serial-number walk (CheckUSBDevices, GetSerialStringAllDevices of the transport
// library) over the sysfs tree of an emulated bus, read at /sys as on a real machine: a root
// hub, a seven-port hub and a keyboard, with none, one, two or seven meters on the hub.

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tests/usb/UsbTestbed.h"
#include "transport/InstrumentIds.h"

namespace tessera::usbemu {
namespace {

using CheckFn = std::int32_t (*)(char*);

class EmulatedSerialWalk : public ::testing::Test {
protected:
    void SetUp() override {
        library_ = ::dlopen(TESSERA_BULKLINK_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library_, nullptr) << ::dlerror();
        check_ = reinterpret_cast<CheckFn>(::dlsym(library_, "CheckUSBDevices"));
        all_ = reinterpret_cast<CheckFn>(::dlsym(library_, "GetSerialStringAllDevices"));
        ASSERT_TRUE(check_ && all_);
        std::string error;
        // clang-format off
        ASSERT_TRUE(bed_.Add({"usb1", "", 1, 1, 0x1d6b, 0x0002, "09", 4, std::nullopt, "xHCI Host Controller", {}}, &error)) << error;
        ASSERT_TRUE(bed_.Add({"1-1", "usb1", 1, 2, 0x05e3, 0x0608, "09", 7, std::nullopt, "USB2.0 Hub", {}}, &error)) << error;
        ASSERT_TRUE(bed_.Add({"1-2", "usb1", 1, 3, 0x046d, 0xc31c, "00", 0, std::string("KB0123456789"), "Keyboard", {}}, &error))
            << error;
        // clang-format on
    }
    void TearDown() override {
        if (library_) ::dlclose(library_);
    }

    void Meter(int port, const std::string& serial, std::uint16_t product = transport::INSTRUMENT_PRODUCT_ID) {
        std::string error;
        // clang-format off
        ASSERT_TRUE(bed_.Add({"1-1." + std::to_string(port), "1-1", 1, 10 + port, transport::INSTRUMENT_VENDOR_ID, product,
                              "00", 0, serial, "QM8620", {}},
                             &error))
            << error;
        // clang-format on
    }

    struct Walk {
        int count;
        std::string last, list;
    };
    Walk Run() {
        char last[16];
        std::memset(last, 'Z', sizeof last);
        char list[80];
        std::memset(list, '#', sizeof list);
        const int count = check_(last);
        EXPECT_EQ(all_(list), 1);
        EXPECT_EQ(list[64], '#') << "the list never spills past its 64 bytes";
        return {count, last, list};
    }

    UsbTestbed bed_;
    void* library_ = nullptr;
    CheckFn check_ = nullptr, all_ = nullptr;
};

TEST_F(EmulatedSerialWalk, NoMeterAmongTheHubAndTheKeyboard) {
    const Walk w = Run();
    EXPECT_EQ(w.count, 0);
    EXPECT_EQ(w.last, "");
    EXPECT_EQ(w.list, "");
}

TEST_F(EmulatedSerialWalk, OneAndTwoMetersBehindTheHub) {
    Meter(3, "QM8620001");
    Meter(5, "QM8620002", 0x3001);  // the maker's other product is not counted
    Walk w = Run();
    EXPECT_EQ(w.count, 1);
    EXPECT_EQ(w.last, "QM8620001");
    EXPECT_EQ(w.list, "QM8620001");
    Meter(6, "QM8620006");
    w = Run();
    EXPECT_EQ(w.count, 2);
    EXPECT_EQ(w.list, "QM8620001,QM8620006") << "in port order";
    EXPECT_EQ(w.last, "QM8620006");
    bed_.Remove("1-1.3");
    EXPECT_EQ(Run().list, "QM8620006") << "an unplugged meter is no longer listed";
}

TEST_F(EmulatedSerialWalk, SevenMetersAreCountedAndSixFitTheList) {
    for (int port = 1; port <= 7; ++port) Meter(port, "QM862000" + std::to_string(port));
    const Walk w = Run();
    EXPECT_EQ(w.count, 7);
    EXPECT_EQ(w.list, "QM8620001,QM8620002,QM8620003,QM8620004,QM8620005,QM8620006");
    EXPECT_EQ(w.last, "QM8620007");
}

// A serial shorter than nine characters is taken whole; one with characters beyond ASCII
// gives the low byte of each UTF-16 unit (sysfs shows the descriptor's text as UTF-8).
TEST_F(EmulatedSerialWalk, ShortAndNonAsciiSerials) {
    Meter(1, "QM86");
    // clang-format off
    Meter(2, "QM\xC3\xA9" "20\xCE\xA9" "0123");  // U+00E9 and U+03A9 among the digits
    const Walk w = Run();
    EXPECT_EQ(w.count, 2);
    EXPECT_EQ(w.list, "QM86,QM\xE9" "20\xA9" "012");
    EXPECT_EQ(w.last, "QM\xE9" "20\xA9" "012");
    // clang-format on
}

}  // namespace
}  // namespace tessera::usbemu

int main(int argc, char** argv) {
    // The walk reads /sys: umockdev shows it the emulated tree only under its preload.
    if (const std::string error = tessera::usbemu::RunUnderUmockdev(argv); !error.empty()) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }
    ::unsetenv("TESSERA_SYSFS_ROOT");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
