#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>

#include "FakeMeter.h"
#include "link/Link.h"
#include "link/Stores.h"
#include "platform/NamedLock.h"
#include "platform/Paths.h"

using namespace tessera::link;
using tessera::platform::NamedLock;
using tessera::settings::MeterSettings;
using tessera::test::FakeMeter;
using tessera::test::Packets;

namespace {

const std::string kMeas = "0,3,0,12,1.23456E+01,2.5E-06,9.9996E+00,0,1,1,0,0,0\r\n";

// A meter that answers from a table; a command may have a queue of answers, used in turn
// (the last one repeats). Unknown commands are acknowledged.
class Script {
public:
    Script& On(const std::string& command, std::vector<std::vector<std::string>> answers) {
        answers_[command] = std::move(answers);
        return *this;
    }
    FakeMeter::Handler Handler() {
        return [this](const std::string& command) {
            auto it = answers_.find(command);
            if (it == answers_.end()) return Packets("0\r\n");
            auto& queue = it->second;
            auto answer = queue.front();
            if (queue.size() > 1) queue.erase(queue.begin());
            return answer;
        };
    }

private:
    std::map<std::string, std::vector<std::vector<std::string>>> answers_;
};

Script GoodMeter() {
    Script s;
    s.On("QPID", {Packets("8620\r\n")}).On("MEAS?", {Packets(kMeas)}).On("MEM?", {Packets("1\r\n")});
    return s;
}

class LinkExchange : public ::testing::Test {
protected:
    void Start(Script script, int replyTimeoutMs = 1000) {
        script_ = std::move(script);
        meter_ = std::make_unique<FakeMeter>(script_.Handler(), replyTimeoutMs);
        link_.BindOpenFunction(&FakeMeter::OpenPipe);
    }
    // Opens the session and forgets the two commands it sends.
    void Open() {
        ASSERT_TRUE(link_.OpenSession());
        ASSERT_EQ(meter_->Commands(), (std::vector<std::string>{"FUNC 0", "APP 1"}));
        sent_ = 2;
    }
    std::vector<std::string> Sent() {
        auto all = meter_->Commands();
        return {all.begin() + static_cast<long>(sent_), all.end()};
    }
    static bool LockIsFree() {
        NamedLock probe(kExchangeLockName);
        return probe.TryAcquire();
    }

    Script script_;
    std::unique_ptr<FakeMeter> meter_;
    Link link_;
    std::size_t sent_ = 0;
};

}  // namespace

TEST_F(LinkExchange, StatusRepliesAndDataReplies) {
    Script s;
    s.On("ACK", {Packets("0\r\n")})
        .On("BUSY", {Packets("9\r\n")})
        .On("NONE", {Packets("3\r\n")})
        .On("GONE", {Packets("7\r\n")})
        .On("AGAIN", {Packets("4\r\n")})
        .On("ODD", {Packets("E\r\n")})
        .On("NINE", {Packets("9abc")})
        .On("EMPTY", {Packets("")});
    Start(std::move(s));
    Open();
    struct Case {
        const char* command;
        Status status;
        std::uint32_t length;
    } cases[] = {
        {"ACK", kStatusOk, 3},        {"BUSY", kStatusBusy, 3},    {"NONE", kStatusNoEntry, 3},
        {"GONE", kStatusNoDevice, 3}, {"AGAIN", kStatusRepeat, 3}, {"ODD", 0x80000045u, 3},
        {"NINE", kStatusOk, 4},       {"EMPTY", kStatusOk, 0},
    };
    for (const auto& c : cases) {
        Reply reply;
        EXPECT_EQ(link_.Exchange(c.command, reply), c.status) << c.command;
        EXPECT_EQ(reply.length, c.length) << c.command;
        EXPECT_TRUE(LockIsFree()) << "the exchange lock is released after " << c.command;
    }
    Reply reply;
    link_.Exchange("NINE", reply);
    EXPECT_STREQ(reply.CStr(), "9abc");
    // Commands go out as their characters only: no terminator, no line end.
    const auto sent = Sent();
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.front(), "ACK");
}

TEST_F(LinkExchange, ReplyInTwoReadsArrivesWhole) {
    const std::string text = std::string(64, 'a') + "0123456789";
    Script s;
    s.On("LONG", {Packets(text)});
    Start(std::move(s));
    Open();
    Reply reply;
    ASSERT_EQ(link_.Exchange("LONG", reply), kStatusOk);
    EXPECT_EQ(reply.length, 74u);
    EXPECT_EQ(reply.Text(), text);
}

