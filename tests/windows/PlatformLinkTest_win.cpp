// The platform layer's Windows side and the link core on top of it: named mutexes as the
// exchange lock, the library beside the program, pipe reads and writes, and whole exchanges
// against replies queued on message-mode pipes.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "link/Link.h"
#include "link/Status.h"
#include "platform/DynamicLibrary.h"
#include "platform/Handle.h"
#include "platform/LockedFile.h"
#include "platform/NamedLock.h"
#include "platform/Paths.h"
#include "tests/windows/PipePair.h"

namespace tessera {
namespace {

using wintest::PipePair;

std::string UniqueName(const char* what) {
    return std::string("tessera-test-") + std::to_string(::GetCurrentProcessId()) + "-" + what;
}

TEST(WindowsPlatform, NamedLockExistsMeansBusy) {
    const std::string name = UniqueName("lock");
    platform::NamedLock first(name), second(name);
    ASSERT_TRUE(first.TryAcquire());
    EXPECT_TRUE(first.Held());
    const std::wstring wide(name.begin(), name.end());
    // Created owned: a thread that waits on the mutex is kept waiting while it is held.
    DWORD waited = 0;
    std::thread([&] {
        HANDLE h = ::OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, wide.c_str());
        if (!h) return;
        waited = ::WaitForSingleObject(h, 0);
        if (waited == WAIT_OBJECT_0) ::ReleaseMutex(h);
        ::CloseHandle(h);
    }).join();
    EXPECT_EQ(waited, static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_TRUE(first.TryAcquire()) << "asking again while holding it keeps it";
    EXPECT_FALSE(second.TryAcquire());
    EXPECT_FALSE(second.Held());
    first.Release();
    EXPECT_TRUE(second.TryAcquire());
    second.Release();

    // A holder outside this layer (another program of the family) makes it busy too.
    HANDLE other = ::CreateMutexW(nullptr, FALSE, wide.c_str());
    ASSERT_NE(other, nullptr);
    EXPECT_FALSE(first.TryAcquire());
    ::CloseHandle(other);
    EXPECT_TRUE(first.TryAcquire());
}

TEST(WindowsPlatform, NamedLockNameCannotPickAKernelNamespace) {
    platform::NamedLock lock("Global\\" + UniqueName("ns"));
    EXPECT_TRUE(lock.TryAcquire());
    platform::NamedLock same("Global\\" + UniqueName("ns"));
    EXPECT_FALSE(same.TryAcquire());
}

TEST(WindowsPlatform, LibraryIsFoundBesideTheProgram) {
    EXPECT_EQ(platform::SharedLibraryFileName("Bulklink"), "Bulklink.dll");
    platform::DynamicLibrary lib;
    ASSERT_TRUE(lib.Load("Bulklink"));
    EXPECT_NE(lib.Symbol("OpenUSBBulkFile"), nullptr);
    EXPECT_EQ(lib.Symbol("NoSuchExport"), nullptr);
    lib.Unload();
    EXPECT_FALSE(lib.Loaded());
    EXPECT_FALSE(lib.Load("NoSuchLibraryAnywhere"));
    EXPECT_TRUE(lib.LoadPath(platform::ProgramDirectory() + "\\Bulklink.dll"));
}

TEST(WindowsPlatform, Paths) {
    wchar_t self[MAX_PATH];
    std::wstring path(self, ::GetModuleFileNameW(nullptr, self, MAX_PATH));
    path = path.substr(0, path.find_last_of(L'\\'));
    EXPECT_EQ(platform::ProgramDirectory(), std::string(path.begin(), path.end()));
    wchar_t runtime[MAX_PATH];
    const DWORD n = ::GetEnvironmentVariableW(L"TESSERA_RUNTIME_DIR", runtime, MAX_PATH);
    ASSERT_GT(n, 0u);
    EXPECT_EQ(platform::RuntimeDirectory(), std::string(runtime, runtime + n));
    EXPECT_TRUE(platform::FileExists(platform::RuntimeDirectory()));
}

// The logging journals' file: held while open, free for another program after, and
// deleted by its holder without a moment in which anyone else could take it.
TEST(WindowsPlatform, LockedFileIsBusyWhileHeld) {
    const std::string path = platform::RuntimeDirectory() + "\\" + UniqueName("held.journal");
    auto held = platform::LockedFile::Create(path, "first\n");
    ASSERT_TRUE(held);
    EXPECT_FALSE(platform::LockedFile::Create(path, "again\n"));
    EXPECT_FALSE(platform::LockedFile::Claim(path));
    ASSERT_TRUE(held->Append("second\n"));
    EXPECT_TRUE(held->Sync());
    held->Close();
    auto taken = platform::LockedFile::Claim(path);
    ASSERT_TRUE(taken);
    EXPECT_EQ(taken->ReadAll(), "first\nsecond\n");
    EXPECT_FALSE(platform::LockedFile::Claim(path));
    EXPECT_TRUE(taken->Remove());
    EXPECT_FALSE(platform::FileExists(path));
}

TEST(WindowsPlatform, PipeReadsAndWrites) {
    PipePair pipe(L"io");
    ASSERT_TRUE(pipe.Ok());
    const auto h = reinterpret_cast<platform::Handle>(pipe.Client());
    std::uint32_t n = 99;
    ASSERT_TRUE(platform::WriteHandle(h, "MEAS?", 5, &n));
    EXPECT_EQ(n, 5u);
    EXPECT_EQ(pipe.ReceiveOne(), "MEAS?");

    ASSERT_TRUE(pipe.Send("8620\r\n"));
    ASSERT_TRUE(pipe.Send(""));
    char buffer[64];
    ASSERT_TRUE(platform::ReadHandle(h, buffer, 64, &n));
    EXPECT_EQ(std::string(buffer, n), "8620\r\n");
    // The zero-length message is a successful empty read.
    n = 99;
    ASSERT_TRUE(platform::ReadHandle(h, buffer, 64, &n));
    EXPECT_EQ(n, 0u);

    EXPECT_FALSE(platform::ReadHandle(platform::kInvalidHandle, buffer, 64, &n));
    EXPECT_EQ(n, 0u);
    EXPECT_FALSE(platform::WriteHandle(platform::kInvalidHandle, "x", 1, &n));

    // The other end gone: reads and writes fail, nothing hangs.
    pipe.CloseServer();
    EXPECT_FALSE(platform::ReadHandle(h, buffer, 64, &n));
    EXPECT_FALSE(platform::WriteHandle(h, "x", 1, &n));
}

TEST(WindowsPlatform, ASilentSynchronousPipeCostsTheTimeoutOnly) {
    // A kernel driver's pipe is opened without overlapped I/O, like this test pipe's client.
    ::SetEnvironmentVariableA("TESSERA_PIPE_TIMEOUT_MS", "300");
    PipePair pipe(L"silent");
    ASSERT_TRUE(pipe.Ok());
    const auto h = reinterpret_cast<platform::Handle>(pipe.Client());
    char buffer[64];
    std::uint32_t n = 99;
    EXPECT_FALSE(platform::ReadHandle(h, buffer, 64, &n));
    EXPECT_EQ(n, 0u);
    // The cancelled read leaves the pipe usable for the next answer.
    ASSERT_TRUE(pipe.Send("0\r\n"));
    ASSERT_TRUE(platform::ReadHandle(h, buffer, 64, &n));
    EXPECT_EQ(std::string(buffer, n), "0\r\n");
    ::SetEnvironmentVariableA("TESSERA_PIPE_TIMEOUT_MS", nullptr);
}

// The link's two pipes, handed out by the open function as the transport library would.
platform::Handle g_pipes[2] = {platform::kInvalidHandle, platform::kInvalidHandle};
platform::Handle TESSERA_STDCALL OpenTestPipe(std::int32_t pipe) {
    return pipe == 0 || pipe == 1 ? g_pipes[pipe] : platform::kInvalidHandle;
}

class WindowsLink : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(commands_.Ok());
        ASSERT_TRUE(replies_.Ok());
        g_pipes[0] = commands_.GiveClient();
        g_pipes[1] = replies_.GiveClient();
        link_.BindOpenFunction(&OpenTestPipe);
        // Opening the session sends "FUNC 0" and "APP 1"; the meter acknowledges both.
        Reply("0\r\n");
        Reply("0\r\n");
        ASSERT_TRUE(link_.OpenSession());
        EXPECT_EQ(commands_.ReceiveOne(), "FUNC 0");
        EXPECT_EQ(commands_.ReceiveOne(), "APP 1");
    }
    void TearDown() override { g_pipes[0] = g_pipes[1] = platform::kInvalidHandle; }
    // Queues one reply as the meter sends it: 64-byte packets, then a zero-length one.
    void Reply(const std::string& text) {
        for (std::size_t at = 0; at < text.size(); at += 64) ASSERT_TRUE(replies_.Send(text.substr(at, 64)));
        ASSERT_TRUE(replies_.Send(""));
    }

