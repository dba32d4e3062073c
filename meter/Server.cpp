// The POSIX side of the virtual meter's serving: the registry entry as a directory of
// SOCK_SEQPACKET sockets and the control socket, served by one poll loop; who is taken, who
// is answered and how is the registry's rule (platform/ExchangeRouter.h).
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
#include "transport/MeterIdentity.h"

namespace tessera::meter {

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kPipes[] = {transport::kCommandPipe, transport::kReplyPipe, transport::kCounterCommandPipe,
                          transport::kCounterReplyPipe};
// Messages one reader may leave unread before it is taken for gone.
constexpr std::size_t kMaxUnsent = 512;
// Control connections at once: a script or two, a test; more are hung up on.
constexpr std::size_t kMaxControlClients = 16;

}  // namespace

Server::Server(Meter& meter, ServerOptions options)
    : meter_(meter), options_(std::move(options)), router_(MakeRouter(::geteuid())) {
    platform::unixsocket::PrepareAccept();
}

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
    const std::string identity = transport::IdentityText({options_.serial, transport::kModelName});
    entry_ = platform::RegistryEntry::Publish(ClassDirectory(), options_.entry, {std::begin(kPipes), std::end(kPipes)},
                                              std::nullopt, {{transport::kIdentityFile, identity}}, error);
    plugged_ = entry_ != nullptr;
    return plugged_;
}

void Server::Unplug() {
    if (!plugged_) return;
    plugged_ = false;
    entry_.reset();  // gone from the registry before its clients are hung up on
    for (const auto& [fd, pipe] : connections_) ::close(fd);
    connections_.clear();
    unsent_.clear();
    router_.Clear();
    outgoing_.clear();
}

bool Server::OpenControl(std::string* error) {
    if (options_.controlPath.empty()) return true;
    control_ = platform::unixsocket::Listen(options_.controlPath, SOCK_STREAM);
    if (control_ < 0) {
        if (error)
            *error = "cannot listen on " + options_.controlPath + ": " +
                     platform::unixsocket::Explain(options_.controlPath, errno);
        return false;
    }
    return true;
}

int Server::Listener(int pipe) const { return entry_ ? entry_->Listener(pipe) : -1; }

void Server::AcceptAll(int pipe) {
    const int listener = Listener(pipe);
    if (listener < 0 || Clock::now() < listenAgain_) return;
    for (;;) {
        const int fd = platform::unixsocket::Accept(listener);
        if (fd < 0) {
            // Out of descriptors: the listeners rest a moment instead of waking every poll.
            if (errno == EMFILE || errno == ENFILE) listenAgain_ = Clock::now() + std::chrono::milliseconds(100);
            return;
        }
        const auto peer = platform::unixsocket::PeerOf(fd);
        if (!router_.Admit(fd, pipe, peer.process, peer.user)) {
            ::close(fd);
            continue;
        }
        connections_.push_back({fd, pipe});
    }
}

void Server::DropConnection(platform::ExchangeRouter::Client client) {
    const int fd = static_cast<int>(client);
    router_.Gone(fd);
    unsent_.erase(fd);
    ::close(fd);
    connections_.erase(std::remove_if(connections_.begin(), connections_.end(),
                                      [fd](const std::pair<int, int>& c) { return c.first == fd; }),
                       connections_.end());
}

