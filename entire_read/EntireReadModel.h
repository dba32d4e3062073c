#pragma once
// The Entire Read page without widgets: the download of the meter's memory (one record
// per step()), Memory Clear, the record table as row texts in two layouts, unit change,
// CSV save and read, and the data for the printout. The Qt page only wires its controls
// to this model and calls step() from a timer.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "entire_read/DisplayRule.h"
#include "entire_read/PrintJob.h"
#include "link/MeterPort.h"
#include "page/DataState.h"
#include "page/Prompter.h"
#include "page/Texts.h"

namespace tessera::entire_read {

// The texts the page shows and asks.
inline constexpr std::string_view kBusyMessage = link::kMsgBusyWithLogger;
inline constexpr std::string_view kSaveQuestion = page::kSaveShownDataQuestion;
inline constexpr std::string_view kConnectionFailed = link::kMsgConnectionFailed;
inline constexpr std::string_view kNoDataFound = "No data was found in the QM8620.";
inline constexpr std::string_view kClearQuestion = "Are you sure to clear the QM8620's memory?";
inline constexpr std::string_view kMemoryCleared = "The QM8620's memory has been cleared.";
inline constexpr std::string_view kNothingToSave = page::kNothingToSave;
inline constexpr std::string_view kOverwriteQuestion = page::kOverwriteFileQuestion;
inline constexpr std::string_view kNothingToPrint = "There is no effective data to print.";
inline constexpr std::string_view kUnidentifiableFile = "An unidentifiable file type.";
inline constexpr std::string_view kLoggerFileMessage =
    "The file is a CSV file for \"Effective Value Logger\". \n\nPlease open it in \"Effective Value Logger\" page.";
inline constexpr std::string_view kNoDataLine =
    "There is no description of \"DATA\". This file is an unidentifiable file type.";
inline constexpr std::string_view kNoColumnsLine =
    "There is no description of \"NO,MODE,AXIS,UNIT,RANGE,x,y,z,R,OUTPUT,SLOW,SENSOR,R+Accuracy,R-Accuracy\". "
    "This file is an unidentifiable file type.";

// The file's header.
// File-format data, not the program's version: files of this kind are written with this banner,
// "VER.1.05" included, by every release (the program's version is project(VERSION)).
inline constexpr std::string_view kCsvBanner = "TAVIK 8620 IMPORT MODE SOFTWARE VER.1.05 EN";
inline constexpr std::string_view kCsvDataLine = "DATA";
inline constexpr std::string_view kCsvColumns =
    "NO,MODE,AXIS,UNIT,RANGE,x,y,z,R,OUTPUT,SLOW,SENSOR,R+Accuracy,R-Accuracy";
inline const page::FileFilter kCsvFilter{"8620 Entire Read file(*.CSV)", "*.CSV"};

// "The file "<path>" was not found.", "An unidentifiable information about "Mode" in line 3." ...
std::string FileNotFoundMessage(const std::string& path);
std::string FileNotWrittenMessage(const std::string& path);
std::string LineMessage(std::string_view field, int number);
std::string RxyzLineMessage(int number);

enum DisplayMode : int { kRxyz = 0, kDisplayedValue = 1 };

// The records of an Entire Read file as File Read takes them, without touching the page or
// its tables: the same header checks and messages, and the same question about each line it
// cannot read, through `prompter`. nullopt when the file was refused (the prompter was told why).
struct CsvRecords {
    std::vector<link::MemoryRecord> records;
    std::vector<RecordValues> values;
    int fileUnit = kNoUnit;  // the display unit the file was written in (kOriginalUnit when mixed)
};
std::optional<CsvRecords> ReadCsvRecords(const std::string& path, page::Prompter& prompter);

struct ColumnSpec {
    std::string_view title;
    int width;
    bool leftAligned;
};
// The columns of a layout, in order: twelve for Rxyz, seven for Displayed Value.
const std::vector<ColumnSpec>& Columns(int displayMode);
// The cells of a row in a layout.
std::vector<std::string> Cells(const RowTexts& row, int displayMode);

class EntireRead {
public:
    EntireRead(link::MeterPort& meter, page::Prompter& prompter);

    // --- buttons ---
    // Starts a download when the prompts and the connection check allow; Downloading()
    // then tells the caller to call Step() until it answers false.
    void Read();
    // One download step: requests the next record. True while the download goes on.
    bool Step();
    bool Downloading() const { return downloading_; }
    // What ended the last download early: the failing status, or kStatusOk when the memory
    // was read to its end (or no download ran).
    link::Status DownloadEnd() const { return downloadEnd_; }
    void MemoryClear();
    // True when a file was written (the shown data may then be discarded).
    bool SaveCsv();
    void FileRead();
    void ShowRxyz();
    void ShowDisplayedValue();
    void UnitChange();
    // The page's state check when it is shown or the meter came or went.
    void Refresh();

    // --- the unit combo box (its index, 0..6) ---
    int UnitSelection() const { return unitSelection_; }
    void SetUnitSelection(int index) { unitSelection_ = index; }

    // --- state ---
    page::DataState DataState() const { return dataState_; }
    void SetDataState(page::DataState state) { dataState_ = state; }
    int DisplayMode() const { return displayMode_; }
    int DisplayUnit() const { return displayUnit_; }
    unsigned RecordCount() const { return recordCount_; }
    bool ReadEnabled() const { return meterButtonsEnabled_; }          // Read and Memory Clear
    bool SaveAndPrintEnabled() const { return saveAndPrintEnabled_; }  // CSV Save and Print

    // --- the table ---
    const std::vector<RowTexts>& Rows() const { return rows_; }
    std::vector<std::string> RowCells(int row) const { return Cells(rows_.at(row), displayMode_); }
    // Grows by one each time a row is replaced wholesale (refill, clear); rows added by a
    // download step leave it alone, so a view can append instead of redrawing.
    std::uint64_t TableVersion() const { return tableVersion_; }
    // Rewrites every row in a unit (0 own unit, 1..6); nothing for kNoUnit.
    void RefillTable(int unit);

    // The printout's layout and rows. Says "There is no effective data to print." and
    // answers nothing when the table is empty.
    std::optional<PrintJob> PrintData();

    // --- pieces the command line uses without dialogs ---
    // The whole file text for the shown records in the display unit (CR LF line ends).
    // Fixes savedUnit and the accuracy band tables as a save does.
    std::string CsvText();
    // Writes CsvText() to `path`; false (and no change of state) when it could not be
    // written completely.
    bool WriteCsvFile(const std::string& path);
    // Reads an Entire Read file into the page, asking about bad lines through the
    // prompter. False when the file was not taken (not found or wrong header).
    bool ReadCsvFile(const std::string& path);

private:
    void SetSaveAndPrint(bool on) { saveAndPrintEnabled_ = on; }
    bool TableHasRows() const { return !rows_.empty() && !rows_.front().number.empty(); }
    void FillRow(unsigned index);
    void ClearTable();

    link::MeterPort& meter_;
    page::Prompter& prompter_;
    unsigned recordCount_ = 0;
    page::DataState dataState_ = page::DataState::None;
    int displayMode_ = kRxyz;
    int displayUnit_ = kNoUnit;
    int unitSelection_ = kOriginalUnit;
    bool downloading_ = false;
    link::Status downloadEnd_ = link::kStatusOk;
    bool meterButtonsEnabled_ = false;
    bool saveAndPrintEnabled_ = false;
    std::vector<RowTexts> rows_;
    std::uint64_t tableVersion_ = 0;
};

}  // namespace tessera::entire_read
