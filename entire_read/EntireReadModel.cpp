#include "entire_read/EntireReadModel.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

#include "link/Decode.h"
#include "link/Stores.h"
#include "platform/FileReplace.h"
#include "platform/Paths.h"
#include "settings/Vocabulary.h"

namespace tessera::entire_read {

namespace {

// Longer lines are cut here; the rest of such a line is dropped rather than read as a
// line of its own.
constexpr std::size_t kLineLimit = 999;

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

// One line as read: its text without the carriage return, and whether it ended with a
// line feed. The line feed belongs to the last field, as in a file read line by line.
struct RawLine {
    std::string text;
    bool ended = false;
};

bool ReadRawLine(std::istream& in, RawLine& line) {
    std::string s;
    if (!std::getline(in, s)) return false;
    line.ended = !in.eof();
    if (!s.empty() && s.back() == '\r') s.pop_back();
    if (s.size() > kLineLimit) s.resize(kLineLimit);
    line.text = std::move(s);
    return true;
}

std::vector<std::string> SplitFields(const RawLine& line) {
    std::string text = line.text;
    if (line.ended) text += '\n';
    std::vector<std::string> fields(1);
    for (char c : text) {
        if (c == ',') {
            if (fields.size() == 15) break;  // characters after a fifteenth comma are dropped
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    fields.resize(15);
    return fields;
}

double ReadValue(const std::string& text) {
    if (settings::EqualsNoCase(text, kOverloadText)) return kOverloadValue;
    return link::ReadLeadingNumber(text);  // not a number reads as 0; a point whatever the locale
}

// The unit family ('0'..'3') and range index of a RANGE text.
std::optional<std::pair<char, int>> RangeFromText(std::string_view text) {
    for (char unit = '0'; unit <= '3'; ++unit)
        for (int index = 0; index < 4; ++index)
            if (settings::EqualsNoCase(text, RangeFileText(unit, index))) return std::pair{unit, index};
    if (settings::EqualsNoCase(text, "2000% (only for 8620)")) return std::pair{'3', 3};
    return std::nullopt;
}

// The display unit a UNIT text of the file fixes (0 for "%", which names no flux unit).
int FileUnitCode(std::string_view unitText) {
    for (int u = kUnitMicroTesla; u <= kUnitAmperePerMetre; ++u)
        if (settings::EqualsNoCase(unitText, DisplayUnitText(u))) return u;
    return kOriginalUnit;
}

struct ParsedLine {
    link::MemoryRecord record{};
    RecordValues values{};
    int unit = kOriginalUnit;  // display unit the line was written in; 0 for "%"
    bool percent = false;
};

// Validates one data line; on failure answers the field's message for record `number`.
std::optional<std::string> ParseDataLine(const std::vector<std::string>& f, int number, ParsedLine& out) {
    const auto mode = settings::ModeFromText(f[1]);
    if (!mode) return LineMessage("Mode", number);
    out.record.mode = *mode;

    char axis = 0;
    if (settings::EqualsNoCase(f[2], "x")) axis = '0';
    else if (settings::EqualsNoCase(f[2], "y")) axis = '1';
    else if (settings::EqualsNoCase(f[2], "z")) axis = '2';
    else if (settings::EqualsNoCase(f[2], "R")) axis = '3';
    else return LineMessage("Axis", number);
    out.record.axis = axis;

    const bool exposure = settings::IsExposureMode(*mode);
    if (settings::EqualsNoCase(f[3], "%")) {
        if (!exposure) return LineMessage("Unit", number);
        out.percent = true;
        out.unit = kOriginalUnit;
    } else {
        const int unit = FileUnitCode(f[3]);
        if (unit == kOriginalUnit || exposure) return LineMessage("Unit", number);
        out.unit = unit;
    }

    const auto range = RangeFromText(f[4]);
    if (!range) return LineMessage("Range", number);
    out.record.unit = range->first;
    out.record.range = static_cast<std::uint8_t>(range->second);

    for (int i = 5; i <= 8; ++i)
        if (f[i].empty()) return RxyzLineMessage(number);
    const double factor = FileUnitFactor(f[3], range->first).value_or(1.0);
    out.values.x = ReadValue(f[5]) * factor;
    out.values.y = ReadValue(f[6]) * factor;
    out.values.z = ReadValue(f[7]) * factor;
    out.values.R = ReadValue(f[8]) * factor;  // taken from the file, not recomputed
    out.record.value1 = out.values.x;
    out.record.value2 = out.values.y;
    out.record.value3 = out.values.z;

    if (settings::EqualsNoCase(f[9], "OFF")) out.record.output = '0';
    else if (settings::EqualsNoCase(f[9], "MON")) out.record.output = '1';
    else if (settings::EqualsNoCase(f[9], "REC")) out.record.output = '2';
    else return LineMessage("Output", number);

    if (settings::EqualsNoCase(f[10], "OFF")) out.record.slow = '0';
    else if (settings::EqualsNoCase(f[10], "ON")) out.record.slow = '1';
    else return LineMessage("Slow", number);

    if (settings::EqualsNoCase(f[11], "NC")) out.record.sensor = '0';
    else if (settings::EqualsNoCase(f[11], "8621")) out.record.sensor = '1';
    else if (settings::EqualsNoCase(f[11], "8622")) out.record.sensor = '2';
    else return LineMessage("Sensor", number);
    return std::nullopt;
}

}  // namespace

std::string FileNotFoundMessage(const std::string& path) { return page::FileNotFoundMessage(path); }

std::string FileNotWrittenMessage(const std::string& path) {
    return page::FileNotWrittenMessage(path) + " The displayed data have not been saved.";
}

std::string LineMessage(std::string_view field, int number) {
    return "An unidentifiable information about \"" + std::string(field) + "\" in line " + std::to_string(number) + ".";
}

std::string RxyzLineMessage(int number) {
    return "An unidentifiable data Rxyz in line " + std::to_string(number) + ".";
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
    dataState_ = page::DataState::None;
    downloadEnd_ = link::kStatusOk;
    downloading_ = true;
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
        // has; the meter's memory is untouched either way.
        if (status == link::kStatusNoDevice) prompter_.Inform(std::string(kConnectionFailed));
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
    std::string text;
    text.reserve(160 * (recordCount_ + 3));
    for (std::string_view header : {kCsvBanner, kCsvDataLine, kCsvColumns}) {
        text += header;
        text += "\r\n";
    }
    const int unit = displayUnit_ == kNoUnit ? kOriginalUnit : displayUnit_;
    for (unsigned i = 0; i < recordCount_; ++i) {
        const link::MemoryRecord& rec = link::memoryStore[i];
        const FormattedRow row = FormatRow(static_cast<int>(i), rec, recordValues[i], unit);
        if (row.bandComputed) {
            accuracyPlus[i] = row.plus;
            accuracyMinus[i] = row.minus;
        }
        if (rec.unit != '3') savedUnit = unit;
        const RowTexts& t = row.texts;
        // clang-format off
        const std::string fields[] = {
            t.number, t.mode, t.axis, t.unit, RangeFileText(rec.unit, rec.range % 10),
            t.x, t.y, t.z, t.R,
            settings::OutputCsvText(rec.output), settings::SwitchText(rec.slow), settings::SensorCsvText(rec.sensor),
            t.plus, t.minus,
        };
        // clang-format on
        for (std::size_t f = 0; f < std::size(fields); ++f) {
            if (f) text += ',';
            text += fields[f];
        }
        text += "\r\n";
    }
    return text;
}

bool EntireRead::WriteCsvFile(const std::string& path) {
    const int savedBefore = savedUnit;
    if (platform::ReplaceFileContents(path, CsvText())) return true;
    savedUnit = savedBefore;  // nothing was saved in that unit
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
    if (platform::FileExists(path) &&
        prompter_.AskYesNo({page::Topic::Overwrite, std::string(kOverwriteQuestion)}) != page::Answer::Yes)
        return false;
    // Callers discard the shown data on true, so a file that could not be written must
    // never be reported as saved.
    if (!WriteCsvFile(path)) {
        prompter_.Inform(FileNotWrittenMessage(path));
        return false;
    }
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
    std::ifstream in(path, std::ios::binary);
    if (!platform::FileExists(path) || !in) {
        std::error_code ec;
        const auto full = std::filesystem::absolute(path, ec);
        prompter.Inform(FileNotFoundMessage(ec ? path : full.string()));
        return std::nullopt;
    }
    RawLine line;
    const bool got1 = ReadRawLine(in, line);
    if (!got1 || line.text.find(page::kEntireReadBannerKey) == std::string::npos) {
        prompter.Inform(std::string(got1 && line.text.find(page::kLoggerBannerKey) != std::string::npos
                                        ? kLoggerFileMessage
                                        : kUnidentifiableFile));
        return std::nullopt;
    }
    if (!ReadRawLine(in, line) || line.text.find(kCsvDataLine) == std::string::npos) {
        prompter.Inform(std::string(kNoDataLine));
        return std::nullopt;
    }
    if (!ReadRawLine(in, line) || line.text.find(kCsvColumns) == std::string::npos) {
        prompter.Inform(std::string(kNoColumnsLine));
        return std::nullopt;
    }

    CsvRecords read;
    while (read.records.size() < static_cast<std::size_t>(kMaxRecords) && ReadRawLine(in, line)) {
        if (line.text.empty()) continue;  // blank lines carry nothing
        ParsedLine parsed;
        const auto problem = ParseDataLine(SplitFields(line), static_cast<int>(read.records.size()) + 1, parsed);
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