TEST_F(LinkExchange, OverlongReplyKeepsCapacityAndStaysTerminated) {
    std::string text;
    for (int i = 0; i < 320; ++i) text += static_cast<char>('A' + i % 26);
    Script s;
    s.On("HUGE", {Packets(text)});
    Start(std::move(s));
    Open();
    Reply reply;
    EXPECT_EQ(link_.Exchange("HUGE", reply), kStatusTooLong);
    EXPECT_EQ(reply.length, kReplyCapacity);
    EXPECT_EQ(reply.Text(), text.substr(0, 300));
    EXPECT_EQ(reply.bytes[300], '\0');
    EXPECT_EQ(std::strlen(reply.CStr()), 300u) << "the decoder finds a terminator";
    EXPECT_TRUE(LockIsFree());
}

TEST_F(LinkExchange, SmallCapacitiesAreNeverOverrun) {
    Script s;
    s.On("ACK", {Packets("0\r\n")}).On("BUSY", {Packets("9\r\n")}).On("DATA", {Packets("12345")});
    Start(std::move(s));
    Open();
    char area[8];
    std::memset(area, '#', sizeof area);
    std::uint32_t length = 2;
    EXPECT_EQ(link_.Exchange("ACK", 3, area, &length), kStatusTooLong);
    EXPECT_EQ(area[2], '#');
    std::memset(area, '#', sizeof area);
    length = 1;
    EXPECT_EQ(link_.Exchange("BUSY", 4, area, &length), kStatusBusy);
    EXPECT_EQ(length, 3u);
    EXPECT_EQ(area[0], '9');
    EXPECT_EQ(area[1], '#') << "a status reply must not write past a one-byte area";
    length = 4;
    EXPECT_EQ(link_.Exchange("DATA", 4, area, &length), kStatusTooLong);
    EXPECT_EQ(length, 4u);
    EXPECT_EQ(std::string(area, 5), "1234#");
}

TEST_F(LinkExchange, WithoutSessionNothingIsWritten) {
    Start(GoodMeter());
    Reply reply;
    reply.length = 55;
    EXPECT_EQ(link_.Exchange("QPID", reply), kStatusNoDevice);
    EXPECT_EQ(reply.length, 0u);
    EXPECT_TRUE(LockIsFree());
    MeterSettings record;
    EXPECT_EQ(link_.Identify(record), kStatusNoDevice);
    EXPECT_EQ(link_.RefreshSettings(), kStatusNoDevice);
    EXPECT_TRUE(meter_->Commands().empty());
}

TEST_F(LinkExchange, HeldLockMeansBusyAndNothingWritten) {
    Start(GoodMeter());
    Open();
    NamedLock other(kExchangeLockName);
    ASSERT_TRUE(other.TryAcquire());
    Reply reply;
    EXPECT_EQ(link_.Exchange("QPID", reply), kStatusBusy);
    EXPECT_EQ(reply.length, 0u);
    EXPECT_TRUE(Sent().empty());

    // A holder that never lets go costs a bounded wait and reads as busy: the meter is there.
    link_.SetRetryLimit(std::chrono::milliseconds(20));
    EXPECT_EQ(link_.ExchangeRepeating("QPID", reply), kStatusBusy);
    EXPECT_EQ(link_.RefreshSettings(), kStatusBusy);
    EXPECT_TRUE(Sent().empty());

    other.Release();
    EXPECT_EQ(link_.Exchange("QPID", reply), kStatusOk);
    EXPECT_EQ(Sent(), std::vector<std::string>{"QPID"});
}

TEST_F(LinkExchange, BusyIsRepeatedWithTheFullCapacity) {
    const std::string data(100, 'd');
    Script s;
    s.On("MEAS?", {Packets("9\r\n"), Packets("9\r\n"), Packets(data)});
    Start(std::move(s));
    Open();
    Reply reply;
    ASSERT_EQ(link_.ExchangeRepeating("MEAS?", reply), kStatusOk);
    EXPECT_EQ(reply.length, 100u);
    EXPECT_EQ(Sent(), (std::vector<std::string>{"MEAS?", "MEAS?", "MEAS?"}));
}

