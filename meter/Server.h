#pragma once
// The virtual meter's sockets: its device registry entry with the pipe sockets "0", "1",
// "3", "4", and the control socket through which tests and people script it. One thread,
// one poll loop. Which connections are taken, when a command reaches the meter, where its
// answer goes and in what pieces is the registry's one rule (platform/ExchangeRouter.h),
// which the USB bridge follows too. On Windows the entry is a marker file naming
// message-mode named pipes and the control socket is a named pipe (Server_win.cpp); what
// the requests do is the same everywhere (ServerControl.cpp).

#include <signal.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "meter/Meter.h"
#include "platform/ExchangeRouter.h"
#if !defined(_WIN32)
#include "platform/RegistryEntry.h"
#endif

namespace tessera::meter {

struct ServerOptions {
    std::string root;         // device registry root
    std::string entry;        // entry name inside the interface class directory
    std::string controlPath;  // control socket path; empty: none
    std::string serial;       // the serial number the entry shows; empty: none
};

class Server {
public:
    Server(Meter& meter, ServerOptions options);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Creates the registry entry atomically (built under a hidden name, then renamed).
    bool Plug(std::string* error);
    // Removes the entry and drops every pipe connection, as a pulled cable does.
    void Unplug();
    bool Plugged() const { return plugged_; }
    bool OpenControl(std::string* error);

    // Serves until "quit" on the control socket, Stop() or *stop becoming non-zero (a
    // signal handler's flag; the loop wakes at least once a second). Answers the exit code.
    int Run(const volatile sig_atomic_t* stop = nullptr);
    void Stop() { running_ = false; }

    std::string ClassDirectory() const;
    std::string EntryPath() const;
    std::uint32_t BytesSent() const { return bytesSent_; }

    // One control request (a line without its line end) -> response lines, the last one
    // "ok" or "error <why>": the server's own (plug, unplug, status, quit, help) and the
    // meter's (MeterRequests.h). Public so it can be tested without a socket.
    std::vector<std::string> Control(const std::string& line);

private:
    // A command's answer, sent when its time has come (a reply delay).
    struct Outgoing {
        std::chrono::steady_clock::time_point due;
        std::string bytes;
    };
    struct ControlClient {
        int fd;
        std::string input;
    };

    // The registry's rule for the meter's pipe pairs, the server running as `owner`.
    static platform::ExchangeRouter MakeRouter(unsigned long owner);
    int Listener(int pipe) const;  // of the entry's pipe socket; -1 while unplugged
    void AcceptAll(int pipe);
    // Hands the meter the requests whose turn has come and sends the answers that are due,
    // until nothing more can happen now.
    void Serve();
    void ServeCommand(const std::string& request);
    void ServeCounter(const std::string& request);
    // Sends a command's answer whose time has come; false when none was due.
    bool SendDueAnswer();
    // Sends what the router decided (Server.cpp, Server_win.cpp).
    void Deliver(const platform::ExchangeRouter::Delivery& delivery);
    void DropConnection(platform::ExchangeRouter::Client client);
    void ServeControlClient(ControlClient& c, bool& closed);

    Meter& meter_;
    ServerOptions options_;
    bool plugged_ = false;
    bool running_ = true;
    platform::ExchangeRouter router_;
    std::deque<Outgoing> outgoing_;
    std::uint32_t bytesSent_ = 0;
    int control_ = -1;
    std::vector<ControlClient> controlClients_;

#if defined(_WIN32)
    // The Windows pipes and marker (Server_win.cpp).
    struct WinState;
    std::unique_ptr<WinState, void (*)(WinState*)> win_{nullptr, nullptr};
#else
    std::unique_ptr<platform::RegistryEntry> entry_;     // while plugged (Server.cpp)
    std::vector<std::pair<int, int> > connections_;      // descriptor and pipe, in connection order
    std::map<int, std::deque<std::string> > unsent_;     // messages a reader's full socket holds back
    std::chrono::steady_clock::time_point listenAgain_;  // out of descriptors: listeners rest till then
#endif
};

}  // namespace tessera::meter
