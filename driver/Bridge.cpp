#include "driver/Bridge.h"

#include <fcntl.h>
#include <libusb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "transport/InstrumentIds.h"

namespace tessera::driver {

namespace {

constexpr std::size_t kMessageSize = transport::kPacketSize;

long PeerProcess(int fd) {
    ucred cred{};
    socklen_t size = sizeof cred;
    return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &size) == 0 ? cred.pid : 0;
}

void OnTransferDone(libusb_transfer* transfer) { *static_cast<int*>(transfer->user_data) = 1; }

}  // namespace

InstrumentBridge::InstrumentBridge(libusb_context* context, libusb_device_handle* handle, std::vector<Pipe> pipes,
                                   std::unique_ptr<platform::RegistryEntry> entry, Log log, BridgeTimings timings)
    : context_(context), handle_(handle), pipes_(std::move(pipes)), entry_(std::move(entry)),
      entryPath_(entry_->Path()), log_(std::move(log)), timings_(timings) {
    if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) wake_[0] = wake_[1] = -1;
    threads_.emplace_back([this] { ServeSockets(); });
    for (const Pipe& p : pipes_) {
        if (p.in) threads_.emplace_back([this, p] { ReadPipe(p); });
        else threads_.emplace_back([this, p] { WritePipe(p); });
    }
}

InstrumentBridge::~InstrumentBridge() { Stop(); }

void InstrumentBridge::Stop() {
    if (stopped_) return;
    stopped_ = true;
    // Gone from the registry first, so nobody connects to what is being taken apart; then
    // every client's pipe ends at once instead of at its read timeout.
    entry_->Hide();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        for (const Client& c : clients_) ::shutdown(c.fd, SHUT_RDWR);
    }
    changed_.notify_all();
    if (wake_[1] >= 0) (void)!::write(wake_[1], "x", 1);
    for (auto& t : threads_) t.join();
    threads_.clear();
    entry_->Withdraw();
    for (const Client& c : clients_) ::close(c.fd);
    clients_.clear();
    for (int fd : wake_)
        if (fd >= 0) ::close(fd);
    libusb_release_interface(handle_, 0);
    libusb_close(handle_);
}

int InstrumentBridge::ReaderFor(int pipe, long process) const {
    int any = -1;
    for (auto it = clients_.rbegin(); it != clients_.rend(); ++it) {
        if (it->pipe != pipe) continue;
        if (it->process == process) return it->fd;
        if (any < 0) any = it->fd;
    }
    return any;
}

bool InstrumentBridge::HasClient(int pipe) const {
    return std::any_of(clients_.begin(), clients_.end(), [pipe](const Client& c) { return c.pipe == pipe; });
}

void InstrumentBridge::Drop(int fd) {
    std::lock_guard<std::mutex> lock(mutex_);
    clients_.erase(std::remove_if(clients_.begin(), clients_.end(), [fd](const Client& c) { return c.fd == fd; }),
                   clients_.end());
    ::close(fd);
}

void InstrumentBridge::ServeSockets() {
    while (!stopping_) {
        std::vector<pollfd> fds = {{wake_[0], POLLIN, 0}};
        std::vector<int> pipeOf = {-1};
        for (const Pipe& p : pipes_) {
            if (const int l = entry_->Listener(p.number); l >= 0) {
                fds.push_back({l, POLLIN, 0});
                pipeOf.push_back(p.number);
            }
        }
        const std::size_t firstClient = fds.size();
        std::vector<Client> clients;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            clients = clients_;
        }
        for (const Client& c : clients) fds.push_back({c.fd, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), 1000) <= 0) continue;
        if (stopping_) break;
        bool joined = false;
        for (std::size_t i = 1; i < firstClient; ++i) {
            if (!(fds[i].revents & POLLIN)) continue;
            for (;;) {
                const int c = ::accept4(fds[i].fd, nullptr, nullptr, SOCK_CLOEXEC);
                if (c < 0) break;
                std::lock_guard<std::mutex> lock(mutex_);
                clients_.push_back({c, pipeOf[i], PeerProcess(c)});
                joined = true;
            }
        }
        for (std::size_t i = firstClient; i < fds.size(); ++i) {
            if (!fds[i].revents) continue;
            const Client c = clients[i - firstClient];
            unsigned char buf[4096];
            const ssize_t n = ::recv(c.fd, buf, sizeof buf, MSG_DONTWAIT);
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
            if (n < 0 || (n == 0 && (fds[i].revents & (POLLHUP | POLLERR)))) {
                Drop(c.fd);
                continue;
            }
            const auto pipe =
                std::find_if(pipes_.begin(), pipes_.end(), [&](const Pipe& p) { return p.number == c.pipe; });
            if (pipe == pipes_.end() || pipe->in) continue;  // nothing is written to an IN pipe
            if (n == 0) continue;                            // an empty message carries nothing
            std::lock_guard<std::mutex> lock(mutex_);
            queues_[c.pipe].push_back(
                {c.pipe, c.process, std::string(reinterpret_cast<char*>(buf), static_cast<std::size_t>(n))});
            joined = true;
        }
        if (joined) changed_.notify_all();
    }
}

