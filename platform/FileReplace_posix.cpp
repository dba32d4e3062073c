#include "platform/FileReplace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

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

std::string NameOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file a save of `path` really writes: symbolic links followed to their end (a link to
// a file not there yet names the file to create). `existing` is filled when it exists.
bool Resolve(const std::string& path, std::string& target, struct stat& existing, bool& exists, std::string* error) {
    target = path;
    for (int i = 0; i <= kMaxLinks; ++i) {
        if (::lstat(target.c_str(), &existing) != 0) {
            if (errno != ENOENT) return Fail(error, target);
            exists = false;
            return true;
        }
        if (!S_ISLNK(existing.st_mode)) {
            exists = true;
            if (S_ISDIR(existing.st_mode)) {
                errno = EISDIR;
                return Fail(error, target);
            }
            return true;
        }
        char buffer[4096];
        const ssize_t n = ::readlink(target.c_str(), buffer, sizeof buffer - 1);
        if (n < 0) return Fail(error, target);
        const std::string link(buffer, static_cast<std::size_t>(n));
        target = (!link.empty() && link[0] == '/') ? link : DirectoryOf(target) + "/" + link;
    }
    errno = ELOOP;
    return Fail(error, path);
}

// A new, exclusively created file beside `target`; its name goes to `temp`.
int CreateTemporary(const std::string& target, std::string& temp, std::string* error) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = DirectoryOf(target) + "/." + NameOf(target) + ".tmp-" + std::to_string(::getpid()) + "-" +
               std::to_string(counter++);
        // Exclusive and not through a link: nothing planted under that name is written to.
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) return fd;
        if (errno != EEXIST) {
            Fail(error, "cannot create a file in " + DirectoryOf(target));
            return -1;
        }
    }
    Fail(error, "cannot create a file in " + DirectoryOf(target));
    return -1;
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

// The temporary file a replacement of `path` is written to (its descriptor, or -1 with the
// reason in `error`), with the file it will replace: `target` (a symbolic link followed) and,
// when that exists, its `existing` status.
int StartReplacement(const std::string& path, std::string& target, struct stat& existing, bool& exists,
                     std::string& temp, std::string* error) {
    if (!Resolve(path, target, existing, exists, error)) return -1;
    return CreateTemporary(target, temp, error);
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

bool ReplaceFileContents(const std::string& path, std::string_view contents, std::string* error) {
    std::string target, temp;
    struct stat existing {};
    bool exists = false;
    const int fd = StartReplacement(path, target, existing, exists, temp, error);
    if (fd < 0) return false;
    if (exists) {
        // The file stays what it was to everyone else: its mode, and its group when we may.
        if (::fchmod(fd, existing.st_mode & 07777) != 0)
            return Abandon(fd, temp, error, "cannot set the permissions of " + temp);
        if (existing.st_gid != ::getegid() && ::fchown(fd, static_cast<uid_t>(-1), existing.st_gid) != 0) {
            // Not a member of that group: the file takes ours, as any new file would.
        }
    }
    if (!WriteAll(fd, contents) || ::fsync(fd) != 0) return Abandon(fd, temp, error, "cannot write " + temp);
    if (::close(fd) != 0) return Abandon(-1, temp, error, "cannot write " + temp);
    if (::rename(temp.c_str(), target.c_str()) != 0) return Abandon(-1, temp, error, "cannot replace " + target);
    return true;
}

bool CanReplaceFile(const std::string& path, std::string* error) {
    std::string target, temp;
    struct stat existing {};
    bool exists = false;
    const int fd = StartReplacement(path, target, existing, exists, temp, error);
    if (fd < 0) return false;
    ::close(fd);
    ::unlink(temp.c_str());
    return true;
}

}  // namespace tessera::platform
