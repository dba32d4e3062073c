#include "platform/NamedLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/RegistryRoot.h"

namespace tessera::platform {

namespace {
// A lock name becomes one file name: anything that could leave the directory is replaced.
std::string LockFileName(const std::string& name) {
    std::string out;
    for (char c : name) out += (c == '/' || c == '\0') ? '_' : c;
    if (out.empty() || out == "." || out == "..") out = "_" + out;
    return out;
}
}  // namespace

NamedLock::NamedLock(std::string name) : name_(std::move(name)) {}

NamedLock::~NamedLock() { Release(); }

bool NamedLock::TryAcquire() {
    failure_.clear();
    if (handle_ >= 0) return true;
    const registry::Choice runtime = registry::RuntimeDirectory();
    if (!runtime.problem.empty()) {
        failure_ = runtime.problem;
        return false;
    }
    const std::string dir = runtime.path + "/locks";
    if (std::string problem = registry::MakeDirectories(dir); !problem.empty()) {
        failure_ = std::move(problem);
        return false;
    }
    const std::string path = dir + "/" + LockFileName(name_);
    // The file itself stays; only the flock on it means "held". The kernel drops the flock
    // with the last descriptor, so a crashed holder never leaves the lock taken.
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        failure_ = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        if (errno != EWOULDBLOCK) failure_ = "cannot lock " + path + ": " + std::strerror(errno);
        ::close(fd);
        return false;
    }
    handle_ = fd;
    return true;
}

void NamedLock::Release() {
    if (handle_ < 0) return;
    const int fd = static_cast<int>(handle_);
    handle_ = -1;
    ::flock(fd, LOCK_UN);
    ::close(fd);
}

bool NamedLock::Held() const { return handle_ >= 0; }

}  // namespace tessera::platform
