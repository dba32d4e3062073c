// The marker files of the Windows device registry: what a server writes and what a client
// accepts as the name of an entry's pipes.

#include <gtest/gtest.h>

#include "transport/MeterIdentity.h"
#include "transport/PipeRegistry.h"

namespace tessera::transport {
namespace {

TEST(PipeRegistry, AMarkerNamesItsPipesOnceItsLineIsComplete) {
    const std::string base = "\\\\.\\pipe\\tessera\\{B1EC3545-819C-4484-ACC3-BB36BAA1FC9A}\\virtual-12.345";
    EXPECT_EQ(PipeBaseFromMarker(MarkerText(base)), base);
    EXPECT_EQ(PipeBaseFromMarker(base + "\n"), base);
    EXPECT_EQ(PipeBaseFromMarker(base + "\r\nanything after the first line\n"), base);
    // Still being written: no line end yet.
    EXPECT_EQ(PipeBaseFromMarker(base), "");
    EXPECT_EQ(PipeBaseFromMarker(""), "");
}

TEST(PipeRegistry, OnlyPlainNamesInThePipeNamespaceAreTaken) {
    EXPECT_TRUE(IsNamedPipePath("\\\\.\\PIPE\\x"));
    EXPECT_FALSE(IsNamedPipePath("\\\\.\\pip"));
    for (const char* bad : {"\\\\.\\pipe\\..\\PhysicalDrive0", "\\\\.\\pipe\\a\\.\\b", "\\\\.\\pipe\\a\\\\b",
                            "\\\\.\\pipe\\", "\\\\.\\pipe\\a\\", "\\\\.\\pipe\\a/b", "\\\\.\\pipe\\a b",
                            "\\\\?\\usb#vid_1209&pid_3000", "C:\\Users\\x\\tessera", "\\\\server\\pipe\\x"}) {
        EXPECT_FALSE(IsPlainPipeBase(bad)) << bad;
        EXPECT_EQ(PipeBaseFromMarker(std::string(bad) + "\r\n"), "") << bad;
    }
    // Long enough to leave no room for the pipe number in the transport's device path.
    EXPECT_TRUE(IsPlainPipeBase("\\\\.\\pipe\\" + std::string(kMaxPipeBaseLength - 9, 'a')));
    EXPECT_FALSE(IsPlainPipeBase("\\\\.\\pipe\\" + std::string(kMaxPipeBaseLength - 8, 'a')));
}

// A meter's identity after its marker's first line (or in a POSIX entry's file), and the
// serial a kernel driver's device path holds.
TEST(PipeRegistry, TheIdentityAMeterShows) {
    const std::string marker = MarkerText("\\\\.\\pipe\\x") + IdentityText({"QM 8620\n7", "QM8620"});
    const MeterIdentity shown = ParseIdentity(marker);
    EXPECT_EQ(shown.serial, "QM?8620?7") << "no line end or space inside a serial";
    EXPECT_EQ(shown.model, "QM8620");
    EXPECT_EQ(ParseIdentity("serial QM8620001\r\nserial QM86").serial, "QM8620001") << "a line still being written";

    const MeterIdentity driver = IdentityFromDevicePath(
        "\\\\?\\USB#VID_1209&PID_3000#QM8620001#{b1ec3545-819c-4484-acc3-bb36baa1fc9a}", 0x1209, 0x3000);
    EXPECT_EQ(driver.serial, "QM8620001");
    EXPECT_EQ(driver.model, "QM8620");
    EXPECT_EQ(IdentityFromDevicePath("\\\\?\\usb#vid_1209&pid_3000#5&2a3b4c&0&1#{b1ec}", 0x1209, 0x3000).serial, "")
        << "an instance id the system made up is no serial";
}

}  // namespace
}  // namespace tessera::transport
