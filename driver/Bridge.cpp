#include "driver/Bridge.h"

#include <fcntl.h>
#include <libusb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "platform/UnixSocket.h"
#include "transport/InstrumentIds.h"

namespace tessera::driver {

namespace {

void OnTransferDone(libusb_transfer* transfer) { *static_cast<int*>(transfer->user_data) = 1; }

// The exchanges of the meter's pipe pairs: commands answered on the next IN pipe, their
// answers ended by a zero-length packet; the counter's byte answered in one packet.
std::vector<platform::ExchangeRouter::PipePair> Pairs(const std::vector<Pipe>& pipes) {
    std::vector<platform::ExchangeRouter::PipePair> pairs;
    for (const Pipe& p : pipes) {
        const int reply = p.in ? -1 : ReplyPipe(pipes, p.number);
        if (reply >= 0) pairs.push_back({p.number, reply, p.number != transport::kCounterCommandPipe});
    }
    return pairs;
}

}  // namespace

InstrumentBridge::InstrumentBridge(libusb_context* context, libusb_device_handle* handle, std::vector<Pipe> pipes,
                                   std::unique_ptr<platform::RegistryEntry> entry, Log log, BridgeTimings timings,
                                   unsigned long owner)
    : context_(context), handle_(handle), pipes_(std::move(pipes)), entry_(std::move(entry)),
      entryPath_(entry_->Path()), log_(std::move(log)), timings_(timings),
      router_(Pairs(pipes_), owner, std::chrono::milliseconds(timings_.holdMs)) {
    platform::unixsocket::PrepareAccept();
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
        for (const auto& [fd, pipe] : clients_) ::shutdown(fd, SHUT_RDWR);
    }
    changed_.notify_all();
    if (wake_[1] >= 0) (void)!::write(wake_[1], "x", 1);
    for (auto& t : threads_) t.join();
    threads_.clear();
    entry_->Withdraw();
    for (const auto& [fd, pipe] : clients_) ::close(fd);
    clients_.clear();
    router_.Clear();
    for (int fd : wake_)
        if (fd >= 0) ::close(fd);
    libusb_release_interface(handle_, 0);
    libusb_close(handle_);
}

void InstrumentBridge::Drop(int fd) {
    std::lock_guard<std::mutex> lock(mutex_);
    router_.Gone(fd);
    clients_.erase(
        std::remove_if(clients_.begin(), clients_.end(), [fd](const std::pair<int, int>& c) { return c.first == fd; }),
        clients_.end());
    ::close(fd);
}

void InstrumentBridge::AcceptAll(int listener, int pipe) {
    if (std::chrono::steady_clock::now() < listenAgain_) return;
    for (;;) {
        const int fd = platform::unixsocket::Accept(listener);
        if (fd < 0) {
            // Out of descriptors: the listeners rest a moment instead of waking every poll.
            if (errno == EMFILE || errno == ENFILE)
                listenAgain_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
            return;
        }
        const auto peer = platform::unixsocket::PeerOf(fd);
        std::lock_guard<std::mutex> lock(mutex_);
        if (!router_.Admit(fd, pipe, peer.process, peer.user)) {
            ::close(fd);
            continue;
        }
        clients_.push_back({fd, pipe});
    }
}

void InstrumentBridge::ServeSockets() {
    while (!stopping_) {
        std::vector<pollfd> fds = {{wake_[0], POLLIN, 0}};
        std::vector<int> pipeOf = {-1};
        const bool listening = std::chrono::steady_clock::now() >= listenAgain_;
        for (const Pipe& p : pipes_) {
            if (const int l = entry_->Listener(p.number); l >= 0 && listening) {
                fds.push_back({l, POLLIN, 0});
                pipeOf.push_back(p.number);
            }
        }
        const std::size_t firstClient = fds.size();
        std::vector<std::pair<int, int>> clients;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            clients = clients_;
        }
        for (const auto& [fd, pipe] : clients) fds.push_back({fd, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), listening ? 1000 : 100) <= 0) continue;
        if (stopping_) break;
        bool news = false, accepted = false;
        for (std::size_t i = 1; i < firstClient; ++i) {
            if (fds[i].revents & POLLIN) {
                AcceptAll(fds[i].fd, pipeOf[i]);
                news = true;  // a reader may be waiting for a client of its pipe
            }
        }
        for (std::size_t i = firstClient; i < fds.size(); ++i) {
            if (!fds[i].revents) continue;
            const int fd = clients[i - firstClient].first;
            unsigned char buf[4096];
            const ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
            if (n < 0 || (n == 0 && (fds[i].revents & (POLLHUP | POLLERR)))) {
                Drop(fd);
                continue;
            }
            if (n == 0) continue;  // an empty message carries nothing
            if (!accepted) {
                // The client connected its answer pipe before it wrote: take it now, so the
                // answer finds it.
                for (std::size_t l = 1; l < firstClient; ++l) AcceptAll(fds[l].fd, pipeOf[l]);
                accepted = true;
            }
            news = true;
            std::lock_guard<std::mutex> lock(mutex_);
            router_.Received(fd, std::string(reinterpret_cast<char*>(buf), static_cast<std::size_t>(n)));
        }
        if (news) changed_.notify_all();
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
    for (;;) {
        platform::ExchangeRouter::Request request;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            for (;;) {
                if (stopping_) return;
                if (auto next = router_.Next(pipe.number, std::chrono::steady_clock::now())) {
                    request = std::move(*next);
                    break;
                }
                // Woken by a new request, an exchange ending, or the hold of one passing.
                if (auto hold = router_.HoldEnds()) changed_.wait_until(lock, *hold);
                else changed_.wait(lock);
            }
        }
        changed_.notify_all();  // the answer pipe's reader: an answer is awaited now
        int moved = 0;
        const int rc = Transfer(pipe, reinterpret_cast<unsigned char*>(request.bytes.data()),
                                static_cast<int>(request.bytes.size()), timings_.writeTimeoutMs, moved);
        if (rc != 0) {
            // A request the meter did not take is dropped: its sender's read of the answer
            // ends at that sender's own timeout, and the next request need not wait for it.
            {
                std::lock_guard<std::mutex> lock(mutex_);
                router_.Unanswered(pipe.number);
            }
            changed_.notify_all();
            Recover(pipe, rc, "write to");
        }
    }
}

void InstrumentBridge::ReadPipe(Pipe pipe) {
    std::vector<unsigned char> buf(static_cast<std::size_t>(pipe.maxPacket));
    for (;;) {
        {
            // Only read while an answer is awaited: a packet read for nobody would be lost.
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [&] { return stopping_ || router_.Awaited(pipe.number); });
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
        {
            std::lock_guard<std::mutex> lock(mutex_);
            const auto delivery =
                router_.Answer(pipe.number, std::string_view(reinterpret_cast<const char*>(buf.data()), got), got == 0,
                               std::chrono::steady_clock::now());
            if (delivery.to == platform::ExchangeRouter::kNobody) {
                log_("pipe " + std::to_string(pipe.number) + ": a packet for nobody was dropped");
            } else {
                for (const std::string& m : delivery.messages) {
                    // Never blocks: a client that stopped reading loses packets, the meter does not stall.
                    if (::send(static_cast<int>(delivery.to), m.data(), m.size(), MSG_DONTWAIT | MSG_NOSIGNAL) < 0) {
                        log_("pipe " + std::to_string(pipe.number) + ": a client does not read; packet dropped");
                        break;
                    }
                }
            }
        }
        changed_.notify_all();  // an exchange may have ended: the next request may go
    }
}

}  // namespace tessera::driver
