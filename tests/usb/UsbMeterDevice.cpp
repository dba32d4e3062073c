#include "tests/usb/UsbMeterDevice.h"

#include <algorithm>
#include <cerrno>

#include "transport/InstrumentIds.h"

namespace tessera::usbemu {

namespace {

using Clock = std::chrono::steady_clock;

void Put16(std::string& out, unsigned v) {
    out += static_cast<char>(v & 0xff);
    out += static_cast<char>((v >> 8) & 0xff);
}

// A reply as the meter puts it on the wire: full packets, the rest, then the zero-length
// packet that tells the host the reply is complete.
std::vector<std::string> Packetise(const std::string& bytes, int maxPacket) {
    std::vector<std::string> packets;
    for (std::size_t off = 0; off < bytes.size(); off += static_cast<std::size_t>(maxPacket))
        packets.push_back(bytes.substr(off, static_cast<std::size_t>(maxPacket)));
    packets.emplace_back();
    return packets;
}

}  // namespace

std::vector<Endpoint> MeterEndpoints(int maxPacket) {
    // Pipe 2 is the meter's status endpoint (interrupt IN), which the bulk pipes skip.
    return {{0, 0x01, 0x02, maxPacket},
            {1, 0x81, 0x02, maxPacket},
            {2, 0x82, 0x03, 8},
            {3, 0x03, 0x02, maxPacket},
            {4, 0x84, 0x02, maxPacket}};
}

std::string MeterDescriptors(const DeviceOptions& options) {
    const auto endpoints = MeterEndpoints(options.maxPacket);
    std::string d;
    d += "\x12\x01";
    Put16(d, 0x0200);                         // USB 2.0
    d += std::string("\x00\x00\x00\x40", 4);  // class in the interface; ep0 64 bytes
    Put16(d, transport::INSTRUMENT_VENDOR_ID);
    Put16(d, transport::INSTRUMENT_PRODUCT_ID);
    Put16(d, 0x0100);         // device release 1.00
    d += "\x01\x02\x03\x01";  // manufacturer, product, serial; one configuration
    d += "\x09\x02";
    Put16(d, 9 + 9 + 7 * static_cast<unsigned>(endpoints.size()));
    d += std::string("\x01\x01\x00\x80\x32", 5);  // one interface; bus powered, 100 mA
    d += std::string("\x09\x04\x00\x00", 4);
    d += static_cast<char>(endpoints.size());
    d += std::string("\xff\x00\x00\x00", 4);  // vendor-specific interface
    for (const Endpoint& e : endpoints) {
        d += "\x07\x05";
        d += static_cast<char>(e.address);
        d += static_cast<char>(e.attributes);
        Put16(d, static_cast<unsigned>(e.maxPacket));
        d += static_cast<char>(e.attributes == 0x03 ? 10 : 0);
    }
    return d;
}

UsbMeterDevice::UsbMeterDevice(meter::Meter& meter, DeviceOptions options)
    : meter_(meter), options_(std::move(options)) {
    for (const Endpoint& e : MeterEndpoints(options_.maxPacket)) {
        EndpointState state;
        state.info = e;
        endpoints_.push_back(std::move(state));
    }
}

void UsbMeterDevice::OnChanged(Changed changed) {
    std::lock_guard<std::mutex> lock(mutex_);
    changed_ = std::move(changed);
}

void UsbMeterDevice::Notify() {
    if (changed_) changed_();
}

UsbMeterDevice::EndpointState* UsbMeterDevice::Find(std::uint8_t address) {
    for (auto& e : endpoints_)
        if (e.info.address == address) return &e;
    return nullptr;
}

UsbMeterDevice::EndpointState* UsbMeterDevice::ForPipe(int pipe) {
    for (auto& e : endpoints_)
        if (e.info.pipe == pipe) return &e;
    return nullptr;
}

bool UsbMeterDevice::Present() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return present_;
}

void UsbMeterDevice::Complete(Urb& urb, int status) {
    urb.done = true;
    urb.status = status;
    if (urb.endpoint & 0x80) urb.actual = static_cast<int>(urb.data.size());
    else urb.actual = status == 0 ? urb.length : 0;
}

int UsbMeterDevice::Submit(Urb urb) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!present_) return -ENODEV;
    if (urb.length < 0) return -EINVAL;
    urb.done = false;
    urb.status = 0;
    if (urb.endpoint & 0x80) urb.data.clear();
    if (urb.type == kUrbControl || (urb.endpoint & 0x7f) == 0) {
        // The meter answers no request on the default pipe beyond enumeration: it stalls.
        urbs_.push_back(std::move(urb));
        Complete(urbs_.back(), -EPIPE);
        Notify();
        return 0;
    }
    EndpointState* ep = Find(urb.endpoint);
    if (!ep || ep->vanished) return -ENOENT;
    const bool bulk = (ep->info.attributes & 0x03) == 0x02;
    if (urb.type != (bulk ? kUrbBulk : kUrbInterrupt)) return -EINVAL;
    urbs_.push_back(std::move(urb));
    Urb& u = urbs_.back();
    if (!(u.endpoint & 0x80) && ep->stallNext && !ep->nak) {
        ep->stallNext = false;
        ep->halted = true;  // the command is refused
    }
    if (ep->halted) Complete(u, -EPIPE);
    else if (!(u.endpoint & 0x80) && !ep->nak) Accept(u, *ep);
    Pump();
    Notify();
    return 0;
}

