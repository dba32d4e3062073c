#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <string>

#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/DynamicLibrary.h"
#include "platform/FileReplace.h"
#include "platform/Handle.h"
#include "platform/NamedLock.h"
#include "platform/Paths.h"
#include "platform/TemporaryName.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/TempDir.h"

using namespace tessera::platform;

namespace {

struct SocketPair {
    int fd[2] = {-1, -1};
    SocketPair() { EXPECT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET, 0, fd), 0); }
    ~SocketPair() {
        for (int f : fd)
            if (f >= 0) ::close(f);
    }
    void SetReceiveTimeout(int side, int ms) {
        timeval tv{ms / 1000, (ms % 1000) * 1000};
        ::setsockopt(fd[side], SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    }
};

}  // namespace

TEST(Platform, NamedLockIsHeldUntilReleasedAndOnlyOnce) {
    NamedLock first("DeviceChangeEvent");
    NamedLock second("DeviceChangeEvent");
    NamedLock other("Tessera");
    ASSERT_TRUE(first.TryAcquire());
    EXPECT_TRUE(first.Held());
    // Held = exists: a second holder in the same process is refused too.
    EXPECT_FALSE(second.TryAcquire());
    EXPECT_FALSE(second.Held());
    EXPECT_TRUE(other.TryAcquire()) << "different names are different locks";
    first.Release();
    EXPECT_FALSE(first.Held());
    EXPECT_TRUE(second.TryAcquire());
    second.Release();
    second.Release();  // releasing twice is harmless
    {
        NamedLock scoped("DeviceChangeEvent");
        ASSERT_TRUE(scoped.TryAcquire());
    }
    EXPECT_TRUE(first.TryAcquire()) << "destruction releases the lock";
}

TEST(Platform, NamedLockNamesCannotEscapeTheLockDirectory) {
    NamedLock odd("../../x/y");
    ASSERT_TRUE(odd.TryAcquire());
    NamedLock same("../../x/y");
    EXPECT_FALSE(same.TryAcquire());
    EXPECT_TRUE(FileExists(RuntimeDirectory() + "/locks/.._.._x_y"));
}

TEST(Platform, NamedLockOfACrashedProcessIsFreeAgain) {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        NamedLock lock("DeviceChangeEvent");
        const char ok = lock.TryAcquire() ? 'y' : 'n';
        (void)!::write(ready[1], &ok, 1);
        ::pause();  // killed while holding the lock
        ::_exit(0);
    }
    ::close(ready[1]);
    char ok = 0;
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    ::close(ready[0]);
    ASSERT_EQ(ok, 'y');

    NamedLock mine("DeviceChangeEvent");
    EXPECT_FALSE(mine.TryAcquire()) << "another process holds it";
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(mine.TryAcquire()) << "a killed holder must not leave a stale lock";
}

TEST(Platform, OnlyAnOwnUnsharedDirectoryCountsAsPrivate) {
    const std::string base = std::getenv("TESSERA_RUNTIME_DIR");
    const std::string own = base + "/own";
    const std::string shared = base + "/shared";
    const std::string planted = base + "/planted";
    ASSERT_EQ(::mkdir(own.c_str(), 0700), 0);
    ASSERT_EQ(::mkdir(shared.c_str(), 0700), 0);
    ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);  // like /tmp itself
    ASSERT_EQ(::symlink(own.c_str(), planted.c_str()), 0);
    EXPECT_TRUE(IsPrivateDirectory(own));
    EXPECT_FALSE(IsPrivateDirectory(shared)) << "others may write there";
    EXPECT_FALSE(IsPrivateDirectory(planted)) << "a link can point anywhere later";
    EXPECT_FALSE(IsPrivateDirectory(base + "/missing"));
}

TEST(Platform, RuntimeAndRegistryPathsFollowTheEnvironment) {
    const std::string saved = std::getenv("TESSERA_RUNTIME_DIR");
    const std::string nested = saved + "/deeper/still/";
    ::setenv("TESSERA_RUNTIME_DIR", nested.c_str(), 1);
    EXPECT_EQ(RuntimeDirectory(), saved + "/deeper/still");
    EXPECT_TRUE(FileExists(saved + "/deeper/still")) << "created on demand";
    ::setenv("TESSERA_RUNTIME_DIR", saved.c_str(), 1);

    ::setenv("TESSERA_DEVICE_ROOT", "/somewhere/private", 1);
    EXPECT_EQ(DeviceRegistryRoots(), std::vector<std::string>{"/somewhere/private"});
    EXPECT_EQ(UserDeviceRoot(), "/somewhere/private");
    ::unsetenv("TESSERA_DEVICE_ROOT");
    const auto roots = DeviceRegistryRoots();
    ASSERT_EQ(roots.size(), 2u);
    EXPECT_EQ(roots.front(), "/run/tessera");
    EXPECT_EQ(roots.back(), saved);
    EXPECT_EQ(UserDeviceRoot(), saved);
    EXPECT_FALSE(FileExists(""));
}

