#include "platform/Handle.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace tessera::platform {

namespace {
// A 0-byte read is either the zero-length packet that ends a reply or the peer having gone.
// Only the first is a successful read: a vanished meter must look like a failed read.
bool PeerHungUp(int fd) {
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
}  // namespace

bool ReadHandle(Handle h, void* buffer, std::uint32_t wanted, std::uint32_t* got) {
    if (got) *got = 0;
    if (h < 0 || (!buffer && wanted > 0)) return false;
    const int fd = static_cast<int>(h);
    ssize_t n;
    do {
        // One read is one message on a packet socket; the transport's receive timeout
        // turns a silent meter into EAGAIN, which counts as a failed read.
        n = ::read(fd, buffer, wanted);
    } while (n < 0 && errno == EINTR);
    if (n < 0) return false;
    if (n == 0 && wanted > 0 && PeerHungUp(fd)) return false;
    if (got) *got = static_cast<std::uint32_t>(n);
    return true;
}

bool WriteHandle(Handle h, const void* data, std::uint32_t size, std::uint32_t* written) {
    if (written) *written = 0;
    if (h < 0 || (!data && size > 0)) return false;
    const int fd = static_cast<int>(h);
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

void DiscardPending(Handle h) {
    if (h < 0) return;
    const int fd = static_cast<int>(h);
    // Bounded, so a peer that never stops sending cannot keep us here.
    for (int i = 0; i < 1024; ++i) {
        pollfd p{};
        p.fd = fd;
        p.events = POLLIN;
        if (::poll(&p, 1, 0) <= 0 || !(p.revents & POLLIN)) return;
        char buffer[512];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) return;
        // A 0-byte read is a zero-length packet (keep going) or a peer that went away.
        if (n == 0 && PeerHungUp(fd)) return;
    }
}

void CloseHandle(Handle h) {
    if (h < 0) return;
    ::close(static_cast<int>(h));
}

}  // namespace tessera::platform
