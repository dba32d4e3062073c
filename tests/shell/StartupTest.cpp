// Start-up failures: each says its one message and ends with nothing shown and nothing
// sent; a second copy leaves the first alone.

#include <gtest/gtest.h>
#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QWidget>

#include "link/Accuracy.h"
#include "link/Link.h"
#include "platform/Clock.h"
#include "platform/NamedLock.h"
#include "shell/Application.h"
#include "shell/CSheet.h"
#include "shell/Startup.h"
#include "shell/Texts.h"
#include "tests/support/ScriptedPrompter.h"

using namespace tessera;
using tessera::testing::ScriptedPrompter;

namespace {

bool AnyWindowVisible() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible()) return true;
    return false;
}

std::string WriteAccuracyFile(const QTemporaryDir& dir, int flipByte = -1) {
    link::AccuracyTable table{};
    table[0] = {'0', 0, 0.03f, 3.0f};
    table[1] = {'0', 1, 0.03f, 3.0f};
    std::vector<std::uint8_t> bytes = link::EncodeAccuracyFile(table);
    if (flipByte >= 0) bytes[static_cast<std::size_t>(flipByte)] ^= 0x01;
    const QString path = dir.filePath(flipByte >= 0 ? "bad-accuracy.dat" : "accuracy.dat");
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    return path.toStdString();
}

TEST(Startup, MissingTransportLibrarySaysSoAndShowsNothing) {
    link::Link meterLink("DeviceChangeEvent-startup-test");
    ScriptedPrompter prompter;
    platform::ManualClock clock;
    shell::StartupOptions options;
    options.transportPath = "/nonexistent/libBulklink.so";
    shell::Startup startup(meterLink, prompter, clock, options);
    EXPECT_FALSE(startup.Initialize());
    EXPECT_EQ(prompter.Messages(), (std::vector<std::string>{"You need the DLL -- 'Bulklink.dll'."}));
    EXPECT_EQ(prompter.events.size(), 1u);
    EXPECT_TRUE(startup.IsShutDown());
    EXPECT_EQ(startup.CreateSheet(), nullptr);
    EXPECT_FALSE(AnyWindowVisible());
    EXPECT_FALSE(meterLink.Bound());
}

#ifdef TESSERA_TEST_BULKLINK
TEST(Startup, MissingOrDamagedAccuracyFileSaysSoAndReleasesTheLibrary) {
    QTemporaryDir dir;
    const std::string good = WriteAccuracyFile(dir);
    ASSERT_EQ(link::LoadAccuracyTableFrom(good), link::kStatusOk);  // the file as written is sound
    for (int flip : {-2, 0, 17, 200, 203}) {
        link::Link meterLink("DeviceChangeEvent-startup-test");
        ScriptedPrompter prompter;
        platform::ManualClock clock;
        shell::StartupOptions options;
        options.transportPath = TESSERA_TEST_BULKLINK;
        options.accuracyPath = flip == -2 ? dir.filePath("absent.dat").toStdString() : WriteAccuracyFile(dir, flip);
        options.watchDevices = false;
        shell::Startup startup(meterLink, prompter, clock, options);
        EXPECT_FALSE(startup.Initialize()) << flip;
        EXPECT_EQ(prompter.Messages(),
                  (std::vector<std::string>{"The accuracy file (accuracy.dat) Couldn't be Readed correctly."}))
            << flip;
        EXPECT_FALSE(meterLink.Bound());
        EXPECT_FALSE(meterLink.SessionOpen());
        EXPECT_FALSE(AnyWindowVisible());
    }
}

TEST(Startup, NoMeterIsNoErrorAndTheWindowOpensWithSettingsAllZero) {
    QTemporaryDir dir, registry;
    qputenv("TESSERA_DEVICE_ROOT", registry.path().toUtf8());
    link::Link meterLink("DeviceChangeEvent-startup-test");
    ScriptedPrompter prompter;
    platform::ManualClock clock;
    shell::StartupOptions options;
    options.transportPath = TESSERA_TEST_BULKLINK;
    options.accuracyPath = WriteAccuracyFile(dir);
    options.deviceRoots = {registry.path().toStdString()};
    shell::Startup startup(meterLink, prompter, clock, options);
    ASSERT_TRUE(startup.Initialize());
    EXPECT_TRUE(prompter.events.empty());
    EXPECT_TRUE(meterLink.Bound());
    EXPECT_FALSE(meterLink.SessionOpen());
    EXPECT_EQ(meterLink.CurrentSettings().mode, 0);
    shell::CSheet* sheet = startup.CreateSheet();
    ASSERT_NE(sheet, nullptr);
    EXPECT_TRUE(AnyWindowVisible());
    // A device change with still no meter keeps things as they are.
    startup.OnDeviceChange();
    EXPECT_FALSE(meterLink.SessionOpen());
    startup.Shutdown();
    EXPECT_FALSE(meterLink.Bound());
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(startup.Sheet(), nullptr);
    qunsetenv("TESSERA_DEVICE_ROOT");
}
#endif

TEST(Program, SecondCopySaysSoAndLeavesTheFirstAlone) {
    QTemporaryDir runtime;
    qputenv("TESSERA_RUNTIME_DIR", runtime.path().toUtf8());
    const std::string lockName = "Tessera";
    platform::NamedLock first(lockName);
    ASSERT_TRUE(first.TryAcquire());

    link::Link meterLink("DeviceChangeEvent-startup-test");
    ScriptedPrompter prompter;
    platform::ManualClock clock;
    shell::ProgramOptions options;
    EXPECT_EQ(options.instanceLockName, lockName);
    EXPECT_EQ(shell::RunProgram(meterLink, prompter, clock, options), 1);
    EXPECT_EQ(prompter.Messages(), (std::vector<std::string>{"TESSERA is running now."}));
    EXPECT_FALSE(meterLink.Bound());  // no library was even loaded
    EXPECT_FALSE(AnyWindowVisible());
    EXPECT_TRUE(first.Held());

    // Once the first copy is gone a copy starts (and here stops at the missing library).
    first.Release();
    options.startup.transportPath = "/nonexistent/libBulklink.so";
    ScriptedPrompter second;
    EXPECT_EQ(shell::RunProgram(meterLink, second, clock, options), 1);
    EXPECT_EQ(second.Messages(), (std::vector<std::string>{"You need the DLL -- 'Bulklink.dll'."}));
    qunsetenv("TESSERA_RUNTIME_DIR");
}

TEST(Program, ALockThatCannotBeMadeSaysWhatFailed) {
    QTemporaryDir dir;
    const QString blocker = dir.filePath("not-a-directory");
    QFile file(blocker);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    // The runtime directory cannot be created below a plain file, whoever runs the test.
    const QByteArray saved = qgetenv("TESSERA_RUNTIME_DIR");
    qputenv("TESSERA_RUNTIME_DIR", (blocker + "/runtime").toUtf8());
    link::Link meterLink("DeviceChangeEvent-startup-test");
    ScriptedPrompter prompter;
    platform::ManualClock clock;
    EXPECT_EQ(shell::RunProgram(meterLink, prompter, clock, shell::ProgramOptions{}), 1);
    qputenv("TESSERA_RUNTIME_DIR", saved);
    ASSERT_EQ(prompter.Messages().size(), 1u);
    const std::string message = prompter.Messages().front();
    EXPECT_NE(message, "TESSERA is running now.");
    EXPECT_EQ(message.rfind("TESSERA cannot start", 0), 0u) << message;
    EXPECT_NE(message.find(blocker.toStdString()), std::string::npos) << message;
    EXPECT_FALSE(meterLink.Bound());
}

}  // namespace
