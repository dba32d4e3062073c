// The meter path without a kernel driver, whole: the virtual meter's Windows server (marker
// file, message-mode named pipes, control pipe) in this process, Bulklink.dll finding it
// after its device-class search, and the link's exchanges over the pipes it opens.

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <fstream>
#include <string>
#include <thread>

#include "link/Link.h"
#include "link/Status.h"
#include "meter/Meter.h"
#include "meter/Server.h"
#include "platform/Paths.h"
#include "transport/InstrumentIds.h"

namespace tessera {
namespace {

using OpenFn = std::intptr_t(WINAPI*)(std::int32_t);
using ReadFn = std::int32_t(WINAPI*)(std::intptr_t, void*, std::uint32_t, std::uint32_t*);
using WriteFn = std::int32_t(WINAPI*)(std::intptr_t, const void*, std::uint32_t, std::uint32_t*);
using TextFn = std::int32_t(WINAPI*)(char*);
const std::intptr_t kInvalid = reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE);

std::string Unique(const char* what) {
    static int counter = 0;
    return std::string(what) + "-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++counter);
}

// A virtual meter serving a private registry root from its own thread.
class ServedMeter {
public:
    ServedMeter(const std::string& root, const std::string& entry, const std::vector<std::string>& faults = {},
                const std::string& serial = "")
        : control_("\\\\.\\pipe\\" + Unique("tessera-test-control")), server_(meter_, {root, entry, control_, serial}) {
        meter_.SetMemory(meter::DemoMemory());
        for (const auto& f : faults) server_.Control("fault " + f);
        std::string error;
        plugged_ = server_.OpenControl(&error) && server_.Plug(&error);
        error_ = error;
        if (plugged_) thread_ = std::thread([this] { server_.Run(&stop_); });
    }
    ~ServedMeter() {
        stop_ = 1;
        if (thread_.joinable()) thread_.join();
    }
    bool Plugged() const { return plugged_; }
    const std::string& Error() const { return error_; }
    std::string EntryPath() const { return server_.EntryPath(); }
    // The meter's count of bytes sent on its reply pipe, as its control pipe reports it.
    long BytesSent() {
        const std::string answer = Request("status");
        const auto at = answer.find("= bytes ");
        return at == std::string::npos ? -1 : std::stol(answer.substr(at + 8));
    }

    // One request on the control pipe; the answer's lines up to and including "ok"/"error".
    std::string Request(const std::string& line) {
        const std::wstring name(control_.begin(), control_.end());
        if (!::WaitNamedPipeW(name.c_str(), 5000)) return "no control pipe";
        HANDLE h = ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) return "no control pipe";
        const std::string request = line + "\n";
        DWORD n = 0;
        ::WriteFile(h, request.data(), static_cast<DWORD>(request.size()), &n, nullptr);
        std::string answer;
        char buffer[256];
        while (answer.find("ok\n") == std::string::npos && answer.find("error") == std::string::npos &&
               ::ReadFile(h, buffer, sizeof buffer, &n, nullptr) && n > 0)
            answer.append(buffer, n);
        ::CloseHandle(h);
        return answer;
    }

private:
    std::string control_;
    meter::Meter meter_{1};
    meter::Server server_;
    bool plugged_ = false;
    std::string error_;
    volatile sig_atomic_t stop_ = 0;
    std::thread thread_;
};

class RegistryPipes : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = platform::RuntimeDirectory() + "\\" + Unique("registry");
        ::SetEnvironmentVariableA("TESSERA_DEVICE_ROOT", root_.c_str());
        ::SetEnvironmentVariableA("TESSERA_PIPE_TIMEOUT_MS", "400");
        module_ = ::LoadLibraryW(L"Bulklink.dll");
        ASSERT_NE(module_, nullptr);
        open_ = Get<OpenFn>("OpenUSBBulkFile");
        ASSERT_TRUE(link_.BindTransportPath(platform::ProgramDirectory() + "\\Bulklink.dll"));
    }
    void TearDown() override {
        link_.CloseSession();
        link_.UnbindTransport();
        if (module_) ::FreeLibrary(module_);
        ::SetEnvironmentVariableA("TESSERA_DEVICE_ROOT", nullptr);
        ::SetEnvironmentVariableA("TESSERA_PIPE_TIMEOUT_MS", nullptr);
    }
    template <typename F>
    F Get(const char* name) {
        return reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(module_, name)));
    }
    std::string DeviceStr() {
        char text[300] = {};
        Get<TextFn>("GetDeviceStr")(text);
        return text;
    }
    std::string ClassDirectory() const { return root_ + "\\" + transport::INSTRUMENT_INTERFACE_CLASS_TEXT; }
    std::string Ask(const char* command, link::Status* status) {
        link::Reply reply;
        *status = link_.Exchange(command, reply);
        return std::string(reply.Text());
    }

    std::string root_;
    HMODULE module_ = nullptr;
    OpenFn open_ = nullptr;
    link::Link link_{Unique("tessera-test-lock")};
};

