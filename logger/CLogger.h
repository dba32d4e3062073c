#pragma once
// The Effective Value Logger page: the controls of the logging run, the graph with its
// scroll bar, cursor and readout, and the CSV and print buttons. Everything it decides
// comes from LoggerModel; this widget only forwards clicks and keys and draws.

#include <QPixmap>
#include <QTimer>
#include <array>

#include "link/MeterPort.h"
#include "logger/Journal.h"
#include "logger/LoggerModel.h"
#include "page/Prompter.h"
#include "platform/Clock.h"
#include "ui/SheetPage.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QScrollBar;

namespace tessera::ui {
class IconButton;
}

namespace tessera::logger {

class CLogger : public ui::SheetPage {
    Q_OBJECT
public:
    CLogger(link::MeterPort& meter, page::Prompter& prompter, platform::Clock& clock, QWidget* parent = nullptr);
    ~CLogger() override;

    void Stop();
    page::DataState DataState() const { return model_.DataState(); }
    void SetDataState(page::DataState state) { model_.SetDataState(state); }
    bool SaveCsv();
    void RedrawGraph();
    void MoveCursor(int step);
    void Refresh() override;

    LoggerModel& Model() { return model_; }
    // The buttons and boxes, for the shell's focus handling and for tests.
    QPushButton* StartButton() const { return start_; }
    QPushButton* StopButton() const { return stop_; }
    QPushButton* FileReadButton() const { return fileRead_; }
    QPushButton* CsvSaveButton() const { return csvSave_; }
    QPushButton* PrintButton() const;
    QComboBox* PeriodBox() const { return period_; }
    QRadioButton* MethodRadio(int method) const { return methods_[method]; }
    QPushButton* TraceButton(int trace) const { return traces_[trace]; }
    QScrollBar* ScrollBar() const { return scroll_; }
    QLineEdit* Readout() const { return readout_; }

    void StartLogging();
    void FileRead();
    void Print();

    // At start-up: offers the runs a crash left unsaved; a recovered one is shown unsaved.
    void OfferRecovery();
    // The window closes and the user chose not to save: the run's journal goes too.
    void DeclineUnsaved();

signals:
    // What the page shows may have changed (a sample, a run, a file); others follow it.
    void DataChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void Sync();  // controls and drawing follow the model
    void RebuildCanvas();
    void OnTimer();

    page::Prompter& prompter_;
    platform::Clock& clock_;
    RunJournal journal_;
    LoggerModel model_;

    QPushButton* start_ = nullptr;
    QPushButton* stop_ = nullptr;
    QPushButton* fileRead_ = nullptr;
    QPushButton* csvSave_ = nullptr;
    ui::IconButton* print_ = nullptr;
    QComboBox* period_ = nullptr;
    std::array<QRadioButton*, 3> methods_{};
    std::array<QPushButton*, 4> traces_{};
    QScrollBar* scroll_ = nullptr;
    QLineEdit* readout_ = nullptr;
    QTimer timer_;
    QPixmap canvas_;
    bool syncing_ = false;
    bool shownBefore_ = false;
};

}  // namespace tessera::logger
