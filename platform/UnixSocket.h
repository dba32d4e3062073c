#pragma once
// Unix-domain sockets by path, as the device registry's pipes and the control sockets use
// them: listening (non-blocking), connecting within a time limit, accepting without ever
// spinning when descriptors run out, and who is at the other end. All close-on-exec.
//
// A socket address holds at most 107 bytes of path, far less than a registry root plus the
// interface class and an entry name need. A longer path is reached through its directory:
// the directory is opened and the address becomes /proc/self/fd/N/NAME, which the kernel
// resolves like the path itself (with the same permission checks on the directory), without
// changing the working directory of a process that has threads.
//
// Header-only on purpose: the transport library uses it too and links nothing of the rest of
// the system.

#if !defined(_WIN32)

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <string>

namespace tessera::platform::unixsocket {

// The socket address of a path, directly or through its directory.
class Address {
public:
    explicit Address(const std::string& path) {
        std::memset(&addr_, 0, sizeof addr_);
        addr_.sun_family = AF_UNIX;
        if (path.size() < sizeof addr_.sun_path) {
            std::memcpy(addr_.sun_path, path.c_str(), path.size() + 1);
            ok_ = true;
            return;
        }
        const std::size_t slash = path.rfind('/');
        const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
        const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
#if defined(O_PATH)
        dir_ = ::open(dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
#endif
        std::string via;
        struct stat st {};
        if (dir_ >= 0) via = "/proc/self/fd/" + std::to_string(dir_) + "/" + name;
        if (dir_ >= 0 && via.size() < sizeof addr_.sun_path &&
            ::stat(("/proc/self/fd/" + std::to_string(dir_)).c_str(), &st) == 0) {
            std::memcpy(addr_.sun_path, via.c_str(), via.size() + 1);
            ok_ = true;
            return;
        }
        const int e = dir_ < 0 ? errno : ENAMETOOLONG;
        why_ = path + " is " + std::to_string(path.size()) + " bytes long, more than the " +
               std::to_string(sizeof addr_.sun_path - 1) + " a socket address holds, and it cannot be reached " +
               (dir_ < 0 ? "through its directory (" + std::string(std::strerror(e)) + ")"
                         : "through /proc/self/fd (is /proc mounted?)") +
               "; a shorter directory works";
        errno = ENAMETOOLONG;
    }
    ~Address() {
        if (dir_ >= 0) ::close(dir_);
    }
    Address(const Address&) = delete;
    Address& operator=(const Address&) = delete;

    bool Ok() const { return ok_; }
    // Why the path cannot be a socket address; empty when it can.
    const std::string& Why() const { return why_; }
    const sockaddr* Get() const { return reinterpret_cast<const sockaddr*>(&addr_); }
    socklen_t Size() const { return sizeof addr_; }

private:
    sockaddr_un addr_;
    int dir_ = -1;  // held until the bind or connect is done
    bool ok_ = false;
    std::string why_;
};

// Why `path` cannot be bound or connected to, from the errno of a failure there: the length
// explained when that was the cause, else the system's words.
inline std::string Explain(const std::string& path, int error) {
    if (error == ENAMETOOLONG) {
        Address a(path);
        if (!a.Ok()) return a.Why();
    }
    return std::strerror(error);
}

// A non-blocking listening socket of `type` (SOCK_SEQPACKET, SOCK_STREAM) at `path`, where a
// socket left behind is replaced; -1 with errno set when it cannot be made.
inline int Listen(const std::string& path, int type) {
    const Address addr(path);
    if (!addr.Ok()) return -1;
    const int fd = ::socket(AF_UNIX, type | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return -1;
    ::unlink(path.c_str());
    if (::bind(fd, addr.Get(), addr.Size()) != 0 || ::listen(fd, 16) != 0) {
        const int e = errno;
        ::close(fd);
        errno = e;
        return -1;
    }
    return fd;
}

// A blocking socket of `type` connected to `path` within `timeoutMs`; -1 with errno set when
// nothing accepts in that time (ETIMEDOUT: a server that has stopped taking connections).
inline int Connect(const std::string& path, int type, int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const Address addr(path);
    if (!addr.Ok()) return -1;
    const int fd = ::socket(AF_UNIX, type | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return -1;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    auto left = [&] {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        return static_cast<int>(ms < 0 ? 0 : ms);
    };
    auto fail = [fd](int e) {
        ::close(fd);
        errno = e;
        return -1;
    };
    int pause = 1;
    for (;;) {
        if (::connect(fd, addr.Get(), addr.Size()) == 0) break;
        if (errno == EINTR) continue;
        if (errno == EINPROGRESS) {
            pollfd p{fd, POLLOUT, 0};
            int ready;
            do {
                ready = ::poll(&p, 1, left());
            } while (ready < 0 && errno == EINTR);
            if (ready <= 0) return fail(ready == 0 ? ETIMEDOUT : errno);
            int error = 0;
            socklen_t size = sizeof error;
            if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) return fail(errno);
            if (error != 0) return fail(error);
            break;
        }
        // The listener's queue is full (Linux answers EAGAIN at once): nothing wakes a waiter
        // when it drains, so look again after a pause that grows to 50 ms.
        if (errno != EAGAIN) return fail(errno);
        const int wait = left();
        if (wait == 0) return fail(ETIMEDOUT);
        ::poll(nullptr, 0, pause < wait ? pause : wait);
        pause = pause * 2 > 50 ? 50 : pause * 2;
    }
    // Blocking again: the pipe's reads and writes are bounded by their own timeouts.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

// True when something listens on the packet socket at `path` (a registry pipe that a living
// server listens on, not one a dead server left behind). Never waits: a listener whose queue
// is full still counts, as a busy named pipe does on Windows.
inline bool SomeoneServes(const std::string& path) {
    const Address addr(path);
    if (!addr.Ok()) return false;
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return false;
    int rc;
    do {
        rc = ::connect(fd, addr.Get(), addr.Size());
    } while (rc != 0 && errno == EINTR);
    const bool serves = rc == 0 || errno == EAGAIN || errno == EINPROGRESS;
    ::close(fd);
    return serves;
}

// One descriptor kept open for the moment the process runs out of them (PrepareAccept()).
inline int& ReserveDescriptor() {
    static int fd = -1;
    return fd;
}
inline std::mutex& ReserveMutex() {
    static std::mutex m;
    return m;
}

// A server calls this once before it accepts connections.
inline void PrepareAccept() {
    std::lock_guard<std::mutex> lock(ReserveMutex());
    if (ReserveDescriptor() < 0) ReserveDescriptor() = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
}

// One waiting connection of `listener`, non-blocking; -1 when none is waiting (EAGAIN) or it
// failed. Out of descriptors (EMFILE, ENFILE), the waiting connection is taken with the
// reserve descriptor and hung up on at once, so its client learns at once and the listener
// stops reporting it; the caller should still leave the listener alone for a moment, in case
// another one was waiting too.
inline int Accept(int listener) {
    for (;;) {
        const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd >= 0) return fd;
        if (errno == EINTR || errno == ECONNABORTED) continue;
        if (errno != EMFILE && errno != ENFILE) return -1;
        const int e = errno;
        std::lock_guard<std::mutex> lock(ReserveMutex());
        int& reserve = ReserveDescriptor();
        if (reserve >= 0) {
            ::close(reserve);
            const int shed = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (shed >= 0) ::close(shed);
            reserve = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        }
        errno = e;
        return -1;
    }
}

// Who is at the other end of a connection: process id (0 when the system does not say) and
// user id.
struct Peer {
    long process = 0;
    unsigned long user = static_cast<unsigned long>(-1);
};
inline Peer PeerOf(int fd) {
    Peer peer;
#if defined(SO_PEERCRED)
    ucred cred{};
    socklen_t size = sizeof cred;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &size) == 0) {
        peer.process = cred.pid;
        peer.user = cred.uid;
    }
#else
    uid_t uid = 0;
    gid_t gid = 0;
    if (::getpeereid(fd, &uid, &gid) == 0) peer.user = uid;
#endif
    return peer;
}

}  // namespace tessera::platform::unixsocket

#endif  // !_WIN32
