// The virtual-qm8620 program over its real sockets, through the VirtualMeter fixture:
// packet framing, the byte counter pipes, unplug and plug, the control socket.

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/support/VirtualMeter.h"

namespace tessera::testing {
namespace {

int Connect(const std::string& path) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET, 0);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    timeval tv{2, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    return fd;
}

// The packets of one reply, up to and including the zero-length one.
std::vector<std::string> Packets(int fd) {
    std::vector<std::string> out;
    char buf[512];
    for (int i = 0; i < 40; ++i) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n < 0) break;
        out.emplace_back(buf, static_cast<std::size_t>(n));
        if (n == 0) break;
    }
    return out;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

TEST(VirtualMeterProcess, RepliesTravelAs64BytePacketsEndedByAnEmptyOneAndAreCounted) {
    VirtualMeter meter;
    ASSERT_TRUE(meter.Start()) << meter.LastError();
    ASSERT_TRUE(meter.InjectFault("overlong 1 QPID"));
    const int cmd = Connect(meter.EntryPath() + "/0");
    const int reply = Connect(meter.EntryPath() + "/1");
    ASSERT_GE(cmd, 0);
    ASSERT_GE(reply, 0);

    ASSERT_EQ(::send(cmd, "QPID", 4, 0), 4);
    const auto packets = Packets(reply);
    ASSERT_GE(packets.size(), 2u);
    EXPECT_TRUE(packets.back().empty());
    std::string whole;
    for (std::size_t i = 0; i + 1 < packets.size(); ++i) {
        EXPECT_LE(packets[i].size(), 64u);
        if (i + 2 < packets.size()) {
            EXPECT_EQ(packets[i].size(), 64u);
        }
        whole += packets[i];
    }
    EXPECT_GT(whole.size(), 300u);
    EXPECT_EQ(whole.substr(0, 5), "8620,");

    ASSERT_EQ(::send(cmd, "QPID", 4, 0), 4);
    EXPECT_EQ(Packets(reply), (std::vector<std::string>{"8620\r\n", ""}));

    // Pipe 3 takes one command byte, pipe 4 answers the bytes sent on pipe 1 so far.
    const int c3 = Connect(meter.EntryPath() + "/3");
    const int c4 = Connect(meter.EntryPath() + "/4");
    ASSERT_EQ(::send(c3, "\0", 1, 0), 1);
    unsigned char count[8] = {};
    ASSERT_EQ(::recv(c4, count, sizeof count, 0), 4);
    const std::uint32_t sent = (count[0] << 24) | (count[1] << 16) | (count[2] << 8) | count[3];
    EXPECT_EQ(sent, whole.size() + 6);
    ASSERT_EQ(::send(c3, "\1", 1, 0), 1);  // reset
    ASSERT_EQ(::recv(c4, count, sizeof count, 0), 4);
    EXPECT_EQ(count[0] | count[1] | count[2] | count[3], 0);
    for (int fd : {cmd, reply, c3, c4}) ::close(fd);

    EXPECT_EQ(meter.CommandLog(), (std::vector<std::string>{"QPID", "QPID"}));
}

TEST(VirtualMeterProcess, UnplugRemovesTheEntryAndDropsConnectionsPlugRestoresIt) {
    VirtualMeter meter;
    ASSERT_TRUE(meter.Start()) << meter.LastError();
    const int reply = Connect(meter.EntryPath() + "/1");
    ASSERT_GE(reply, 0);
    ASSERT_TRUE(meter.Unplug());
    EXPECT_FALSE(Exists(meter.EntryPath()));
    char buf[64];
    EXPECT_EQ(::recv(reply, buf, sizeof buf, 0), 0) << "the reader sees the hang-up";
    ::close(reply);
    EXPECT_EQ(Connect(meter.EntryPath() + "/0"), -1);

    ASSERT_TRUE(meter.Plug());
    EXPECT_TRUE(Exists(meter.EntryPath() + "/4"));
    const int cmd = Connect(meter.EntryPath() + "/0");
    EXPECT_GE(cmd, 0);
    ::close(cmd);
    EXPECT_EQ(meter.StatusValue("plugged"), "1");
}

