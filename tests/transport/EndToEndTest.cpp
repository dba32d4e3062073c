// The link, the transport library loaded by path and the virtual meter as a separate
// process: what really travels over the registry sockets.

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "link/Decode.h"
#include "link/Link.h"
#include "tests/support/VirtualMeter.h"

namespace tessera {
namespace {

using testing::VirtualMeter;
using Strings = std::vector<std::string>;

std::vector<std::string> DemoLines() {
    std::ifstream in(VirtualMeter::DemoMemoryFile());
    std::vector<std::string> lines;
    std::string l;
    while (std::getline(in, l))
        if (!l.empty() && l[0] != '#') lines.push_back(l);
    return lines;
}

class LinkOverVirtualMeter : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("TESSERA_PIPE_TIMEOUT_MS", "400", 1);
        ASSERT_TRUE(meter.Start()) << meter.LastError();
        ASSERT_TRUE(link.BindTransportPath(VirtualMeter::BulklinkPath())) << VirtualMeter::BulklinkPath();
    }
    void TearDown() override { ::unsetenv("TESSERA_PIPE_TIMEOUT_MS"); }

    VirtualMeter meter;
    link::Link link{"DeviceChangeEvent-e2e"};
};

TEST_F(LinkOverVirtualMeter, SessionAndRefreshSendExactlyTheirCommands) {
    ASSERT_TRUE(link.OpenSession());
    EXPECT_EQ(meter.CommandLog(), (Strings{"FUNC 0", "APP 1"}));
    ASSERT_TRUE(meter.Set("mode", "2"));
    ASSERT_TRUE(meter.Set("mem", "1"));
    ASSERT_TRUE(meter.ClearCommandLog());

    ASSERT_EQ(link.RefreshSettings(), link::kStatusOk);
    EXPECT_EQ(meter.CommandLog(), (Strings{"QPID", "MEAS?", "MEM?"}));
    const auto& s = link.CurrentSettings();
    EXPECT_EQ(s.mode, '2');
    EXPECT_EQ(s.axis, '3');
    EXPECT_EQ(s.unit, '0');
    EXPECT_GE(s.range, 10) << "factory range is AUTO";
    EXPECT_EQ(s.sensor, '1');
    EXPECT_EQ(s.memMode, '1');

    link.CloseSession();
    EXPECT_EQ(meter.CommandLog().back(), "APP 0");
}

TEST_F(LinkOverVirtualMeter, TheDemoMemoryReadsBackExactlyAndEndsWithNoEntry) {
    ASSERT_TRUE(meter.LoadDemoMemory());
    ASSERT_TRUE(link.OpenSession());
    const auto lines = DemoLines();
    ASSERT_EQ(lines.size(), 25u);
    for (unsigned i = 0; i < lines.size(); ++i) {
        settings::MeterSettings got{}, want{};
        ASSERT_EQ(link.ReadMemoryEntry(got, i), link::kStatusOk) << i;
        link::DecodeReply(lines[i] + "\r\n", want, false);
        EXPECT_TRUE(std::memcmp(&got, &want, sizeof got) == 0 ||
                    (settings::SameSettings(got, want) && got.value1 == want.value1 && got.value2 == want.value2 &&
                     got.value3 == want.value3))
            << "record " << i + 1;
    }
    settings::MeterSettings untouched{};
    untouched.mode = 'Q';
    EXPECT_EQ(link.ReadMemoryEntry(untouched, 25), link::kStatusNoEntry);
    EXPECT_EQ(untouched.mode, 'Q');
    EXPECT_EQ(meter.CommandLog().back(), "DATA? 26");
}

TEST_F(LinkOverVirtualMeter, AnEmptyMemoryAnswersNoEntryAtOnce) {
    ASSERT_TRUE(link.OpenSession());
    settings::MeterSettings r{};
    EXPECT_EQ(link.ReadMemoryEntry(r, 0), link::kStatusNoEntry);
}

