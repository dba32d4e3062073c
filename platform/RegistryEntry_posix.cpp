#include "platform/RegistryEntry.h"

#include <dirent.h>
#include <fcntl.h>
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
                                                      const std::vector<int>& pipes, std::optional<unsigned long> group,
                                                      const std::map<std::string, std::string>& files,
                                                      std::string* error) {
    auto fail = [&](const std::string& what, const std::string& why) -> std::unique_ptr<RegistryEntry> {
        if (error) *error = what + ": " + why;
        return nullptr;
    };
    const mode_t directoryMode = group ? 0750 : 0700;
    std::string problem = registry::MakeDirectories(classDir, directoryMode);
    // The class directory of a registry that was once open to everyone is closed now.
    if (problem.empty() && group) problem = registry::ShareWithGroup(classDir, *group, directoryMode);
    if (!problem.empty()) {
        if (error) *error = std::move(problem);
        return nullptr;
    }
    std::unique_ptr<RegistryEntry> entry(new RegistryEntry(classDir, name));
    struct stat st {};
    if (::lstat(entry->path_.c_str(), &st) == 0) {
        if (unixsocket::SomeoneServes(entry->path_ + "/0"))
            return fail("another driver serves " + entry->path_, std::strerror(EEXIST));
        RemoveDirectory(entry->path_);
    }
    const std::string temp = classDir + "/." + name + ".new-" + Unique();
    auto undo = [&](const std::string& what, const std::string& why) {
        for (auto& [p, l] : entry->listeners_) ::close(l);
        entry->listeners_.clear();
        RemoveDirectory(temp);
        return fail(what, why);
    };
    if (::mkdir(temp.c_str(), directoryMode) != 0) return fail("cannot create " + temp, std::strerror(errno));
    if (group) {
        if (std::string why = registry::ShareWithGroup(temp, *group, directoryMode); !why.empty())
            return undo("cannot serve " + entry->path_, why);
    }
    for (const auto& [file, content] : files) {
        const std::string path = temp + "/" + file;
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, group ? 0640 : 0600);
        const bool written =
            fd >= 0 && ::write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
        const int e = errno;
        if (fd >= 0) ::close(fd);
        if (!written) return undo("cannot write " + path, std::strerror(e));
        if (group) {
            if (std::string why = registry::ShareWithGroup(path, *group, 0640); !why.empty())
                return undo("cannot serve " + entry->path_, why);
        }
    }
    for (int pipe : pipes) {
        const std::string socket = temp + "/" + std::to_string(pipe);
        const int fd = unixsocket::Listen(socket, SOCK_SEQPACKET);
        if (fd < 0) return undo("cannot listen in " + temp, unixsocket::Explain(socket, errno));
        entry->listeners_[pipe] = fd;
        // Connecting takes write permission on the socket: the group's members may.
        if (group) {
            if (std::string why = registry::ShareWithGroup(socket, *group, 0660); !why.empty())
                return undo("cannot serve " + entry->path_, why);
        }
    }
    if (::rename(temp.c_str(), entry->path_.c_str()) != 0) {
        const int e = errno;
        return undo("cannot rename " + temp + " to " + entry->path_, std::strerror(e));
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
