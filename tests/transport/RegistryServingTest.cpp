// What the registry's servers and the transport do when the registry is not an ordinary,
// private, well-behaved place: a root too long for a socket address, a server that stopped
// answering, another account crowding the meter's pipes.

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "link/Link.h"
#include "platform/RegistryRoot.h"
#include "platform/UnixSocket.h"
#include "tests/support/TempDir.h"
#include "tests/support/VirtualMeter.h"
#include "transport/InstrumentIds.h"

namespace tessera {
namespace {

using testing::VirtualMeter;

// Waits for a child process, at most `seconds`; a child still running then is killed.
bool EndsWithin(pid_t child, int seconds, int* status) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        if (::waitpid(child, status, WNOHANG) == child) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, status, 0);
    return false;
}

TEST(RegistryServing, ARootOfMoreThanAHundredCharactersIsServedAndSearched) {
    testing::TempDir base;
    std::string root = base.Path();
    while (root.size() < 130) root += "/a-registry-root-of-some-length";
    ASSERT_TRUE(platform::registry::MakeDirectories(root).empty());
    VirtualMeter::Options options;
    options.deviceRoot = root;
    VirtualMeter meter(options);
    ASSERT_TRUE(meter.Start()) << meter.LastError();
    link::Link link("DeviceChangeEvent-long-root");
    ASSERT_TRUE(link.BindTransportPath(VirtualMeter::BulklinkPath()));
    ASSERT_TRUE(link.OpenSession());
    settings::MeterSettings record{};
    EXPECT_EQ(link.Identify(record), link::kStatusOk);
    link.CloseSession();
}

// A stopped server (a hung driver) takes no connections; once its queue is full, every open
// of a pipe must still end within the pipe timeout, the search for a serving entry included.
TEST(RegistryServing, OpeningThePipesOfAStoppedMeterEndsWithinTheTimeout) {
    VirtualMeter meter;
    ASSERT_TRUE(meter.Start()) << meter.LastError();
    ASSERT_EQ(::kill(meter.Pid(), SIGSTOP), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        ::setenv("TESSERA_PIPE_TIMEOUT_MS", "150", 1);
        // The library the programs load, as they load it.
        void* library = ::dlopen(VirtualMeter::BulklinkPath().c_str(), RTLD_NOW | RTLD_LOCAL);
        using OpenFn = std::intptr_t (*)(std::int32_t);
        auto open = library ? reinterpret_cast<OpenFn>(::dlsym(library, "OpenUSBBulkFile")) : nullptr;
        if (!open) ::_exit(2);
        for (int i = 0; i < 8; ++i) {
            const std::intptr_t h = open(0);
            if (h >= 0) ::close(static_cast<int>(h));
        }
        ::_exit(0);
    }
    int status = 0;
    const bool ended = EndsWithin(child, 30, &status);
    ::kill(meter.Pid(), SIGCONT);
    EXPECT_TRUE(ended) << "an open blocked on the stopped meter";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the library did not load";
}

// Another account that opens hundreds of connections to the meter and keeps them gets a
// bounded share; the server neither runs out of descriptors nor stops serving its owner.
TEST(RegistryServing, AnotherAccountCrowdingThePipesLeavesTheOwnerServed) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs a second account (the tests run as root in CI)";
    constexpr uid_t kOther = 65534;
    // The meter starts with few descriptors: without bounds, the crowd would take them all.
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit low = saved;
    low.rlim_cur = 128;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    VirtualMeter meter;
    const bool started = meter.Start();
    ::setrlimit(RLIMIT_NOFILE, &saved);
    ASSERT_TRUE(started) << meter.LastError();
    // Opened to the other account as a system-wide registry would be to a group's member.
    const std::string classDir = meter.DeviceRoot() + "/" + transport::INSTRUMENT_INTERFACE_CLASS_TEXT;
    for (const std::string& dir : {meter.DeviceRoot(), classDir, meter.EntryPath()})
        ASSERT_EQ(::chmod(dir.c_str(), 0711), 0);
    for (const char* pipe : {"/0", "/1", "/3", "/4"}) ASSERT_EQ(::chmod((meter.EntryPath() + pipe).c_str(), 0666), 0);

    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t crowd = ::fork();
    if (crowd == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::setresgid(kOther, kOther, kOther) != 0 || ::setresuid(kOther, kOther, kOther) != 0) ::_exit(2);
        std::vector<int> held;
        for (int i = 0; i < 300; ++i) {
            const char* pipe = i % 2 ? "/1" : "/0";
            const int fd = platform::unixsocket::Connect(meter.EntryPath() + pipe, SOCK_SEQPACKET, 200);
            if (fd >= 0) held.push_back(fd);
        }
        char byte = 1;
        (void)!::write(ready[1], &byte, 1);
        ::pause();  // holds them until killed
        ::_exit(0);
    }
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ::setenv("TESSERA_PIPE_TIMEOUT_MS", "1000", 1);
    link::Link link("DeviceChangeEvent-crowded");
    ASSERT_TRUE(link.BindTransportPath(VirtualMeter::BulklinkPath()));
    const bool opened = link.OpenSession();
    settings::MeterSettings record{};
    const link::Status identified = opened ? link.Identify(record) : link::kStatusNoDevice;
    ::unsetenv("TESSERA_PIPE_TIMEOUT_MS");
    ::kill(crowd, SIGKILL);
    ::waitpid(crowd, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    EXPECT_TRUE(opened);
    EXPECT_EQ(identified, link::kStatusOk);
}

}  // namespace
}  // namespace tessera
