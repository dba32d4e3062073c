// Bulklink.dll as a client sees it: loaded by name, seven exports under their plain names,
// the export table's own name, and the answers with no instrument attached.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

namespace {

using OpenFn = std::intptr_t(WINAPI*)(std::int32_t);
using ReadFn = std::int32_t(WINAPI*)(std::intptr_t, void*, std::uint32_t, std::uint32_t*);
using WriteFn = std::int32_t(WINAPI*)(std::intptr_t, const void*, std::uint32_t, std::uint32_t*);
using TextFn = std::int32_t(WINAPI*)(char*);
using Open2Fn = std::intptr_t(WINAPI*)(std::int32_t, std::int32_t, std::int32_t);

const std::intptr_t kInvalid = reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE);

class Bulklink : public ::testing::Test {
protected:
    void SetUp() override {
        module_ = ::LoadLibraryW(L"Bulklink.dll");
        ASSERT_NE(module_, nullptr) << "Bulklink.dll not found by name";
    }
    void TearDown() override {
        if (module_) ::FreeLibrary(module_);
    }
    template <typename F>
    F Get(const char* name) {
        return reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(module_, name)));
    }
    HMODULE module_ = nullptr;
};

TEST_F(Bulklink, ExportsSevenPlainNamesUnderItsOwnName) {
    for (const char* name : {"OpenUSBBulkFile", "ReadUSBBulk", "WriteUSBBulk", "GetDeviceStr", "CheckUSBDevices",
                             "Open7708Usb2", "GetSerialStringAllDevices"}) {
        EXPECT_NE(::GetProcAddress(module_, name), nullptr) << name;
    }
    // The export directory of the loaded image: its name and its number of names.
    auto* base = reinterpret_cast<const std::uint8_t*>(module_);
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const auto& entry = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    ASSERT_NE(entry.VirtualAddress, 0u);
    auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + entry.VirtualAddress);
    EXPECT_STREQ(reinterpret_cast<const char*>(base + exports->Name), "Bulklink.dll");
    EXPECT_EQ(exports->NumberOfNames, 7u);
    auto* names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
        EXPECT_EQ(std::strchr(reinterpret_cast<const char*>(base + names[i]), '@'), nullptr);
    }
}

TEST_F(Bulklink, WithoutAnInstrument) {
    auto open = Get<OpenFn>("OpenUSBBulkFile");
    auto deviceStr = Get<TextFn>("GetDeviceStr");
    auto check = Get<TextFn>("CheckUSBDevices");
    auto serials = Get<TextFn>("GetSerialStringAllDevices");
    auto open2 = Get<Open2Fn>("Open7708Usb2");
    ASSERT_TRUE(open && deviceStr && check && serials && open2);

    char before[256];
    std::memset(before, 'x', sizeof(before));
    const std::int32_t lengthBefore = deviceStr(before);
    EXPECT_EQ(open(1), kInvalid);
    EXPECT_EQ(open(0), kInvalid);
    char after[256];
    std::memset(after, 'y', sizeof(after));
    EXPECT_EQ(deviceStr(after), lengthBefore);
    EXPECT_STREQ(after, before) << "the device path stays as it was";

    char serial[16];
    std::memset(serial, 'z', sizeof(serial));
    EXPECT_EQ(check(serial), 0);
    EXPECT_STREQ(serial, "");
    EXPECT_EQ(serials(nullptr), 0);
    char list[64];
    std::memset(list, 'z', sizeof(list));
    EXPECT_EQ(serials(list), 1);
    EXPECT_STREQ(list, "");

    EXPECT_EQ(open2(0, 1, 0), kInvalid);
    EXPECT_EQ(open2(1, 0, 1), kInvalid);
    EXPECT_EQ(open2(2, 0, 0), kInvalid);
}

TEST_F(Bulklink, WritesAndReadsThroughTheSystemFileCalls) {
    // Any handle will do for the plain write and the failed read: an anonymous pipe.
    auto write = Get<WriteFn>("WriteUSBBulk");
    auto read = Get<ReadFn>("ReadUSBBulk");
    ASSERT_TRUE(write && read);
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    ASSERT_TRUE(::CreatePipe(&readEnd, &writeEnd, nullptr, 0));
    std::uint32_t written = 0;
    EXPECT_NE(write(reinterpret_cast<std::intptr_t>(writeEnd), "QPID", 4, &written), 0);
    EXPECT_EQ(written, 4u);
    char buffer[8] = {};
    DWORD n = 0;
    ASSERT_TRUE(::ReadFile(readEnd, buffer, 4, &n, nullptr));
    EXPECT_EQ(std::string(buffer, n), "QPID");
    EXPECT_EQ(write(kInvalid, "QPID", 4, &written), 0);
    ::CloseHandle(readEnd);
    ::CloseHandle(writeEnd);
}

}  // namespace