TEST_F(RegistryPipes, TheLinkTalksToTheMeterThroughBulklink) {
    ServedMeter meter(root_, "bench");
    ASSERT_TRUE(meter.Plugged()) << meter.Error();
    ASSERT_TRUE(link_.OpenSession());
    // The session opens pipe 0, then pipe 1: the last path opened is pipe 1 of the entry.
    const std::string path = DeviceStr();
    EXPECT_EQ(path.rfind("\\\\.\\pipe\\", 0), 0u) << path;
    EXPECT_EQ(path.substr(path.size() - 2), "\\1") << path;

    link::Status status;
    EXPECT_EQ(Ask("QPID", &status), "8620\r\n");
    EXPECT_EQ(status, link::kStatusOk);
    const std::string record = Ask("DATA? 1", &status);
    EXPECT_EQ(status, link::kStatusOk);
    EXPECT_EQ(record.substr(record.size() - 2), "\r\n");
    // An answer of several 64-byte messages is joined up to the zero-length one and counted
    // whole: longer than the reply area.
    meter.Request("fault overlong 1 MEAS?");
    Ask("MEAS?", &status);
    EXPECT_EQ(status, link::kStatusTooLong);
    // A three-byte status answer: the demo memory has no 99th measurement.
    Ask("DATA? 99", &status);
    EXPECT_EQ(status, link::kStatusNoEntry);
}

TEST_F(RegistryPipes, BufferedReadsAskTheCounterPipes) {
    ServedMeter meter(root_, "bench");
    ASSERT_TRUE(meter.Plugged()) << meter.Error();
    const std::intptr_t command = open_(0);
    const std::intptr_t reply = open_(1);
    ASSERT_NE(command, kInvalid);
    ASSERT_NE(reply, kInvalid);
    std::uint32_t n = 0;
    ASSERT_EQ(Get<WriteFn>("WriteUSBBulk")(command, "QPID", 4, &n), 1);
    char buffer[64] = {};
    // More asked than the meter sends: the device's count, read over pipes 3 and 4, tells
    // the reader that the six bytes were all. Until the meter has answered, its count says
    // there is nothing yet and a read delivers nothing (as on the device), so a busy machine
    // may take a few reads to see the answer.
    n = 0;
    for (int tries = 0; tries < 200 && n == 0; ++tries) {
        if (tries > 0) ::Sleep(10);
        ASSERT_EQ(Get<ReadFn>("ReadUSBBulk")(reply, buffer, 10, &n), 1);
    }
    EXPECT_EQ(std::string(buffer, n), "8620\r\n");
    ::CloseHandle(reinterpret_cast<HANDLE>(command));
    ::CloseHandle(reinterpret_cast<HANDLE>(reply));
}

TEST_F(RegistryPipes, DeadAndHalfWrittenMarkersArePassedOver) {
    ::CreateDirectoryA(root_.c_str(), nullptr);
    ::CreateDirectoryA(ClassDirectory().c_str(), nullptr);
    // Sorted before the live entry: one naming pipes nobody serves, one without its line end,
    // one pointing out of the pipe namespace.
    std::ofstream(ClassDirectory() + "\\a-dead") << "\\\\.\\pipe\\" << Unique("tessera-nobody") << "\r\n";
    std::ofstream(ClassDirectory() + "\\a-half") << "\\\\.\\pipe\\tessera-half";
    std::ofstream(ClassDirectory() + "\\a-out") << "\\\\.\\pipe\\..\\C:\r\n";
    ServedMeter meter(root_, "bench");
    ASSERT_TRUE(meter.Plugged()) << meter.Error();
    ASSERT_TRUE(link_.OpenSession());
    link::Status status;
    EXPECT_EQ(Ask("QPID", &status), "8620\r\n");
    EXPECT_NE(DeviceStr().find("bench"), std::string::npos) << DeviceStr();
}

