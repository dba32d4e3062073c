// The POSIX side of the virtual meter's serving: the registry entry as a directory of
// SOCK_SEQPACKET sockets and the control socket, served by one poll loop.
#include "meter/Server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "meter/MeterRequests.h"
#include "platform/UnixSocket.h"
#include "transport/InstrumentIds.h"

namespace tessera::meter {

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kPipes[] = {transport::kCommandPipe, transport::kReplyPipe, transport::kCounterCommandPipe,
                          transport::kCounterReplyPipe};

}  // namespace

Server::Server(Meter& meter, ServerOptions options) : meter_(meter), options_(std::move(options)) {}

Server::~Server() {
    Unplug();
    for (auto& c : controlClients_) ::close(c.fd);
    if (control_ >= 0) {
        ::close(control_);
        ::unlink(options_.controlPath.c_str());
    }
}

std::string Server::ClassDirectory() const { return options_.root + "/" + transport::INSTRUMENT_INTERFACE_CLASS_TEXT; }

std::string Server::EntryPath() const { return ClassDirectory() + "/" + options_.entry; }

bool Server::Plug(std::string* error) {
    if (plugged_) return true;
    // An entry left behind by a meter that died is replaced; a served one is not ours.
    entry_ = platform::RegistryEntry::Publish(ClassDirectory(), options_.entry, {std::begin(kPipes), std::end(kPipes)},
                                              false, error);
    plugged_ = entry_ != nullptr;
    return plugged_;
}

void Server::Unplug() {
    if (!plugged_) return;
    plugged_ = false;
    entry_.reset();  // gone from the registry before its clients are hung up on
    for (auto& c : connections_) ::close(c.fd);
    connections_.clear();
    outgoing_.clear();
}

bool Server::OpenControl(std::string* error) {
    if (options_.controlPath.empty()) return true;
    control_ = platform::unixsocket::Listen(options_.controlPath, SOCK_STREAM);
    if (control_ < 0) {
        if (error) *error = "cannot listen on " + options_.controlPath + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

int Server::Listener(int pipe) const { return entry_ ? entry_->Listener(pipe) : -1; }

void Server::AcceptAll(int pipe) {
    const int listener = Listener(pipe);
    if (listener < 0) return;
    for (;;) {
        const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) return;
        long peer = 0;  // unknown: replies go to the newest reader
#if defined(SO_PEERCRED)
        ucred cred{};
        socklen_t size = sizeof cred;
        if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &size) == 0) peer = cred.pid;
#endif
        connections_.push_back({fd, pipe, peer});
    }
}

int Server::ReaderFor(int pipe, long from) const {
    // Several programs may share the meter, taking turns under their exchange lock; each
    // reads its reply from its own reply pipe. A reply handed to another program's pipe
    // would be lost to the asker and read by the other one as the answer to its next
    // command.
    if (from != 0) {
        for (auto it = connections_.rbegin(); it != connections_.rend(); ++it)
            if (it->pipe == pipe && it->peer == from) return it->fd;
    }
    return NewestConnection(pipe);
}

int Server::NewestConnection(int pipe) const {
    for (auto it = connections_.rbegin(); it != connections_.rend(); ++it)
        if (it->pipe == pipe) return it->fd;
    return -1;
}

void Server::DropConnection(int fd) {
    ::close(fd);
    connections_.erase(
        std::remove_if(connections_.begin(), connections_.end(), [fd](const Connection& c) { return c.fd == fd; }),
        connections_.end());
}

