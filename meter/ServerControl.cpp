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

platform::ExchangeRouter Server::MakeRouter(unsigned long owner) {
    // The virtual meter knows when an answer will come (or that none will): an exchange ends
    // with its answer or its silence, and the hold only guards against a fault of ours.
    return platform::ExchangeRouter({{transport::kCommandPipe, transport::kReplyPipe, true},
                                     {transport::kCounterCommandPipe, transport::kCounterReplyPipe, false}},
                                    owner, std::chrono::minutes(1));
}

void Server::Serve() {
    // Commands first and their answers as they fall due, then the counter: its count must
    // take in every answer already on the wire when it was asked.
    for (bool progress = true; progress && plugged_;) {
        progress = false;
        if (auto request = router_.Next(transport::kCommandPipe, Clock::now())) {
            ServeCommand(request->bytes);
            progress = true;
        }
        while (plugged_ && SendDueAnswer()) progress = true;
        if (!plugged_) return;
        if (auto request = router_.Next(transport::kCounterCommandPipe, Clock::now())) {
            ServeCounter(request->bytes);
            progress = true;
        }
    }
}

void Server::ServeCommand(const std::string& request) {
    const Response r = meter_.Handle(request);
    switch (r.kind) {
        case Response::Kind::Unplug: Unplug(); return;
        case Response::Kind::Silence: router_.Unanswered(transport::kCommandPipe); return;
        case Response::Kind::Reply:
            outgoing_.push_back({Clock::now() + std::chrono::milliseconds(r.delayMs), r.bytes});
            return;
    }
}

void Server::ServeCounter(const std::string& request) {
    if (auto count = CounterReply(request, bytesSent_))
        Deliver(router_.Answer(transport::kCounterReplyPipe, *count, true, Clock::now()));
    else router_.Unanswered(transport::kCounterCommandPipe);
}

bool Server::SendDueAnswer() {
    const auto now = Clock::now();
    if (outgoing_.empty() || outgoing_.front().due > now) return false;
    const Outgoing o = std::move(outgoing_.front());
    outgoing_.pop_front();
    // The meter put the answer on the wire, whether or not its asker is still there to read it.
    bytesSent_ += static_cast<std::uint32_t>(o.bytes.size());
    Deliver(router_.Answer(transport::kReplyPipe, o.bytes, true, now));
    return true;
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
