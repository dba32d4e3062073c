// GoogleTest main of the test programs. Each test process gets its own runtime directory
// (named locks, device registries) and state directory (logging journals), so tests
// running in parallel never share a lock and never touch the user's unfinished runs. Built
// with TESSERA_TEST_MAIN_QT it also makes the one QApplication widget and print tests need,
// on the offscreen platform unless told otherwise.

#include <gtest/gtest.h>

#include <stdlib.h>

#include <clocale>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#ifdef TESSERA_TEST_MAIN_QT
#include <QApplication>
#endif

int main(int argc, char** argv) {
    std::string runtime = (std::filesystem::temp_directory_path() / "tessera-test-XXXXXX").string();
    if (!::mkdtemp(runtime.data())) {
        std::perror("mkdtemp");
        return 2;
    }
    ::setenv("TESSERA_RUNTIME_DIR", runtime.c_str(), 1);
    ::setenv("XDG_STATE_HOME", (runtime + "/state").c_str(), 1);
    int rc = 0;
    {
#ifdef TESSERA_TEST_MAIN_QT
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication app(argc, argv);
        std::setlocale(LC_NUMERIC, "C");  // as the program does after its QApplication
#endif
        ::testing::InitGoogleTest(&argc, argv);
        rc = RUN_ALL_TESTS();
    }
    std::error_code ec;
    std::filesystem::remove_all(runtime, ec);
    return rc;
}
