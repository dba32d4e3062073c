#include "transport/Transport.h"

#include <algorithm>
#include <cstring>

#include "transport/InstrumentIds.h"

namespace tessera::transport {

Transport::Transport(OsCalls& os) : os_(os) {}

void Transport::NoteInterface(const std::string& interfacePath) {
    // Callers of GetDeviceStr see the interface the search looked at last, found or not.
    if (interfacePath.size() + 1 > kDevicePathSize) return;
    std::memcpy(devicePath_.data(), interfacePath.c_str(), interfacePath.size() + 1);
}

bool Transport::SetDevicePath(const std::string& interfacePath, std::int32_t pipe) {
    std::string path = interfacePath;
    path += os_.PipeSeparator();
    path += std::to_string(pipe);
    // A path that does not fit the buffer is never cut: a cut path could name another pipe.
    if (path.size() + 1 > kDevicePathSize) return false;
    std::memcpy(devicePath_.data(), path.c_str(), path.size() + 1);
    return true;
}

std::vector<std::string> Transport::Candidates() {
    std::vector<std::string> paths = os_.Interfaces();
    const std::string chosen = os_.ChosenMeter();
    if (chosen.empty()) return paths;
    std::vector<std::string> taken;
    for (auto& path : paths)
        if (SameSerial(os_.Identity(path).serial, chosen)) taken.push_back(std::move(path));
    return taken;
}

std::vector<Transport::PresentMeter> Transport::Meters() {
    std::vector<PresentMeter> meters;
    for (const auto& path : os_.Interfaces())
        if (os_.InterfaceOpens(path)) meters.push_back({path, os_.Identity(path)});
    return meters;
}

Handle Transport::OpenUSBBulkFile(std::int32_t pipe) {
    std::string found;
    bool any = false;
    for (const auto& path : Candidates()) {
        if (path.size() + 12 > kDevicePathSize) continue;  // no room for the pipe number
        NoteInterface(path);
        if (os_.InterfaceOpens(path)) {
            found = path;
            any = true;
            break;
        }
    }
    if (!any || !SetDevicePath(found, pipe)) return kInvalid;
    const Handle h = os_.OpenPipe(devicePath_.data(), false);
    if (h != kInvalid && pipe == kCommandPipe) Counter(true);
    return h;
}

std::uint32_t Transport::Counter(bool reset) {
    const Handle command = OpenUSBBulkFile(kCounterCommandPipe);
    const Handle reply = OpenUSBBulkFile(kCounterReplyPipe);
    const std::uint8_t byte = reset ? 1 : 0;
    if (reset) {
        receivedTotal_ = 0;
        deviceCount_ = 0;
    }
    std::uint32_t answer = 0;
    std::uint32_t written = 0;
    if (command != kInvalid && reply != kInvalid && os_.Write(command, &byte, 1, &written) && written == 1) {
        std::uint8_t count[4] = {};
        std::uint32_t got = 0;
        // A short answer is as good as none: the previous count stands.
        if (os_.Read(reply, count, 4, &got) && got == 4) {
            answer = (std::uint32_t{count[0]} << 24) | (std::uint32_t{count[1]} << 16) |
                     (std::uint32_t{count[2]} << 8) | count[3];
        } else {
            answer = deviceCount_;
        }
    }
    if (command != kInvalid) os_.Close(command);
    if (reply != kInvalid) os_.Close(reply);
    deviceCount_ = answer;
    return answer;
}

bool Transport::ReadRound(Handle h, std::uint8_t* destination, std::uint32_t wanted, std::uint32_t* delivered) {
    std::uint32_t copied = 0;
    if (unread_ > 0) {
        copied = std::min(unread_, wanted);
        std::memcpy(destination, readBuffer_.data() + readPos_, copied);
        readPos_ += copied;
        unread_ -= copied;
    } else {
        readPos_ = 0;
    }
    if (copied == wanted) {
        *delivered = wanted;
        return true;
    }
    // The buffer ran dry before the request was met: ask the device whether it has more
    // before blocking on the pipe, so a reply that has been read whole is not waited for.
    if (copied > 0) counterPending_ = true;
    const std::uint32_t needed = wanted - copied;
    if (counterPending_ && Counter(false) <= receivedTotal_) {
        *delivered = copied;
        return true;
    }
    std::uint32_t bytesRead = 0;
    while (bytesRead + kPieceSize <= kReadBufferSize) {
        std::uint32_t got = 0;
        if (!os_.Read(h, readBuffer_.data() + bytesRead, kPieceSize, &got)) return false;
        got = std::min(got, kPieceSize);
        bytesRead += got;
        receivedTotal_ += got;
        if (bytesRead >= needed) {
            counterPending_ = false;
            break;
        }
        if (got == 0) {
            counterPending_ = true;
            if (Counter(false) > receivedTotal_) continue;
            break;
        }
    }
    const std::uint32_t take = std::min(needed, bytesRead);
    std::memcpy(destination + copied, readBuffer_.data(), take);
    readPos_ = take;
    unread_ = bytesRead - take;
    *delivered = copied + take;
    return true;
}

std::int32_t Transport::ReadUSBBulk(Handle h, void* destination, std::uint32_t wanted, std::uint32_t* delivered) {
    if (!delivered || (!destination && wanted > 0)) return 0;
    auto* out = static_cast<std::uint8_t*>(destination);
    // Requests larger than one buffered round are served round by round; a round that
    // comes back short means the device has nothing more for now.
    std::uint32_t total = 0;
    do {
        const std::uint32_t round = std::min(wanted - total, kMaxRound);
        std::uint32_t got = 0;
        if (!ReadRound(h, out + total, round, &got)) return 0;
        total += got;
        if (got < round) break;
    } while (total < wanted);
    *delivered = total;
    return 1;
}

std::int32_t Transport::WriteUSBBulk(Handle h, const void* source, std::uint32_t count, std::uint32_t* written) {
    std::uint32_t n = 0;
    const bool ok = (source || count == 0) && os_.Write(h, source, count, &n);
    if (written) *written = n;
    return ok ? 1 : 0;
}

std::int32_t Transport::GetDeviceStr(char* destination) const {
    if (!destination) return 0;
    const std::size_t len = std::strlen(devicePath_.data());
    std::memcpy(destination, devicePath_.data(), len + 1);
    return static_cast<std::int32_t>(len + 1);
}

Handle Transport::Open7708Usb2(std::int32_t index, std::int32_t pipe, std::int32_t overlapped) {
    if (index < 0 || index >= 2) return kInvalid;
    const auto interfaces = Candidates();
    if (static_cast<std::size_t>(index) >= interfaces.size()) {
        if (!interfaces.empty()) NoteInterface(interfaces.back());
        return kInvalid;
    }
    if (!SetDevicePath(interfaces[static_cast<std::size_t>(index)], pipe)) return kInvalid;
    return os_.OpenPipe(devicePath_.data(), overlapped != 0);
}

std::int32_t Transport::CheckUSBDevices(char* serialOut) {
    matchCount_ = 0;
    serialList_.fill(0);
    if (serialOut) serialOut[0] = '\0';
    std::size_t listLength = 0;
    for (const UsbDevice& d : os_.WalkUsb()) {
        if (d.vendorId != INSTRUMENT_VENDOR_ID || d.productId != INSTRUMENT_PRODUCT_ID || !d.hasSerialIndex) continue;
        ++matchCount_;
        // The low byte of each of the first nine UTF-16 units; a shorter serial is taken whole.
        std::string serial;
        for (std::size_t i = 0; i < d.serial.size() && i < kSerialChars; ++i) {
            const char c = static_cast<char>(d.serial[i] & 0xff);
            serial += c == '\0' ? '?' : c;
        }
        if (serialOut) std::memcpy(serialOut, serial.c_str(), serial.size() + 1);
        // The list keeps whole serials only, as many as fit its 64 bytes with the
        // terminating zero (six of nine characters); later instruments are counted but
        // not listed.
        const std::size_t need = serial.size() + (listLength > 0 ? 1 : 0);
        if (listLength + need + 1 <= kSerialListSize) {
            if (listLength > 0) serialList_[listLength++] = ',';
            std::memcpy(serialList_.data() + listLength, serial.data(), serial.size());
            listLength += serial.size();
            serialList_[listLength] = '\0';
        }
    }
    return matchCount_;
}

std::int32_t Transport::GetSerialStringAllDevices(char* destination) const {
    if (!destination) return 0;
    std::memcpy(destination, serialList_.data(), std::strlen(serialList_.data()) + 1);
    return 1;
}

}  // namespace tessera::transport