TEST_F(RegistryPipes, ASilentMeterCostsTheTimeoutAndALateAnswerIsDropped) {
    ServedMeter meter(root_, "bench", {"delay 1500 1 QPID"});
    ASSERT_TRUE(meter.Plugged()) << meter.Error();
    ASSERT_TRUE(link_.OpenSession());
    const long before = meter.BytesSent();
    link::Status status;
    // The answer comes after the 400 ms the pipe waits: the exchange gives up.
    EXPECT_EQ(Ask("QPID", &status), "");
    EXPECT_EQ(status, link::kStatusNoDevice);
    // Once the late answer (six bytes and its end) has arrived, the next exchange must get its
    // own answer, not the late one.
    for (int i = 0; i < 100 && meter.BytesSent() < before + 6; ++i) ::Sleep(50);
    ASSERT_EQ(meter.BytesSent(), before + 6);
    const std::string reading = Ask("MEAS?", &status);
    EXPECT_EQ(status, link::kStatusOk);
    EXPECT_NE(reading, "8620\r\n");
    EXPECT_EQ(Ask("QPID", &status), "8620\r\n");
}

TEST_F(RegistryPipes, UnplugBreaksThePipesAndRemovesTheEntry) {
    ServedMeter meter(root_, "bench");
    ASSERT_TRUE(meter.Plugged()) << meter.Error();
    ASSERT_TRUE(link_.OpenSession());
    EXPECT_NE(::GetFileAttributesA(meter.EntryPath().c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(meter.Request("unplug").find("ok"), std::string::npos);
    link::Status status;
    Ask("QPID", &status);
    EXPECT_EQ(status, link::kStatusNoDevice);
    EXPECT_EQ(::GetFileAttributesA(meter.EntryPath().c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(open_(0), kInvalid);
    // Plugged in again, a new session finds it.
    EXPECT_NE(meter.Request("plug").find("ok"), std::string::npos);
    link_.CloseSession();
    ASSERT_TRUE(link_.OpenSession());
    EXPECT_EQ(Ask("QPID", &status), "8620\r\n");
}

// Two meters with the serial numbers their markers show: TESSERA_METER makes the search take
// that one alone, and an absent one is no meter.
TEST_F(RegistryPipes, TheMeterChosenBySerialNumberIsTheOnlyOneOpened) {
    ServedMeter first(root_, "a-first", {}, "QM8620111");
    ServedMeter second(root_, "b-second", {}, "QM8620222");
    ASSERT_TRUE(first.Plugged() && second.Plugged()) << first.Error() << second.Error();
    ::SetEnvironmentVariableW(L"TESSERA_METER", L"QM8620222");
    std::intptr_t h = open_(1);
    ASSERT_NE(h, kInvalid);
    ::CloseHandle(reinterpret_cast<HANDLE>(h));
    EXPECT_NE(DeviceStr().find("b-second"), std::string::npos) << DeviceStr();
    ::SetEnvironmentVariableW(L"TESSERA_METER", L"QM8620999");
    EXPECT_EQ(open_(1), kInvalid);
    ::SetEnvironmentVariableW(L"TESSERA_METER", nullptr);
    h = open_(1);
    ASSERT_NE(h, kInvalid);
    ::CloseHandle(reinterpret_cast<HANDLE>(h));
    EXPECT_NE(DeviceStr().find("a-first"), std::string::npos) << "without a choice, the first meter as before";
}

TEST_F(RegistryPipes, AnEntryServedByAnotherMeterIsRefused) {
    ServedMeter first(root_, "bench");
    ASSERT_TRUE(first.Plugged()) << first.Error();
    ServedMeter second(root_, "bench");
    EXPECT_FALSE(second.Plugged());
    EXPECT_NE(second.Error().find("another meter serves"), std::string::npos) << second.Error();
    ServedMeter odd(root_, "bad\\name");
    EXPECT_FALSE(odd.Plugged());
}

}  // namespace
}  // namespace tessera
