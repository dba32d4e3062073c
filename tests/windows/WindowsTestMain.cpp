// GoogleTest main for the Windows test programs: each process gets a private runtime
// directory, so nothing it creates meets another test run's. Built with
// TESSERA_TEST_MAIN_QT it also makes the one QApplication the page models' tests need.

#include <windows.h>

#include <gtest/gtest.h>

#include <clocale>
#include <string>

#ifdef TESSERA_TEST_MAIN_QT
#include <QApplication>
#endif

int main(int argc, char** argv) {
#ifdef TESSERA_TEST_MAIN_QT
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");  // as the program does after its QApplication
#endif
    ::testing::InitGoogleTest(&argc, argv);
    wchar_t temp[MAX_PATH + 1];
    const DWORD n = ::GetTempPathW(MAX_PATH + 1, temp);
    const std::wstring dir = std::wstring(temp, n) + L"tessera-test-" + std::to_wstring(::GetCurrentProcessId());
    ::CreateDirectoryW(dir.c_str(), nullptr);
    ::SetEnvironmentVariableW(L"TESSERA_RUNTIME_DIR", dir.c_str());
    // The C runtime keeps its own copy of the environment.
    ::_wputenv_s(L"TESSERA_RUNTIME_DIR", dir.c_str());
    const int rc = RUN_ALL_TESTS();
    ::RemoveDirectoryW(dir.c_str());
    return rc;
}
