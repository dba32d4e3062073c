#include "FakeMeter.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>

namespace tessera::test {

namespace {
FakeMeter* current = nullptr;
}

std::vector<std::string> Packets(const std::string& text) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < text.size(); i += 64) out.push_back(text.substr(i, 64));
    out.emplace_back();
    return out;
}

FakeMeter::FakeMeter(Handler handler, int replyTimeoutMs) : handler_(std::move(handler)) {
    for (int pipe = 0; pipe < 2; ++pipe) {
        int sv[2];
        if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, sv) != 0) std::abort();
        link_[pipe] = sv[0];
        meter_[pipe] = sv[1];
    }
    timeval tv{replyTimeoutMs / 1000, (replyTimeoutMs % 1000) * 1000};
    ::setsockopt(link_[1], SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    current = this;
    thread_ = std::thread([this] { Run(); });
}

FakeMeter::~FakeMeter() {
    stop_ = true;
    thread_.join();
    for (int fd : link_)
        if (fd >= 0) ::close(fd);
    for (int fd : meter_)
        if (fd >= 0) ::close(fd);
    if (current == this) current = nullptr;
}

platform::Handle FakeMeter::OpenPipe(std::int32_t pipe) {
    if (!current || pipe < 0 || pipe > 1 || !current->pipeOpens[pipe]) return platform::kInvalidHandle;
    const int fd = current->link_[pipe];
    current->link_[pipe] = -1;
    return fd < 0 ? platform::kInvalidHandle : fd;
}

void FakeMeter::Run() {
    bool linkGone = false;
    while (!stop_) {
        int fd;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            fd = meter_[0];
        }
        if (fd < 0 || linkGone) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 10) <= 0) continue;
        // Read, answer and record under one lock, so Commands() never sees a command half done.
        std::lock_guard<std::mutex> lock(mutex_);
        if (meter_[0] < 0) continue;
        char buf[256];
        const ssize_t n = ::recv(meter_[0], buf, sizeof buf, MSG_DONTWAIT);
        if (n <= 0) {
            linkGone = n == 0 && (p.revents & POLLHUP);
            continue;
        }
        const std::string command(buf, static_cast<std::size_t>(n));
        commands_.push_back(command);
        for (const auto& packet : handler_(command))
            if (meter_[1] >= 0) ::send(meter_[1], packet.data(), packet.size(), MSG_NOSIGNAL);
    }
}

std::vector<std::string> FakeMeter::Commands() {
    // Wait until every command written so far has been taken off the pipe.
    for (int i = 0; i < 500; ++i) {
        int pending = 0;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (meter_[0] < 0) break;
            pollfd p{meter_[0], POLLIN, 0};
            pending = ::poll(&p, 1, 0) > 0 && (p.revents & POLLIN) && !(p.revents & POLLHUP);
        }
        if (!pending) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::lock_guard<std::mutex> lock(mutex_);
    return commands_;
}

bool FakeMeter::LinkClosed(int pipe) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (meter_[pipe] < 0) return false;
    pollfd p{meter_[pipe], POLLRDHUP, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLRDHUP));
}

void FakeMeter::SendLate(const std::vector<std::string>& packets) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& packet : packets)
        if (meter_[1] >= 0) ::send(meter_[1], packet.data(), packet.size(), MSG_NOSIGNAL);
}

void FakeMeter::Unplug() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (int& fd : meter_) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
}

}  // namespace tessera::test
