#include "entire_read/EntireReadModel.h"

#include <cmath>
#include <optional>

#include "link/Stores.h"
#include "platform/FileReplace.h"
#include "platform/Files.h"
#include "settings/Vocabulary.h"

namespace tessera::entire_read {

namespace {

// clang-format off
const std::vector<ColumnSpec> kRxyzColumns = {
    {"No.", 30, false},   {"Measurement Mode", 120, true}, {"Axis", 50, false},      {"Unit", 50, false},
    {"R", 70, false},     {"x", 70, false},                {"y", 70, false},         {"z", 70, false},
    {"Sensor", 70, false}, {"Slow", 70, false},            {"R+Accuracy", 80, false}, {"R-Accuracy", 80, false},
};
const std::vector<ColumnSpec> kDisplayedColumns = {
    {"No.", 30, false},  {"Measurement Mode", 120, true}, {"Axis", 50, false}, {"Unit", 50, false},
    {"Displayed Value", 120, false}, {"Sensor", 70, false}, {"Slow", 70, false},
};
// clang-format on

}  // namespace

std::string FileNotFoundMessage(const std::string& path) { return page::FileNotFoundMessage(path); }

std::string FileNotWrittenMessage(const std::string& path, const std::string& reason) {
    return page::FileNotWrittenMessage(path, reason) + " The displayed data have not been saved.";
}

const std::vector<ColumnSpec>& Columns(int displayMode) {
    return displayMode == kDisplayedValue ? kDisplayedColumns : kRxyzColumns;
}

std::vector<std::string> Cells(const RowTexts& r, int displayMode) {
    if (displayMode == kDisplayedValue) return {r.number, r.mode, r.axis, r.unit, r.displayed, r.sensor, r.slow};
    return {r.number, r.mode, r.axis, r.unit, r.R, r.x, r.y, r.z, r.sensor, r.slow, r.plus, r.minus};
}

EntireRead::EntireRead(link::MeterPort& meter, page::Prompter& prompter) : meter_(meter), prompter_(prompter) {
    link::ClearStores(link::kClearMemoryStore);
}

void EntireRead::ClearTable() {
    rows_.clear();
    ++tableVersion_;
}

void EntireRead::FillRow(unsigned index) {
    const FormattedRow row =
        FormatRow(static_cast<int>(index), link::memoryStore[index], recordValues[index], kOriginalUnit);
    if (row.bandComputed) {
        accuracyPlus[index] = row.plus;
        accuracyMinus[index] = row.minus;
    }
    if (rows_.size() > index) rows_.resize(index);
    rows_.push_back(row.texts);
}

void EntireRead::RefillTable(int unit) {
    if (unit == kNoUnit) return;
    rows_.clear();
    for (unsigned i = 0; i < recordCount_; ++i) {
        const FormattedRow row = FormatRow(static_cast<int>(i), link::memoryStore[i], recordValues[i], unit);
        if (row.bandComputed) {
            accuracyPlus[i] = row.plus;
            accuracyMinus[i] = row.minus;
        }
        rows_.push_back(row.texts);
    }
    ++tableVersion_;
}

void EntireRead::Read() {
    SetSaveAndPrint(false);
    if (meter_.HeldByLogger()) {
        SetSaveAndPrint(TableHasRows());
        prompter_.Inform(std::string(kBusyMessage));
        return;
    }
    if (dataState_ == page::DataState::Unsaved && TableHasRows()) {
        const page::Answer answer = prompter_.AskYesNoCancel({page::Topic::SaveShownData, std::string(kSaveQuestion)});
        SetSaveAndPrint(true);
        if (answer == page::Answer::Cancel) return;
        if (answer == page::Answer::Yes && !SaveCsv()) return;
        dataState_ = page::DataState::None;
    }
    if (meter_.RefreshSettings() != link::kStatusOk) {
        // The table is untouched, so its buttons stay usable.
        SetSaveAndPrint(TableHasRows());
        prompter_.Inform(std::string(kConnectionFailed));
        return;
    }
    recordCount_ = 0;
    link::ClearStores(link::kClearMemoryStore);
    ClearTable();
    notes_.clear();
    file_.clear();
    notesProblem_.clear();
    dataState_ = page::DataState::None;
    downloadEnd_ = link::kStatusOk;
    downloading_ = true;
}

std::string StayedBusyMessage(unsigned recordsRead) {
    return "The QM8620 stayed busy, so the download stopped after " + std::to_string(recordsRead) +
           (recordsRead == 1 ? " record." : " records.");
}

bool EntireRead::Step() {
    // A File Read may have replaced the table while a step was pending.
    if (!downloading_) return false;
    downloading_ = false;
    if (recordCount_ >= static_cast<unsigned>(kMaxRecords)) return false;

    link::MemoryRecord record{};
    const link::Status status = meter_.ReadMemoryEntry(record, recordCount_);  // slot index; asks for number + 1
    if (status != link::kStatusOk) {
        if (status == link::kStatusNoEntry) {
            if (recordCount_ == 0) {
                SetSaveAndPrint(false);
                prompter_.Inform(std::string(kNoDataFound));
            }
            return false;  // otherwise: every stored record has been read
        }
        downloadEnd_ = status;
        // Every record received so far arrived whole, so all of them stay counted: the
        // rows on screen, the CSV file and the printout keep covering the same records
        // (rather than dropping the last ones, which lose nothing but would no longer
        // match the rows). A lost meter is said; any other answer (a repeat, another
        // status, an over-long reply) ends the download without a word, as the page always
        // has; the meter's memory is untouched either way. A meter that stayed busy past the
        // link's retry limit is said too: otherwise a table cut short would look complete.
        if (status == link::kStatusNoDevice) prompter_.Inform(std::string(kConnectionFailed));
        if (status == link::kStatusBusy) prompter_.Inform(StayedBusyMessage(recordCount_));
        return false;
    }

    // Exposure levels are always percent, whatever the meter put in the unit field.
    if (settings::IsExposureMode(record.mode)) record.unit = '3';
    record.memMode = 0;
    link::memoryStore[recordCount_] = record;
    RecordValues& v = recordValues[recordCount_];
    v = RecordValues{
        0, record.value1, record.value2, record.value3,
        std::sqrt(record.value1 * record.value1 + record.value2 * record.value2 + record.value3 * record.value3)};
    // A unit change pressed during the download converted the rows so far; new rows come
    // in the records' own units, so the table goes back to them as a whole.
    if (displayUnit_ != kOriginalUnit && displayUnit_ != kNoUnit && recordCount_ > 0) RefillTable(kOriginalUnit);
    FillRow(recordCount_);
    ++recordCount_;
    dataState_ = page::DataState::Unsaved;
    downloading_ = true;

    displayUnit_ = kOriginalUnit;
    SetSaveAndPrint(true);
    return true;
}

void EntireRead::MemoryClear() {
    if (meter_.HeldByLogger()) {
        prompter_.Inform(std::string(kBusyMessage));
        return;
    }
    if (prompter_.AskYesNo({page::Topic::ConfirmMeter, std::string(kClearQuestion)}) != page::Answer::Yes) return;
    if (meter_.RefreshSettings() != link::kStatusOk) {
        prompter_.Inform(std::string(kConnectionFailed));
        return;
    }
    // One attempt: a busy meter is not asked again.
    if (meter_.Command("MCLR", link::MeterPort::Repeat::Never) != link::kStatusOk) {
        prompter_.Inform(std::string(kConnectionFailed));
        return;
    }
    prompter_.Inform(std::string(kMemoryCleared));
}

void EntireRead::Refresh() {
    meterButtonsEnabled_ = settings::MeterKnown(meter_.CurrentSettings());
    saveAndPrintEnabled_ = TableHasRows();
}

void EntireRead::ShowRxyz() {
    displayMode_ = kRxyz;
    RefillTable(displayUnit_);
    ++tableVersion_;  // the columns changed even when there is nothing to refill
}

void EntireRead::ShowDisplayedValue() {
    displayMode_ = kDisplayedValue;
    RefillTable(displayUnit_);
    ++tableVersion_;
}

void EntireRead::UnitChange() {
    if (recordCount_ == 0) return;
    displayUnit_ = unitSelection_;
    RefillTable(displayUnit_);
    if (displayUnit_ != savedUnit) dataState_ = page::DataState::Unsaved;
}

std::optional<PrintJob> EntireRead::PrintData() {
    if (rows_.empty() || rows_.front().axis.empty()) {
        prompter_.Inform(std::string(kNothingToPrint));
        return std::nullopt;
    }
    PrintJob job;
    // The layout follows the table's columns, so every cell is printed under its own title.
    job.layout = displayMode_ == kDisplayedValue ? PrintLayout::DisplayedValue : PrintLayout::Rxyz;
    for (std::size_t i = 0; i < rows_.size() && i < recordCount_; ++i)
        job.rows.push_back(Cells(rows_[i], displayMode_));
    return job;
}

std::string EntireRead::CsvText() {
    std::string text = CsvHeaderText();
    text.reserve(160 * (recordCount_ + 3));
    const int unit = displayUnit_ == kNoUnit ? kOriginalUnit : displayUnit_;
    for (unsigned i = 0; i < recordCount_; ++i) {
        const link::MemoryRecord& rec = link::memoryStore[i];
        const FormattedRow row = FormatRow(static_cast<int>(i), rec, recordValues[i], unit);
        if (row.bandComputed) {
            accuracyPlus[i] = row.plus;
            accuracyMinus[i] = row.minus;
        }
        if (rec.unit != '3') savedUnit = unit;
        text += CsvRecordLine(rec, row.texts);
    }
    return text;
}

bool EntireRead::WriteCsvFile(const std::string& path) {
    const int savedBefore = savedUnit;
    if (!platform::ReplaceFileContents(path, CsvText())) {
        savedUnit = savedBefore;  // nothing was saved in that unit
        return false;
    }
    // The notes follow the records to the new name; without notes, a sidecar left there by
    // the file this one replaced is removed (it spoke for other records). The file is saved
    // either way: a sidecar that failed is said, not taken for a failed save.
    file_ = path;
    notesProblem_.clear();
    std::string why;
    if (!WriteNotes(path, notes_, &why))
        notesProblem_ = FileNotWrittenMessage(NotesPath(path)) + (why.empty() ? "" : " (" + why + ")");
    return true;
}

bool EntireRead::SetNote(int number, const RecordNote& note, std::string* error) {
    if (number < 1 || number > static_cast<int>(recordCount_)) {
        if (error) *error = "there is no record " + std::to_string(number);
        return false;
    }
    if (note.Empty()) notes_.erase(number);
    else notes_[number] = note;
    if (file_.empty()) return true;
    std::string why;
    if (WriteNotes(file_, notes_, &why)) return true;
    if (error) *error = FileNotWrittenMessage(NotesPath(file_)) + (why.empty() ? "" : " (" + why + ")");
    return false;
}

bool EntireRead::SaveCsv() {
    if (!TableHasRows()) {
        prompter_.Inform(std::string(kNothingToSave));
        return false;
    }
    std::string path = prompter_.ChooseSaveFile(kCsvFilter);
    if (path.empty()) return false;
    path = page::WithExtension(path, page::kCsvExtension);
    const platform::SaveTarget target = platform::ResolveSaveTarget(path);
    if (!target.refusal.empty()) {
        prompter_.Inform(FileNotWrittenMessage(path, target.refusal));
        return false;
    }
    if (target.exists &&
        prompter_.AskYesNo({page::Topic::Overwrite, std::string(kOverwriteQuestion), target.path}) != page::Answer::Yes)
        return false;
    // Callers discard the shown data on true, so a file that could not be written must
    // never be reported as saved.
    if (!WriteCsvFile(target.path)) {
        prompter_.Inform(FileNotWrittenMessage(path));
        return false;
    }
    if (!notesProblem_.empty()) prompter_.Inform(notesProblem_);
    dataState_ = page::DataState::Saved;
    return true;
}

void EntireRead::FileRead() {
    if (dataState_ == page::DataState::Unsaved) {
        const page::Answer answer = prompter_.AskYesNoCancel({page::Topic::SaveShownData, std::string(kSaveQuestion)});
        if (answer == page::Answer::Cancel) return;
        if (answer == page::Answer::Yes) {
            if (!SaveCsv()) return;
            dataState_ = page::DataState::Saved;
        }
    }
    const std::string path = prompter_.ChooseOpenFile(kCsvFilter);
    if (path.empty()) return;
    ReadCsvFile(path);
}

std::optional<CsvRecords> ReadCsvRecords(const std::string& path, page::Prompter& prompter) {
    std::ifstream in = platform::OpenInput(path);
    if (!platform::FileExists(path) || !in) {
        prompter.Inform(FileNotFoundMessage(platform::AbsolutePath(path)));
        return std::nullopt;
    }
    CsvLineReader reader(in);
    if (const auto problem = reader.ReadHeader()) {
        prompter.Inform(*problem);
        return std::nullopt;
    }

    CsvRecords read;
    std::vector<std::string> fields;
    while (read.records.size() < static_cast<std::size_t>(kMaxRecords) && reader.NextRecordFields(fields)) {
        CsvRecord parsed;
        const auto problem = ParseRecordLine(fields, static_cast<int>(read.records.size()) + 1, parsed);
        if (problem) {
            if (prompter.AskYesNo({page::Topic::SkipBadLine, *problem}) == page::Answer::Yes)
                continue;  // skip the line
            break;
        }
        // Only accepted lines decide the unit the file is shown in.
        if (parsed.percent) {
            if (read.fileUnit == kNoUnit) read.fileUnit = kOriginalUnit;
        } else if (read.fileUnit == kNoUnit) {
            read.fileUnit = parsed.unit;
        } else if (read.fileUnit != parsed.unit) {
            read.fileUnit = kOriginalUnit;
        }
        read.records.push_back(parsed.record);
        read.values.push_back(parsed.values);
    }
    return read;
}

bool EntireRead::ReadCsvFile(const std::string& path) {
    const auto read = ReadCsvRecords(path, prompter_);
    if (!read) return false;

    // The file replaces whatever was shown, including a download still running.
    downloading_ = false;
    recordCount_ = 0;
    link::ClearStores(link::kClearMemoryStore);
    ClearTable();
    dataState_ = page::DataState::None;
    for (std::size_t i = 0; i < read->records.size(); ++i) {
        link::memoryStore[recordCount_] = read->records[i];
        recordValues[recordCount_] = read->values[i];
        ++recordCount_;
    }
    const int fileUnit = read->fileUnit;
    // The sidecar never keeps the file from being read: a damaged one gives what it can.
    file_ = path;
    notesProblem_.clear();
    const auto notes = ReadNotes(path, &notesProblem_);
    notes_.clear();
    if (notes)
        for (const auto& [number, note] : notes->notes)
            if (number <= static_cast<int>(recordCount_)) notes_[number] = note;
    if (!notesProblem_.empty()) prompter_.Inform(notesProblem_);

    displayUnit_ = fileUnit;
    // With no line accepted the unit stays undecided; the box then names the records'
    // own units rather than nothing, so a later Unit Change never applies "no unit".
    unitSelection_ = fileUnit == kNoUnit ? kOriginalUnit : fileUnit;
    savedUnit = fileUnit;
    RefillTable(fileUnit);
    dataState_ = page::DataState::Saved;
    SetSaveAndPrint(TableHasRows());
    return true;
}

}  // namespace tessera::entire_read
