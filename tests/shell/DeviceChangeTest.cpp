// End to end against the virtual meter process: the session opens when the meter is
// plugged in after the start, follows it being unplugged, and the window closes cleanly.

#include <QApplication>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include "link/Accuracy.h"
#include "link/Link.h"
#include "platform/Clock.h"
#include "shell/CSheet.h"
#include "shell/DeviceWatcher.h"
#include "shell/Startup.h"
#include "tests/support/VirtualMeter.h"
#include "ui/Prompter.h"

using namespace tessera;

namespace {

constexpr int kEventWaitMs = 15000;  // generous: a loaded machine may be slow to notify

std::string GoodAccuracyFile(const QTemporaryDir& dir) {
    link::AccuracyTable table{};
    table[0] = {'0', 0, 0.03f, 3.0f};
    const std::vector<std::uint8_t> bytes = link::EncodeAccuracyFile(table);
    QFile f(dir.filePath("accuracy.dat"));
    f.open(QIODevice::WriteOnly);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    return f.fileName().toStdString();
}

TEST(DeviceChange, MeterPluggedAfterStartOpensTheSessionAndUnplugClosesIt) {
    tessera::testing::VirtualMeter::Options meterOptions;
    meterOptions.plugged = false;
    tessera::testing::VirtualMeter meter(meterOptions);
    ASSERT_TRUE(meter.Start()) << meter.LastError();

    QTemporaryDir dir;
    link::Link meterLink("DeviceChangeEvent");
    ui::ScriptedPrompter prompter;
    platform::ManualClock clock;
    shell::StartupOptions options;
    options.transportPath = tessera::testing::VirtualMeter::BulklinkPath();
    options.accuracyPath = GoodAccuracyFile(dir);
    shell::Startup startup(meterLink, prompter, clock, options);
    ASSERT_TRUE(startup.Initialize());
    EXPECT_FALSE(meterLink.SessionOpen());
    EXPECT_EQ(meterLink.CurrentSettings().mode, 0);

    shell::CSheet* sheet = startup.CreateSheet();
    ASSERT_NE(sheet, nullptr);
    int settingsCopies = 0, refreshes = 0;
    auto copy = sheet->Hooks().settingsFromMeter;
    sheet->Hooks().settingsFromMeter = [&] { ++settingsCopies; if (copy) copy(); };
    auto redraw = sheet->Hooks().redrawLoggerGraph;
    sheet->Hooks().redrawLoggerGraph = [&] { ++refreshes; if (redraw) redraw(); };

    ASSERT_TRUE(meter.Plug()) << meter.LastError();
    ASSERT_TRUE(QTest::qWaitFor([&] { return meterLink.SessionOpen(); }, kEventWaitMs));
    EXPECT_GE(meterLink.CurrentSettings().mode, '0');  // settings were read
    EXPECT_EQ(settingsCopies, 1);
    EXPECT_GE(refreshes, 1);
    const auto log = meter.CommandLog();
    EXPECT_NE(std::find(log.begin(), log.end(), "QPID"), log.end());

    ASSERT_TRUE(meter.Unplug()) << meter.LastError();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !meterLink.SessionOpen(); }, kEventWaitMs));
    EXPECT_EQ(meterLink.CurrentSettings().mode, 0);
    EXPECT_EQ(settingsCopies, 1);

    // And back again.
    ASSERT_TRUE(meter.Plug());
    ASSERT_TRUE(QTest::qWaitFor([&] { return meterLink.SessionOpen(); }, kEventWaitMs));
    EXPECT_EQ(settingsCopies, 2);

    // Nothing unsaved: the window closes without a question and everything is released.
    QSignalSpy finished(&startup, &shell::Startup::Finished);
    EXPECT_TRUE(sheet->close());
    EXPECT_EQ(finished.count(), 1);
    EXPECT_TRUE(prompter.events.empty());
    EXPECT_FALSE(meterLink.SessionOpen());
    EXPECT_FALSE(meterLink.Bound());
}

TEST(DeviceChange, LibraryAbsentSendsNothingToThePresentMeter) {
    tessera::testing::VirtualMeter meter;
    ASSERT_TRUE(meter.Start()) << meter.LastError();
    link::Link meterLink("DeviceChangeEvent");
    ui::ScriptedPrompter prompter;
    platform::ManualClock clock;
    shell::StartupOptions options;
    options.transportPath = "/nonexistent/libBulklink.so";
    shell::Startup startup(meterLink, prompter, clock, options);
    EXPECT_FALSE(startup.Initialize());
    EXPECT_EQ(prompter.Messages(), (std::vector<std::string>{"You need the DLL -- 'Bulklink.dll'."}));
    EXPECT_TRUE(meter.CommandLog().empty());
}

TEST(DeviceChange, WatcherReportsEntriesComingAndGoing) {
    tessera::testing::VirtualMeter::Options meterOptions;
    meterOptions.plugged = false;
    tessera::testing::VirtualMeter meter(meterOptions);
    ASSERT_TRUE(meter.Start()) << meter.LastError();
    shell::DeviceWatcher watcher(std::vector<std::string>{meter.DeviceRoot()});
    QSignalSpy changes(&watcher, &shell::DeviceWatcher::DeviceChanged);
    EXPECT_TRUE(watcher.Entries().isEmpty());
    ASSERT_TRUE(meter.Plug());
    ASSERT_TRUE(QTest::qWaitFor([&] { return changes.count() >= 1; }, kEventWaitMs));
    ASSERT_EQ(watcher.Entries().size(), 1);
    EXPECT_EQ(watcher.Entries().front().toStdString(), meter.EntryPath());
    ASSERT_TRUE(meter.Unplug());
    ASSERT_TRUE(QTest::qWaitFor([&] { return changes.count() >= 2; }, kEventWaitMs));
    EXPECT_TRUE(watcher.Entries().isEmpty());
}

}  // namespace
