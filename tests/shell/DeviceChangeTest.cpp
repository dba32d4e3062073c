// End to end against the virtual meter process: the session opens when the meter is
// plugged in after the start, follows it being unplugged, and the window closes cleanly.

#include <gtest/gtest.h>
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "link/Accuracy.h"
#include "link/Link.h"
#include "platform/Clock.h"
#include "shell/CSheet.h"
#include "shell/DeviceWatcher.h"
#include "shell/Startup.h"
#include "tests/support/ScriptedPrompter.h"
#include "tests/support/VirtualMeter.h"
#include "ui/EditableList.h"
#include "ui/SheetPage.h"

using namespace tessera;
using tessera::testing::ScriptedPrompter;

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

// The Configuration page as the window holds it, seen through its widgets only.
struct ConfigurationView {
    ui::EditableList* table = nullptr;
    QPushButton* configure = nullptr;
    explicit ConfigurationView(ui::SheetPage* page) {
        if (!page) return;
        table = page->findChild<ui::EditableList*>();
        for (QPushButton* b : page->findChildren<QPushButton*>())
            if (b->text() == "Configure the QM8620") configure = b;
    }
    explicit operator bool() const { return table && configure; }
    QString Current(int row) const { return table->CellText(row, 2); }
    QString New(int row) const { return table->CellText(row, 3); }
};

TEST(DeviceChange, MeterPluggedAfterStartOpensTheSessionAndUnplugClosesIt) {
    tessera::testing::VirtualMeter::Options meterOptions;
    meterOptions.plugged = false;
    tessera::testing::VirtualMeter meter(meterOptions);
    ASSERT_TRUE(meter.Start()) << meter.LastError();

    QTemporaryDir dir;
    link::Link meterLink("DeviceChangeEvent");
    ScriptedPrompter prompter;
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
    sheet->Hooks().settingsFromMeter = [&] {
        ++settingsCopies;
        if (copy) copy();
    };
    auto redraw = sheet->Hooks().redrawLoggerGraph;
    sheet->Hooks().redrawLoggerGraph = [&] {
        ++refreshes;
        if (redraw) redraw();
    };

    // The page shows the default New Setting with nothing from a meter.
    const ConfigurationView config(sheet->ConfigurationPage());
    ASSERT_EQ(static_cast<bool>(config), sheet->ConfigurationPage() != nullptr);
    if (config) {
        EXPECT_EQ(config.Current(0), "");
        EXPECT_FALSE(config.configure->isEnabled());
    }
    ASSERT_TRUE(meter.Set("axis", "1"));  // differs from the default New Setting's "R"

    ASSERT_TRUE(meter.Plug()) << meter.LastError();
    ASSERT_TRUE(QTest::qWaitFor([&] { return meterLink.SessionOpen(); }, kEventWaitMs));
    EXPECT_GE(meterLink.CurrentSettings().mode, '0');  // settings were read
    EXPECT_EQ(settingsCopies, 1);
    EXPECT_GE(refreshes, 1);
    const auto log = meter.CommandLog();
    EXPECT_NE(std::find(log.begin(), log.end(), "QPID"), log.end());
    if (config) {
        // The pages were refreshed: the meter's settings are shown and taken as the New
        // Setting, and the meter buttons are usable.
        EXPECT_EQ(config.Current(1), "y");
        EXPECT_EQ(config.New(1), "y");
        EXPECT_TRUE(config.configure->isEnabled());
    }

    ASSERT_TRUE(meter.Unplug()) << meter.LastError();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !meterLink.SessionOpen(); }, kEventWaitMs));
    EXPECT_EQ(meterLink.CurrentSettings().mode, 0);
    EXPECT_EQ(settingsCopies, 1);
    if (config) {
        EXPECT_EQ(config.Current(1), "");
        EXPECT_EQ(config.New(1), "y");  // what the user may still want to save stays
        EXPECT_FALSE(config.configure->isEnabled());
    }

    // And back again.
    ASSERT_TRUE(meter.Plug());
    ASSERT_TRUE(QTest::qWaitFor([&] { return meterLink.SessionOpen(); }, kEventWaitMs));
    EXPECT_EQ(settingsCopies, 2);

    // Never shown so far, the page held nothing to save; shown now, with the meter there,
    // it takes the meter's settings as an unsaved New Setting.
    EXPECT_EQ(sheet->Hooks().settings.state(), page::DataState::None);
    if (config) {
        sheet->Tabs()->setCurrentWidget(sheet->ConfigurationPage());
        EXPECT_EQ(sheet->Hooks().settings.state(), page::DataState::Unsaved);
        EXPECT_EQ(config.New(1), "y");
        prompter.answers = {page::Answer::No};
    }

    // The window closes (after the settings question) and everything is released.
    QSignalSpy finished(&startup, &shell::Startup::Finished);
    EXPECT_TRUE(sheet->close());
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(prompter.Questions(), config ? std::vector<std::string>{"Do you want to save the current settings?"}
                                           : std::vector<std::string>{});
    EXPECT_FALSE(meterLink.SessionOpen());
    EXPECT_FALSE(meterLink.Bound());
}

