#pragma once
// A scripted meter on real packet sockets: one socket pair per pipe, a thread that reads each
// command from pipe 0 and answers on pipe 1 packet by packet, as the transport delivers them.

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Handle.h"

namespace tessera::test {

class FakeMeter {
public:
    // Packets to send for one command; an empty string is the zero-length packet.
    using Handler = std::function<std::vector<std::string>(const std::string& command)>;

    // replyTimeoutMs: the receive timeout the transport would set on the reply pipe.
    explicit FakeMeter(Handler handler, int replyTimeoutMs = 1000);
    ~FakeMeter();
    FakeMeter(const FakeMeter&) = delete;
    FakeMeter& operator=(const FakeMeter&) = delete;

    // For Link::BindOpenFunction: hands out the link's end of the pipe once.
    static platform::Handle OpenPipe(std::int32_t pipe);
    bool pipeOpens[2] = {true, true};

    // Everything the link wrote, in order (waits until the meter has read all of it).
    std::vector<std::string> Commands();
    // True when the link has closed its end of the pipe.
    bool LinkClosed(int pipe);
    // The meter disappears: its ends close.
    void Unplug();
    // Packets the meter sends now on the reply pipe, unasked (an answer that comes late).
    void SendLate(const std::vector<std::string>& packets);

private:
    void Run();

    Handler handler_;
    int link_[2] = {-1, -1};   // the link's ends, until handed out
    int meter_[2] = {-1, -1};  // the meter's ends
    std::mutex mutex_;
    std::vector<std::string> commands_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// A reply text as the meter sends it: 64-byte packets, then the zero-length packet.
std::vector<std::string> Packets(const std::string& text);

}  // namespace tessera::test
