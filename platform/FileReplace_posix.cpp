#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>

#include "platform/FileReplace.h"
#include "platform/TemporaryName.h"

namespace tessera::platform {

namespace {

constexpr int kMaxLinks = 40;  // as the kernel's own limit on links followed in one name

bool Fail(std::string* error, const std::string& what) {
    if (error) *error = what + ": " + std::strerror(errno);
    return false;
}

std::string DirectoryOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// The kernel's rule for links in shared folders (fs.protected_symlinks), which a name we
// resolve ourselves never meets: a link is followed when the user made it, when the owner
// of its folder did, or when nobody but that owner may write the folder.
bool MayFollow(const struct stat& link, const std::string& linkPath) {
    if (link.st_uid == ::geteuid()) return true;
    struct stat folder {};
    if (::stat(DirectoryOf(linkPath).c_str(), &folder) != 0) return false;
    return link.st_uid == folder.st_uid || (folder.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

SaveTarget Refuse(SaveTarget target, std::string why) {
    target.refusal = std::move(why);
    return target;
}

std::string Reason() { return std::string(std::strerror(errno)) + "."; }

// A new, exclusively created file in `directory`, locked while it is ours to write; its
// name goes to `temp`.
int CreateTemporary(const std::string& directory, std::string& temp, std::string* error) {
    static std::atomic<std::uint32_t> serial{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = directory + "/" + TemporaryName(static_cast<std::uint32_t>(::getpid()), serial++);
        // Exclusive and not through a link: nothing planted under that name is written to.
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            // Tells a program clearing left-over files that this one is being written (a
            // file system without locks leaves that to the file's age).
            ::flock(fd, LOCK_EX | LOCK_NB);
            return fd;
        }
        if (errno != EEXIST) break;
    }
    Fail(error, "cannot create a file in " + directory);
    return -1;
}

// Removes the temporary files of ours in `directory` that a crashed save left behind: ours
// by name and owner, older than a live save ever gets, their process gone from this
// computer, and not locked by a writer (on another computer sharing the folder, say).
void RemoveStaleTemporaries(const std::string& directory) {
    DIR* dir = ::opendir(directory.c_str());
    if (!dir) return;
    const int dirFd = ::dirfd(dir);
    const std::time_t now = std::time(nullptr);
    while (const dirent* entry = ::readdir(dir)) {
        const auto process = TemporaryNameProcess(entry->d_name);
        if (!process || *process == static_cast<std::uint32_t>(::getpid())) continue;
        struct stat st {};
        if (::fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) ||
            st.st_uid != ::geteuid() || now - st.st_mtime < kStaleTemporarySeconds)
            continue;
        const pid_t pid = static_cast<pid_t>(*process);
        if (pid <= 0 || ::kill(pid, 0) == 0 || errno != ESRCH) continue;  // that process lives (or may)
        const int fd = ::openat(dirFd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat held {};
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &held) == 0 && held.st_ino == st.st_ino &&
            held.st_dev == st.st_dev)
            ::unlinkat(dirFd, entry->d_name, 0);
        ::close(fd);
    }
    ::closedir(dir);
}

bool WriteAll(int fd, std::string_view contents) {
    while (!contents.empty()) {
        const ssize_t n = ::write(fd, contents.data(), contents.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        contents.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Gives up a replacement: the temporary file goes (closed first when `fd` is still open),
// and the message names what failed with the errno of that failure.
bool Abandon(int fd, const std::string& temp, std::string* error, const std::string& what) {
    const int saved = errno;
    if (fd >= 0) ::close(fd);
    ::unlink(temp.c_str());
    errno = saved;
    return Fail(error, what);
}

}  // namespace

SaveTarget ResolveSaveTarget(const std::string& path) {
    SaveTarget target{path, false, {}};
    for (int links = 0; links <= kMaxLinks; ++links) {
        struct stat st {};
        if (::lstat(target.path.c_str(), &st) != 0) {
            if (errno != ENOENT) return Refuse(target, Reason());
            if (links > 0)
                return Refuse(target, "It is a symbolic link to \"" + target.path + "\", which does not exist.");
            return target;
        }
        if (!S_ISLNK(st.st_mode)) {
            if (S_ISDIR(st.st_mode)) return Refuse(target, "It is a folder.");
            target.exists = true;
            return target;
        }
        if (!MayFollow(st, target.path))
            return Refuse(target, "It is a symbolic link that another user made in a folder that others may write.");
        char buffer[4096];
        const ssize_t n = ::readlink(target.path.c_str(), buffer, sizeof buffer - 1);
        if (n < 0) return Refuse(target, Reason());
        const std::string link(buffer, static_cast<std::size_t>(n));
        // A relative link is relative to its own folder (a name alone: the working directory).
        const bool relativeToHere = target.path.find('/') == std::string::npos;
        if (!link.empty() && link[0] != '/' && !relativeToHere) target.path = DirectoryOf(target.path) + "/" + link;
        else target.path = link;
    }
    errno = ELOOP;
    return Refuse(target, Reason());
}

bool SyncDirectoryOf(const std::string& path, std::string* error) {
    const std::string directory = DirectoryOf(path);
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return Fail(error, "cannot sync " + directory);
    // A file system that cannot sync a directory says so with EINVAL; it promises nothing
    // more than it did, so that is no failure of ours.
    const bool synced = ::fsync(fd) == 0 || errno == EINVAL || errno == ENOTSUP;
    const int saved = errno;
    ::close(fd);
    errno = saved;
    return synced || Fail(error, "cannot sync " + directory);
}

bool ReplaceFileWith(const std::string& path, const std::function<bool(const PieceWriter&)>& produce,
                     std::string* error) {
    const SaveTarget target = ResolveSaveTarget(path);
    if (!target.refusal.empty()) {
        if (error) *error = path + ": " + target.refusal;
        return false;
    }
    struct stat existing {};
    const bool exists = target.exists && ::stat(target.path.c_str(), &existing) == 0;
    const std::string directory = DirectoryOf(target.path);
    RemoveStaleTemporaries(directory);
    std::string temp;
    const int fd = CreateTemporary(directory, temp, error);
    if (fd < 0) return false;
    if (exists) {
        // The file stays what it was to everyone else: its mode, and its group when we may.
        if (::fchmod(fd, existing.st_mode & 07777) != 0)
            return Abandon(fd, temp, error, "cannot set the permissions of " + temp);
        if (existing.st_gid != ::getegid() && ::fchown(fd, static_cast<uid_t>(-1), existing.st_gid) != 0) {
            // Not a member of that group: the file takes ours, as any new file would.
        }
    }
    PieceBuffer buffer([fd](std::string_view piece) { return WriteAll(fd, piece); });
    const bool made = produce([&buffer](std::string_view piece) { return buffer.Put(piece); });
    if (!made && !buffer.Failed()) {
        Abandon(fd, temp, nullptr, {});
        if (error) *error = "the writing of " + path + " was stopped";
        return false;
    }
    if (!made || !buffer.Flush() || ::fsync(fd) != 0) return Abandon(fd, temp, error, "cannot write " + temp);
    if (::close(fd) != 0) return Abandon(-1, temp, error, "cannot write " + temp);
    if (::rename(temp.c_str(), target.path.c_str()) != 0)
        return Abandon(-1, temp, error, "cannot replace " + target.path);
    // Only a synced directory holds the new name for certain; a caller that removes its
    // own copy of the data (the logging journal) after a true must find the file after a
    // power cut.
    return SyncDirectoryOf(target.path, error);
}

bool CanReplaceFile(const std::string& path, std::string* error) {
    const SaveTarget target = ResolveSaveTarget(path);
    if (!target.refusal.empty()) {
        if (error) *error = path + ": " + target.refusal;
        return false;
    }
    std::string temp;
    const int fd = CreateTemporary(DirectoryOf(target.path), temp, error);
    if (fd < 0) return false;
    ::close(fd);
    ::unlink(temp.c_str());
    return true;
}

}  // namespace tessera::platform
