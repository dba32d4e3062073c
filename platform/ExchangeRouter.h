#pragma once
// How every server of the device registry carries its clients' exchanges with one meter: the
// virtual meter (POSIX sockets or Windows named pipes) and the USB bridge. One rule for all
// of them, free of the operating system: each server tells the router what its sockets or
// pipes did and carries out what the router answers.
//
// - Who is taken: connections are counted per pipe. Each user other than the server's own
//   may hold `perUser` of them and all other users together `others`; the server's own user
//   has room of its own (`owner`), so no other account can crowd out the owner's programs.
// - One exchange at a time: a request (a message on a request pipe) reaches the meter only
//   once the exchange before it on that pipe has ended, so programs that share no exchange
//   lock (programs of different users) still never take each other's answers. An exchange
//   ends with its answer (a zero-length message on the command pipes; the counter's answer
//   is one message), when the meter takes no request, or after `hold` without a word from
//   the meter, so a lost answer never stops everyone.
// - Where an answer goes: to the newest connection, on the answer pipe, of the process that
//   asked; never to another process. When the asker has gone, its answer is dropped.
// - In what pieces: messages of at most 64 bytes (one USB packet each), a zero-length message
//   ending an answer on the command pipes.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessera::platform {

// How many connections of one pipe a server takes (see ExchangeRouter).
struct ConnectionLimits {
    std::size_t perUser = 16;  // for each user but the owner
    std::size_t others = 64;   // all users but the owner together
    std::size_t owner = 64;    // the server's own user
};

class ExchangeRouter {
public:
    using Clock = std::chrono::steady_clock;
    // The server's own name for a connection: a descriptor, an instance's address.
    using Client = std::intptr_t;
    static constexpr Client kNobody = -1;
    static constexpr std::size_t kMessageSize = 64;
    // Requests one connection may have waiting; a program has one at a time.
    static constexpr std::size_t kWaitingPerClient = 16;

    struct PipePair {
        int request;         // written by clients: commands, or the counter's command byte
        int answer;          // read by clients
        bool zeroLengthEnd;  // answers end with a zero-length message (else: one message each)
    };
    using Limits = ConnectionLimits;
    struct Request {
        int pipe = -1;
        long process = 0;
        std::string bytes;
    };
    struct Delivery {
        Client to = kNobody;  // kNobody: nobody asked for it any more; the bytes are dropped
        std::vector<std::string> messages;
    };

    // `owner`: the user the server runs as. Process id 0 stands for "the system could not
    // say"; such a client's answers go to the newest connection of the answer pipe.
    ExchangeRouter(std::vector<PipePair> pairs, unsigned long owner, std::chrono::milliseconds hold,
                   Limits limits = {});

    // A new connection on `pipe`; false when it is over the bounds (the server hangs up).
    bool Admit(Client c, int pipe, long process, unsigned long user);
    // A connection ended. Requests it had written still reach the meter (their answers are
    // dropped), as a command already on the wire would.
    void Gone(Client c);
    // Unplugged: every connection, request and exchange forgotten.
    void Clear();
    std::size_t Connections(int pipe) const;

    // A message a client wrote. Messages on request pipes wait for the meter; empty ones and
    // anything written on an answer pipe carry nothing.
    void Received(Client from, std::string message);
    // The next request for the meter on `requestPipe`, when nothing is in flight there (or
    // the exchange in flight has waited `hold`); its exchange begins at `now`.
    std::optional<Request> Next(int requestPipe, Clock::time_point now);
    // The meter did not take the request in flight on `requestPipe`, or will not answer it.
    void Unanswered(int requestPipe);
    // Bytes the meter sent on `answerPipe` at `now` (one USB packet, or a whole answer),
    // `ends` when they end the answer: the messages to send and to whom.
    Delivery Answer(int answerPipe, std::string_view bytes, bool ends, Clock::time_point now);

    // When a waiting request may go to the meter although the exchange before it is still in
    // flight (its hold passes); none when nothing waits on an exchange.
    std::optional<Clock::time_point> HoldEnds() const;
    // Whether an answer on `answerPipe` would reach anyone, or ends an exchange in flight:
    // a USB bridge reads the endpoint only then.
    bool Awaited(int answerPipe) const;
    // The messages of `bytes` (at most 64 bytes each; a zero-length message when `ends`).
    static std::vector<std::string> Messages(std::string_view bytes, bool ends);

private:
    struct Connection {
        Client id;
        int pipe;
        long process;
        unsigned long user;
    };
    struct Waiting {
        Client from;
        long process;
        std::string bytes;
    };
    struct Lane {
        PipePair pair;
        std::deque<Waiting> waiting;
        bool inFlight = false;
        long asker = 0;              // the process of the exchange in flight, or of the last one
        Clock::time_point lastWord;  // the request went out, or the meter last answered
    };

    Lane* ByRequest(int pipe);
    Lane* ByAnswer(int pipe);
    const Lane* ByAnswer(int pipe) const;
    Client ReaderFor(int answerPipe, long process) const;

    std::vector<Lane> lanes_;
    unsigned long owner_;
    std::chrono::milliseconds hold_;
    Limits limits_;
    std::vector<Connection> connections_;  // in connection order
};

}  // namespace tessera::platform
