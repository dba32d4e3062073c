// The program's device watcher with a meter on the emulated USB bus: pulling the cable
// during a logging run ends the run with the logger's message and keeps its samples;
// plugging it back in opens the session again, with no action by the user.

#include <gtest/gtest.h>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "link/Accuracy.h"
#include "link/Link.h"
#include "link/Status.h"
#include "logger/CLogger.h"
#include "platform/Clock.h"
#include "shell/CSheet.h"
#include "shell/Startup.h"
#include "tests/support/ScriptedPrompter.h"
#include "tests/support/VirtualMeter.h"

using namespace tessera;
using tessera::testing::ScriptedPrompter;

namespace {

constexpr int kEventWaitMs = 15000;  // generous: a loaded machine may be slow to notify

std::string AccuracyFile(const QTemporaryDir& dir) {
    link::AccuracyTable table{};
    table[0] = {'0', 0, 0.03f, 3.0f};
    const std::vector<std::uint8_t> bytes = link::EncodeAccuracyFile(table);
    QFile f(dir.filePath("accuracy.dat"));
    f.open(QIODevice::WriteOnly);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    return f.fileName().toStdString();
}

TEST(UsbdDeviceChange, UnplugEndsTheLoggingRunKeepingItsSamplesAndReplugReopensTheSession) {
    tessera::testing::VirtualMeter::Options o;
    o.program = TESSERA_EMULATED_METER_PATH;
    o.entry = "usb-1-1";
    tessera::testing::VirtualMeter meter(o);
    ASSERT_TRUE(meter.Start()) << meter.LastError();
    ASSERT_TRUE(meter.SetField(3e-6, 4e-6, 0));

    QTemporaryDir dir;
    link::Link meterLink("DeviceChangeEvent-usbd-watch");
    ScriptedPrompter prompter;
    platform::ManualClock clock;
    clock.millis = 1000;
    clock.now = {2024, 3, 5, 10, 0, 0, 0, 2};
    shell::StartupOptions options;
    options.transportPath = tessera::testing::VirtualMeter::BulklinkPath();
    options.accuracyPath = AccuracyFile(dir);
    shell::Startup startup(meterLink, prompter, clock, options);
    ASSERT_TRUE(startup.Initialize());
    ASSERT_TRUE(meterLink.SessionOpen());
    shell::CSheet* sheet = startup.CreateSheet();
    ASSERT_NE(sheet, nullptr);
    auto* logger = dynamic_cast<logger::CLogger*>(sheet->LoggerPage());
    ASSERT_NE(logger, nullptr);
    logger->Refresh();
    ASSERT_TRUE(logger->StartButton()->isEnabled());
    logger->StartButton()->click();
    ASSERT_TRUE(logger->Model().Running());
    for (int i = 0; i < 8; ++i) {
        logger->Model().Tick(clock.millis);
        clock.millis += 250;
    }
    const int samples = logger->Model().SampleCount();
    ASSERT_GE(samples, 3);

    ASSERT_TRUE(meter.Unplug()) << meter.LastError();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !meterLink.SessionOpen(); }, kEventWaitMs));
    logger->Model().Tick(clock.millis);  // the run's next poll finds no meter
    EXPECT_FALSE(logger->Model().Running());
    EXPECT_EQ(prompter.Messages(), (std::vector<std::string>{link::kMsgConnectionFailed}));
    // Every sample taken is kept (the run's empty next slot goes when it stops).
    EXPECT_EQ(logger->Model().SampleCount(), samples - 1);
    EXPECT_EQ(logger->DataState(), page::DataState::Unsaved) << "kept, unsaved";

    ASSERT_TRUE(meter.Plug()) << meter.LastError();
    ASSERT_TRUE(QTest::qWaitFor([&] { return meterLink.SessionOpen(); }, kEventWaitMs));
    EXPECT_EQ(meterLink.CurrentSettings().sensor, '1') << "the settings were read again";
    EXPECT_EQ(logger->Model().SampleCount(), samples - 1);

    prompter.answers = {page::Answer::No, page::Answer::No};  // save neither the log nor the settings
    EXPECT_TRUE(sheet->close());
    EXPECT_EQ(prompter.Questions().front(), "Do you want to save the displayed data of \"Effective Value Logger\"?");
    EXPECT_FALSE(meterLink.Bound());
}

}  // namespace
