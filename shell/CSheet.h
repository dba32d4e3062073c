#pragma once
// The main window: the four pages in their tabs (Effective Value Logger, Entire Read,
// Configuration, Version) and the questions asked before it closes. Pages are reached
// through SheetHooks, filled from the real pages and replaceable by stand-ins in tests.

#include <QPointer>
#include <QWidget>
#include <functional>

#include "shell/CloseQuestions.h"

class QTabWidget;

namespace tessera::link {
class MeterPort;
}
namespace tessera::platform {
class Clock;
}
namespace tessera::page {
class Prompter;
}
namespace tessera::ui {
class SheetPage;
}
namespace tessera::shell {
class CVersion;
}

namespace tessera::shell {

struct SheetHooks : CloseHooks {
    std::function<void(int)> moveLoggerCursor;  // -1 left, +1 right
    std::function<void()> redrawLoggerGraph;
    std::function<void()> settingsFromMeter;  // a meter was just connected
    std::function<void()> offerRecovery;      // at start-up: runs a crash left unsaved
    std::function<void()> unsavedDeclined;    // closing: the user chose not to save
};

class CSheet : public QWidget {
    Q_OBJECT
public:
    CSheet(link::MeterPort& meter, page::Prompter& prompter, platform::Clock& clock, QWidget* parent = nullptr);
    ~CSheet() override;

    QTabWidget* Tabs() const { return tabs_; }
    CVersion* Version() const { return version_; }
    ui::SheetPage* LoggerPage() const { return logger_; }
    ui::SheetPage* EntireReadPage() const { return entireRead_; }
    ui::SheetPage* ConfigurationPage() const { return configuration_; }
    ui::SheetPage* SurveyPage() const { return survey_; }

    SheetHooks& Hooks() { return hooks_; }

    // The device-change follow-up: the logger's graph, then every meter page re-reads
    // its state (the page in front last, so it is the one shown last).
    void RefreshPages();
    void SettingsFromMeter();
    // At start-up: offers to bring back logging runs that a crash left unsaved.
    void OfferRecovery();
    // False when there is no logger cursor to move.
    bool MoveLoggerCursor(int step);

    // Closes without any question (unattended runs that changed nothing).
    void CloseWithoutQuestions();
    bool IsClosed() const { return closed_; }

signals:
    // The window accepted its close and is gone from the screen.
    void Closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void AddPage(ui::SheetPage* page, const char* tabText);
    void OnCurrentChanged(int index);

    page::Prompter& prompter_;
    QTabWidget* tabs_ = nullptr;
    ui::SheetPage* logger_ = nullptr;
    ui::SheetPage* entireRead_ = nullptr;
    ui::SheetPage* configuration_ = nullptr;
    CVersion* version_ = nullptr;
    ui::SheetPage* survey_ = nullptr;
    SheetHooks hooks_;
    bool closed_ = false;
    bool skipQuestions_ = false;
};

}  // namespace tessera::shell
