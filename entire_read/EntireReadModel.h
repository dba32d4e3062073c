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
#include "entire_read/EntireReadCsv.h"
#include "entire_read/PrintJob.h"
#include "entire_read/RecordNotes.h"
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
// A meter that stays busy (another program holding it, or the meter itself) ends the
// download after the link's retry limit; "%u" is the number of records that did arrive.
std::string StayedBusyMessage(unsigned recordsRead);
inline constexpr std::string_view kClearQuestion = "Are you sure to clear the QM8620's memory?";
inline constexpr std::string_view kMemoryCleared = "The QM8620's memory has been cleared.";
inline constexpr std::string_view kNothingToSave = page::kNothingToSave;
inline constexpr std::string_view kOverwriteQuestion = page::kOverwriteFileQuestion;
inline constexpr std::string_view kNothingToPrint = "There is no effective data to print.";

// "The file "<path>" was not found." ...
std::string FileNotFoundMessage(const std::string& path);
std::string FileNotWrittenMessage(const std::string& path, const std::string& reason = {});

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

    // --- notes on the records (entire_read/RecordNotes.h) ---
    // They come with a file read (from its sidecar; a damaged one is said and costs only its
    // damaged lines), go with every write of the file (WriteCsvFile: beside the new name,
    // whichever name it has), and are given up with the records (a download).
    const RecordNoteMap& Notes() const { return notes_; }
    // The file the records were read from or last written to; empty for a download.
    const std::string& File() const { return file_; }
    // Sets the notes of record `number` (1..RecordCount()). When the records are in a file,
    // its sidecar is written at once (the file itself is not touched). False, with `error`,
    // when the number is no record's or the sidecar could not be written (the notes are kept
    // and go with the next save).
    bool SetNote(int number, const RecordNote& note, std::string* error = nullptr);
    // What went wrong with the sidecar at the last read or write; empty when nothing did.
    const std::string& NotesProblem() const { return notesProblem_; }

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
    RecordNoteMap notes_;
    std::string file_;
    std::string notesProblem_;
};

}  // namespace tessera::entire_read