void UsbMeterDevice::Accept(Urb& urb, EndpointState& ep) {
    // The packets as the host controller sends them: full ones, the rest, and a zero-length
    // packet when the transfer asked for one and ends on a packet boundary.
    const auto mp = static_cast<std::size_t>(ep.info.maxPacket);
    std::vector<std::string> packets;
    for (std::size_t off = 0; off < urb.data.size(); off += mp) packets.push_back(urb.data.substr(off, mp));
    if (urb.data.empty() || ((urb.flags & kUrbZeroPacket) && urb.data.size() % mp == 0)) packets.emplace_back();
    Complete(urb, 0);
    for (const auto& p : packets) Deliver(ep.info.pipe, p);
}

void UsbMeterDevice::Deliver(int pipe, const std::string& packet) {
    if (pipe == transport::kCommandPipe) {
        if (packet.empty()) return;  // a zero-length packet carries no command
        const meter::Response r = meter_.Handle(packet);
        if (r.kind == meter::Response::Kind::Unplug) unplugRequested_ = true;
        if (r.kind != meter::Response::Kind::Reply) return;
        const EndpointState* reply = ForPipe(transport::kReplyPipe);
        Schedule(transport::kReplyPipe, Packetise(r.bytes, reply->info.maxPacket), r.delayMs);
    } else if (pipe == transport::kCounterCommandPipe) {
        // The count is one short packet, not a reply: no zero-length packet follows it.
        if (auto count = meter::CounterReply(packet, bytesSent_)) Schedule(transport::kCounterReplyPipe, {*count}, 0);
    }
}

void UsbMeterDevice::Schedule(int pipe, std::vector<std::string> packets, int delayMs) {
    // Replies leave in order: a delayed reply holds back the ones after it.
    auto due = Clock::now() + std::chrono::milliseconds(delayMs);
    bool waiting = false;
    for (const auto& s : scheduled_) {
        if (s.pipe != pipe) continue;
        waiting = true;
        due = std::max(due, s.due);
    }
    if (delayMs <= 0 && !waiting) {
        EndpointState* ep = ForPipe(pipe);
        if (!ep->vanished)
            for (auto& p : packets) ep->packets.push_back(std::move(p));
        return;
    }
    scheduled_.push_back({due, pipe, std::move(packets)});
}

void UsbMeterDevice::Pump() {
    for (auto& ep : endpoints_) {
        if (!(ep.info.address & 0x80) || ep.halted || ep.nak || ep.vanished) continue;
        const bool waiting = std::any_of(urbs_.begin(), urbs_.end(),
                                         [&](const Urb& u) { return !u.done && u.endpoint == ep.info.address; });
        if (ep.stallNext && waiting && !ep.packets.empty()) {
            ep.stallNext = false;
            ep.halted = true;
            ep.packets.clear();
            scheduled_.erase(std::remove_if(scheduled_.begin(), scheduled_.end(),
                                            [&](const Scheduled& s) { return s.pipe == ep.info.pipe; }),
                             scheduled_.end());
            EndInFlight(ep.info.address, -EPIPE, false);
            continue;
        }
        for (Urb& u : urbs_) {
            if (ep.packets.empty()) break;
            if (u.done || u.endpoint != ep.info.address) continue;
            // A transfer ends with a short packet (the zero-length one included) or when
            // its buffer is full; a packet larger than the room left overflows it.
            while (!ep.packets.empty() && !u.done) {
                std::string packet = std::move(ep.packets.front());
                ep.packets.pop_front();
                const std::size_t room = static_cast<std::size_t>(u.length) - u.data.size();
                const std::size_t take = std::min(room, packet.size());
                u.data.append(packet, 0, take);
                if (ep.info.pipe == transport::kReplyPipe) bytesSent_ += static_cast<std::uint32_t>(take);
                if (packet.size() > room) Complete(u, -EOVERFLOW);
                else if (packet.size() < static_cast<std::size_t>(ep.info.maxPacket) ||
                         u.data.size() == static_cast<std::size_t>(u.length))
                    Complete(u, 0);
            }
        }
    }
}

void UsbMeterDevice::EndInFlight(std::uint8_t address, int status, bool all) {
    for (Urb& u : urbs_)
        if (!u.done && (all || u.endpoint == address)) Complete(u, status);
}