// A meter present at the start hands its settings to the Configuration page unsaved when
// the page is first shown (a page never opened has nothing to save), so the close asks
// about them; a refused or failed save keeps the window and the mark.
TEST(DeviceChange, MeterSettingsTakenAtStartAreOfferedForSavingOnClose) {
    tessera::testing::VirtualMeter meter;
    ASSERT_TRUE(meter.Start()) << meter.LastError();
    QTemporaryDir dir;
    link::Link meterLink("DeviceChangeEvent");
    ScriptedPrompter prompter;
    platform::ManualClock clock;
    shell::StartupOptions options;
    options.transportPath = tessera::testing::VirtualMeter::BulklinkPath();
    options.accuracyPath = GoodAccuracyFile(dir);
    options.watchDevices = false;
    shell::Startup startup(meterLink, prompter, clock, options);
    ASSERT_TRUE(startup.Initialize());
    ASSERT_TRUE(meterLink.SessionOpen());
    shell::CSheet* sheet = startup.CreateSheet();
    ASSERT_NE(sheet, nullptr);
    const auto& mark = sheet->Hooks().settings;
    ASSERT_TRUE(static_cast<bool>(mark));
    EXPECT_EQ(mark.state(), page::DataState::None);
    sheet->Tabs()->setCurrentWidget(sheet->ConfigurationPage());
    EXPECT_EQ(mark.state(), page::DataState::Unsaved);

    // Cancel, then Yes with the file dialog cancelled: the window stays, the mark too.
    prompter.answers = {page::Answer::Cancel, page::Answer::Yes};
    EXPECT_FALSE(sheet->close());
    EXPECT_FALSE(sheet->close());
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_FALSE(startup.IsShutDown());
    EXPECT_EQ(mark.state(), page::DataState::Unsaved);
    EXPECT_EQ(prompter.Questions(), (std::vector<std::string>(2, "Do you want to save the current settings?")));

    // Yes with a file chosen: the settings are written and the window closes.
    const QString chosen = dir.filePath("at-close");
    prompter.answers = {page::Answer::Yes};
    prompter.files = {chosen.toStdString()};
    QSignalSpy finished(&startup, &shell::Startup::Finished);
    EXPECT_TRUE(sheet->close());
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(mark.state(), page::DataState::Saved);
    QFile saved(chosen + ".SET");
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_TRUE(saved.readAll().startsWith("TAVIK 8620 DEVICE SETTING SOFTWARE VER.1.05 EN\r\n1 MODE,"));
    EXPECT_FALSE(meterLink.Bound());
}

TEST(DeviceChange, LibraryAbsentSendsNothingToThePresentMeter) {
    tessera::testing::VirtualMeter meter;
    ASSERT_TRUE(meter.Start()) << meter.LastError();
    link::Link meterLink("DeviceChangeEvent");
    ScriptedPrompter prompter;
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
