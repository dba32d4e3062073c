// Every logger test program with Qt: a private runtime directory (so the exchange lock never
// meets another test's) and a QApplication on the offscreen platform.

#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
    std::string runtime = (std::filesystem::temp_directory_path() / "tessera-logger-XXXXXX").string();
    if (!mkdtemp(runtime.data())) return 2;
    setenv("TESSERA_RUNTIME_DIR", runtime.c_str(), 1);
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    std::error_code ec;
    std::filesystem::remove_all(runtime, ec);
    return result;
}
