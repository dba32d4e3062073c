#include "link/Link.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <thread>

#include "TesseraVersion.h"
#include "link/Decode.h"
#include "link/Stores.h"
#include "platform/NamedLock.h"
#include "platform/Paths.h"

namespace tessera::link {

namespace {

constexpr int kReadsPerReply = 20;
constexpr std::uint32_t kPacketSize = 64;
// Busy answers are normally over after one or two immediate repeats; past this many the
// repeats are spaced by a millisecond so a long-busy peer does not get hammered.
constexpr int kImmediateRepeats = 100;

bool Valid(platform::Handle h) { return h != platform::kInvalidHandle; }

}  // namespace

// Programs that each use a meter of their own take turns only where they share one: the
// exchange lock is the chosen meter's. (Programs that still meet on one meter, one having
// chosen it and one taking the first, are kept apart by the meter's server.)
Link::Link(std::string lockName)
    : lockName_(lockName == kExchangeLockName ? ExchangeLockName(platform::ChosenMeter()) : std::move(lockName)) {}

Link::~Link() {
    // No traffic at destruction: shutdown sends "APP 0" through CloseSession on purpose.
    if (Valid(commandPipe_)) platform::CloseHandle(commandPipe_);
    if (Valid(replyPipe_)) platform::CloseHandle(replyPipe_);
}

bool Link::BindTransport() {
    open_ = nullptr;
    if (!library_.Load(kTransportLibrary, TESSERA_TRANSPORT_SOVERSION)) return false;
    open_ = reinterpret_cast<OpenPipeFn>(library_.Symbol("OpenUSBBulkFile"));
    if (!open_) library_.Unload();
    return open_ != nullptr;
}

bool Link::BindTransportPath(const std::string& libraryPath) {
    open_ = nullptr;
    if (!library_.LoadPath(libraryPath)) return false;
    open_ = reinterpret_cast<OpenPipeFn>(library_.Symbol("OpenUSBBulkFile"));
    if (!open_) library_.Unload();
    return open_ != nullptr;
}

void Link::BindOpenFunction(OpenPipeFn open) { open_ = open; }

void Link::UnbindTransport() {
    open_ = nullptr;
    library_.Unload();
}

Status Link::Exchange(const char* command, std::uint32_t length, char* reply, std::uint32_t* replyLength) {
    std::uint32_t unused = 0;
    if (!replyLength) replyLength = &unused;
    // The private buffer holds 300 bytes; a larger stated capacity cannot be filled beyond it.
    const std::uint32_t capacity = reply ? std::min(*replyLength, kReplyCapacity) : 0;

    platform::NamedLock lock(lockName_);
    if (!lock.TryAcquire()) {
        *replyLength = 0;
        return kStatusBusy;
    }
    if (!Valid(commandPipe_) || !Valid(replyPipe_)) {
        *replyLength = 0;
        return kStatusNoDevice;
    }

    // An answer that came after an earlier exchange gave up on it (a slow meter past the
    // transport's timeout) would otherwise be read as this command's answer, and every
    // later exchange would stay one answer behind.
    if (answerOwed_) DrainOwedAnswer();
    platform::DiscardPending(replyPipe_);
    std::uint32_t written = 0;
    platform::WriteHandle(commandPipe_, command, command ? length : 0, &written);

    char buffer[kReplyCapacity] = {};
    std::uint32_t total = 0;
    bool lastOk = false;
    bool ended = false;  // the reply's empty read came
    for (int i = 0; i < kReadsPerReply; ++i) {
        char packet[kPacketSize];
        std::uint32_t got = 0;
        lastOk = platform::ReadHandle(replyPipe_, packet, kPacketSize, &got);
        if (!lastOk) got = 0;
        if (total < kReplyCapacity) {
            const std::uint32_t keep = std::min(got, kReplyCapacity - total);
            std::memcpy(buffer + total, packet, keep);
        }
        total += got;  // bytes past the buffer are counted, so an over-long reply is noticed
        if (got == 0) {
            ended = lastOk;
            break;
        }
    }
    // A reply that was given up (a read timed out) or not read to its end may still be
    // arriving; the next exchange must not take it for its own.
    answerOwed_ = !ended;

    Status status;
    std::uint32_t delivered;
    if (total == 3 && buffer[0] == '0') {
        if (capacity < 3) {
            status = kStatusTooLong;
            delivered = capacity;
        } else {
            status = kStatusOk;
            delivered = 3;
        }
    } else if (total == 3) {
        status = MeterStatus(buffer[0]);
        delivered = 3;
    } else if (total > 0 || lastOk) {
        if (total > capacity) {
            status = kStatusTooLong;
            delivered = capacity;
        } else {
            status = kStatusOk;
            delivered = total;
        }
    } else {
        status = kStatusNoDevice;
        delivered = 0;
    }

    *replyLength = delivered;
    // Never more than the caller offered, even for a three-byte status reply.
    const std::uint32_t copy = std::min(delivered, capacity);
    if (reply) {
        std::memcpy(reply, buffer, copy);
        if (copy < capacity) reply[copy] = '\0';
    }
    return status;
}

void Link::DrainOwedAnswer() {
    answerOwed_ = false;
    // Waits for the rest of the answer, each read bounded by the transport's timeout, and
    // drops it up to its empty read. Nothing within one timeout: the answer is taken as lost.
    for (int i = 0; i < kReadsPerReply * 4; ++i) {
        char packet[kPacketSize];
        std::uint32_t got = 0;
        if (!platform::ReadHandle(replyPipe_, packet, kPacketSize, &got) || got == 0) return;
    }
}

Status Link::Exchange(std::string_view command, Reply& reply) {
    reply.bytes.fill('\0');
    reply.length = kReplyCapacity;
    const Status status =
        Exchange(command.data(), static_cast<std::uint32_t>(command.size()), reply.bytes.data(), &reply.length);
    reply.bytes[kReplyCapacity] = '\0';
    return status;
}

Status Link::ExchangeRepeating(std::string_view command, Reply& reply, bool alsoOnRepeat) {
    const auto start = std::chrono::steady_clock::now();
    for (int attempt = 0;; ++attempt) {
        const Status status = Exchange(command, reply);
        const bool again = status == kStatusBusy || (alsoOnRepeat && status == kStatusRepeat);
        if (!again) return status;
        if (std::chrono::steady_clock::now() - start >= retryLimit_) {
            // Busy for this long means a stuck peer; the meter is still there, so the caller
            // is told the answer it kept getting, not that the meter is gone.
            reply.bytes.fill('\0');
            reply.length = 0;
            return status;
        }
        if (attempt >= kImmediateRepeats) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

bool Link::SessionOpen() const { return Valid(commandPipe_) && Valid(replyPipe_); }

bool Link::OpenSession() {
    if (open_) {
        if (!Valid(commandPipe_)) commandPipe_ = open_(0);
        if (!Valid(replyPipe_)) replyPipe_ = open_(1);
    }
    if (!SessionOpen()) {
        CloseSession();
        return false;
    }
    Reply reply;
    ExchangeRepeating("FUNC 0", reply);
    ExchangeRepeating("APP 1", reply);
    return true;
}

void Link::CloseSession() {
    Reply reply;
    ExchangeRepeating("APP 0", reply);
    if (Valid(commandPipe_)) platform::CloseHandle(commandPipe_);
    if (Valid(replyPipe_)) platform::CloseHandle(replyPipe_);
    commandPipe_ = platform::kInvalidHandle;
    replyPipe_ = platform::kInvalidHandle;
    answerOwed_ = false;
    current_ = settings::MeterSettings{};
}

Status Link::Identify(settings::MeterSettings& record) {
    Reply reply;
    Status status = ExchangeRepeating("QPID", reply, true);
    if (status != kStatusOk) return status;
    if (reply.Text() != std::string_view("8620\r\n")) return kStatusWrongModel;
    status = ExchangeRepeating("MEAS?", reply, true);
    if (status != kStatusOk) return status;
    // A reply cut short (a lost packet, a meter unplugged mid-reply) would decode into a
    // plausible but wrong reading; it is a failed read like a reply that never came.
    if (!CompleteMeasurementReply(reply.Text())) return kStatusNoDevice;
    DecodeReply(reply.Text(), record, true);
    return kStatusOk;
}

Status Link::RefreshSettings() {
    current_ = settings::MeterSettings{};
    const Status status = Identify(current_);
    if (status != kStatusOk) return status;
    Reply reply;
    // The meter answers "MEM?" with one digit and a line end: three bytes, which the exchange
    // reports as a status. The digit is what counts, whatever the status says.
    ExchangeRepeating("MEM?", reply, true);
    current_.memMode = reply.bytes[0];
    return kStatusOk;
}

Status Link::ReadMemoryEntry(settings::MeterSettings& record, unsigned index) {
    char command[30] = {};
    std::snprintf(command, sizeof command, "DATA? %u", (index & 0xffu) + 1u);
    Reply reply;
    const Status status = ExchangeRepeating(command, reply);
    if (status != kStatusOk) return status;
    if (!CompleteMeasurementReply(reply.Text())) return kStatusNoDevice;  // as in Identify
    DecodeReply(reply.Text(), record, false);
    return kStatusOk;
}

Status Link::Command(std::string_view command, Repeat repeat) {
    Reply reply;
    return repeat == Repeat::WhileBusy ? ExchangeRepeating(command, reply) : Exchange(command, reply);
}

bool Link::HeldByLogger() const { return loggerRunning; }

void Link::SetHeldByLogger(bool held) { loggerRunning = held; }

Link& TheLink() {
    static Link link;
    return link;
}

std::string ExchangeLockName(const std::string& chosenMeter) {
    // Serials match without regard to case, so two spellings of one meter share its lock.
    std::string folded = chosenMeter;
    for (char& c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return folded.empty() ? std::string(kExchangeLockName) : std::string(kExchangeLockName) + "." + folded;
}

}  // namespace tessera::link
