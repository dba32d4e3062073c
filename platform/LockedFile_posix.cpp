#include "platform/LockedFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <utility>

namespace tessera::platform {

namespace {

bool WriteAll(int fd, std::string_view bytes, std::size_t* taken = nullptr) {
    if (taken) *taken = 0;
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;  // EFBIG past a file-size limit is a failure like ENOSPC
        bytes.remove_prefix(static_cast<std::size_t>(n));
        if (taken) *taken += static_cast<std::size_t>(n);
    }
    return true;
}

// Gives `from` the name `to` unless `to` exists. link() never replaces a name; rename() is
// the way on file systems without hard links (a race there only costs a lost name).
bool NameWithoutReplacing(const std::string& from, const std::string& to) {
    if (::link(from.c_str(), to.c_str()) == 0) return true;
    if (errno == EEXIST) return false;
    struct stat st {};
    return ::lstat(to.c_str(), &st) != 0 && errno == ENOENT && ::rename(from.c_str(), to.c_str()) == 0;
}

bool LockNow(int fd) {
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    return rc == 0;
}

std::string DirectoryOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::optional<LockedFile> LockedFile::Create(const std::string& path, std::string_view firstBytes) {
    // Made complete and locked under a hidden name, then given its own name in one step, so
    // a program looking for free files can never take it between its creation and its lock.
    std::string temp = DirectoryOf(path) + "/." + NameOf(path) + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    LockedFile file;
    file.handle_ = fd;
    file.path_ = temp;
    if (!LockNow(fd) || !WriteAll(fd, firstBytes)) {
        file.Remove();
        return std::nullopt;
    }
    const bool named = NameWithoutReplacing(temp, path);
    ::unlink(temp.c_str());
    if (!named) {
        ::close(fd);
        file.handle_ = -1;
        return std::nullopt;
    }
    file.path_ = path;
    return file;
}

std::optional<LockedFile> LockedFile::Claim(const std::string& path) {
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CLOEXEC | O_NOFOLLOW);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return std::nullopt;
    LockedFile file;
    file.handle_ = fd;
    file.path_ = path;
    if (!LockNow(fd)) return std::nullopt;
    // The holder may have deleted it (saved) between our open and our lock: then the name
    // is gone or names another file, and there is nothing to take over.
    struct stat held {
    }, named{};
    if (::fstat(fd, &held) != 0 || held.st_nlink == 0 || !S_ISREG(held.st_mode)) return std::nullopt;
    if (::stat(path.c_str(), &named) != 0 || named.st_ino != held.st_ino || named.st_dev != held.st_dev) {
        return std::nullopt;
    }
    return file;
}

bool LockedFile::Append(std::string_view bytes, std::size_t* taken) {
    if (taken) *taken = 0;
    if (handle_ < 0) return false;
    return WriteAll(static_cast<int>(handle_), bytes, taken);
}

bool LockedFile::Sync() {
    if (handle_ < 0) return false;
#if defined(__linux__)
    return ::fdatasync(static_cast<int>(handle_)) == 0;
#else
    return ::fsync(static_cast<int>(handle_)) == 0;
#endif
}

std::optional<std::string> LockedFile::ReadAll() {
    if (handle_ < 0) return std::nullopt;
    const int fd = static_cast<int>(handle_);
    std::string out;
    char buffer[65536];
    off_t offset = 0;
    for (;;) {
        const ssize_t n = ::pread(fd, buffer, sizeof buffer, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) break;
        out.append(buffer, static_cast<std::size_t>(n));
        offset += n;
    }
    return out;
}

bool LockedFile::Remove() {
    if (handle_ < 0) return false;
    // Deleted while still held, so nobody can take it over in between.
    const bool gone = ::unlink(path_.c_str()) == 0 || errno == ENOENT;
    Close();
    return gone;
}

bool LockedFile::MoveTo(const std::string& path) {
    if (handle_ < 0 || !NameWithoutReplacing(path_, path)) return false;
    ::unlink(path_.c_str());  // gone already when rename() gave the name
    path_ = path;
    return true;
}

void LockedFile::Close() {
    if (handle_ < 0) return;
    ::close(static_cast<int>(std::exchange(handle_, -1)));
}

}  // namespace tessera::platform