TEST(Platform, DynamicLibraryIsFoundBesideTheProgram) {
    // The plugin lies beside the test program but on no search path of the system.
    EXPECT_TRUE(FileExists(ProgramDirectory() + "/" + SharedLibraryFileName("tessera_test_plugin")));
    DynamicLibrary lib;
    ASSERT_TRUE(lib.Load("tessera_test_plugin"));
    auto answer = reinterpret_cast<int (*)()>(lib.Symbol("tessera_test_answer"));
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42);
    EXPECT_EQ(lib.Symbol("no_such_export"), nullptr);
    lib.Unload();
    EXPECT_FALSE(lib.Loaded());
    EXPECT_EQ(lib.Symbol("tessera_test_answer"), nullptr);
    lib.Unload();

    DynamicLibrary missing;
    EXPECT_FALSE(missing.Load("tessera_no_such_library"));
    EXPECT_FALSE(missing.LoadPath("/nonexistent/libx.so"));
    EXPECT_FALSE(missing.Loaded());
}

TEST(Platform, OneReadIsOneMessageAndFailuresAreFailedReads) {
    SocketPair sp;
    sp.SetReceiveTimeout(1, 100);
    ASSERT_EQ(::send(sp.fd[0], "abcdef", 6, 0), 6);
    ASSERT_EQ(::send(sp.fd[0], "", 0, 0), 0);
    ASSERT_EQ(::send(sp.fd[0], "gh", 2, 0), 2);

    char buf[64] = {};
    std::uint32_t got = 99;
    ASSERT_TRUE(ReadHandle(sp.fd[1], buf, 64, &got));
    EXPECT_EQ(std::string(buf, got), "abcdef");
    ASSERT_TRUE(ReadHandle(sp.fd[1], buf, 64, &got)) << "a zero-length packet is a successful read";
    EXPECT_EQ(got, 0u);
    ASSERT_TRUE(ReadHandle(sp.fd[1], buf, 64, &got));
    EXPECT_EQ(std::string(buf, got), "gh");
    got = 99;
    EXPECT_FALSE(ReadHandle(sp.fd[1], buf, 64, &got)) << "a receive timeout is a failed read";
    EXPECT_EQ(got, 0u);

    std::uint32_t written = 0;
    ASSERT_TRUE(WriteHandle(sp.fd[1], "QPID", 4, &written));
    EXPECT_EQ(written, 4u);
    ASSERT_EQ(::read(sp.fd[0], buf, 64), 4);

    EXPECT_FALSE(ReadHandle(kInvalidHandle, buf, 64, &got));
    EXPECT_FALSE(WriteHandle(kInvalidHandle, "x", 1, &written));
    CloseHandle(kInvalidHandle);
}

TEST(Platform, DiscardingDropsWhatWaitsAndNeverBlocks) {
    SocketPair sp;
    sp.SetReceiveTimeout(1, 100);
    DiscardPending(sp.fd[1]);  // nothing there: back at once
    ASSERT_EQ(::send(sp.fd[0], "late answer", 11, 0), 11);
    ASSERT_EQ(::send(sp.fd[0], "", 0, 0), 0);
    DiscardPending(sp.fd[1]);
    ASSERT_EQ(::send(sp.fd[0], "next", 4, 0), 4);
    char buf[64] = {};
    std::uint32_t got = 0;
    ASSERT_TRUE(ReadHandle(sp.fd[1], buf, 64, &got));
    EXPECT_EQ(std::string(buf, got), "next") << "the late packets and their end marker are gone";

    ::close(sp.fd[0]);
    sp.fd[0] = -1;
    DiscardPending(sp.fd[1]);  // a peer that went away ends it too
    DiscardPending(kInvalidHandle);
    EXPECT_FALSE(ReadHandle(sp.fd[1], buf, 64, &got));
}

