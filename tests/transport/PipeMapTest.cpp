// The USB driver's mapping from the instrument's endpoints to registry pipes.

#include <gtest/gtest.h>

#include "driver/PipeMap.h"

namespace tessera::driver {
namespace {

TEST(DriverPipeMap, PipesAreEndpointPositionsAndOnlyBulkEndpointsServe) {
    // bulk OUT, bulk IN, an interrupt IN in third place, bulk OUT, bulk IN
    const auto pipes =
        MapPipes({{0x01, 0x02, 64}, {0x81, 0x02, 64}, {0x82, 0x03, 8}, {0x03, 0x02, 64}, {0x84, 0x02, 0}});
    ASSERT_EQ(pipes.size(), 4u);
    EXPECT_EQ(pipes[0].number, 0);
    EXPECT_FALSE(pipes[0].in);
    EXPECT_EQ(pipes[1].number, 1);
    EXPECT_TRUE(pipes[1].in);
    EXPECT_EQ(pipes[2].number, 3) << "the pipe number keeps the endpoint's position";
    EXPECT_EQ(pipes[2].endpoint, 0x03);
    EXPECT_EQ(pipes[3].number, 4);
    EXPECT_EQ(pipes[3].maxPacket, 64) << "a zero packet size must not make reads of nothing";
    EXPECT_EQ(EntryName(1, {2, 3}), "usb-1-2.3");
    EXPECT_EQ(EntryName(3, {}), "usb-3-0");
}

// A command's answer comes on the next IN pipe.
TEST(DriverPipeMap, ReplyPipes) {
    const auto pipes =
        MapPipes({{0x01, 0x02, 64}, {0x81, 0x02, 64}, {0x82, 0x03, 8}, {0x03, 0x02, 64}, {0x84, 0x02, 64}});
    EXPECT_EQ(ReplyPipe(pipes, 0), 1);
    EXPECT_EQ(ReplyPipe(pipes, 3), 4);
    EXPECT_EQ(ReplyPipe(pipes, 4), -1);
}

}  // namespace
}  // namespace tessera::driver
