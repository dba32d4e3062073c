// Exchange round trips with the virtual meter over the transport library, against a raw
// packet-socket ping-pong of the same sizes in the same run, and the read of 99 records.

#include <benchmark/benchmark.h>

#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <thread>

#include "bench/MeterBenchMain.h"
#include "link/Link.h"

namespace {

tessera::link::Link* gLink = nullptr;

void BM_Exchange(benchmark::State& state, const char* command) {
    tessera::link::Reply reply;
    for (auto _ : state) {
        if (gLink->Exchange(command, reply) != tessera::link::kStatusOk) state.SkipWithError("exchange failed");
        benchmark::DoNotOptimize(reply.length);
    }
    state.counters["reply_bytes"] = reply.length;
}
BENCHMARK_CAPTURE(BM_Exchange, QPID_6_bytes, "QPID");
BENCHMARK_CAPTURE(BM_Exchange, MEAS_52_bytes, "MEAS?");

// The same conversation with nothing but two packet sockets and a thread: one command
// message out, the reply's packets and a zero-length packet back.
void BM_RawPingPong(benchmark::State& state) {
    const std::size_t replySize = static_cast<std::size_t>(state.range(0));
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET, 0, fds) != 0) {
        state.SkipWithError("socketpair");
        return;
    }
    std::thread server([fd = fds[1], replySize] {
        char buf[64];
        const std::string reply(replySize, 'x');
        while (::recv(fd, buf, sizeof buf, 0) > 0) {
            for (std::size_t off = 0; off < reply.size(); off += 64)
                ::send(fd, reply.data() + off, std::min<std::size_t>(64, reply.size() - off), 0);
            ::send(fd, "", 0, 0);
        }
    });
    char buf[64];
    for (auto _ : state) {
        ::send(fds[0], "QPID", 4, 0);
        for (int i = 0; i < 20; ++i)
            if (::recv(fds[0], buf, sizeof buf, 0) <= 0) break;
    }
    ::shutdown(fds[0], SHUT_RDWR);
    ::close(fds[0]);
    server.join();
    ::close(fds[1]);
}
BENCHMARK(BM_RawPingPong)->Arg(6)->Arg(52);

void BM_Read99Records(benchmark::State& state) {
    for (auto _ : state) {
        tessera::settings::MeterSettings r{};
        for (unsigned i = 0; i < 99; ++i)
            if (gLink->ReadMemoryEntry(r, i) != tessera::link::kStatusOk) state.SkipWithError("read failed");
    }
}
BENCHMARK(BM_Read99Records)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    return tessera::bench::RunAgainstMeter(argc, argv, "DeviceChangeEvent-bench", 99, gLink);
}