TEST(Platform, AVanishedPeerGivesFailedReadsAndWritesWithoutKillingUs) {
    SocketPair sp;
    ::close(sp.fd[0]);
    sp.fd[0] = -1;
    char buf[64];
    std::uint32_t got = 99;
    // Not the empty packet that ends a reply: the meter is gone.
    EXPECT_FALSE(ReadHandle(sp.fd[1], buf, 64, &got));
    EXPECT_EQ(got, 0u);
    std::uint32_t written = 99;
    EXPECT_FALSE(WriteHandle(sp.fd[1], "MEAS?", 5, &written));  // no SIGPIPE
    EXPECT_EQ(written, 0u);
}

// Saving never destroys the file it replaces, and keeps what the user made of it.
TEST(Platform, ReplacingAFileKeepsTheOldOneOnFailureAndFollowsLinksWithTheirPermissions) {
    tessera::testing::TempDir dir;
    const std::string file = dir.File("data.CSV");
    const std::string old(2740, 'o');
    tessera::testing::WriteAll(file, old);
    {
        const tessera::testing::FileSizeLimit fullDisk(1024);
        std::string error;
        EXPECT_FALSE(ReplaceFileContents(file, std::string(2740, 'n'), &error));
        EXPECT_FALSE(error.empty());
    }
    EXPECT_EQ(tessera::testing::ReadAll(file), old) << "a failed save leaves the old file whole";
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1) << "and no temporary file";

    // Through a relative link: the target gets the text and keeps its mode; the link stays.
    ASSERT_EQ(::mkdir(dir.File("real").c_str(), 0700), 0);
    const std::string target = dir.File("real/target.SET");
    tessera::testing::WriteAll(target, "old");
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    ASSERT_EQ(::symlink("real/target.SET", dir.File("link.SET").c_str()), 0);
    ASSERT_TRUE(ReplaceFileContents(dir.File("link.SET"), "new"));
    struct stat st {};
    ASSERT_EQ(::lstat(dir.File("link.SET").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(tessera::testing::ReadAll(target), "new");
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    EXPECT_TRUE(CanReplaceFile(dir.File("fresh.CSV")));
    EXPECT_FALSE(FileExists(dir.File("fresh.CSV"))) << "the check leaves nothing behind";
    EXPECT_FALSE(CanReplaceFile(dir.File("real")));
    EXPECT_FALSE(CanReplaceFile(dir.File("missing/x.CSV")));
}

// Content made piece by piece (an export's rows) arrives whole and in order, whatever the
// pieces' sizes; a producer that stops, or a disk that fills part way, leaves the old file
// and no temporary one, and a failed write refuses every later piece so the producer stops.
TEST(Platform, ContentMadeInPiecesIsWrittenWholeOrNotAtAll) {
    tessera::testing::TempDir dir;
    const std::string file = dir.File("survey.jsonl");
    std::string expected;
    ASSERT_TRUE(ReplaceFileWith(file, [&expected](const PieceWriter& write) {
        for (int i = 0; i < 50000; ++i) {
            const std::string row = std::to_string(i) + "\n";
            expected += row;
            if (!write(row)) return false;
        }
        const std::string large(3u << 20, 'L');  // larger than any gathering of pieces
        expected += large + "end";
        return write(large) && write("end");
    }));
    EXPECT_EQ(tessera::testing::ReadAll(file), expected);

    std::string error;
    EXPECT_FALSE(ReplaceFileWith(
        file, [](const PieceWriter& write) { return write("half") && false; }, &error));
    EXPECT_NE(error.find("stopped"), std::string::npos) << error;
    {
        const tessera::testing::FileSizeLimit fullDisk(2u << 20);
        int refusedAfterFailure = 0;
        EXPECT_FALSE(ReplaceFileWith(
            file,
            [&refusedAfterFailure](const PieceWriter& write) {
                for (int i = 0; i < 400000; ++i) {
                    if (!write("0123456789\n")) {
                        refusedAfterFailure = write("x") ? 0 : 1;
                        return false;
                    }
                }
                return true;
            },
            &error));
        EXPECT_EQ(refusedAfterFailure, 1) << "the producer learns of the full disk";
        EXPECT_EQ(error.find("stopped"), std::string::npos) << error;
    }
    EXPECT_EQ(tessera::testing::ReadAll(file), expected);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1) << "and no temporary file";
}

