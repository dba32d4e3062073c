#include "shell/CSheet.h"

#include <QCloseEvent>
#include <QTabWidget>
#include <QVBoxLayout>

#include "config/CSet8620.h"
#include "entire_read/CEntireRead.h"
#include "link/MeterPort.h"
#include "link/Stores.h"
#include "logger/CLogger.h"
#include "page/Prompter.h"
#include "shell/CVersion.h"
#include "shell/Texts.h"
#include "survey/CSurvey.h"
#include "ui/Icons.h"

namespace tessera::shell {

CSheet::CSheet(link::MeterPort& meter, page::Prompter& prompter, platform::Clock& clock, QWidget* parent)
    : QWidget(parent, Qt::Window), prompter_(prompter) {
    setObjectName(QStringLiteral("CSheet"));
    setWindowTitle(QString::fromUtf8(kWindowTitle));
    setWindowIcon(ui::ResourceIcon(ui::kProgramIcon));
    // A dialog-like window that can be minimised but has no maximise box.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(7, 7, 7, 7);
    tabs_ = new QTabWidget(this);
    tabs_->setDocumentMode(false);
    tabs_->setUsesScrollButtons(false);
    layout->addWidget(tabs_);

    hooks_.loggerRunning = [&meter] { return meter.HeldByLogger(); };

    auto* logger = new logger::CLogger(meter, prompter, clock);
    logger_ = logger;
    AddPage(logger, kLoggerTab);
    hooks_.stopLogger = [logger] { logger->Stop(); };
    hooks_.logger = {[logger] { return logger->DataState(); }, [logger](page::DataState s) { logger->SetDataState(s); },
                     [logger] { return logger->SaveCsv(); }};
    hooks_.moveLoggerCursor = [logger](int step) { logger->MoveCursor(step); };
    hooks_.redrawLoggerGraph = [logger] { logger->RedrawGraph(); };
    hooks_.offerRecovery = [logger] { logger->OfferRecovery(); };
    hooks_.unsavedDeclined = [logger] { logger->DeclineUnsaved(); };

    auto* entire = new entire_read::CEntireRead(meter, prompter);
    entireRead_ = entire;
    AddPage(entire, kEntireReadTab);
    hooks_.entireRead = {[entire] { return entire->DataState(); },
                         [entire](page::DataState s) { entire->SetDataState(s); },
                         [entire] { return entire->SaveCsv(); }};

    auto* config = new config::CSet8620(meter, prompter);
    configuration_ = config;
    AddPage(config, kConfigurationTab);
    hooks_.settings = {[config] { return config->ModifiedMark(); },
                       [config](page::DataState s) { config->SetModifiedMark(s); },
                       [config] { return config->SettingSave(); }};
    hooks_.settingsFromMeter = [config] { config->SettingsFromMeter(); };
    // After a configuration the other pages show the meter's new settings.
    connect(config, &config::CSet8620::Configured, this, [this] { RefreshPages(); });

    version_ = new CVersion;
    AddPage(version_, kVersionTab);

    // After the four: the evaluation of what the logger and Entire Read hold, and of files.
    auto* survey = new survey::CSurvey(prompter);
    survey_ = survey;
    AddPage(survey, kSurveyTab);
    survey->SetLogger(&logger->Model());
    survey->SetEntireReadCount([entire] { return entire->Model().RecordCount(); });
    survey->SetEntireRead(&entire->Model());
    survey->SetMarker([logger](const std::string& text) { return logger->Model().Mark(text); });
    connect(logger, &logger::CLogger::DataChanged, survey, &survey::CSurvey::LoggerChanged);

    connect(tabs_, &QTabWidget::currentChanged, this, &CSheet::OnCurrentChanged);
}

CSheet::~CSheet() = default;

void CSheet::AddPage(ui::SheetPage* page, const char* tabText) { tabs_->addTab(page, QString::fromUtf8(tabText)); }

void CSheet::OnCurrentChanged(int index) {
    if (auto* page = qobject_cast<ui::SheetPage*>(tabs_->widget(index))) page->Refresh();
}

void CSheet::RefreshPages() {
    if (hooks_.redrawLoggerGraph) hooks_.redrawLoggerGraph();
    auto* current = qobject_cast<ui::SheetPage*>(tabs_->currentWidget());
    for (ui::SheetPage* page : {logger_, entireRead_, configuration_})
        if (page && page != current) page->Refresh();
    // The page in front re-reads last: its view of "which page was shown last" must win.
    if (current) current->Refresh();
}

void CSheet::SettingsFromMeter() {
    if (hooks_.settingsFromMeter) hooks_.settingsFromMeter();
}

void CSheet::OfferRecovery() {
    if (hooks_.offerRecovery) hooks_.offerRecovery();
}

bool CSheet::MoveLoggerCursor(int step) {
    if (!hooks_.moveLoggerCursor) return false;
    hooks_.moveLoggerCursor(step);
    return true;
}

void CSheet::CloseWithoutQuestions() {
    skipQuestions_ = true;
    close();
    skipQuestions_ = false;
}

void CSheet::closeEvent(QCloseEvent* event) {
    if (closed_) {
        event->accept();
        return;
    }
    if (!skipQuestions_) {
        if (!RunCloseQuestions(prompter_, hooks_)) {
            event->ignore();
            return;
        }
        // Every question was answered and the window goes: data the user chose not to save
        // are given up, their crash journal with them.
        if (hooks_.unsavedDeclined) hooks_.unsavedDeclined();
    }
    closed_ = true;
    event->accept();
    emit Closed();
}

}  // namespace tessera::shell