TEST_F(LinkExchange, AMeterThatStaysBusyIsGivenUp) {
    Script s;
    s.On("MEAS?", {Packets("9\r\n")}).On("QPID", {Packets("4\r\n")});
    Start(std::move(s));
    Open();
    link_.SetRetryLimit(std::chrono::milliseconds(30));
    Reply reply;
    EXPECT_EQ(link_.ExchangeRepeating("MEAS?", reply), kStatusBusy);
    EXPECT_EQ(reply.length, 0u);
    // "Repeat" is repeated only where asked for.
    EXPECT_EQ(link_.ExchangeRepeating("QPID", reply), kStatusRepeat);
    EXPECT_EQ(link_.ExchangeRepeating("QPID", reply, true), kStatusRepeat);
}

TEST_F(LinkExchange, SilentOrVanishedMeterIsNoDevice) {
    Script s;
    s.On("MEAS?", {{}});  // no packet at all
    Start(std::move(s), 100);
    Open();
    Reply reply;
    EXPECT_EQ(link_.Exchange("MEAS?", reply), kStatusNoDevice);
    EXPECT_EQ(reply.length, 0u);
    EXPECT_TRUE(LockIsFree());

    meter_->Unplug();
    EXPECT_EQ(link_.Exchange("QPID", reply), kStatusNoDevice);
    EXPECT_EQ(link_.RefreshSettings(), kStatusNoDevice);
    EXPECT_FALSE(MeterKnown(link_.CurrentSettings()));
}

TEST_F(LinkExchange, AnAnswerThatCameTooLateIsNotTakenForTheNextOne) {
    Script s = GoodMeter();
    s.On("MEAS?", {{}, Packets(kMeas)});  // the first one is not answered in time
    Start(std::move(s), 100);
    Open();
    Reply reply;
    EXPECT_EQ(link_.Exchange("MEAS?", reply), kStatusNoDevice);
    meter_->SendLate(Packets(kMeas));  // ... but arrives after the link gave up
    EXPECT_EQ(link_.Exchange("QPID", reply), kStatusOk);
    EXPECT_EQ(reply.Text(), "8620\r\n") << "the late measurement is not the model line";
    ASSERT_EQ(link_.RefreshSettings(), kStatusOk);
    EXPECT_EQ(link_.CurrentSettings().memMode, '1') << "later exchanges stay in step";
}

TEST_F(LinkExchange, IdentifyWantsExactlyTheModelLine) {
    for (const char* answer : {"8620", "8620\r\n ", "8621\r\n", "0\r\n"}) {
        Script s;
        s.On("QPID", {Packets(answer)}).On("MEAS?", {Packets(kMeas)});
        Start(std::move(s));
        Open();
        MeterSettings record;
        record.mode = 'q';
        EXPECT_EQ(link_.Identify(record), kStatusWrongModel) << answer;
        EXPECT_EQ(record.mode, 'q');
        EXPECT_EQ(Sent(), std::vector<std::string>{"QPID"}) << "no MEAS? after a wrong model";
        link_.CloseSession();
        meter_.reset();
    }
}

TEST_F(LinkExchange, IdentifyRepeatsAndDecodesWithRounding) {
    Script s = GoodMeter();
    s.On("QPID", {Packets("4\r\n"), Packets("9\r\n"), Packets("8620\r\n")});
    Start(std::move(s));
    Open();
    MeterSettings record;
    ASSERT_EQ(link_.Identify(record), kStatusOk);
    EXPECT_EQ(Sent(), (std::vector<std::string>{"QPID", "QPID", "QPID", "MEAS?"}));
    EXPECT_EQ(record.mode, '0');
    EXPECT_EQ(record.range, 12);
    EXPECT_DOUBLE_EQ(record.value1, 12.35);
    EXPECT_DOUBLE_EQ(record.value2, 0.0000025);
    EXPECT_DOUBLE_EQ(record.value3, 10.0);
    EXPECT_EQ(record.sensor, '1');
}