namespace {

// Runs `step` in a child process as the account "nobody" (the second account the kernel
// knows everywhere); true when it ran and succeeded.
template <typename Step>
bool AsNobody(Step step) {
    const pid_t child = ::fork();
    if (child == 0) {
        const bool ok = ::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0 && step();
        ::_exit(ok ? 0 : 1);
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

// A shared sticky folder such as /tmp: another account links a name there to a file of ours.
// A save under that name must not reach our file. Our own links are still followed; one
// leading nowhere is refused.
TEST(Platform, ASaveNeverFollowsALinkAnotherAccountPlantedInASharedFolder) {
    if (::geteuid() != 0) GTEST_SKIP() << "planting a link as another account needs root (make test runs as root here)";
    tessera::testing::TempDir dir;
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0711), 0);  // the other account reaches the shared folder
    const std::string shared = dir.File("shared");
    ASSERT_EQ(::mkdir(shared.c_str(), 0700), 0);
    ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
    const std::string mine = dir.File("mine.CSV");
    tessera::testing::WriteAll(mine, "precious");
    const std::string planted = shared + "/survey.CSV";
    ASSERT_TRUE(AsNobody([&] { return ::symlink(mine.c_str(), planted.c_str()) == 0; }));

    EXPECT_FALSE(ResolveSaveTarget(planted).refusal.empty());
    EXPECT_FALSE(ReplaceFileContents(planted, "overwritten"));
    EXPECT_FALSE(CanReplaceFile(planted));
    EXPECT_EQ(tessera::testing::ReadAll(mine), "precious");

    const std::string own = shared + "/own.CSV";
    ASSERT_EQ(::symlink(mine.c_str(), own.c_str()), 0);
    const SaveTarget followed = ResolveSaveTarget(own);
    EXPECT_EQ(followed.path, mine);
    EXPECT_TRUE(followed.exists);
    EXPECT_TRUE(followed.refusal.empty());

    const std::string dangling = dir.File("dangling.CSV");
    ASSERT_EQ(::symlink("elsewhere/new.CSV", dangling.c_str()), 0);
    ASSERT_EQ(::mkdir(dir.File("elsewhere").c_str(), 0700), 0);
    EXPECT_NE(ResolveSaveTarget(dangling).refusal.find("does not exist"), std::string::npos);
    EXPECT_FALSE(ReplaceFileContents(dangling, "text"));
    EXPECT_FALSE(FileExists(dir.File("elsewhere/new.CSV"))) << "no file made where the user does not look";
}

// A temporary name is short whatever the target's, so a name of the file system's full
// length saves; temporary files a crash left behind are cleared by the next save into
// their folder, and nothing that may still be written or that is not ours.
TEST(Platform, TemporaryNamesFitBesideLongNamesAndOnlyStaleOnesOfOursAreCleared) {
    tessera::testing::TempDir dir;
    const std::string longest = dir.File(std::string(251, 'n') + ".CSV");  // 255 bytes, the limit
    std::string error;
    EXPECT_TRUE(ReplaceFileContents(longest, "text", &error)) << error;
    EXPECT_EQ(tessera::testing::ReadAll(longest), "text");

    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ASSERT_GT(child, 0);
    ::waitpid(child, nullptr, 0);  // a process that is gone
    const auto gone = static_cast<std::uint32_t>(child);
    const auto temporary = [&](std::uint32_t process, std::uint32_t serial, int ageSeconds) {
        const std::string path = dir.File(TemporaryName(process, serial));
        tessera::testing::WriteAll(path, "left over");
        const timespec times[2] = {{::time(nullptr) - ageSeconds, 0}, {::time(nullptr) - ageSeconds, 0}};
        ::utimensat(AT_FDCWD, path.c_str(), times, 0);
        return path;
    };
    const std::string stale = temporary(gone, 1, 3600);
    const std::string fresh = temporary(gone, 2, 0);             // may be a save in progress elsewhere
    const std::string living = temporary(::getppid(), 3, 3600);  // its process still runs
    const std::string locked = temporary(gone, 4, 3600);         // a writer holds it
    const int lock = ::open(locked.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(lock, LOCK_EX), 0);
    const std::string unknown = dir.File(".tessera-notours.tmp");  // not our pattern
    tessera::testing::WriteAll(unknown, "someone else's");
    const bool root = ::geteuid() == 0;  // only root can give a file to another account
    const std::string others = temporary(gone, 5, 3600);
    if (root) {
        ASSERT_EQ(::chown(others.c_str(), 65534, 65534), 0);
    }

    ASSERT_TRUE(ReplaceFileContents(dir.File("saved.CSV"), "new"));
    ::close(lock);
    EXPECT_FALSE(FileExists(stale));
    EXPECT_TRUE(FileExists(fresh));
    EXPECT_TRUE(FileExists(living));
    EXPECT_TRUE(FileExists(locked));
    EXPECT_TRUE(FileExists(unknown));
    EXPECT_EQ(FileExists(others), root) << "another account's file stays";
}
