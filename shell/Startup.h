#pragma once
// The start-up controller: binds the transport library, loads the accuracy table, opens
// the session, shows the main window, follows device changes while it is open, and at the
// end closes the session and releases the library, once.

#include <QObject>
#include <QPointer>
#include <memory>
#include <string>
#include <vector>

namespace tessera::link {
class Link;
}
namespace tessera::platform {
class Clock;
}
namespace tessera::page {
class Prompter;
}

namespace tessera::shell {

class CSheet;
class DeviceWatcher;
class KeyRouter;

struct StartupOptions {
    std::string transportPath;             // empty: the library by name, beside the program first
    std::string accuracyPath;              // empty: "accuracy.dat", current directory first
    std::vector<std::string> deviceRoots;  // empty: the platform's registry roots
    bool watchDevices = true;
};

class Startup : public QObject {
    Q_OBJECT
public:
    Startup(link::Link& link, page::Prompter& prompter, platform::Clock& clock, StartupOptions options = {});
    ~Startup() override;

    // Library, accuracy table, session. False after the failure's message; everything is
    // then already released.
    bool Initialize();
    // Creates and shows the main window and starts following device changes.
    CSheet* CreateSheet();
    // One device change: open, refresh or close the session, then refresh the pages.
    void OnDeviceChange();
    // Closes the session, releases the library and lets the window go; only the first call acts.
    void Shutdown();

    CSheet* Sheet() const { return sheet_; }
    DeviceWatcher* Watcher() const { return watcher_.get(); }
    bool IsShutDown() const { return shutDown_; }

signals:
    void SheetCreated(CSheet* sheet);
    // The run is over: the window is gone and the library released.
    void Finished();

private:
    link::Link& link_;
    page::Prompter& prompter_;
    platform::Clock& clock_;
    StartupOptions options_;
    QPointer<CSheet> sheet_;
    std::unique_ptr<DeviceWatcher> watcher_;
    std::unique_ptr<KeyRouter> keys_;
    bool shutDown_ = false;
};

}  // namespace tessera::shell
