#pragma once
// The virtual meter's sockets: its device registry entry with the pipe sockets "0", "1",
// "3", "4", and the control socket through which tests and people script it. One thread,
// one poll loop; the meter's answers are sent as packets of at most 64 bytes followed by
// a zero-length packet. On Windows the entry is a marker file naming message-mode named
// pipes and the control socket is a named pipe (Server_win.cpp); what the requests do is
// the same everywhere (ServerControl.cpp).

#include <signal.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "meter/Meter.h"
#if !defined(_WIN32)
#include "platform/RegistryEntry.h"
#endif

namespace tessera::meter {

struct ServerOptions {
    std::string root;         // device registry root
    std::string entry;        // entry name inside the interface class directory
    std::string controlPath;  // control socket path; empty: none
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
    struct Connection {
        int fd;
        int pipe;
        long peer;  // process id of the client (0 when unknown)
    };
    struct Outgoing {
        std::chrono::steady_clock::time_point due;
        int pipe;
        std::string bytes;
        bool packetise;  // pipe 1 replies: 64-byte packets and a zero-length packet
        long to;         // process that sent the request (0: any reader)
    };
    struct ControlClient {
        int fd;
        std::string input;
    };

    int Listener(int pipe) const;  // of the entry's pipe socket; -1 while unplugged
    void AcceptAll(int pipe);
    void ServeCommand(const std::string& packet, long from);
    void ServeCounter(const std::string& packet, long from);
    void FlushDue();
    int NewestConnection(int pipe) const;
    // Where a reply goes: the newest connection of `pipe` from the process that asked, else
    // the newest one of any process.
    int ReaderFor(int pipe, long from) const;
    void DropConnection(int fd);
    void ServeControlClient(ControlClient& c, bool& closed);

    Meter& meter_;
    ServerOptions options_;
    bool plugged_ = false;
    bool running_ = true;
    std::vector<Connection> connections_;
    std::deque<Outgoing> outgoing_;
    std::uint32_t bytesSent_ = 0;
    int control_ = -1;
    std::vector<ControlClient> controlClients_;

#if defined(_WIN32)
    // The Windows pipes and marker (Server_win.cpp).
    struct WinState;
    std::unique_ptr<WinState, void (*)(WinState*)> win_{nullptr, nullptr};
#else
    std::unique_ptr<platform::RegistryEntry> entry_;  // while plugged (Server.cpp)
#endif
};

}  // namespace tessera::meter
