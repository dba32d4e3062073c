// The exchange round trip through the USB road (transport library, registry, tessera-usbd,
// libusb, usbdevfs as umockdev emulates it, the meter model) against the same exchange
// straight to virtual-qm8620, in one run; and the read of 99 stored measurements both ways.
//
// The emulated bus answers usbdevfs requests from another process over a socket, so the
// USB figures are an upper bound of what the bridge costs; the difference between the two
// is the bridge with libusb and the emulation together.

#include <benchmark/benchmark.h>

#include <cstdio>

#include "bench/BenchMeter.h"
#include "link/Link.h"
#include "tests/support/VirtualMeter.h"

namespace {

using tessera::testing::VirtualMeter;
tessera::link::Link* gDirect = nullptr;
tessera::link::Link* gUsb = nullptr;

void BM_Exchange(benchmark::State& state, tessera::link::Link** link, const char* command) {
    tessera::link::Reply reply;
    for (auto _ : state) {
        if ((*link)->Exchange(command, reply) != tessera::link::kStatusOk) state.SkipWithError("exchange failed");
        benchmark::DoNotOptimize(reply.length);
    }
    state.counters["reply_bytes"] = reply.length;
}
BENCHMARK_CAPTURE(BM_Exchange, direct_QPID_6_bytes, &gDirect, "QPID");
BENCHMARK_CAPTURE(BM_Exchange, usb_QPID_6_bytes, &gUsb, "QPID");
BENCHMARK_CAPTURE(BM_Exchange, direct_MEAS_52_bytes, &gDirect, "MEAS?");
BENCHMARK_CAPTURE(BM_Exchange, usb_MEAS_52_bytes, &gUsb, "MEAS?");

void BM_Read99Records(benchmark::State& state, tessera::link::Link** link) {
    for (auto _ : state) {
        tessera::settings::MeterSettings r{};
        for (unsigned i = 0; i < 99; ++i)
            if ((*link)->ReadMemoryEntry(r, i) != tessera::link::kStatusOk) state.SkipWithError("read failed");
    }
}
BENCHMARK_CAPTURE(BM_Read99Records, direct, &gDirect)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Read99Records, usb, &gUsb)->Unit(benchmark::kMillisecond);

bool Open(VirtualMeter& meter, tessera::link::Link& link) {
    if (!meter.Start()) {
        std::fprintf(stderr, "%s\n", meter.LastError().c_str());
        return false;
    }
    for (int i = 0; i < 99; ++i) meter.AddRecord(tessera::bench::kMemoryRecord);
    // The session keeps its pipes: each meter's registry only has to be the current one
    // while its session opens.
    return link.BindTransportPath(VirtualMeter::BulklinkPath()) && link.OpenSession();
}

}  // namespace

int main(int argc, char** argv) {
    VirtualMeter direct;
    VirtualMeter::Options o;
    o.program = TESSERA_EMULATED_METER_PATH;
    o.entry = "usb-1-1";
    VirtualMeter usb(o);
    tessera::link::Link directLink("DeviceChangeEvent-bench-direct"), usbLink("DeviceChangeEvent-bench-usb");
    if (!Open(direct, directLink) || !Open(usb, usbLink)) return 1;
    gDirect = &directLink;
    gUsb = &usbLink;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    directLink.CloseSession();
    usbLink.CloseSession();
    return 0;
}
