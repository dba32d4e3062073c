#pragma once
// The one road to the meter: binding the transport library, the command/reply exchange
// with its status codes and exchange lock, the session, identification, settings refresh
// and the read of one stored measurement.

#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "link/MeterPort.h"
#include "link/Status.h"
#include "platform/DynamicLibrary.h"
#include "platform/Handle.h"
#include "settings/MeterSettings.h"

namespace tessera::link {

inline constexpr std::uint32_t kReplyCapacity = 300;
inline constexpr const char* kExchangeLockName = "DeviceChangeEvent";
inline constexpr const char* kTransportLibrary = "Bulklink";

// The transport library's OpenUSBBulkFile: pipe number -> handle or all bits set.
using OpenPipeFn = platform::Handle(TESSERA_STDCALL*)(std::int32_t pipe);

// A caller's reply area: the 300 bytes of capacity plus one byte that always stays zero,
// so a reply that fills the whole capacity still ends in a terminator for the decoder.
struct Reply {
    std::array<char, kReplyCapacity + 1> bytes{};
    std::uint32_t length = 0;
    std::string_view Text() const { return {bytes.data(), length}; }
    const char* CStr() const { return bytes.data(); }
};

class Link final : public MeterPort {
public:
    explicit Link(std::string lockName = kExchangeLockName);
    ~Link();
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    // Loads the transport library by name (program directory first, then an installed copy's
    // library directory; on POSIX by its SONAME) and finds OpenUSBBulkFile.
    bool BindTransport();
    bool BindTransportPath(const std::string& libraryPath);
    // Tests and tools may supply the open function directly.
    void BindOpenFunction(OpenPipeFn open);
    void UnbindTransport();
    bool Bound() const { return open_ != nullptr; }

    // One exchange: capacity in, bytes delivered out. See Status.h for the answers.
    Status Exchange(const char* command, std::uint32_t length, char* reply, std::uint32_t* replyLength);
    // The same with a Reply area (cleared, capacity 300).
    Status Exchange(std::string_view command, Reply& reply);
    // Repeats at once while the answer is busy (and, when asked, while it is "repeat").
    Status ExchangeRepeating(std::string_view command, Reply& reply, bool alsoOnRepeat = false);

    // Repetition on busy (and "repeat") answers is immediate, but a meter or another process
    // that stays busy longer than this is given up with the answer it kept giving, so no
    // caller hangs.
    void SetRetryLimit(std::chrono::milliseconds limit) { retryLimit_ = limit; }
    std::chrono::milliseconds RetryLimit() const { return retryLimit_; }

    bool OpenSession();
    void CloseSession();
    bool SessionOpen() const;

    // --- the meter port of the pages ---
    Status Identify(settings::MeterSettings& record) override;
    Status RefreshSettings() override;
    Status ReadMemoryEntry(settings::MeterSettings& record, unsigned index) override;
    const settings::MeterSettings& CurrentSettings() const override { return current_; }
    Status Command(std::string_view command, Repeat repeat) override;
    bool HeldByLogger() const override;
    void SetHeldByLogger(bool held) override;

private:
    void DrainOwedAnswer();

    std::string lockName_;
    platform::DynamicLibrary library_;
    OpenPipeFn open_ = nullptr;
    platform::Handle commandPipe_ = platform::kInvalidHandle;
    platform::Handle replyPipe_ = platform::kInvalidHandle;
    // The last exchange did not read its reply to the end: the rest may still come.
    bool answerOwed_ = false;
    settings::MeterSettings current_{};
    std::chrono::milliseconds retryLimit_{3000};
};

// The process-wide link the program and its pages share.
Link& TheLink();

// The exchange lock of the meter chosen by serial number (platform::ChosenMeter()), or of
// whichever meter is found first when none is chosen.
std::string ExchangeLockName(const std::string& chosenMeter);

}  // namespace tessera::link
