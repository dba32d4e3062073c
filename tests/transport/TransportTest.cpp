// The transport's algorithms against fake operating-system calls: which instrument is
// found, the device path, the byte counter and the buffered reader.

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "transport/Transport.h"

namespace tessera::transport {
namespace {

// One fake instrument per interface path: packets waiting on pipe 1 and the count its
// pipe 4 reports.
struct FakeDevice {
    bool opens = true;
    bool hasCounter = true;
    std::deque<std::string> packets;  // pipe 1; an empty deque makes a read fail (timeout)
    std::uint32_t sent = 0;           // what pipe 4 answers
    std::vector<int> counterBytes;    // bytes written to pipe 3
};

class FakeOs final : public OsCalls {
public:
    std::vector<std::string> order;
    std::map<std::string, FakeDevice> devices;
    std::map<Handle, std::pair<std::string, int>> open;  // handle -> device, pipe
    std::map<std::string, MeterIdentity> identities;
    std::string chosen;
    int reads = 0;
    Handle next = 10;

    std::vector<std::string> Interfaces() override {
        std::vector<std::string> out;
        for (const auto& p : order)
            if (devices.count(p)) out.push_back(p);
        return out;
    }
    bool InterfaceOpens(const std::string& path) override { return devices.at(path).opens; }
    MeterIdentity Identity(const std::string& path) override {
        const auto it = identities.find(path);
        return it == identities.end() ? MeterIdentity{} : it->second;
    }
    std::string ChosenMeter() override { return chosen; }
    Handle OpenPipe(const std::string& pipePath, bool) override {
        const auto slash = pipePath.rfind('/');
        const std::string dev = pipePath.substr(0, slash);
        const int pipe = std::stoi(pipePath.substr(slash + 1));
        auto it = devices.find(dev);
        if (it == devices.end() || !it->second.opens) return kInvalid;
        if ((pipe == 3 || pipe == 4) && !it->second.hasCounter) return kInvalid;
        if (pipe != 0 && pipe != 1 && pipe != 3 && pipe != 4) return kInvalid;
        open[next] = {dev, pipe};
        return next++;
    }
    bool Read(Handle h, void* buffer, std::uint32_t wanted, std::uint32_t* got) override {
        *got = 0;
        auto [dev, pipe] = open.at(h);
        FakeDevice& d = devices.at(dev);
        if (pipe == 4) {
            const unsigned char b[4] = {static_cast<unsigned char>(d.sent >> 24),
                                        static_cast<unsigned char>(d.sent >> 16),
                                        static_cast<unsigned char>(d.sent >> 8), static_cast<unsigned char>(d.sent)};
            std::memcpy(buffer, b, 4);
            *got = 4;
            return true;
        }
        ++reads;
        if (d.packets.empty()) return false;
        std::string p = d.packets.front();
        d.packets.pop_front();
        EXPECT_LE(p.size(), wanted);
        std::memcpy(buffer, p.data(), p.size());
        *got = static_cast<std::uint32_t>(p.size());
        return true;
    }
    bool Write(Handle h, const void* data, std::uint32_t size, std::uint32_t* written) override {
        auto [dev, pipe] = open.at(h);
        if (pipe == 3 && size == 1) devices.at(dev).counterBytes.push_back(*static_cast<const unsigned char*>(data));
        *written = size;
        return true;
    }
    void Close(Handle h) override { open.erase(h); }
    char PipeSeparator() const override { return '/'; }
    std::vector<UsbDevice> WalkUsb() override { return {}; }