TEST_F(LinkOverVirtualMeter, BusyFiveTimesThenDataIsReadOnce) {
    ASSERT_TRUE(meter.LoadDemoMemory());
    ASSERT_TRUE(link.OpenSession());
    ASSERT_TRUE(meter.InjectFault("busy 5 DATA?"));
    ASSERT_TRUE(meter.ClearCommandLog());
    settings::MeterSettings r{};
    ASSERT_EQ(link.ReadMemoryEntry(r, 0), link::kStatusOk);
    EXPECT_EQ(r.mode, '0');
    EXPECT_EQ(meter.CommandLog(), Strings(6, "DATA? 1"));
}

TEST_F(LinkOverVirtualMeter, UnplugGivesNoDeviceAndAPlugReopensTheSession) {
    ASSERT_TRUE(meter.LoadDemoMemory());
    ASSERT_TRUE(link.OpenSession());
    settings::MeterSettings r{};
    ASSERT_EQ(link.ReadMemoryEntry(r, 0), link::kStatusOk);
    ASSERT_TRUE(meter.InjectFault("unplug-after 2"));
    EXPECT_EQ(link.ReadMemoryEntry(r, 1), link::kStatusOk);
    EXPECT_EQ(link.ReadMemoryEntry(r, 2), link::kStatusOk);
    EXPECT_EQ(link.ReadMemoryEntry(r, 3), link::kStatusNoDevice);
    EXPECT_EQ(link.RefreshSettings(), link::kStatusNoDevice);
    link.CloseSession();
    EXPECT_FALSE(link.OpenSession()) << "nothing to open while unplugged";

    ASSERT_TRUE(meter.Plug());
    ASSERT_TRUE(link.OpenSession());
    EXPECT_EQ(link.RefreshSettings(), link::kStatusOk);
    EXPECT_EQ(link.ReadMemoryEntry(r, 3), link::kStatusOk);
}

TEST_F(LinkOverVirtualMeter, AnOverlongReplyIsTooLongAndLeavesTheNextExchangeClean) {
    ASSERT_TRUE(link.OpenSession());
    ASSERT_TRUE(meter.InjectFault("overlong 1 MEAS?"));
    link::Reply reply;
    reply.bytes.fill('#');
    EXPECT_EQ(link.Exchange("MEAS?", reply), link::kStatusTooLong);
    EXPECT_EQ(reply.length, link::kReplyCapacity);
    EXPECT_EQ(reply.bytes[link::kReplyCapacity], '\0') << "the area keeps its terminator";
    EXPECT_EQ(link.Exchange("QPID", reply), link::kStatusOk);
    EXPECT_EQ(reply.Text(), "8620\r\n");
}

TEST_F(LinkOverVirtualMeter, ASilentMeterCostsOneTimeoutAndTheLinkRecovers) {
    ASSERT_TRUE(link.OpenSession());
    ASSERT_TRUE(meter.InjectFault("silence 1 QPID"));
    link::Reply reply;
    EXPECT_EQ(link.Exchange("QPID", reply), link::kStatusNoDevice);
    EXPECT_EQ(reply.length, 0u);
    EXPECT_EQ(link.Exchange("QPID", reply), link::kStatusOk);
    EXPECT_EQ(reply.Text(), "8620\r\n");
}

TEST_F(LinkOverVirtualMeter, AnAnswerLaterThanThePipeTimeoutIsNeverTakenForTheNextCommand) {
    // 600 ms against the 400 ms pipe timeout: the exchange gives up while the answer is
    // still on its way, and it arrives while the next command waits for its own.
    ASSERT_TRUE(meter.InjectFault("delay 600 1 APP 1"));
    ASSERT_TRUE(link.OpenSession());
    EXPECT_EQ(link.RefreshSettings(), link::kStatusOk) << "the late \"0\\r\\n\" is no model line";
    ASSERT_TRUE(meter.InjectFault("delay 600 1 MEAS?"));
    link::Reply reply;
    EXPECT_EQ(link.Exchange("MEAS?", reply), link::kStatusNoDevice);
    EXPECT_EQ(link.Exchange("QPID", reply), link::kStatusOk);
    EXPECT_EQ(reply.Text(), "8620\r\n");
}