void Server::FlushDue() {
    while (!outgoing_.empty() && outgoing_.front().due <= Clock::now()) {
        Outgoing& o = outgoing_.front();
        AcceptAll(o.pipe);
        const int fd = ReaderFor(o.pipe, o.to);
        if (fd < 0) {
            outgoing_.pop_front();  // nobody listens: the packets are lost, as on the wire
            continue;
        }
        if (!o.packetise) {
            if (::send(fd, o.bytes.data(), o.bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT) < 0) {
                if (errno == EAGAIN || errno == EWOULDBLOCK) return;
                DropConnection(fd);  // a reader that left: the next newest one gets it
                continue;
            }
            outgoing_.pop_front();
            continue;
        }
        // Packets of at most 64 bytes; the final zero-length packet ends the reply. The
        // bytes already sent are cut from the front, so a full queue resumes where it stopped.
        for (;;) {
            const std::size_t n = std::min<std::size_t>(o.bytes.size(), transport::kPacketSize);
            const ssize_t sent = ::send(fd, o.bytes.data(), n, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (sent < 0) {
                if (errno == EAGAIN || errno == EWOULDBLOCK) return;  // wait for POLLOUT
                // The reader left (a client that closed its pipes before we noticed): the
                // reply goes to the next reader instead of being lost.
                DropConnection(fd);
                break;
            }
            bytesSent_ += static_cast<std::uint32_t>(sent);
            if (n == 0) {
                outgoing_.pop_front();
                break;
            }
            o.bytes.erase(0, n);
        }
    }
}

void Server::ServeControlClient(ControlClient& c, bool& closed) {
    char buf[4096];
    for (;;) {
        const ssize_t n = ::recv(c.fd, buf, sizeof buf, MSG_DONTWAIT);
        if (n == 0) {
            closed = true;
            break;
        }
        if (n < 0) {
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) closed = true;
            break;
        }
        c.input.append(buf, static_cast<std::size_t>(n));
    }
    const std::string response =
        AnswerCompleteLines(c.input, [this](const std::string& line) { return Control(line); });
    // The answer is small next to the socket buffer except for a long command log;
    // write it out completely so the client always sees the closing line.
    std::size_t off = 0;
    while (off < response.size()) {
        pollfd p{c.fd, POLLOUT, 0};
        const ssize_t w = ::send(c.fd, response.data() + off, response.size() - off, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (w > 0) {
            off += static_cast<std::size_t>(w);
        } else if (w < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (::poll(&p, 1, 5000) <= 0) {
                closed = true;
                return;
            }
        } else if (w < 0 && errno != EINTR) {
            closed = true;
            return;
        }
    }
}

int Server::Run(const volatile sig_atomic_t* stop) {
    while (running_ && !(stop && *stop)) {
        std::vector<pollfd> fds;
        enum Tag { kListener, kConnection, kControl, kControlClient };
        std::vector<std::pair<Tag, int>> tags;
        for (int pipe : kPipes) {
            if (Listener(pipe) >= 0) {
                fds.push_back({Listener(pipe), POLLIN, 0});
                tags.push_back({kListener, pipe});
            }
        }
        int waitingFd = -1;
        if (!outgoing_.empty() && outgoing_.front().due <= Clock::now())
            waitingFd = ReaderFor(outgoing_.front().pipe, outgoing_.front().to);
        for (std::size_t i = 0; i < connections_.size(); ++i) {
            short events = POLLIN;
            if (connections_[i].fd == waitingFd) events |= POLLOUT;
            fds.push_back({connections_[i].fd, events, 0});
            tags.push_back({kConnection, static_cast<int>(i)});
        }
        if (control_ >= 0) {
            fds.push_back({control_, POLLIN, 0});
            tags.push_back({kControl, 0});
        }
        for (std::size_t i = 0; i < controlClients_.size(); ++i) {
            fds.push_back({controlClients_[i].fd, POLLIN, 0});
            tags.push_back({kControlClient, static_cast<int>(i)});
        }
        int timeout = 1000;
        if (!outgoing_.empty()) {
            const auto wait =
                std::chrono::duration_cast<std::chrono::milliseconds>(outgoing_.front().due - Clock::now());
            timeout = static_cast<int>(std::clamp<long long>(wait.count(), 0, 1000));
            if (waitingFd >= 0) timeout = 1000;  // POLLOUT wakes us when the reader catches up
        }
        const int ready = ::poll(fds.data(), fds.size(), timeout);
        if (ready < 0) {
            if (errno == EINTR) continue;
            return 1;
        }
        // Accept first, so a command that arrives together with the connection of the
        // pipe that will carry its answer finds that connection.
        for (std::size_t i = 0; i < fds.size(); ++i)
            if (tags[i].first == kListener && (fds[i].revents & POLLIN)) AcceptAll(tags[i].second);

        std::vector<int> hungUp;
        struct Packet {
            int pipe;
            long from;
            std::string bytes;
        };
        std::vector<Packet> packets;
        for (std::size_t i = 0; i < fds.size(); ++i) {
            if (tags[i].first != kConnection || fds[i].revents == 0) continue;
            const Connection c = connections_[static_cast<std::size_t>(tags[i].second)];
            if (fds[i].revents & POLLIN) {
                char buf[512];
                for (;;) {
                    const ssize_t n = ::recv(c.fd, buf, sizeof buf, MSG_DONTWAIT);
                    if (n > 0) {
                        packets.push_back({c.pipe, c.peer, std::string(buf, static_cast<std::size_t>(n))});
                        continue;
                    }
                    if (n == 0) {
                        // A zero-length packet from a client carries nothing; only a hang-up
                        // ends the connection.
                        pollfd p{c.fd, POLLIN | POLLRDHUP, 0};
                        if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLRDHUP | POLLERR))) {
                            hungUp.push_back(c.fd);
                            break;
                        }
                        continue;
                    }
                    if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) hungUp.push_back(c.fd);
                    break;
                }
            } else if (fds[i].revents & (POLLHUP | POLLERR)) {
                hungUp.push_back(c.fd);
            }
        }
        for (int fd : hungUp) DropConnection(fd);
        for (const Packet& p : packets) {
            if (!plugged_) break;  // a command that unplugged the meter ends the batch
            if (p.pipe == transport::kCommandPipe) {
                AcceptAll(transport::kReplyPipe);
                ServeCommand(p.bytes, p.from);
            } else if (p.pipe == transport::kCounterCommandPipe) {
                AcceptAll(transport::kCounterReplyPipe);
                ServeCounter(p.bytes, p.from);
            }
            FlushDue();
        }
        FlushDue();

        for (std::size_t i = 0; i < fds.size(); ++i) {
            if (tags[i].first == kControl && (fds[i].revents & POLLIN)) {
                for (;;) {
                    const int fd = ::accept4(control_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
                    if (fd < 0) break;
                    controlClients_.push_back({fd, {}});
                }
            }
        }
        std::vector<int> closedClients;
        for (std::size_t i = 0; i < fds.size(); ++i) {
            if (tags[i].first != kControlClient || fds[i].revents == 0) continue;
            auto& c = controlClients_[static_cast<std::size_t>(tags[i].second)];
            bool closed = false;
            ServeControlClient(c, closed);
            if (closed) closedClients.push_back(c.fd);
        }
        for (int fd : closedClients) {
            ::close(fd);
            controlClients_.erase(std::remove_if(controlClients_.begin(), controlClients_.end(),
                                                 [fd](const ControlClient& c) { return c.fd == fd; }),
                                  controlClients_.end());
        }
    }
    return 0;
}

}  // namespace tessera::meter
