#pragma once
// Watches the device registry and reports every change of its instrument entries as one
// DeviceChanged() signal: file-system notification on the registry roots and on their
// instrument class directories, plus a slow listing comparison for roots that appear later
// or file systems without notification. A burst of changes (an entry is built under a
// temporary name, then renamed) is reported once.

#include <QFileSystemWatcher>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <string>
#include <vector>

namespace tessera::shell {

class DeviceWatcher : public QObject {
    Q_OBJECT
public:
    static constexpr int kSettleMs = 50;  // a burst of notifications becomes one change
    static constexpr int kPollMs = 1000;  // listing comparison

    // `roots` empty: the platform's registry roots. `classDir` empty: the instrument class.
    explicit DeviceWatcher(std::vector<std::string> roots = {}, std::string classDir = {}, QObject* parent = nullptr);

    // The instrument entries now present (sorted paths).
    QStringList Entries() const;
    // Compares the listing with the last one; emits DeviceChanged() when it differs.
    void Rescan();

signals:
    void DeviceChanged();

private:
    void OnNotified();
    void WatchWhatExists();

    std::vector<std::string> roots_;
    std::string classDir_;
    QFileSystemWatcher watcher_;
    QTimer settle_;
    QTimer poll_;
    QStringList last_;
};

}  // namespace tessera::shell
