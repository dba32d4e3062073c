#pragma once
// One claimed instrument bridged to its registry entry. Each OUT pipe has a writer thread
// that sends a client's request as one bulk transfer; each IN pipe has a reader thread that,
// while an answer is awaited, reads the endpoint one packet at a time. Which clients are
// taken, when a request may go to the meter, where each packet of its answer goes and in what
// pieces is the registry's one rule (platform/ExchangeRouter.h), which the virtual meter
// follows too: one exchange at a time per pipe pair, the answer to the process that asked.
//
// Every transfer has a timeout, a halted endpoint is cleared, and an endpoint that fails is
// retried at a slow pace: a silent or broken meter costs clients a bounded wait (their own
// read timeout), never a hang, and the bridge never spins.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "driver/PipeMap.h"
#include "platform/ExchangeRouter.h"
#include "platform/RegistryEntry.h"

struct libusb_context;
struct libusb_device_handle;

namespace tessera::driver {

struct BridgeTimings {
    int writeTimeoutMs = 1000;  // a command the meter does not take is dropped after this
    int readSliceMs = 250;      // an IN transfer's timeout; reading resumes at once
    int retryMs = 100;          // the pause after an endpoint failed
    // How long an exchange may wait for the meter's next word before the next request goes:
    // as long as a client waits for an answer (TESSERA_PIPE_TIMEOUT_MS).
    int holdMs = 2000;
};

class InstrumentBridge {
public:
    using Log = std::function<void(const std::string&)>;

    // Takes over the opened handle with interface 0 claimed, and the published entry. The
    // bridge runs as user `owner`, whose programs have room of their own.
    InstrumentBridge(libusb_context* context, libusb_device_handle* handle, std::vector<Pipe> pipes,
                     std::unique_ptr<platform::RegistryEntry> entry, Log log, BridgeTimings timings = {},
                     unsigned long owner = 0);
    ~InstrumentBridge();
    InstrumentBridge(const InstrumentBridge&) = delete;
    InstrumentBridge& operator=(const InstrumentBridge&) = delete;

    // Withdraws the entry, hangs up on every client, ends the threads, releases the device.
    void Stop();
    const std::string& EntryPath() const { return entryPath_; }

private:
    void ServeSockets();
    void AcceptAll(int listener, int pipe);
    void WritePipe(Pipe pipe);
    void ReadPipe(Pipe pipe);
    void Drop(int fd);
    // One bulk transfer; answers the libusb error code (0 on success) and the bytes moved.
    int Transfer(const Pipe& pipe, unsigned char* data, int length, int timeoutMs, int& moved);
    void Recover(const Pipe& pipe, int rc, const char* what);

    libusb_context* context_;
    libusb_device_handle* handle_;
    std::vector<Pipe> pipes_;
    std::unique_ptr<platform::RegistryEntry> entry_;
    std::string entryPath_;
    Log log_;
    BridgeTimings timings_;

    std::atomic<bool> stopping_{false};
    int wake_[2] = {-1, -1};  // wakes the socket thread
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    platform::ExchangeRouter router_;                    // under mutex_
    std::vector<std::pair<int, int>> clients_;           // descriptor and pipe, in connection order; under mutex_
    std::chrono::steady_clock::time_point listenAgain_;  // out of descriptors: listeners rest till then
    std::vector<std::thread> threads_;
    bool stopped_ = false;
};

}  // namespace tessera::driver