    const std::string lockName_ = UniqueName("DeviceChangeEvent");
    PipePair commands_{L"cmd"};
    PipePair replies_{L"reply"};
    link::Link link_{lockName_};
};

TEST_F(WindowsLink, ExchangesRepliesAndStatuses) {
    link::Reply reply;
    Reply("8620\r\n");
    EXPECT_EQ(link_.Exchange("QPID", reply), link::kStatusOk);
    EXPECT_EQ(reply.Text(), "8620\r\n");
    EXPECT_EQ(commands_.ReceiveOne(), "QPID");

    const std::string longReply = std::string(70, 'A') + "," + "1.234E-06\r\n";
    Reply(longReply);
    EXPECT_EQ(link_.Exchange("MEAS?", reply), link::kStatusOk);
    EXPECT_EQ(reply.Text(), longReply);

    Reply("3\r\n");
    EXPECT_EQ(link_.Exchange("DATA? 5", reply), link::kStatusNoEntry);
    Reply(std::string(320, 'x'));
    EXPECT_EQ(link_.Exchange("DATA? 6", reply), link::kStatusTooLong);
}

TEST_F(WindowsLink, SecondExchangeWhileTheLockExistsIsBusyAndSendsNothing) {
    platform::NamedLock otherExchange(lockName_);
    ASSERT_TRUE(otherExchange.TryAcquire());
    link::Reply reply;
    EXPECT_EQ(link_.Exchange("QPID", reply), link::kStatusBusy);
    EXPECT_EQ(reply.length, 0u);
    EXPECT_EQ(commands_.Pending(), 0u) << "nothing may reach the meter while another exchange runs";

    otherExchange.Release();
    Reply("8620\r\n");
    EXPECT_EQ(link_.Exchange("QPID", reply), link::kStatusOk);
    EXPECT_EQ(commands_.ReceiveOne(), "QPID");
    // The exchange lets go of the lock when it ends.
    EXPECT_TRUE(otherExchange.TryAcquire());
}

TEST_F(WindowsLink, MeterGoneIsNoDevice) {
    replies_.CloseServer();
    link::Reply reply;
    EXPECT_EQ(link_.Exchange("QPID", reply), link::kStatusNoDevice);
}

}  // namespace
}  // namespace tessera
