#pragma once
// One read and one write on a meter pipe handle (a file descriptor: the registry's packet
// sockets, or any other file), as the program and the transport library both do them.
//
// Header-only on purpose: the transport library uses it too and links nothing of the rest of
// the system.

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>

namespace tessera::platform::pipeio {

// How long one step with a meter pipe may wait (opening it, one read, one write), so a silent
// or hung meter costs a bounded wait: TESSERA_PIPE_TIMEOUT_MS (1..60000), else 2 s.
inline int TimeoutMs() {
    if (const char* v = std::getenv("TESSERA_PIPE_TIMEOUT_MS")) {
        const long ms = std::strtol(v, nullptr, 10);
        if (ms > 0 && ms <= 60000) return static_cast<int>(ms);
    }
    return 2000;
}

// A 0-byte read is either the zero-length packet that ends a reply or the peer having gone.
// Only the first is a successful read: a vanished meter must look like a failed read.
inline bool PeerHungUp(int fd) {
    pollfd p{};
    p.fd = fd;
#if defined(POLLRDHUP)
    constexpr short kHangUp = POLLHUP | POLLRDHUP | POLLERR;
#else
    constexpr short kHangUp = POLLHUP | POLLERR;
#endif
    p.events = static_cast<short>(POLLIN | kHangUp);
    if (::poll(&p, 1, 0) <= 0) return false;
    return (p.revents & kHangUp) != 0;
}

// One read of at most `wanted` bytes; false when it failed (`got` is then 0). One read is one
// message on a packet socket; a receive timeout (a silent meter) counts as a failed read.
inline bool Read(int fd, void* buffer, std::uint32_t wanted, std::uint32_t* got) {
    if (got) *got = 0;
    if (fd < 0 || (!buffer && wanted > 0)) return false;
    ssize_t n;
    do {
        n = ::read(fd, buffer, wanted);
    } while (n < 0 && errno == EINTR);
    if (n < 0) return false;
    if (n == 0 && wanted > 0 && PeerHungUp(fd)) return false;
    if (got) *got = static_cast<std::uint32_t>(n);
    return true;
}

// One write of the given bytes; false when it failed.
inline bool Write(int fd, const void* data, std::uint32_t size, std::uint32_t* written) {
    if (written) *written = 0;
    if (fd < 0 || (!data && size > 0)) return false;
    ssize_t n;
    do {
        // MSG_NOSIGNAL: a meter unplugged mid-write must give an error, not kill the program.
        n = ::send(fd, data, size, MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    if (n < 0 && errno == ENOTSOCK) {
        do {
            n = ::write(fd, data, size);
        } while (n < 0 && errno == EINTR);
    }
    if (n < 0) return false;
    if (written) *written = static_cast<std::uint32_t>(n);
    return true;
}

}  // namespace tessera::platform::pipeio
