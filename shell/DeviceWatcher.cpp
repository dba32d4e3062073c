#include "shell/DeviceWatcher.h"

#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <algorithm>
#include <iterator>

#include "platform/Paths.h"
#include "transport/InstrumentIds.h"

namespace tessera::shell {

bool DeviceWatcher::AnnouncementFilter::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (platform::IsDeviceChangeMessage(eventType.constData(), message)) watcher_.SystemDeviceChange();
    return false;  // others may want it too; the system expects its default answer
}

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
    announced_.setSingleShot(true);
    announced_.setInterval(kSettleMs);
    connect(&announced_, &QTimer::timeout, this, [this] {
        last_ = Entries();
        emit DeviceChanged();
    });
    WatchWhatExists();
    last_ = Entries();
    poll_.start();
    ListenToTheSystem();
}

DeviceWatcher::~DeviceWatcher() {
    if (filter_ && QCoreApplication::instance()) QCoreApplication::instance()->removeNativeEventFilter(filter_.get());
}

void DeviceWatcher::ListenToTheSystem() {
    // A window of its own, never shown: announcements of the registered interface class go
    // to it, and as a top-level window it hears those told to every window.
    if (!platform::SystemAnnouncesDeviceChanges() || !qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return;
    window_ = std::make_unique<QWindow>();
    window_->create();
    const auto& id = transport::INSTRUMENT_INTERFACE_CLASS;
    platform::InterfaceClass interfaceClass{id.data1, id.data2, id.data3, {}};
    std::copy(std::begin(id.data4), std::end(id.data4), interfaceClass.data4);
    notification_ =
        std::make_unique<platform::DeviceNotification>(static_cast<std::uintptr_t>(window_->winId()), interfaceClass);
    filter_ = std::make_unique<AnnouncementFilter>(*this);
    QCoreApplication::instance()->installNativeEventFilter(filter_.get());
}

void DeviceWatcher::SystemDeviceChange() { announced_.start(); }

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