int InstrumentBridge::Transfer(const Pipe& pipe, unsigned char* data, int length, int timeoutMs, int& moved) {
    // libusb's synchronous call, with the zero-length packet a bulk OUT transfer needs when
    // it ends on a packet boundary (otherwise the meter would wait for more).
    moved = 0;
    libusb_transfer* t = libusb_alloc_transfer(0);
    if (!t) return LIBUSB_ERROR_NO_MEM;
    int completed = 0;
    libusb_fill_bulk_transfer(t, handle_, pipe.endpoint, data, length, OnTransferDone, &completed,
                              static_cast<unsigned>(timeoutMs));
    if (!pipe.in) t->flags = LIBUSB_TRANSFER_ADD_ZERO_PACKET;
    int rc = libusb_submit_transfer(t);
    if (rc != 0) {
        libusb_free_transfer(t);
        return rc;
    }
    while (!completed) {
        if (libusb_handle_events_completed(context_, &completed) < 0 && !completed) {
            libusb_cancel_transfer(t);
            while (!completed) libusb_handle_events_completed(context_, &completed);
        }
    }
    moved = t->actual_length;
    switch (t->status) {
        case LIBUSB_TRANSFER_COMPLETED: rc = 0; break;
        case LIBUSB_TRANSFER_TIMED_OUT: rc = LIBUSB_ERROR_TIMEOUT; break;
        case LIBUSB_TRANSFER_STALL: rc = LIBUSB_ERROR_PIPE; break;
        case LIBUSB_TRANSFER_NO_DEVICE: rc = LIBUSB_ERROR_NO_DEVICE; break;
        case LIBUSB_TRANSFER_OVERFLOW: rc = LIBUSB_ERROR_OVERFLOW; break;
        case LIBUSB_TRANSFER_CANCELLED: rc = LIBUSB_ERROR_INTERRUPTED; break;
        default: rc = LIBUSB_ERROR_IO; break;
    }
    libusb_free_transfer(t);
    return rc;
}

void InstrumentBridge::Recover(const Pipe& pipe, int rc, const char* what) {
    log_(std::string(what) + " pipe " + std::to_string(pipe.number) + ": " + libusb_error_name(rc));
    if (rc == LIBUSB_ERROR_PIPE) {
        // A halted endpoint stays halted until the host clears it.
        libusb_clear_halt(handle_, pipe.endpoint);
        return;
    }
    // Anything else (the endpoint gone, the device going): try again later, never in a loop.
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, std::chrono::milliseconds(timings_.retryMs), [this] { return stopping_.load(); });
}

void InstrumentBridge::WritePipe(Pipe pipe) {
    const int replyPipe = ReplyPipe(pipes_, pipe.number);
    for (;;) {
        Message m;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [&] { return stopping_ || !queues_[pipe.number].empty(); });
            if (stopping_) return;
            m = std::move(queues_[pipe.number].front());
            queues_[pipe.number].pop_front();
            // Set before the command goes out: the answer may come back at once.
            if (replyPipe >= 0) askedBy_[replyPipe] = m.process;
        }
        int moved = 0;
        const int rc = Transfer(pipe, reinterpret_cast<unsigned char*>(m.bytes.data()),
                                static_cast<int>(m.bytes.size()), timings_.writeTimeoutMs, moved);
        // A command the meter did not take is dropped: its sender's read of the reply
        // ends at that sender's own timeout.
        if (rc != 0) Recover(pipe, rc, "write to");
    }
}

void InstrumentBridge::ReadPipe(Pipe pipe) {
    std::vector<unsigned char> buf(static_cast<std::size_t>(pipe.maxPacket));
    for (;;) {
        {
            // Only read while someone listens: a packet read for nobody would be lost.
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [&] { return stopping_ || HasClient(pipe.number); });
            if (stopping_) return;
        }
        int got = 0;
        // One packet per transfer keeps the packet boundaries, zero-length packets included.
        const int rc = Transfer(pipe, buf.data(), pipe.maxPacket, timings_.readSliceMs, got);
        if (stopping_) return;
        if (rc != 0 && !(rc == LIBUSB_ERROR_TIMEOUT && got > 0)) {
            if (rc != LIBUSB_ERROR_TIMEOUT) Recover(pipe, rc, "read from");
            continue;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        const auto asked = askedBy_.find(pipe.number);
        const int to = ReaderFor(pipe.number, asked == askedBy_.end() ? 0 : asked->second);
        if (to < 0) {
            log_("pipe " + std::to_string(pipe.number) + ": a packet for nobody was dropped");
            continue;
        }
        for (const auto& [offset, length] : MessageSpans(static_cast<std::size_t>(got), kMessageSize)) {
            // Never blocks: a client that stopped reading loses packets, the meter does not stall.
            if (::send(to, buf.data() + offset, length, MSG_DONTWAIT | MSG_NOSIGNAL) < 0) {
                log_("pipe " + std::to_string(pipe.number) + ": a client does not read; packet dropped");
                break;
            }
        }
    }
}

}  // namespace tessera::driver