void Server::Deliver(const platform::ExchangeRouter::Delivery& delivery) {
    if (delivery.to == platform::ExchangeRouter::kNobody) return;  // its asker has gone
    const int fd = static_cast<int>(delivery.to);
    auto& queue = unsent_[fd];
    queue.insert(queue.end(), delivery.messages.begin(), delivery.messages.end());
    // A reader that lets hundreds of messages pile up does not read: it is hung up on rather
    // than holding the others' answers.
    if (queue.size() > kMaxUnsent) {
        DropConnection(fd);
        return;
    }
    while (!queue.empty()) {
        const std::string& m = queue.front();
        if (::send(fd, m.data(), m.size(), MSG_NOSIGNAL | MSG_DONTWAIT) < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK) return;  // the rest when it has room (POLLOUT)
            DropConnection(fd);
            return;
        }
        queue.pop_front();
    }
    unsent_.erase(fd);
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
        const bool listening = Clock::now() >= listenAgain_;
        for (int pipe : kPipes) {
            if (listening && Listener(pipe) >= 0) {
                fds.push_back({Listener(pipe), POLLIN, 0});
                tags.push_back({kListener, pipe});
            }
        }
        for (const auto& [fd, pipe] : connections_) {
            const short events = static_cast<short>(POLLIN | (unsent_.count(fd) ? POLLOUT : 0));
            fds.push_back({fd, events, 0});
            tags.push_back({kConnection, fd});
        }
        if (control_ >= 0 && listening) {
            fds.push_back({control_, POLLIN, 0});
            tags.push_back({kControl, 0});
        }
        for (std::size_t i = 0; i < controlClients_.size(); ++i) {
            fds.push_back({controlClients_[i].fd, POLLIN, 0});
            tags.push_back({kControlClient, static_cast<int>(i)});
        }
        // Woken by the next answer falling due, a request whose wait for the meter ends, the
        // listeners' rest ending, and at least once a second for a stop request.
        auto wake = Clock::now() + std::chrono::seconds(1);
        if (!outgoing_.empty()) wake = std::min(wake, outgoing_.front().due);
        if (auto hold = router_.HoldEnds()) wake = std::min(wake, *hold);
        if (!listening) wake = std::min(wake, listenAgain_);
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(wake - Clock::now()).count();
        const int ready = ::poll(fds.data(), fds.size(), static_cast<int>(std::clamp<long long>(wait + 1, 0, 1000)));
        if (ready < 0) {
            if (errno == EINTR) continue;
            return 1;
        }
        // Accept first, so a request that arrives together with the connection of the pipe
        // that will carry its answer finds that connection.
        for (std::size_t i = 0; i < fds.size(); ++i)
            if (tags[i].first == kListener && (fds[i].revents & POLLIN)) AcceptAll(tags[i].second);

        std::vector<int> hungUp;
        bool received = false;
        for (std::size_t i = 0; i < fds.size(); ++i) {
            if (tags[i].first != kConnection || fds[i].revents == 0) continue;
            const int fd = tags[i].second;
            if (fds[i].revents & POLLOUT) Deliver({fd, {}});
            if (fds[i].revents & POLLIN) {
                char buf[512];
                for (;;) {
                    const ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
                    if (n > 0) {
                        if (!received) {
                            // The client connected its answer pipe before it wrote: take it.
                            for (int pipe : kPipes) AcceptAll(pipe);
                            received = true;
                        }
                        router_.Received(fd, std::string(buf, static_cast<std::size_t>(n)));
                        continue;
                    }
                    if (n == 0) {
                        // A zero-length packet from a client carries nothing; only a hang-up
                        // ends the connection.
                        pollfd p{fd, POLLIN | POLLRDHUP, 0};
                        if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLRDHUP | POLLERR))) {
                            hungUp.push_back(fd);
                            break;
                        }
                        continue;
                    }
                    if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) hungUp.push_back(fd);
                    break;
                }
            } else if (fds[i].revents & (POLLHUP | POLLERR)) {
                hungUp.push_back(fd);
            }
        }
        // What a client wrote before it hung up still reaches the meter.
        Serve();
        for (int fd : hungUp)
            if (std::any_of(connections_.begin(), connections_.end(), [fd](const auto& c) { return c.first == fd; }))
                DropConnection(fd);

        for (std::size_t i = 0; i < fds.size(); ++i) {
            if (tags[i].first == kControl && (fds[i].revents & POLLIN)) {
                for (;;) {
                    const int fd = platform::unixsocket::Accept(control_);
                    if (fd < 0) {
                        if (errno == EMFILE || errno == ENFILE)
                            listenAgain_ = Clock::now() + std::chrono::milliseconds(100);
                        break;
                    }
                    if (controlClients_.size() >= kMaxControlClients) {
                        ::close(fd);
                        continue;
                    }
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
