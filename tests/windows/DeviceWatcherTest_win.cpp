// The device watcher on Windows: a meter of the vendor's kernel driver leaves no trace in the
// device registry, so the system's WM_DEVICECHANGE announcements that reach the watcher's
// window are device changes of their own, and only those.

#include <windows.h>
// windows.h first: dbt.h needs its types.
#include <dbt.h>

#include <gtest/gtest.h>
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>

#include "shell/DeviceWatcher.h"

namespace {

// Runs the event loop until `count` reaches `wanted` or `ms` passed; the count then.
int WaitFor(const int& count, int wanted, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (count < wanted && timer.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return count;
}

TEST(DeviceWatcher, TheSystemsDeviceAnnouncementsAreDeviceChanges) {
    int argc = 1;
    char name[] = "device_watcher_tests";
    char* argv[] = {name, nullptr};
    QGuiApplication app(argc, argv);
    const QString root = QDir::temp().filePath(QStringLiteral("tessera-watcher-%1").arg(::GetCurrentProcessId()));
    tessera::shell::DeviceWatcher watcher({root.toStdString()});
    int changes = 0;
    QObject::connect(&watcher, &tessera::shell::DeviceWatcher::DeviceChanged, [&] { ++changes; });
    const HWND window = reinterpret_cast<HWND>(watcher.AnnouncementWindow());
    ASSERT_NE(window, nullptr);

    // A device node came or went (told to every top-level window), then an interface of the
    // registered class arrived: each burst is one change.
    ASSERT_TRUE(::PostMessageW(window, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0));
    EXPECT_EQ(WaitFor(changes, 1, 5000), 1);
    // These two carry a pointer to what arrived, so the system sends them (a post of them
    // is refused), as it does.
    DEV_BROADCAST_DEVICEINTERFACE_W what{};
    what.dbcc_size = sizeof what;
    what.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    ::SendMessageW(window, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(&what));
    ::SendMessageW(window, WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, reinterpret_cast<LPARAM>(&what));
    EXPECT_EQ(WaitFor(changes, 2, 5000), 2);

    // A question about a configuration change is no device change.
    ASSERT_TRUE(::PostMessageW(window, WM_DEVICECHANGE, DBT_QUERYCHANGECONFIG, 0));
    EXPECT_EQ(WaitFor(changes, 3, 1000), 2);
}

}  // namespace