TEST_F(LinkOverVirtualMeter, TruncatedAndStatusRepliesKeepTheirMeaning) {
    ASSERT_TRUE(link.OpenSession());
    ASSERT_TRUE(meter.InjectFault("truncate 1 QPID"));
    settings::MeterSettings r{};
    EXPECT_EQ(link.Identify(r), link::kStatusWrongModel) << "\"8620\" without its line end is no QM8620";
    ASSERT_TRUE(meter.InjectFault("repeat 3 QPID"));
    ASSERT_TRUE(meter.ClearCommandLog());
    EXPECT_EQ(link.Identify(r), link::kStatusOk);
    EXPECT_EQ(meter.CommandLog(), (Strings{"QPID", "QPID", "QPID", "QPID", "MEAS?"}));
    ASSERT_TRUE(meter.InjectFault("status E 1 MCLR"));
    link::Reply reply;
    EXPECT_EQ(link.Exchange("MCLR", reply), link::MeterStatus('E'));
}

// The library's own exports, looked up by name as any client does.
class BulklinkExports : public ::testing::Test {
protected:
    using OpenFn = std::intptr_t (*)(std::int32_t);
    using ReadFn = std::int32_t (*)(std::intptr_t, void*, std::uint32_t, std::uint32_t*);
    using WriteFn = std::int32_t (*)(std::intptr_t, const void*, std::uint32_t, std::uint32_t*);
    using StrFn = std::int32_t (*)(char*);
    using Open2Fn = std::intptr_t (*)(std::int32_t, std::int32_t, std::int32_t);

