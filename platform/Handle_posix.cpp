#include "platform/Handle.h"
#include "platform/PipeIo_posix.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace tessera::platform {

bool ReadHandle(Handle h, void* buffer, std::uint32_t wanted, std::uint32_t* got) {
    return pipeio::Read(static_cast<int>(h), buffer, wanted, got);
}

bool WriteHandle(Handle h, const void* data, std::uint32_t size, std::uint32_t* written) {
    return pipeio::Write(static_cast<int>(h), data, size, written);
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
        if (n == 0 && pipeio::PeerHungUp(fd)) return;
    }
}

void CloseHandle(Handle h) {
    if (h < 0) return;
    ::close(static_cast<int>(h));
}

}  // namespace tessera::platform
