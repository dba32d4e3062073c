// The bridge's registry entry: complete or absent for anyone watching the class directory,
// a dead driver's leftover replaced, a served entry left alone.

#include <gtest/gtest.h>

#include <grp.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/RegistryEntry.h"
#include "tests/support/TempDir.h"

namespace tessera::driver {
namespace {

namespace fs = std::filesystem;

bool Connects(const std::string& path) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET, 0);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return ok;
}

// Whether a process of user `uid` in the supplementary groups `groups` connects to `path`.
bool ConnectsAs(const std::string& path, uid_t uid, const std::vector<gid_t>& groups) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgroups(groups.size(), groups.data()) != 0 || ::setresgid(uid, uid, uid) != 0 ||
            ::setresuid(uid, uid, uid) != 0)
            ::_exit(2);
        ::_exit(Connects(path) ? 0 : 1);
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::vector<std::string> Names(const std::string& dir) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dir)) out.push_back(e.path().filename().string());
    return out;
}

// What a watcher of the class directory sees of names that do not start with a dot.
std::vector<std::string> VisibleEvents(int fd) {
    std::vector<std::string> out;
    alignas(inotify_event) char buf[4096];
    pollfd p{fd, POLLIN, 0};
    while (::poll(&p, 1, 0) > 0) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        for (ssize_t off = 0; off < n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buf + off);
            const std::string name = e->len ? e->name : "";
            if (!name.empty() && name[0] != '.')
                out.push_back(std::string(e->mask & IN_MOVED_TO     ? "in "
                                          : e->mask & IN_MOVED_FROM ? "out "
                                                                    : "other ") +
                              name);
            off += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
        }
    }
    return out;
}

TEST(UsbdRegistryEntry, AppearsWholeAndGoesWhole) {
    tessera::testing::TempDir root;
    const std::string classDir = root.File("class");
    std::string error;
    {
        // Creates the class directory.
        auto probe = platform::RegistryEntry::Publish(classDir, "probe", {0}, std::nullopt, {}, &error);
        ASSERT_NE(probe, nullptr) << error;
    }
    EXPECT_EQ(fs::status(classDir).permissions() & fs::perms::all, fs::perms::owner_all)
        << "a user's registry is private";
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(::inotify_add_watch(watch, classDir.c_str(), IN_CREATE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE), 0);

    auto entry = platform::RegistryEntry::Publish(classDir, "usb-1-4", {0, 1, 3, 4}, std::nullopt, {}, &error);
    ASSERT_NE(entry, nullptr) << error;
    EXPECT_EQ(VisibleEvents(watch), std::vector<std::string>{"in usb-1-4"}) << "one step, already complete";
    for (const char* pipe : {"0", "1", "3", "4"}) EXPECT_TRUE(Connects(entry->Path() + "/" + pipe)) << pipe;
    EXPECT_EQ(Names(classDir), std::vector<std::string>{"usb-1-4"});

    entry->Withdraw();
    EXPECT_EQ(VisibleEvents(watch), std::vector<std::string>{"out usb-1-4"});
    EXPECT_TRUE(Names(classDir).empty()) << "nothing left behind";
    ::close(watch);
}

TEST(UsbdRegistryEntry, ALeftoverIsReplacedAndAServedEntryIsNot) {
    tessera::testing::TempDir root;
    const std::string classDir = root.File("class");
    std::string error;
    // What a bridge that died leaves: the directory with sockets nobody listens on.
    {
        auto dead = platform::RegistryEntry::Publish(classDir, "usb-1-1", {0, 1}, std::nullopt, {}, &error);
        ASSERT_NE(dead, nullptr);
        const std::string keep = root.File("keep");
        fs::rename(dead->Path(), keep);
        dead.reset();
        fs::rename(keep, classDir + "/usb-1-1");
    }
    auto entry = platform::RegistryEntry::Publish(classDir, "usb-1-1", {0, 1}, std::nullopt, {}, &error);
    ASSERT_NE(entry, nullptr) << error;
    EXPECT_TRUE(Connects(classDir + "/usb-1-1/0"));

    auto second = platform::RegistryEntry::Publish(classDir, "usb-1-1", {0, 1}, std::nullopt, {}, &error);
    EXPECT_EQ(second, nullptr);
    EXPECT_NE(error.find("another driver serves"), std::string::npos) << error;
    EXPECT_TRUE(Connects(classDir + "/usb-1-1/0")) << "the served entry is untouched";
}

// A root bridge serves the system-wide registry: the members of its group reach the meter,
// other accounts do not even see it.
TEST(UsbdRegistryEntry, TheSystemWideEntryIsOpenToItsGroupOnly) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root gives a registry to a group (the tests run as root in CI)";
    constexpr gid_t kGroup = 4242;
    constexpr uid_t kOther = 65534;
    tessera::testing::TempDir root;
    ASSERT_EQ(::chmod(root.Path().c_str(), 0711), 0);
    const std::string classDir = root.File("class");
    std::string error;
    auto entry = platform::RegistryEntry::Publish(classDir, "usb-1-1", {0, 1}, kGroup, {}, &error);
    ASSERT_NE(entry, nullptr) << error;
    for (const auto& [path, mode] : std::vector<std::pair<std::string, mode_t>>{
             {classDir, 0750}, {entry->Path(), 0750}, {entry->Path() + "/0", 0660}, {entry->Path() + "/1", 0660}}) {
        struct stat st {};
        ASSERT_EQ(::lstat(path.c_str(), &st), 0) << path;
        EXPECT_EQ(st.st_mode & 07777, mode) << path;
        EXPECT_EQ(st.st_gid, kGroup) << path;
    }
    EXPECT_TRUE(ConnectsAs(entry->Path() + "/0", kOther, {kGroup}));
    EXPECT_FALSE(ConnectsAs(entry->Path() + "/0", kOther, {})) << "an account outside the group";
}

}  // namespace
}  // namespace tessera::driver