int UsbMeterDevice::Reap(const void* owner, Urb& out) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = urbs_.begin(); it != urbs_.end(); ++it) {
        if (it->owner != owner || !it->done) continue;
        out = std::move(*it);
        urbs_.erase(it);
        Notify();
        return 0;
    }
    Notify();
    return present_ ? -EAGAIN : -ENODEV;
}

bool UsbMeterDevice::ReapableLocked(const void* owner) const {
    return std::any_of(urbs_.begin(), urbs_.end(), [owner](const Urb& u) { return u.owner == owner && u.done; });
}

int UsbMeterDevice::Discard(const void* owner, std::uintptr_t id) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (Urb& u : urbs_) {
        if (u.owner != owner || u.id != id) continue;
        if (u.done) return -EINVAL;  // already completed: the host reaps it as it is
        Complete(u, -ENOENT);
        Notify();
        return 0;
    }
    return -EINVAL;
}

int UsbMeterDevice::ClearHalt(unsigned endpoint) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!present_) return -ENODEV;
    EndpointState* ep = Find(static_cast<std::uint8_t>(endpoint));
    if (!ep || ep->vanished) return -ENOENT;
    ep->halted = false;
    Pump();
    Notify();
    return 0;
}

std::vector<UsbMeterDevice::Urb> UsbMeterDevice::Forget(const void* owner) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<Urb> gone;
    for (auto it = urbs_.begin(); it != urbs_.end();) {
        if (it->owner == owner) {
            gone.push_back(std::move(*it));
            it = urbs_.erase(it);
        } else {
            ++it;
        }
    }
    Notify();
    return gone;
}

void UsbMeterDevice::Unplug() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!present_) return;
    present_ = false;
    EndInFlight(0, -ESHUTDOWN, true);
    for (auto& ep : endpoints_) {
        ep.halted = ep.stallNext = ep.nak = ep.vanished = false;
        ep.packets.clear();
    }
    scheduled_.clear();
    Notify();
}

void UsbMeterDevice::Plug() {
    std::lock_guard<std::mutex> lock(mutex_);
    present_ = true;
    unplugRequested_ = false;
    Notify();
}

void UsbMeterDevice::Stall(int pipe) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (EndpointState* ep = ForPipe(pipe)) ep->stallNext = true;
    Pump();
    Notify();
}

void UsbMeterDevice::Nak(int pipe) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (EndpointState* ep = ForPipe(pipe)) ep->nak = true;
}

void UsbMeterDevice::Vanish(int pipe) {
    std::lock_guard<std::mutex> lock(mutex_);
    EndpointState* ep = ForPipe(pipe);
    if (!ep) return;
    ep->vanished = true;
    ep->packets.clear();  // what the meter sends to an endpoint that is not there is lost
    // A disabled endpoint's transfers are flushed as the host controller does it.
    EndInFlight(ep->info.address, -ESHUTDOWN, false);
    Notify();
}

void UsbMeterDevice::Restore(int pipe) {
    std::lock_guard<std::mutex> lock(mutex_);
    EndpointState* ep = ForPipe(pipe);
    if (!ep) return;
    ep->nak = false;
    ep->vanished = false;
    if (!(ep->info.address & 0x80)) {
        for (Urb& u : urbs_)
            if (!u.done && u.endpoint == ep->info.address) Accept(u, *ep);
    }
    Pump();
    Notify();
}

bool UsbMeterDevice::TakeUnplugRequest() {
    std::lock_guard<std::mutex> lock(mutex_);
    const bool requested = unplugRequested_;
    unplugRequested_ = false;
    return requested;
}

void UsbMeterDevice::Tick() {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto now = Clock::now();
    bool moved = false;
    while (!scheduled_.empty()) {
        // Each pipe's replies in order; another pipe's may pass a waiting one.
        auto it =
            std::find_if(scheduled_.begin(), scheduled_.end(), [now](const Scheduled& s) { return s.due <= now; });
        if (it == scheduled_.end()) break;
        EndpointState* ep = ForPipe(it->pipe);
        if (!ep->vanished)
            for (auto& p : it->packets) ep->packets.push_back(std::move(p));
        scheduled_.erase(it);
        moved = true;
    }
    if (!moved) return;
    Pump();
    Notify();
}

std::optional<std::chrono::steady_clock::time_point> UsbMeterDevice::NextDue() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::optional<Clock::time_point> next;
    for (const auto& s : scheduled_)
        if (!next || s.due < *next) next = s.due;
    return next;
}

std::vector<std::string> UsbMeterDevice::MeterControl(const std::string& request) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (request == "status") {
        auto out = meter::MeterStatusLines(meter_, bytesSent_);
        out.push_back("ok");
        return out;
    }
    return meter::MeterRequest(meter_, request);
}

}  // namespace tessera::usbemu
