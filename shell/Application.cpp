#include "shell/Application.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QTabWidget>
#include <QTimer>
#include <string>

#include "platform/NamedLock.h"
#include "platform/StopRequest.h"
#include "shell/CSheet.h"
#include "shell/Texts.h"
#include "ui/QtPrompter.h"

namespace tessera::shell {

std::vector<std::string> WriteScreenshots(CSheet& sheet, const std::string& directory) {
    std::vector<std::string> written;
    QDir dir(QString::fromStdString(directory));
    if (!dir.exists() && !QDir().mkpath(dir.path())) return written;
    QTabWidget* tabs = sheet.Tabs();
    const int before = tabs->currentIndex();
    for (int i = 0; i < tabs->count(); ++i) {
        tabs->setCurrentIndex(i);
        QApplication::processEvents();
        const QString name = tabs->tabText(i).trimmed().toLower().replace(QLatin1Char(' '), QLatin1Char('-'));
        const QString path = dir.filePath(QStringLiteral("%1-%2.png").arg(i + 1).arg(name));
        if (sheet.grab().save(path)) written.push_back(path.toStdString());
    }
    tabs->setCurrentIndex(before);
    return written;
}

int RunProgram(link::Link& link, page::Prompter& prompter, platform::Clock& clock, const ProgramOptions& options) {
    platform::NamedLock instance(options.instanceLockName);
    if (!instance.TryAcquire()) {
        // Nothing may be running at all: then say what failed, not that a copy runs.
        if (!instance.Failure().empty()) {
            prompter.Inform(kInstanceLockFailed + instance.Failure() + ".");
            return 1;
        }
        // The first copy is left alone.
        prompter.Inform(kAlreadyRunning);
        return 1;
    }
    // A run's samples must outlive a file-size limit: writes past it fail, they do not kill.
    platform::SurviveFileSizeLimit();
    Startup startup(link, prompter, clock, options.startup);
    if (!startup.Initialize()) return 1;

    // Once the window is up, the real dialogs belong to it (centred on it, above it), and
    // no longer once it is going.
    auto* dialogs = dynamic_cast<ui::QtPrompter*>(&prompter);
    QEventLoop loop;
    QObject::connect(&startup, &Startup::Finished, &loop, [&] {
        if (dialogs) dialogs->SetParent(nullptr);
        loop.quit();
    });
    QTimer::singleShot(0, &startup, [&] {
        CSheet* sheet = startup.CreateSheet();
        if (sheet && dialogs) dialogs->SetParent(sheet);
        if (sheet && options.screenshotDirectory.empty()) sheet->OfferRecovery();
        if (!sheet || options.screenshotDirectory.empty()) return;
        // Let the window settle (first layout and paint) before taking its pictures.
        QTimer::singleShot(300, sheet, [sheet, &options] {
            WriteScreenshots(*sheet, options.screenshotDirectory);
            sheet->CloseWithoutQuestions();
        });
    });
    loop.exec();
    // Anything the window left queued (its own deletion among it) runs before the end.
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}

}  // namespace tessera::shell
