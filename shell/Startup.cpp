#include "shell/Startup.h"

#include "link/Accuracy.h"
#include "link/Link.h"
#include "page/Prompter.h"
#include "shell/CSheet.h"
#include "shell/DeviceWatcher.h"
#include "shell/KeyRouter.h"
#include "shell/Texts.h"

namespace tessera::shell {

Startup::Startup(link::Link& link, page::Prompter& prompter, platform::Clock& clock, StartupOptions options)
    : link_(link), prompter_(prompter), clock_(clock), options_(std::move(options)) {}

Startup::~Startup() {
    Shutdown();
    delete sheet_.data();
}

bool Startup::Initialize() {
    const bool bound =
        options_.transportPath.empty() ? link_.BindTransport() : link_.BindTransportPath(options_.transportPath);
    if (!bound) {
        prompter_.Inform(kNoTransport);
        Shutdown();
        return false;
    }
    const link::Status accuracy =
        options_.accuracyPath.empty() ? link::LoadAccuracyTable() : link::LoadAccuracyTableFrom(options_.accuracyPath);
    if (accuracy != link::kStatusOk) {
        prompter_.Inform(kBadAccuracyFile);
        Shutdown();
        return false;
    }
    // A missing meter is no error: the window opens and a later plug-in opens the session.
    if (link_.OpenSession()) link_.RefreshSettings();
    else link_.CloseSession();
    return true;
}

CSheet* Startup::CreateSheet() {
    if (shutDown_) return nullptr;
    if (sheet_) return sheet_;
    sheet_ = new CSheet(link_, prompter_, clock_);
    connect(sheet_, &CSheet::Closed, this, &Startup::Shutdown);
    keys_ = std::make_unique<KeyRouter>(sheet_);
    if (options_.watchDevices) {
        watcher_ = std::make_unique<DeviceWatcher>(options_.deviceRoots);
        connect(watcher_.get(), &DeviceWatcher::DeviceChanged, this, &Startup::OnDeviceChange);
    }
    sheet_->show();
    emit SheetCreated(sheet_);
    return sheet_;
}

void Startup::OnDeviceChange() {
    if (shutDown_ || !sheet_) return;
    if (!link_.SessionOpen()) {
        if (link_.OpenSession()) {
            link_.RefreshSettings();
            sheet_->SettingsFromMeter();
        } else {
            link_.CloseSession();
        }
    } else if (link_.RefreshSettings() == link::kStatusNoDevice) {
        link_.CloseSession();
    }
    sheet_->RefreshPages();
}

void Startup::Shutdown() {
    if (shutDown_) return;
    shutDown_ = true;
    watcher_.reset();
    keys_.reset();
    link_.CloseSession();
    link_.UnbindTransport();
    // The window may be inside its own close handler: it goes once that returns.
    if (sheet_) sheet_->deleteLater();
    emit Finished();
}

}  // namespace tessera::shell
