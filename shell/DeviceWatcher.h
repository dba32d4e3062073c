#pragma once
// Watches the device registry and reports every change of its instrument entries as one
// DeviceChanged() signal: file-system notification on the registry roots and on their
// instrument class directories, plus a slow listing comparison for roots that appear later
// or file systems without notification. A burst of changes (an entry is built under a
// temporary name, then renamed) is reported once. Where the system announces device
// changes to windows (Windows: a meter of the vendor's kernel driver leaves no trace in the
// registry), each announcement is a device change too.

#include <QAbstractNativeEventFilter>
#include <QFileSystemWatcher>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <QWindow>
#include <memory>
#include <string>
#include <vector>

#include "platform/DeviceNotification.h"

namespace tessera::shell {

class DeviceWatcher : public QObject {
    Q_OBJECT
public:
    static constexpr int kSettleMs = 50;  // a burst of notifications becomes one change
    static constexpr int kPollMs = 1000;  // listing comparison

    // `roots` empty: the platform's registry roots. `classDir` empty: the instrument class.
    explicit DeviceWatcher(std::vector<std::string> roots = {}, std::string classDir = {}, QObject* parent = nullptr);
    ~DeviceWatcher() override;

    // The instrument entries now present (sorted paths).
    QStringList Entries() const;
    // Compares the listing with the last one; emits DeviceChanged() when it differs.
    void Rescan();
    // The system announced a device change: DeviceChanged() follows once its burst settled.
    void SystemDeviceChange();
    // The hidden window the system's announcements reach; 0 where there is none.
    WId AnnouncementWindow() const { return window_ ? window_->winId() : 0; }

signals:
    void DeviceChanged();

private:
    // Hands the system's device announcements among Qt's native events to the watcher.
    class AnnouncementFilter : public QAbstractNativeEventFilter {
    public:
        explicit AnnouncementFilter(DeviceWatcher& watcher) : watcher_(watcher) {}
        bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

    private:
        DeviceWatcher& watcher_;
    };

    void OnNotified();
    void WatchWhatExists();
    void ListenToTheSystem();

    std::vector<std::string> roots_;
    std::string classDir_;
    QFileSystemWatcher watcher_;
    QTimer settle_;
    QTimer announced_;
    QTimer poll_;
    QStringList last_;
    std::unique_ptr<QWindow> window_;
    std::unique_ptr<platform::DeviceNotification> notification_;
    std::unique_ptr<AnnouncementFilter> filter_;
};

}  // namespace tessera::shell