    // Queues a reply as the meter sends it: 64-byte packets, then a zero-length one.
    void Send(const std::string& dev, const std::string& bytes) {
        FakeDevice& d = devices.at(dev);
        for (std::size_t i = 0; i < bytes.size(); i += 64) d.packets.push_back(bytes.substr(i, 64));
        d.packets.push_back("");
        d.sent += static_cast<std::uint32_t>(bytes.size());
    }
};

TEST(TransportOpen, NoInstrumentAnswersInvalidAndKeepsTheDevicePath) {
    FakeOs os;
    os.order = {"/reg/a"};
    os.devices["/reg/a"];
    Transport t(os);
    ASSERT_NE(t.OpenUSBBulkFile(1), kInvalid);
    EXPECT_EQ(t.DevicePath(), "/reg/a/1");
    os.devices.clear();
    EXPECT_EQ(t.OpenUSBBulkFile(1), kInvalid);
    char path[256];
    EXPECT_EQ(t.GetDeviceStr(path), 9);
    EXPECT_STREQ(path, "/reg/a/1");
}

// A meter chosen by its serial number is the only one the search takes, by either open; one
// that is absent is no meter at all, never another one.
TEST(TransportOpen, AChosenMeterIsTheOnlyOneTakenAndTheListShowsEveryMeterServed) {
    FakeOs os;
    os.order = {"/reg/a", "/reg/b", "/reg/c", "/reg/d"};
    for (const auto& p : os.order) os.devices[p];
    os.devices["/reg/d"].opens = false;  // an entry its driver left behind
    os.identities["/reg/a"] = {"QM8620001", "QM8620"};
    os.identities["/reg/b"] = {"QM8620002", "QM8620"};
    os.identities["/reg/d"] = {"QM8620002", "QM8620"};
    Transport t(os);

    os.chosen = "QM8620002";
    Handle h = t.OpenUSBBulkFile(1);
    ASSERT_NE(h, kInvalid);
    EXPECT_EQ(os.open.at(h).first, "/reg/b");
    h = t.Open7708Usb2(0, 1, 0);
    ASSERT_NE(h, kInvalid);
    EXPECT_EQ(os.open.at(h).first, "/reg/b");
    EXPECT_EQ(t.Open7708Usb2(1, 1, 0), kInvalid) << "the chosen meter is the only one";

    os.chosen = "qm8620002";  // as a Windows device path may spell it
    h = t.OpenUSBBulkFile(1);
    ASSERT_NE(h, kInvalid);
    EXPECT_EQ(os.open.at(h).first, "/reg/b");

    os.chosen = "QM8620009";
    EXPECT_EQ(t.OpenUSBBulkFile(1), kInvalid);
    os.chosen.clear();
    h = t.OpenUSBBulkFile(1);
    ASSERT_NE(h, kInvalid);
    EXPECT_EQ(os.open.at(h).first, "/reg/a") << "without a choice, the first meter as before";

    const auto meters = t.Meters();
    ASSERT_EQ(meters.size(), 3u);
    EXPECT_EQ(meters[1].path, "/reg/b");
    EXPECT_EQ(meters[1].identity.serial, "QM8620002");
    EXPECT_EQ(meters[2].identity.serial, "") << "a meter that does not say its serial is listed all the same";
}

TEST(TransportOpen, TakesTheFirstInstrumentThatOpensAndOpen7708Usb2ReachesTheSecond) {
    FakeOs os;
    os.order = {"/reg/a", "/reg/b", "/reg/c"};
    os.devices["/reg/a"];
    os.devices["/reg/b"];
    os.devices["/reg/c"];
    Transport t(os);
    const Handle h = t.OpenUSBBulkFile(1);
    ASSERT_NE(h, kInvalid);
    EXPECT_EQ(os.open.at(h).first, "/reg/a");

    const Handle second = t.Open7708Usb2(1, 0, 0);
    ASSERT_NE(second, kInvalid);
    EXPECT_EQ(os.open.at(second).first, "/reg/b");
    EXPECT_EQ(t.DevicePath(), "/reg/b/0");
    EXPECT_TRUE(os.devices["/reg/b"].counterBytes.empty()) << "Open7708Usb2 does no counter reset";
    EXPECT_EQ(t.Open7708Usb2(2, 0, 0), kInvalid);
    EXPECT_EQ(t.Open7708Usb2(-1, 0, 0), kInvalid);

    // An interface that does not open (a stale entry) is passed over.
    os.devices["/reg/a"].opens = false;
    const Handle h2 = t.OpenUSBBulkFile(1);
    ASSERT_NE(h2, kInvalid);
    EXPECT_EQ(os.open.at(h2).first, "/reg/b");
}

TEST(TransportOpen, AFruitlessSearchLeavesTheLastInterfaceItLookedAt) {
    FakeOs os;
    os.order = {"/reg/a", "/reg/b"};
    os.devices["/reg/a"].opens = false;
    os.devices["/reg/b"].opens = false;
    Transport t(os);
    EXPECT_EQ(t.OpenUSBBulkFile(1), kInvalid);
    EXPECT_EQ(t.DevicePath(), "/reg/b") << "the last interface tried, without a pipe number";

    os.order = {"/reg/c"};
    os.devices["/reg/c"];
    EXPECT_EQ(t.Open7708Usb2(1, 0, 0), kInvalid) << "only one instrument";
    EXPECT_EQ(t.DevicePath(), "/reg/c");
}

TEST(TransportOpen, PipeZeroResetsTheCounterAndLeavesThePipeFourPath) {
    FakeOs os;
    os.order = {"/reg/a"};
    os.devices["/reg/a"].sent = 77;
    Transport t(os);
    ASSERT_NE(t.OpenUSBBulkFile(0), kInvalid);
    EXPECT_EQ(os.devices["/reg/a"].counterBytes, std::vector<int>{1});
    EXPECT_EQ(t.DevicePath(), "/reg/a/4");
    EXPECT_EQ(os.open.size(), 1u) << "the counter pipes are closed again";
    EXPECT_EQ(t.ReceivedTotal(), 0u);
}

TEST(TransportOpen, APathTooLongForTheBufferIsNeverCut) {
    FakeOs os;
    const std::string longPath = "/" + std::string(254, 'p');
    os.order = {longPath};
    os.devices[longPath];
    Transport t(os);
    EXPECT_EQ(t.OpenUSBBulkFile(1), kInvalid);
    EXPECT_EQ(t.Open7708Usb2(0, 1, 0), kInvalid);
}

class TransportRead : public ::testing::Test {
protected:
    void SetUp() override {
        os.order = {"/reg/a"};
        os.devices["/reg/a"];
        reply = t.OpenUSBBulkFile(1);
        ASSERT_NE(reply, kInvalid);
    }
    FakeOs os;
    Transport t{os};
    Handle reply = kInvalid;
};

TEST_F(TransportRead, BufferedBytesComeFirstThenThePipeIsReadForTheRest) {
    os.devices["/reg/a"].packets = {"ABCDEFGHIJ", "KLMNOP"};
    os.devices["/reg/a"].sent = 16;
    char out[32] = {};
    std::uint32_t got = 0;
    ASSERT_EQ(t.ReadUSBBulk(reply, out, 6, &got), 1);
    EXPECT_EQ(got, 6u);
    EXPECT_EQ(std::string(out, 6), "ABCDEF");
    EXPECT_EQ(t.Buffered(), 4u);

    ASSERT_EQ(t.ReadUSBBulk(reply, out, 10, &got), 1);
    EXPECT_EQ(got, 10u);
    EXPECT_EQ(std::string(out, 10), "GHIJKLMNOP");
    EXPECT_EQ(t.ReceivedTotal(), 16u);
}

TEST_F(TransportRead, BufferedBytesAndNothingMoreOnTheDeviceDeliversThemWithoutWaiting) {
    os.devices["/reg/a"].packets = {"ABCDEFGHIJ"};
    os.devices["/reg/a"].sent = 10;
    char out[32] = {};
    std::uint32_t got = 0;
    ASSERT_EQ(t.ReadUSBBulk(reply, out, 6, &got), 1);
    const int readsBefore = os.reads;
    ASSERT_EQ(t.ReadUSBBulk(reply, out, 10, &got), 1);
    EXPECT_EQ(got, 4u);
    EXPECT_EQ(std::string(out, 4), "GHIJ");
    EXPECT_EQ(os.reads, readsBefore) << "the pipe must not be read when the device has sent nothing more";
}

TEST_F(TransportRead, AReplyEndedByAnEmptyPacketIsDeliveredWholeWhenMoreWasAskedFor) {
    os.Send("/reg/a", std::string(70, 'x') + "\r\n");
    char out[256] = {};
    std::uint32_t got = 0;
    ASSERT_EQ(t.ReadUSBBulk(reply, out, 200, &got), 1);
    EXPECT_EQ(got, 72u);
    EXPECT_EQ(std::string(out + 70, 2), "\r\n");
    EXPECT_EQ(t.Buffered(), 0u);
}

TEST_F(TransportRead, RequestsLargerThanTheBufferAreSplitSafely) {
    std::string data;
    for (int i = 0; i < 3000; ++i) data += static_cast<char>('a' + i % 26);
    os.Send("/reg/a", data);
    std::vector<char> out(4000, '#');
    std::uint32_t got = 0;
    ASSERT_EQ(t.ReadUSBBulk(reply, out.data(), 3000, &got), 1);
    EXPECT_EQ(got, 3000u);
    EXPECT_EQ(std::string(out.data(), 3000), data);
    EXPECT_EQ(out[3000], '#') << "nothing written past the request";

    // More asked than the device has: what there is, and a clean answer.
    os.Send("/reg/a", data.substr(0, 100));
    ASSERT_EQ(t.ReadUSBBulk(reply, out.data(), 2500, &got), 1);
    EXPECT_EQ(got, 100u);
}

TEST_F(TransportRead, AFailedPipeReadAnswersZeroAndLeavesDeliveredAlone) {
    char out[16];
    std::uint32_t got = 12345;
    os.devices["/reg/a"].sent = 5;  // the device claims bytes that never come
    EXPECT_EQ(t.ReadUSBBulk(reply, out, 8, &got), 0);
    EXPECT_EQ(got, 12345u);
    EXPECT_EQ(t.ReadUSBBulk(reply, nullptr, 8, &got), 0);
    EXPECT_EQ(t.ReadUSBBulk(reply, out, 8, nullptr), 0);
}

TEST(TransportCounter, ADeviceWithoutCounterPipesHasNothingMoreWhenTheBufferRunsDry) {
    FakeOs os;
    os.order = {"/reg/a"};
    os.devices["/reg/a"].hasCounter = false;
    os.devices["/reg/a"].packets = {"DATA"};
    Transport t(os);
    const Handle h = t.OpenUSBBulkFile(1);
    char out[8];
    std::uint32_t got = 99;
    ASSERT_EQ(t.ReadUSBBulk(h, out, 8, &got), 1);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(os.reads, 0);
}

TEST(TransportQueries, NullDestinationsAnswerZero) {
    FakeOs os;
    Transport t(os);
    EXPECT_EQ(t.GetSerialStringAllDevices(nullptr), 0);
    EXPECT_EQ(t.GetDeviceStr(nullptr), 0);
    char list[64] = "junk";
    EXPECT_EQ(t.GetSerialStringAllDevices(list), 1);
    EXPECT_STREQ(list, "");
    EXPECT_EQ(t.CheckUSBDevices(nullptr), 0);
}

}  // namespace
}  // namespace tessera::transport
