#pragma once
// One claimed instrument bridged to its registry entry. Each OUT pipe has a writer thread
// that sends every client message as one bulk transfer; each IN pipe has a reader thread
// that, while a client holds the pipe open, reads the endpoint one packet at a time and
// hands each packet on as messages of at most 64 bytes (a zero-length packet as an empty
// message, which ends a reply). A reply goes to the process that sent the command, so two
// programs sharing the meter never read each other's answers.
//
// Every transfer has a timeout, a halted endpoint is cleared, and an endpoint that fails is
// retried at a slow pace: a silent or broken meter costs clients a bounded wait (their own
// read timeout), never a hang, and the bridge never spins.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "driver/PipeMap.h"
#include "platform/RegistryEntry.h"

struct libusb_context;
struct libusb_device_handle;

namespace tessera::driver {

struct BridgeTimings {
    int writeTimeoutMs = 1000;  // a command the meter does not take is dropped after this
    int readSliceMs = 250;      // an IN transfer's timeout; reading resumes at once
    int retryMs = 100;          // the pause after an endpoint failed
};

class InstrumentBridge {
public:
    using Log = std::function<void(const std::string&)>;

    // Takes over the opened handle with interface 0 claimed, and the published entry.
    InstrumentBridge(libusb_context* context, libusb_device_handle* handle, std::vector<Pipe> pipes,
                     std::unique_ptr<platform::RegistryEntry> entry, Log log, BridgeTimings timings = {});
    ~InstrumentBridge();
    InstrumentBridge(const InstrumentBridge&) = delete;
    InstrumentBridge& operator=(const InstrumentBridge&) = delete;

    // Withdraws the entry, hangs up on every client, ends the threads, releases the device.
    void Stop();
    const std::string& EntryPath() const { return entryPath_; }

private:
    struct Client {
        int fd;
        int pipe;
        long process;  // peer process id, 0 when unknown
    };
    struct Message {
        int pipe;
        long process;
        std::string bytes;
    };

    void ServeSockets();
    void WritePipe(Pipe pipe);
    void ReadPipe(Pipe pipe);
    // The newest client of `pipe` belonging to `process`, else the newest of any; -1: none.
    int ReaderFor(int pipe, long process) const;
    bool HasClient(int pipe) const;
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
    std::vector<Client> clients_;                // in connection order
    std::map<int, std::deque<Message>> queues_;  // OUT pipe -> messages to send
    std::map<int, long> askedBy_;                // IN pipe -> process that wrote last to its OUT pipe
    std::vector<std::thread> threads_;
    bool stopped_ = false;
};

}  // namespace tessera::driver