TEST(VirtualMeterProcess, UnplugAfterNCommandsAnswersNThenVanishes) {
    VirtualMeter meter;
    ASSERT_TRUE(meter.Start()) << meter.LastError();
    ASSERT_TRUE(meter.InjectFault("unplug-after 2"));
    const int cmd = Connect(meter.EntryPath() + "/0");
    const int reply = Connect(meter.EntryPath() + "/1");
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(::send(cmd, "QPID", 4, 0), 4);
        EXPECT_EQ(Packets(reply), (std::vector<std::string>{"8620\r\n", ""}));
    }
    ASSERT_EQ(::send(cmd, "QPID", 4, 0), 4);
    char buf[64];
    EXPECT_EQ(::recv(reply, buf, sizeof buf, 0), 0);
    ::close(cmd);
    ::close(reply);
    EXPECT_EQ(meter.StatusValue("plugged"), "0");
    EXPECT_FALSE(Exists(meter.EntryPath()));
}

TEST(VirtualMeterProcess, EachProgramSharingTheMeterGetsItsOwnReplies) {
    // Two programs with the meter open, taking turns: the one that connected first asks,
    // and its answer must not land on the other one's reply pipe (where it would be lost to
    // the asker and read by the other program as the answer to its next command).
    VirtualMeter meter;
    ASSERT_TRUE(meter.Start()) << meter.LastError();
    const int cmd = Connect(meter.EntryPath() + "/0");
    const int reply = Connect(meter.EntryPath() + "/1");
    ASSERT_GE(cmd, 0);
    ASSERT_GE(reply, 0);
    int ready[2], go[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(go), 0);
    const pid_t other = ::fork();
    ASSERT_GE(other, 0);
    if (other == 0) {
        // The second program: opens its pipes after the first, waits for its turn, then
        // asks "MEM?" and must read the answer to that, not the first program's "QPID".
        const int myCmd = Connect(meter.EntryPath() + "/0");
        const int myReply = Connect(meter.EntryPath() + "/1");
        char byte = 1;
        if (myCmd < 0 || myReply < 0 || ::write(ready[1], &byte, 1) != 1 || ::read(go[0], &byte, 1) != 1) ::_exit(2);
        if (::send(myCmd, "MEM?", 4, 0) != 4) ::_exit(3);
        const auto got = Packets(myReply);
        ::_exit(!got.empty() && got.front() == "0,00\r\n" ? 0 : 1);
    }
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ASSERT_EQ(::send(cmd, "QPID", 4, 0), 4);
    EXPECT_EQ(Packets(reply), (std::vector<std::string>{"8620\r\n", ""}));
    ASSERT_EQ(::write(go[1], &byte, 1), 1);
    int status = 0;
    ASSERT_EQ(::waitpid(other, &status, 0), other);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the second program read a reply that was not its own";
    for (int fd : {cmd, reply, ready[0], ready[1], go[0], go[1]}) ::close(fd);
}

TEST(VirtualMeterProcess, StartsUnpluggedAndRefusesABadMemoryFile) {
    VirtualMeter::Options o;
    o.plugged = false;
    o.demoMemory = true;
    VirtualMeter meter(o);
    ASSERT_TRUE(meter.Start()) << meter.LastError();
    EXPECT_FALSE(Exists(meter.EntryPath()));
    EXPECT_EQ(meter.StatusValue("memory"), "25");
    EXPECT_FALSE(meter.LoadMemory("/nonexistent/memory.txt"));
    EXPECT_NE(meter.LastError().find("cannot read"), std::string::npos);
    EXPECT_EQ(meter.StatusValue("memory"), "25") << "a refused file leaves the memory as it was";
    EXPECT_TRUE(meter.LoadMemory(VirtualMeter::DemoMemoryFile()));
}

}  // namespace
}  // namespace tessera::testing