    void SetUp() override {
        ::setenv("TESSERA_PIPE_TIMEOUT_MS", "400", 1);
        lib = ::dlopen(VirtualMeter::BulklinkPath().c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(lib, nullptr) << ::dlerror();
        open = reinterpret_cast<OpenFn>(::dlsym(lib, "OpenUSBBulkFile"));
        read = reinterpret_cast<ReadFn>(::dlsym(lib, "ReadUSBBulk"));
        write = reinterpret_cast<WriteFn>(::dlsym(lib, "WriteUSBBulk"));
        deviceStr = reinterpret_cast<StrFn>(::dlsym(lib, "GetDeviceStr"));
        open2 = reinterpret_cast<Open2Fn>(::dlsym(lib, "Open7708Usb2"));
        ASSERT_TRUE(open && read && write && deviceStr && open2);
    }
    void TearDown() override {
        ::unsetenv("TESSERA_PIPE_TIMEOUT_MS");
        ::unsetenv("TESSERA_METER");
        if (lib) ::dlclose(lib);
    }
    std::string DevicePath() {
        char buf[256];
        deviceStr(buf);
        return buf;
    }

    void* lib = nullptr;
    OpenFn open = nullptr;
    ReadFn read = nullptr;
    WriteFn write = nullptr;
    StrFn deviceStr = nullptr;
    Open2Fn open2 = nullptr;
};

TEST_F(BulklinkExports, BufferedReadsUseTheMetersByteCounter) {
    VirtualMeter meter;
    ASSERT_TRUE(meter.Start()) << meter.LastError();
    const std::intptr_t cmd = open(0);
    const std::intptr_t rep = open(1);
    ASSERT_GE(cmd, 0);
    ASSERT_GE(rep, 0);
    EXPECT_EQ(meter.StatusValue("bytes"), "0") << "opening pipe 0 reset the counter";

    std::uint32_t n = 0;
    ASSERT_NE(write(cmd, "QPID", 4, &n), 0);
    EXPECT_EQ(n, 4u);
    char buf[128] = {};
    // More asked than the reply holds: the counter tells the reader the reply is complete.
    ASSERT_EQ(read(rep, buf, 100, &n), 1);
    EXPECT_EQ(std::string(buf, n), "8620\r\n");

    ASSERT_TRUE(meter.LoadDemoMemory());
    ASSERT_NE(write(cmd, "DATA? 1", 7, &n), 0);
    std::string got;
    for (int i = 0; i < 10; ++i) {  // in pieces of 7: the buffer carries the rest
        ASSERT_EQ(read(rep, buf, 7, &n), 1);
        got.append(buf, n);
        if (n < 7) break;
    }
    EXPECT_EQ(got, DemoLines()[0] + "\r\n");
    ::close(static_cast<int>(cmd));
    ::close(static_cast<int>(rep));
}

TEST_F(BulklinkExports, NoInstrumentLeavesTheDevicePathAndTwoInstrumentsGoInNameOrder) {
    VirtualMeter::Options a;
    a.entry = "qm8620-b";
    VirtualMeter second(a);
    ASSERT_TRUE(second.Start()) << second.LastError();
    const std::intptr_t h = open(1);
    ASSERT_GE(h, 0);
    ::close(static_cast<int>(h));
    const std::string path = DevicePath();
    EXPECT_EQ(path, second.EntryPath() + "/1");
    ASSERT_TRUE(second.Unplug());
    EXPECT_EQ(open(1), -1);
    EXPECT_EQ(DevicePath(), path);

    ASSERT_TRUE(second.Plug());
    VirtualMeter::Options b;
    b.entry = "qm8620-a";
    b.deviceRoot = second.DeviceRoot();
    VirtualMeter first(b);
    ASSERT_TRUE(first.Start()) << first.LastError();
    std::uint32_t n = 0;
    const std::intptr_t c2 = open2(1, 0, 0);
    ASSERT_GE(c2, 0);
    EXPECT_EQ(DevicePath(), second.EntryPath() + "/0");
    write(c2, "MEM?", 4, &n);
    ::close(static_cast<int>(c2));
    EXPECT_EQ(open2(2, 0, 0), -1);

    // A stale entry (its driver died) sorts first and is passed over by the open.
    ASSERT_EQ(::mkdir((second.DeviceRoot() + "/{B1EC3545-819C-4484-ACC3-BB36BAA1FC9A}/qm8620-0").c_str(), 0700), 0);
    const std::intptr_t c = open(0);
    ASSERT_GE(c, 0);
    write(c, "QPID", 4, &n);
    ::close(static_cast<int>(c));
    EXPECT_EQ(DevicePath(), first.EntryPath() + "/4");

    EXPECT_EQ(first.CommandLog(), Strings{"QPID"});
    EXPECT_EQ(second.CommandLog(), Strings{"MEM?"});
}

// Two meters in the registry, each with the serial number it was given: TESSERA_METER makes
// the library's search take that one alone, and an absent one is no meter.
TEST_F(BulklinkExports, TheMeterChosenBySerialNumberIsTheOnlyOneOpened) {
    VirtualMeter first(VirtualMeter::Named("qm8620-a", "QM8620111"));
    ASSERT_TRUE(first.Start()) << first.LastError();
    VirtualMeter second(VirtualMeter::Named("qm8620-b", "QM8620222", first.DeviceRoot()));
    ASSERT_TRUE(second.Start()) << second.LastError();

    std::uint32_t n = 0;
    ::setenv("TESSERA_METER", "QM8620222", 1);
    std::intptr_t h = open(0);
    ASSERT_GE(h, 0);
    write(h, "QPID", 4, &n);
    ::close(static_cast<int>(h));
    EXPECT_EQ(second.CommandLog(), Strings{"QPID"});
    EXPECT_TRUE(first.CommandLog().empty()) << "the first meter in name order was passed over";

    ::setenv("TESSERA_METER", "QM8620999", 1);
    EXPECT_EQ(open(0), -1);
    ::unsetenv("TESSERA_METER");
    h = open(0);
    ASSERT_GE(h, 0);
    ::close(static_cast<int>(h));
    EXPECT_EQ(DevicePath(), first.EntryPath() + "/4") << "without a choice, the first meter as before";
}

}  // namespace
}  // namespace tessera
