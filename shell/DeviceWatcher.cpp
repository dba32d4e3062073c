#include "shell/DeviceWatcher.h"

#include <QDir>

#include "platform/Paths.h"
#include "transport/InstrumentIds.h"

namespace tessera::shell {

DeviceWatcher::DeviceWatcher(std::vector<std::string> roots, std::string classDir, QObject* parent)
    : QObject(parent), roots_(std::move(roots)), classDir_(std::move(classDir)) {
    if (roots_.empty()) roots_ = platform::DeviceRegistryRoots();
    if (classDir_.empty()) classDir_ = transport::INSTRUMENT_INTERFACE_CLASS_TEXT;
    settle_.setSingleShot(true);
    settle_.setInterval(kSettleMs);
    connect(&settle_, &QTimer::timeout, this, &DeviceWatcher::Rescan);
    poll_.setInterval(kPollMs);
    connect(&poll_, &QTimer::timeout, this, &DeviceWatcher::Rescan);
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, &DeviceWatcher::OnNotified);
    WatchWhatExists();
    last_ = Entries();
    poll_.start();
}

QStringList DeviceWatcher::Entries() const {
    QStringList out;
    for (const auto& root : roots_) {
        const QDir dir(QString::fromStdString(root) + QLatin1Char('/') + QString::fromStdString(classDir_));
        if (!dir.exists()) continue;
        // Entries under construction carry a leading dot until they are renamed into place.
        // An entry is a directory of pipe sockets, or on Windows a marker file.
        for (const QString& name : dir.entryList(QDir::Dirs | QDir::Files | QDir::NoDotAndDotDot, QDir::Name))
            out << dir.filePath(name);
    }
    return out;
}

void DeviceWatcher::WatchWhatExists() {
    QStringList paths;
    for (const auto& root : roots_) {
        const QString r = QString::fromStdString(root);
        if (QDir(r).exists()) paths << r;
        const QString c = r + QLatin1Char('/') + QString::fromStdString(classDir_);
        if (QDir(c).exists()) paths << c;
    }
    const QStringList watched = watcher_.directories();
    QStringList fresh;
    for (const QString& p : paths)
        if (!watched.contains(p)) fresh << p;
    if (!fresh.isEmpty()) watcher_.addPaths(fresh);
}

void DeviceWatcher::OnNotified() { settle_.start(); }

void DeviceWatcher::Rescan() {
    WatchWhatExists();  // a class directory may have appeared (or come back)
    const QStringList now = Entries();
    if (now == last_) return;
    last_ = now;
    emit DeviceChanged();
}

}  // namespace tessera::shell
