// The virtual meter's serving logic that is the same on every platform: what a command or a
// counter request on the pipes turns into, and the server's own control requests (the
// meter's are MeterRequests.cpp). The pipes themselves are served by Server.cpp (POSIX
// sockets) or Server_win.cpp (Windows named pipes).
#include "meter/Server.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "meter/MeterRequests.h"
#include "transport/InstrumentIds.h"

namespace tessera::meter {

namespace {
using Clock = std::chrono::steady_clock;
}  // namespace

void Server::ServeCommand(const std::string& packet, long from) {
    const Response r = meter_.Handle(packet);
    switch (r.kind) {
        case Response::Kind::Unplug: Unplug(); return;
        case Response::Kind::Silence: return;
        case Response::Kind::Reply: {
            // Replies leave in order: a delayed reply holds back the ones after it.
            auto due = Clock::now() + std::chrono::milliseconds(r.delayMs);
            if (!outgoing_.empty()) due = std::max(due, outgoing_.back().due);
            outgoing_.push_back({due, transport::kReplyPipe, r.bytes, true, from});
            return;
        }
    }
}

void Server::ServeCounter(const std::string& packet, long from) {
    if (auto count = CounterReply(packet, bytesSent_))
        outgoing_.push_back({Clock::now(), transport::kCounterReplyPipe, *count, false, from});
}

std::vector<std::string> Server::Control(const std::string& line) {
    std::istringstream in(line);
    std::string verb;
    in >> verb;
    if (verb == "plug") {
        std::string err;
        if (!Plug(&err)) return {"error " + err};
    } else if (verb == "unplug") {
        Unplug();
    } else if (verb == "status") {
        std::vector<std::string> out = {"= plugged " + std::string(plugged_ ? "1" : "0"), "= entry " + EntryPath()};
        for (auto& l : MeterStatusLines(meter_, bytesSent_)) out.push_back(std::move(l));
        out.push_back("ok");
        return out;
    } else if (verb == "quit") {
        running_ = false;
    } else if (verb == "help" || verb.empty()) {
        std::vector<std::string> out = {"= plug | unplug | status | settings | quit"};
        for (const auto& l : MeterRequestHelp()) out.push_back(l);
        out.push_back("ok");
        return out;
    } else {
        return MeterRequest(meter_, line);  // the meter's own requests
    }
    return {"ok"};
}

}  // namespace tessera::meter
