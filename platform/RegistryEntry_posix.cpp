#include "platform/RegistryEntry.h"

#include <dirent.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "platform/RegistryRoot.h"
#include "platform/UnixSocket.h"

namespace tessera::platform {

namespace {

std::string Unique() {
    static std::atomic<unsigned> counter{0};
    return std::to_string(::getpid()) + "-" + std::to_string(counter++);
}

}  // namespace

void RegistryEntry::RemoveDirectory(const std::string& dir) {
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d)) {
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
                ::unlink((dir + "/" + e->d_name).c_str());
        }
        ::closedir(d);
    }
    ::rmdir(dir.c_str());
}

std::unique_ptr<RegistryEntry> RegistryEntry::Publish(const std::string& classDir, const std::string& name,
                                                      const std::vector<int>& pipes, bool systemWide,
                                                      std::string* error) {
    auto fail = [&](const std::string& what) -> std::unique_ptr<RegistryEntry> {
        if (error) *error = what + ": " + std::strerror(errno);
        return nullptr;
    };
    if (std::string problem = registry::MakeDirectories(classDir, systemWide ? 0755 : 0700); !problem.empty()) {
        if (error) *error = std::move(problem);
        return nullptr;
    }
    std::unique_ptr<RegistryEntry> entry(new RegistryEntry(classDir, name));
    struct stat st {};
    if (::lstat(entry->path_.c_str(), &st) == 0) {
        if (unixsocket::SomeoneServes(entry->path_ + "/0")) {
            errno = EEXIST;
            return fail("another driver serves " + entry->path_);
        }
        RemoveDirectory(entry->path_);
    }
    const std::string temp = classDir + "/." + name + ".new-" + Unique();
    if (::mkdir(temp.c_str(), systemWide ? 0755 : 0700) != 0) return fail("cannot create " + temp);
    for (int pipe : pipes) {
        const std::string socket = temp + "/" + std::to_string(pipe);
        const int fd = unixsocket::Listen(socket, SOCK_SEQPACKET);
        // The system-wide registry serves every local user's program; a user's own registry
        // lives in that user's private runtime directory.
        if (fd >= 0 && systemWide) ::chmod(socket.c_str(), 0666);
        if (fd < 0) {
            const int e = errno;
            for (auto& [p, l] : entry->listeners_) ::close(l);
            entry->listeners_.clear();
            RemoveDirectory(temp);
            errno = e;
            return fail("cannot listen in " + temp);
        }
        entry->listeners_[pipe] = fd;
    }
    if (::rename(temp.c_str(), entry->path_.c_str()) != 0) {
        const int e = errno;
        for (auto& [p, l] : entry->listeners_) ::close(l);
        entry->listeners_.clear();
        RemoveDirectory(temp);
        errno = e;
        return fail("cannot rename " + temp + " to " + entry->path_);
    }
    entry->published_ = true;
    entry->where_ = entry->path_;
    return entry;
}

RegistryEntry::~RegistryEntry() { Withdraw(); }

void RegistryEntry::Hide() {
    if (!published_ || where_ != path_) return;
    const std::string gone = classDir_ + "/." + name_ + ".gone-" + Unique();
    if (::rename(path_.c_str(), gone.c_str()) == 0) where_ = gone;
}

void RegistryEntry::Withdraw() {
    if (!published_) return;
    Hide();
    published_ = false;
    for (auto& [pipe, fd] : listeners_) ::close(fd);
    listeners_.clear();
    RemoveDirectory(where_);
}

int RegistryEntry::Listener(int pipe) const {
    const auto it = listeners_.find(pipe);
    return it == listeners_.end() ? -1 : it->second;
}

}  // namespace tessera::platform
