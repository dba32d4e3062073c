#pragma once
// Unix-domain sockets by path, as the device registry's pipes and the control sockets use
// them: listening (non-blocking) and connecting, both close-on-exec.
//
// Header-only on purpose: the transport library uses it too and links nothing of the rest of
// the system.

#if !defined(_WIN32)

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace tessera::platform::unixsocket {

// False (errno ENAMETOOLONG) when the path does not fit a socket address.
inline bool FillAddress(const std::string& path, sockaddr_un& addr) {
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) {
        errno = ENAMETOOLONG;
        return false;
    }
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    return true;
}

// A non-blocking listening socket of `type` (SOCK_SEQPACKET, SOCK_STREAM) at `path`, where a
// socket left behind is replaced; -1 with errno set when it cannot be made.
inline int Listen(const std::string& path, int type) {
    sockaddr_un addr;
    if (!FillAddress(path, addr)) return -1;
    const int fd = ::socket(AF_UNIX, type | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return -1;
    ::unlink(path.c_str());
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 16) != 0) {
        const int e = errno;
        ::close(fd);
        errno = e;
        return -1;
    }
    return fd;
}

// A blocking socket of `type` connected to `path`; -1 with errno set when nothing accepts.
inline int Connect(const std::string& path, int type) {
    sockaddr_un addr;
    if (!FillAddress(path, addr)) return -1;
    const int fd = ::socket(AF_UNIX, type | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    int rc;
    do {
        rc = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const int e = errno;
        ::close(fd);
        errno = e;
        return -1;
    }
    return fd;
}

// True when something accepts connections on the packet socket at `path` (a registry pipe
// that a living server listens on, not one a dead server left behind).
inline bool SomeoneServes(const std::string& path) {
    const int fd = Connect(path, SOCK_SEQPACKET);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

}  // namespace tessera::platform::unixsocket

#endif  // !_WIN32
