// instlaunch.exe end to end: copied with the fake installers into a directory whose path holds
// spaces, started the way Explorer or a setup script would start it, checked by what the fake
// installer recorded and by the launcher's exit code.

#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::wstring ProgramDirectory() {
    wchar_t path[2048];
    const DWORD n = ::GetModuleFileNameW(nullptr, path, 2048);
    std::wstring p(path, n);
    return p.substr(0, p.find_last_of(L'\\'));
}

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int n =
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring Wide(const std::string& text) {
    if (text.empty()) return {};
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

bool SameDirectory(const std::wstring& a, const std::wstring& b) {
    auto norm = [](std::wstring s) {
        while (s.size() > 3 && s.back() == L'\\') s.pop_back();
        return s;
    };
    return ::CompareStringOrdinal(norm(a).c_str(), -1, norm(b).c_str(), -1, TRUE) == CSTR_EQUAL;
}

struct Record {
    bool present = false;
    std::string program, commandLine, directory;
};

struct Outcome {
    bool started = false;
    DWORD exitCode = 0xFFFFFFFF;
};

class Instlaunch : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH + 1];
        ASSERT_GT(::GetTempPathW(MAX_PATH + 1, temp), 0u);
        root_ = std::wstring(temp) + L"tessera launcher " + std::to_wstring(::GetCurrentProcessId());
        dir_ = root_ + L"\\My Driver Package";
        ::CreateDirectoryW(root_.c_str(), nullptr);
        ASSERT_TRUE(::CreateDirectoryW(dir_.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS);
        record_ = root_ + L"\\record.txt";
        ::DeleteFileW(record_.c_str());
        ::SetEnvironmentVariableW(L"TESSERA_FAKE_INSTALLER_RECORD", record_.c_str());
        ::SetEnvironmentVariableW(L"TESSERA_FAKE_INSTALLER_EXIT", nullptr);
        Copy(L"instlaunch.exe");
    }

    void TearDown() override {
        for (const wchar_t* f : {L"instlaunch.exe", L"dpinst64.exe", L"dpinst32.exe"}) {
            ::DeleteFileW((dir_ + L"\\" + f).c_str());
        }
        ::DeleteFileW(record_.c_str());
        ::RemoveDirectoryW(dir_.c_str());
        ::RemoveDirectoryW(root_.c_str());
    }

    void Copy(const wchar_t* file) {
        const std::wstring from = ProgramDirectory() + L"\\" + file;
        ASSERT_TRUE(::CopyFileW(from.c_str(), (dir_ + L"\\" + file).c_str(), FALSE)) << Utf8(from);
    }

    // Starts the launcher with the given arguments after its quoted path, from a current
    // directory that is not its own, and waits for it.
    Outcome Launch(const std::wstring& arguments) {
        std::wstring line = L"\"" + dir_ + L"\\instlaunch.exe\"" + arguments;
        std::vector<wchar_t> buffer(line.begin(), line.end());
        buffer.push_back(L'\0');
        STARTUPINFOW si{};
        si.cb = sizeof(si);
        PROCESS_INFORMATION pi{};
        Outcome out;
        if (!::CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, root_.c_str(), &si, &pi)) {
            return out;
        }
        out.started = true;
        // Only a guard against a hung test run, never a measure of speed.
        if (::WaitForSingleObject(pi.hProcess, 120000) == WAIT_OBJECT_0) {
            ::GetExitCodeProcess(pi.hProcess, &out.exitCode);
        } else {
            ::TerminateProcess(pi.hProcess, 99);
        }
        ::CloseHandle(pi.hThread);
        ::CloseHandle(pi.hProcess);
        return out;
    }

    Record ReadRecord() {
        Record r;
        std::ifstream in(Utf8(record_), std::ios::binary);
        if (!in) return r;
        r.present = true;
        std::getline(in, r.program);
        std::getline(in, r.commandLine);
        std::getline(in, r.directory);
        return r;
    }

    std::wstring root_, dir_, record_;
};

TEST_F(Instlaunch, PassesTwoArgumentsUnchangedAndRunsTheInstallerInItsOwnDirectory) {
    Copy(L"dpinst64.exe");
    Copy(L"dpinst32.exe");
    const Outcome out = Launch(LR"( /q "C:\Driver Files\tavik.inf")");
    ASSERT_TRUE(out.started);
    EXPECT_EQ(out.exitCode, 0u);
    const Record r = ReadRecord();
    ASSERT_TRUE(r.present) << "the installer did not run";
    // wine64 is a 64-bit Windows: GetSystemWow64DirectoryW exists and answers.
    EXPECT_EQ(r.program, "dpinst64.exe");
    EXPECT_EQ(r.commandLine, R"(dpinst64.exe /q "C:\Driver Files\tavik.inf")");
    EXPECT_TRUE(SameDirectory(Wide(r.directory), dir_)) << r.directory << " vs " << Utf8(dir_);
}

TEST_F(Instlaunch, WithoutArgumentsTheInstallerGetsItsBareName) {
    Copy(L"dpinst64.exe");
    const Outcome out = Launch(L"");
    ASSERT_TRUE(out.started);
    EXPECT_EQ(out.exitCode, 0u);
    const Record r = ReadRecord();
    ASSERT_TRUE(r.present);
    EXPECT_EQ(r.commandLine, "dpinst64.exe");
}

TEST_F(Instlaunch, AbsentInstallerEndsWithOne) {
    // Only the 32-bit installer is there; a 64-bit system asks for the other one.
    Copy(L"dpinst32.exe");
    const Outcome out = Launch(L" /q");
    ASSERT_TRUE(out.started);
    EXPECT_EQ(out.exitCode, 1u);
    EXPECT_FALSE(ReadRecord().present);
}

TEST_F(Instlaunch, InstallerFailureCodeIsNotPassedOn) {
    Copy(L"dpinst64.exe");
    for (const wchar_t* code : {L"5", L"-2147483648", L"1"}) {
        ::SetEnvironmentVariableW(L"TESSERA_FAKE_INSTALLER_EXIT", code);
        ::DeleteFileW(record_.c_str());
        const Outcome out = Launch(L" /se");
        ASSERT_TRUE(out.started);
        EXPECT_EQ(out.exitCode, 0u);
        EXPECT_TRUE(ReadRecord().present);
    }
}

}  // namespace