// A reply cut short, or one without its fields, is a failed read like a lost one, never a
// reading: cut after "7.038E-0" it would decode as a 7.038 spike.
TEST_F(LinkExchange, ACutOrFieldlessReplyIsAFailedReadNotAReading) {
    const std::string whole = "0,0,0,2,1.000E-04,7.038E-04,0.000E+00,0,1,1,0,0,0\r\n";
    for (const std::string& damaged : {whole.substr(0, 26), whole.substr(0, whole.size() - 1),
                                       std::string("0,0,0,2,1.000E-04\r\n"), std::string("0\r\n")}) {
        Script s = GoodMeter();
        s.On("MEAS?", {Packets(damaged)}).On("DATA? 1", {Packets(damaged)});
        Start(std::move(s));
        Open();
        MeterSettings record;
        record.value2 = 0.25;
        EXPECT_EQ(link_.Identify(record), kStatusNoDevice) << damaged;
        EXPECT_EQ(link_.ReadMemoryEntry(record, 0), kStatusNoDevice) << damaged;
        EXPECT_EQ(record.value2, 0.25) << damaged;
        link_.CloseSession();
        meter_.reset();
    }
    Script s = GoodMeter();
    s.On("MEAS?", {Packets(whole)});
    Start(std::move(s));
    Open();
    MeterSettings record;
    ASSERT_EQ(link_.Identify(record), kStatusOk);
    EXPECT_DOUBLE_EQ(record.value2, 0.0007038);
}

TEST_F(LinkExchange, IdentifyPassesOnAFailedMeasurement) {
    Script s = GoodMeter();
    s.On("MEAS?", {Packets("7\r\n")});
    Start(std::move(s));
    Open();
    MeterSettings record;
    record.axis = 'k';
    EXPECT_EQ(link_.Identify(record), kStatusNoDevice);
    EXPECT_EQ(record.axis, 'k');
}

TEST_F(LinkExchange, RefreshSettingsReadsModelSettingsAndMemoryMode) {
    Start(GoodMeter());
    Open();
    ASSERT_EQ(link_.RefreshSettings(), kStatusOk);
    EXPECT_EQ(Sent(), (std::vector<std::string>{"QPID", "MEAS?", "MEM?"}));
    const MeterSettings& cur = link_.CurrentSettings();
    EXPECT_TRUE(MeterKnown(cur));
    EXPECT_EQ(cur.axis, '3');
    EXPECT_EQ(cur.memMode, '1') << "the digit counts, though a three-byte reply reads as a status";
}

TEST_F(LinkExchange, MemoryQueryIsAskedAgainOnRepeatButARecordIsNot) {
    Script s = GoodMeter();
    s.On("MEM?", {Packets("4\r\n"), Packets("1\r\n")}).On("DATA? 1", {Packets("4\r\n"), Packets(kMeas)});
    Start(std::move(s));
    Open();
    ASSERT_EQ(link_.RefreshSettings(), kStatusOk);
    EXPECT_EQ(link_.CurrentSettings().memMode, '1');
    MeterSettings record;
    EXPECT_EQ(link_.ReadMemoryEntry(record, 0), kStatusRepeat) << "only busy repeats a record request";
    EXPECT_EQ(Sent(), (std::vector<std::string>{"QPID", "MEAS?", "MEM?", "MEM?", "DATA? 1"}));
}

TEST_F(LinkExchange, RefreshSettingsAcceptsAFailedMemoryQuery) {
    Script s = GoodMeter();
    s.On("MEM?", {{}});
    Start(std::move(s), 100);
    Open();
    EXPECT_EQ(link_.RefreshSettings(), kStatusOk);
    EXPECT_EQ(link_.CurrentSettings().memMode, 0);
    EXPECT_EQ(link_.CurrentSettings().mode, '0');
}

TEST_F(LinkExchange, FailedRefreshClearsTheCurrentSettings) {
    Script s = GoodMeter();
    s.On("QPID", {Packets("8620\r\n"), Packets("7\r\n")});
    Start(std::move(s));
    Open();
    ASSERT_EQ(link_.RefreshSettings(), kStatusOk);
    ASSERT_TRUE(MeterKnown(link_.CurrentSettings()));
    EXPECT_EQ(link_.RefreshSettings(), kStatusNoDevice);
    EXPECT_FALSE(MeterKnown(link_.CurrentSettings()));
    EXPECT_EQ(link_.CurrentSettings().memMode, 0);
}

