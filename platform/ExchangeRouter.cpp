#include "platform/ExchangeRouter.h"

#include <algorithm>

namespace tessera::platform {

ExchangeRouter::ExchangeRouter(std::vector<PipePair> pairs, unsigned long owner, std::chrono::milliseconds hold,
                               Limits limits)
    : owner_(owner), hold_(hold), limits_(limits) {
    for (const PipePair& p : pairs) lanes_.push_back({p, {}, false, 0, {}});
}

ExchangeRouter::Lane* ExchangeRouter::ByRequest(int pipe) {
    for (Lane& l : lanes_)
        if (l.pair.request == pipe) return &l;
    return nullptr;
}

ExchangeRouter::Lane* ExchangeRouter::ByAnswer(int pipe) {
    for (Lane& l : lanes_)
        if (l.pair.answer == pipe) return &l;
    return nullptr;
}

const ExchangeRouter::Lane* ExchangeRouter::ByAnswer(int pipe) const {
    for (const Lane& l : lanes_)
        if (l.pair.answer == pipe) return &l;
    return nullptr;
}

bool ExchangeRouter::Admit(Client c, int pipe, long process, unsigned long user) {
    std::size_t sameUser = 0, others = 0;
    for (const Connection& k : connections_) {
        if (k.pipe != pipe) continue;
        if (k.user == user) ++sameUser;
        if (k.user != owner_) ++others;
    }
    const bool room = user == owner_ ? sameUser < limits_.owner : sameUser < limits_.perUser && others < limits_.others;
    if (room) connections_.push_back({c, pipe, process, user});
    return room;
}

void ExchangeRouter::Gone(Client c) {
    connections_.erase(
        std::remove_if(connections_.begin(), connections_.end(), [c](const Connection& k) { return k.id == c; }),
        connections_.end());
}

void ExchangeRouter::Clear() {
    connections_.clear();
    for (Lane& l : lanes_) {
        l.waiting.clear();
        l.inFlight = false;
        l.asker = 0;
    }
}

std::size_t ExchangeRouter::Connections(int pipe) const {
    return static_cast<std::size_t>(std::count_if(connections_.begin(), connections_.end(),
                                                  [pipe](const Connection& k) { return k.pipe == pipe; }));
}

void ExchangeRouter::Received(Client from, std::string message) {
    if (message.empty()) return;
    const auto k =
        std::find_if(connections_.begin(), connections_.end(), [from](const Connection& c) { return c.id == from; });
    if (k == connections_.end()) return;
    Lane* lane = ByRequest(k->pipe);
    if (!lane) return;
    // A client that writes without ever reading its answers cannot make the server hoard.
    const auto queued =
        std::count_if(lane->waiting.begin(), lane->waiting.end(), [from](const Waiting& w) { return w.from == from; });
    if (static_cast<std::size_t>(queued) >= kWaitingPerClient) return;
    lane->waiting.push_back({from, k->process, std::move(message)});
}

std::optional<ExchangeRouter::Request> ExchangeRouter::Next(int requestPipe, Clock::time_point now) {
    Lane* lane = ByRequest(requestPipe);
    if (!lane || lane->waiting.empty()) return std::nullopt;
    if (lane->inFlight && now - lane->lastWord < hold_) return std::nullopt;
    Waiting w = std::move(lane->waiting.front());
    lane->waiting.pop_front();
    lane->inFlight = true;
    lane->asker = w.process;
    lane->lastWord = now;
    return Request{requestPipe, w.process, std::move(w.bytes)};
}

void ExchangeRouter::Unanswered(int requestPipe) {
    if (Lane* lane = ByRequest(requestPipe)) lane->inFlight = false;
}

ExchangeRouter::Client ExchangeRouter::ReaderFor(int answerPipe, long process) const {
    for (auto it = connections_.rbegin(); it != connections_.rend(); ++it) {
        if (it->pipe != answerPipe) continue;
        if (process == 0 || it->process == process) return it->id;
    }
    return kNobody;
}

ExchangeRouter::Delivery ExchangeRouter::Answer(int answerPipe, std::string_view bytes, bool ends,
                                                Clock::time_point now) {
    Delivery d;
    Lane* lane = ByAnswer(answerPipe);
    if (!lane) return d;
    const bool zeroLengthEnd = lane->pair.zeroLengthEnd;
    d.messages = Messages(bytes, ends && zeroLengthEnd);
    // Outside an exchange (an answer later than its hold) the bytes still belong to the last
    // asker, who is waiting to drop them, not to whoever asks next.
    d.to = ReaderFor(answerPipe, lane->asker);
    lane->lastWord = now;
    if (ends || !zeroLengthEnd) lane->inFlight = false;
    return d;
}

std::optional<ExchangeRouter::Clock::time_point> ExchangeRouter::HoldEnds() const {
    std::optional<Clock::time_point> soonest;
    for (const Lane& l : lanes_) {
        if (!l.inFlight || l.waiting.empty()) continue;
        const Clock::time_point end = l.lastWord + hold_;
        if (!soonest || end < *soonest) soonest = end;
    }
    return soonest;
}

bool ExchangeRouter::Awaited(int answerPipe) const {
    const Lane* lane = ByAnswer(answerPipe);
    return (lane && lane->inFlight) || Connections(answerPipe) > 0;
}

std::vector<std::string> ExchangeRouter::Messages(std::string_view bytes, bool ends) {
    std::vector<std::string> out;
    for (std::size_t off = 0; off < bytes.size(); off += kMessageSize)
        out.emplace_back(bytes.substr(off, std::min(kMessageSize, bytes.size() - off)));
    if (ends) out.emplace_back();
    return out;
}

}  // namespace tessera::platform
