#pragma once
// The QM8620 as a USB device on the emulated bus: its descriptors, and its endpoints as the
// host sees them through usbdevfs. URBs are submitted, completed and reaped; replies leave
// as packets of at most the endpoint's size followed by a zero-length packet; an endpoint
// can halt (stall), NAK, or vanish from the configuration; the cable can be pulled.
//
// The meter behind the endpoints is the virtual meter's own model (meter::Meter): this class
// only carries its commands and answers across USB, so both meters answer alike.
//
// Thread-safe: the emulation answers the host's requests on one thread while a test or the
// control socket pulls the cable or injects faults on another.

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "meter/Meter.h"
#include "meter/MeterRequests.h"

namespace tessera::usbemu {

// URB types and flags with their usbdevfs values.
inline constexpr std::uint8_t kUrbInterrupt = 1;
inline constexpr std::uint8_t kUrbControl = 2;
inline constexpr std::uint8_t kUrbBulk = 3;
inline constexpr unsigned kUrbZeroPacket = 0x40;

struct DeviceOptions {
    std::string serial = "QM8620001";
    int maxPacket = 64;  // wMaxPacketSize of the bulk endpoints
};

// One endpoint of interface 0, in descriptor order: the position is the pipe number.
struct Endpoint {
    int pipe;
    std::uint8_t address;
    std::uint8_t attributes;  // 2 bulk, 3 interrupt
    int maxPacket;
};
std::vector<Endpoint> MeterEndpoints(int maxPacket);

// The sysfs "descriptors" attribute: device descriptor, then the configuration with its
// interface and endpoints.
std::string MeterDescriptors(const DeviceOptions& options);

class UsbMeterDevice {
public:
    struct Urb {
        const void* owner = nullptr;  // the open file that submitted it
        std::uintptr_t id = 0;        // its address in the submitter's memory
        std::uint8_t type = kUrbBulk;
        std::uint8_t endpoint = 0;
        unsigned flags = 0;
        int length = 0;    // the submitter's buffer length
        std::string data;  // OUT: the bytes sent; IN: the bytes received
        int actual = 0;    // bytes transferred
        int status = 0;    // 0 or -errno when reaped
        bool done = false;
        void* glue = nullptr;  // the emulation's handle on the submitter's URB
    };
    // Called with the device locked whenever a URB may have become reapable or been reaped,
    // so the emulation can make the device node's poll tell the truth.
    using Changed = std::function<void()>;

    UsbMeterDevice(meter::Meter& meter, DeviceOptions options);

    const DeviceOptions& Options() const { return options_; }
    void OnChanged(Changed changed);

    // --- the host's requests (0 or -errno, as the ioctl answers) ---
    int Submit(Urb urb);
    // The oldest completed URB of `owner`; -EAGAIN when none, -ENODEV once the device is
    // gone and nothing is left to reap.
    int Reap(const void* owner, Urb& out);
    int Discard(const void* owner, std::uintptr_t id);
    int ClearHalt(unsigned endpoint);
    bool Present() const;
    // URBs of a file that was closed: the emulation releases their handles.
    std::vector<Urb> Forget(const void* owner);
    // True when `owner` has a URB to reap; only from inside a Changed callback.
    bool ReapableLocked(const void* owner) const;

    // --- what happens to the device ---
    void Unplug();  // every URB in flight ends with -ESHUTDOWN; the meter keeps its state
    void Plug();
    // The endpoint halts the next time it moves data (that packet is lost, and with it the
    // rest of the reply), until the host clears the halt.
    void Stall(int pipe);
    void Nak(int pipe);      // the endpoint answers nothing: URBs stay in flight
    void Vanish(int pipe);   // the endpoint leaves the configuration
    void Restore(int pipe);  // undoes Nak and Vanish
    // The meter asked to be unplugged (its "unplug-after" fault); true once per request.
    bool TakeUnplugRequest();
    // Delayed replies whose time has come reach their endpoint.
    void Tick();
    std::optional<std::chrono::steady_clock::time_point> NextDue() const;

    // The meter's own control requests ("memory demo", "fault busy 3", ...) and its status,
    // answered as the virtual meter answers them, with the device locked.
    std::vector<std::string> MeterControl(const std::string& request);

private:
    struct EndpointState {
        Endpoint info;
        bool halted = false;
        bool stallNext = false;
        bool nak = false;
        bool vanished = false;
        std::deque<std::string> packets;  // IN: waiting for the host to fetch them
    };
    struct Scheduled {
        std::chrono::steady_clock::time_point due;
        int pipe;
        std::vector<std::string> packets;
    };

    EndpointState* Find(std::uint8_t address);
    EndpointState* ForPipe(int pipe);
    void Accept(Urb& urb, EndpointState& ep);
    void Deliver(int pipe, const std::string& packet);
    void Schedule(int pipe, std::vector<std::string> packets, int delayMs);
    void Pump();
    void Complete(Urb& urb, int status);
    void EndInFlight(std::uint8_t address, int status, bool all);
    void Notify();

    meter::Meter& meter_;
    DeviceOptions options_;
    mutable std::mutex mutex_;
    Changed changed_;
    std::vector<EndpointState> endpoints_;
    std::deque<Urb> urbs_;  // in submission order, completed or not
    std::deque<Scheduled> scheduled_;
    std::uint32_t bytesSent_ = 0;  // on the reply pipe, for the byte counter
    bool present_ = true;
    bool unplugRequested_ = false;
};

}  // namespace tessera::usbemu
