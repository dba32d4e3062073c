#pragma once
// The Entire Read page: meter and file buttons, the unit box, the two layout radio
// buttons and the record table. All logic is in EntireRead; this widget wires the
// controls to it and paces the download with a timer so the window stays responsive.

#include <QTimer>
#include <cstdint>

#include "entire_read/EntireReadModel.h"
#include "ui/SheetPage.h"

class QComboBox;
class QGroupBox;
class QPushButton;
class QRadioButton;

namespace tessera::ui {
class EditableList;
class IconButton;
}  // namespace tessera::ui

namespace tessera::entire_read {

inline constexpr const char* kPageTitle = "     Entire Read     ";

class CEntireRead : public ui::SheetPage {
    Q_OBJECT
public:
    CEntireRead(link::MeterPort& meter, page::Prompter& prompter, QWidget* parent = nullptr);
    ~CEntireRead() override;

    page::DataState DataState() const { return model_.DataState(); }
    void SetDataState(page::DataState state) { model_.SetDataState(state); }
    // True when a file was written (the shown data may then be discarded).
    bool SaveCsv();
    void Refresh() override;

    EntireRead& Model() { return model_; }
    bool Downloading() const { return downloadTimer_.isActive(); }
    ui::EditableList* Table() const { return table_; }
    QPushButton* ReadButton() const { return read_; }
    QPushButton* MemoryClearButton() const { return clear_; }
    QPushButton* SaveButton() const { return save_; }
    QPushButton* FileReadButton() const { return fileRead_; }
    QPushButton* PrintButton() const;
    QPushButton* UnitChangeButton() const { return unitChange_; }
    QComboBox* UnitBox() const { return unitBox_; }
    QRadioButton* RxyzButton() const { return rxyz_; }
    QRadioButton* DisplayedValueButton() const { return displayed_; }

private:
    void OnRead();
    void OnDownloadTick();
    void OnPrint();
    // Brings every control in line with the model; `paint` also runs the page's state
    // check, as a repaint after a dialog would.
    void Sync(bool paint = true);
    void SyncColumns();
    void SyncTable();

    page::Prompter& prompter_;
    EntireRead model_;
    ui::EditableList* table_ = nullptr;
    QPushButton* read_ = nullptr;
    QPushButton* clear_ = nullptr;
    QPushButton* save_ = nullptr;
    QPushButton* fileRead_ = nullptr;
    ui::IconButton* print_ = nullptr;
    QComboBox* unitBox_ = nullptr;
    QPushButton* unitChange_ = nullptr;
    QRadioButton* rxyz_ = nullptr;
    QRadioButton* displayed_ = nullptr;
    QTimer downloadTimer_;
    int shownLayout_ = kRxyz;
    std::uint64_t shownVersion_ = 0;
};

}  // namespace tessera::entire_read