TEST_F(LinkExchange, ReadMemoryEntryAsksForPositionIndexPlusOne) {
    Script s;
    s.On("DATA? 99", {Packets("9\r\n"), Packets("1,0,1,2,1.5E+00,2.25E+00,3.125E+00,0,2,0,0,0,1\r\n")})
        .On("DATA? 1", {Packets("3\r\n")});
    Start(std::move(s));
    Open();
    MeterSettings record;
    ASSERT_EQ(link_.ReadMemoryEntry(record, 98), kStatusOk);
    EXPECT_EQ(record.mode, '1');
    EXPECT_DOUBLE_EQ(record.value3, 3.125) << "memory records are not rounded";
    EXPECT_EQ(record.sensor, '2');

    MeterSettings untouched;
    untouched.mode = 'u';
    EXPECT_EQ(link_.ReadMemoryEntry(untouched, 0), kStatusNoEntry);
    EXPECT_EQ(untouched.mode, 'u');
    EXPECT_EQ(link_.ReadMemoryEntry(untouched, 256), kStatusNoEntry) << "the index is taken as 0..255";
    link_.ReadMemoryEntry(untouched, 255);
    EXPECT_EQ(Sent(), (std::vector<std::string>{"DATA? 99", "DATA? 99", "DATA? 1", "DATA? 1", "DATA? 256"}));
}

TEST_F(LinkExchange, SessionOpensAndClosesWithItsCommands) {
    Start(GoodMeter());
    EXPECT_FALSE(link_.SessionOpen());
    Open();
    EXPECT_TRUE(link_.SessionOpen());
    ASSERT_EQ(link_.RefreshSettings(), kStatusOk);
    // Already open: both handles are reused, the session commands are sent again.
    EXPECT_TRUE(link_.OpenSession());
    link_.CloseSession();
    EXPECT_FALSE(link_.SessionOpen());
    EXPECT_FALSE(MeterKnown(link_.CurrentSettings()));
    EXPECT_EQ(Sent(), (std::vector<std::string>{"QPID", "MEAS?", "MEM?", "FUNC 0", "APP 1", "APP 0"}));
    EXPECT_TRUE(meter_->LinkClosed(0));
    EXPECT_TRUE(meter_->LinkClosed(1));
    // Closed again: "APP 0" cannot reach the meter and nothing breaks.
    link_.CloseSession();
    Reply reply;
    EXPECT_EQ(link_.Exchange("QPID", reply), kStatusNoDevice);
}

TEST_F(LinkExchange, HalfOpenedSessionIsClosedWithoutTraffic) {
    Start(GoodMeter());
    meter_->pipeOpens[1] = false;
    EXPECT_FALSE(link_.OpenSession());
    EXPECT_FALSE(link_.SessionOpen());
    EXPECT_TRUE(meter_->LinkClosed(0)) << "the pipe that did open is closed again";
    EXPECT_TRUE(meter_->Commands().empty());
}

TEST(Link, TransportBinding) {
    Link link;
    EXPECT_FALSE(link.Bound());
    EXPECT_FALSE(link.OpenSession()) << "no transport, no session";
    // A transport library that finds no meter.
    ASSERT_TRUE(link.BindTransportPath(tessera::platform::ProgramDirectory() + "/" +
                                       tessera::platform::SharedLibraryFileName("tessera_test_plugin")));
    EXPECT_TRUE(link.Bound());
    EXPECT_FALSE(link.OpenSession());
    EXPECT_FALSE(link.SessionOpen());
    link.UnbindTransport();
    EXPECT_FALSE(link.Bound());
    // A library without OpenUSBBulkFile is no transport.
    EXPECT_FALSE(link.BindTransportPath("libm.so.6"));
    EXPECT_FALSE(link.Bound());
    EXPECT_FALSE(link.BindTransportPath("/nonexistent/libBulklink.so"));
}

TEST(Link, ClearStoresByMask) {
    memoryStore[5].mode = '2';
    memoryStore[99].value1 = 3.0;
    LogSampleStore[31999].R = 4.0;
    LogSampleStore[0].index = 1;
    ClearStores(kClearMemoryStore);
    EXPECT_EQ(memoryStore[5].mode, 0);
    EXPECT_EQ(memoryStore[99].value1, 0.0);
    EXPECT_EQ(LogSampleStore[31999].R, 4.0) << "the logger's store is not in mask 2";
    ClearStores(kClearLogStore);
    EXPECT_EQ(LogSampleStore[31999].R, 0.0);
    EXPECT_EQ(LogSampleStore[0].index, 0);
}
