#pragma once
// The Configuration page: the meter's current settings beside the editable New Setting,
// the two meter buttons and the two setting-file buttons. All logic is in ConfigModel;
// this widget only wires the table and the buttons to it.

#include <QTimer>

#include "config/ConfigModel.h"
#include "ui/SheetPage.h"

class QPushButton;
class QGroupBox;

namespace tessera::ui {
class EditableList;
}

namespace tessera::config {

inline constexpr const char* kPageTitle = "     Configuration     ";

class CSet8620 : public ui::SheetPage {
    Q_OBJECT
public:
    CSet8620(link::MeterPort& meter, page::Prompter& prompter, QWidget* parent = nullptr);
    ~CSet8620() override;

    page::DataState ModifiedMark() const { return model_.ModifiedMark(); }
    void SetModifiedMark(page::DataState mark) { model_.SetModifiedMark(mark); }
    // Writes the New Setting to a file the user chooses; true when a file was written.
    bool SettingSave() { return model_.SettingSave(); }
    // A meter was just connected and its settings read.
    void SettingsFromMeter() { model_.SettingsFromMeter(); }
    void Refresh() override;

    ConfigModel& Model() { return model_; }
    ui::EditableList* Table() const { return table_; }
    QPushButton* ConfigureButton() const { return configure_; }
    QPushButton* InitializeButton() const { return initialize_; }
    QPushButton* SaveButton() const { return save_; }
    QPushButton* ReadButton() const { return read_; }

signals:
    // The meter's settings were read back after a configuration; pages that show them
    // (the logger) re-read them.
    void Configured();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FillColumns();
    void UpdateButtons();
    void OnConfigure();
    void OnConfigurationTimer();

    ConfigModel model_;
    ui::EditableList* table_ = nullptr;
    QPushButton* configure_ = nullptr;
    QPushButton* initialize_ = nullptr;
    QPushButton* save_ = nullptr;
    QPushButton* read_ = nullptr;
    QTimer configurationTimer_;  // the one-shot timer that runs the command sequence
    bool startingSettingTaken_ = false;
};

}  // namespace tessera::config
