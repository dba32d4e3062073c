// The marker files of the Windows device registry: what a server writes and what a client
// accepts as the name of an entry's pipes.

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace tessera::transport
