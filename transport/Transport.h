#pragma once
// The transport library's state and algorithms, independent of the operating system:
// finding the instrument, the device byte counter, the buffered reader, the device path
// and the serial list. The exports (Exports.cpp) forward to one process-wide instance.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "transport/OsCalls.h"

namespace tessera::transport {

inline constexpr std::size_t kDevicePathSize = 256;
inline constexpr std::size_t kReadBufferSize = 1024;
inline constexpr std::uint32_t kPieceSize = 64;
// The largest request one buffered round serves: the last 64-byte read may overshoot the
// request by 63 bytes and must still fit the buffer (960 + 63 < 1024).
inline constexpr std::uint32_t kMaxRound = 960;
inline constexpr std::size_t kSerialListSize = 64;
inline constexpr std::size_t kSerialChars = 9;

class Transport {
public:
    explicit Transport(OsCalls& os);

    Handle OpenUSBBulkFile(std::int32_t pipe);
    std::int32_t ReadUSBBulk(Handle h, void* destination, std::uint32_t wanted, std::uint32_t* delivered);
    std::int32_t WriteUSBBulk(Handle h, const void* source, std::uint32_t count, std::uint32_t* written);
    std::int32_t GetDeviceStr(char* destination) const;
    std::int32_t CheckUSBDevices(char* serialOut);
    Handle Open7708Usb2(std::int32_t index, std::int32_t pipe, std::int32_t overlapped);
    std::int32_t GetSerialStringAllDevices(char* destination) const;

    // The meters present, for a person to choose from: every interface that is served, with
    // what it says of itself, in search order.
    struct PresentMeter {
        std::string path;
        MeterIdentity identity;
    };
    std::vector<PresentMeter> Meters();

    // Inspection for tests.
    std::uint32_t ReceivedTotal() const { return receivedTotal_; }
    std::uint32_t DeviceCount() const { return deviceCount_; }
    std::uint32_t Buffered() const { return unread_; }
    std::string DevicePath() const { return devicePath_.data(); }
    std::string SerialList() const { return serialList_.data(); }

private:
    // The interfaces the device search goes through: all of them, or, when the user chose a
    // meter by its serial number, only that meter's.
    std::vector<std::string> Candidates();
    void NoteInterface(const std::string& interfacePath);
    bool SetDevicePath(const std::string& interfacePath, std::int32_t pipe);
    std::uint32_t Counter(bool reset);
    bool ReadRound(Handle h, std::uint8_t* destination, std::uint32_t wanted, std::uint32_t* delivered);

    OsCalls& os_;
    std::array<char, kDevicePathSize> devicePath_{};
    std::array<std::uint8_t, kReadBufferSize> readBuffer_{};
    std::uint32_t readPos_ = 0;
    std::uint32_t unread_ = 0;
    std::uint32_t receivedTotal_ = 0;
    std::uint32_t deviceCount_ = 0;
    bool counterPending_ = true;
    std::array<char, kSerialListSize> serialList_{};
    std::int32_t matchCount_ = 0;
};

}  // namespace tessera::transport
