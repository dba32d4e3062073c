#include "logger/LogFiles.h"

#include <cmath>
#include <vector>

#include "logger/Journal.h"
#include "page/Texts.h"
#include "platform/FileReplace.h"
#include "platform/Files.h"

namespace tessera::logger {

namespace {

auto& Store() { return link::LogSampleStore; }

// Values beyond this are no measurement of the meter (its top range over-ranges far below);
// a file line holding one is treated like a line without data.
constexpr double kLargestReadable = 1e9;

bool Readable(double v) { return std::isfinite(v) && v > -kLargestReadable && v < kLargestReadable; }

const page::FileFilter kFilter{kCsvFilterText, kCsvFilterPattern};

}  // namespace

LogFiles::LogFiles(page::Prompter& prompter, LogData& data) : prompter_(prompter), data_(data) {}

bool LogFiles::Save() {
    if (data_.state == DataState::None) {
        prompter_.Inform(page::kNothingToSave);
        return false;
    }
    const settings::MeterSettings record = data_.state == DataState::Unsaved ? data_.snapshot : data_.fileRecord;
    std::string name = prompter_.ChooseSaveFile(kFilter);
    if (name.empty()) return false;
    name = page::WithExtension(std::move(name), page::kCsvExtension);

    const platform::SaveTarget target = platform::ResolveSaveTarget(name);
    if (!target.refusal.empty()) {
        prompter_.Inform(page::FileNotWrittenMessage(name, target.refusal));
        return false;
    }
    if (target.exists) {
        const auto first = FirstLine(target.path);
        if (first && first->find(page::kEntireReadBannerKey) != std::string::npos) {
            prompter_.Inform(kMsgEntireReadFileOnSave);
            return false;
        }
        if (prompter_.AskYesNo({page::Topic::Overwrite, page::kOverwriteFileQuestion, target.path}) !=
            page::Answer::Yes)
            return false;
    }

    const LogHeader header{record, data_.start, data_.periodIndex, data_.method};
    const int last = StoreHoldsData() ? data_.sampleCount : -1;
    const bool unsaved = data_.state == DataState::Unsaved;
    std::string sidecarProblem;
    if (!SaveJournalledRun(unsaved ? data_.journal : nullptr, target.path, header, Store().data(), last, data_.marks,
                           &sidecarProblem)) {
        // The caller must not take the data for saved: it may be about to discard them. What
        // outlives the program is said as it is: a journal that broke off on the same full
        // disk keeps only part of the run (it is tried once more first).
        std::string message = sidecarProblem.empty() ? page::FileNotWrittenMessage(name) : sidecarProblem;
        if (unsaved && data_.journal) {
            data_.journal->CatchUp();
            message += "\n" + KeptSamplesText(data_.journal->SamplesKept(), last + 1);
        }
        prompter_.Inform(message);
        return false;
    }
    MarkSaved();
    return true;
}

void LogFiles::MarkSaved() {
    if (data_.state == DataState::Unsaved) data_.fileRecord = data_.snapshot;
    data_.state = DataState::Saved;
    if (data_.journal) data_.journal->Discard();
}

std::string LogFiles::ChooseFileToRead() {
    const std::string path = prompter_.ChooseOpenFile(kFilter);
    if (path.empty()) return {};
    if (!platform::FileExists(path)) {
        prompter_.Inform(page::FileNotFoundMessage(path));
        return {};
    }
    return path;
}

std::optional<LogFiles::Read> LogFiles::ReadFile(const std::string& path) {
    std::ifstream in = platform::OpenInput(path);
    if (!in) return std::nullopt;

    auto nextLine = [&in](std::string& line) -> bool {
        if (!std::getline(in, line)) return false;
        if (line.size() > 999) line.resize(999);
        return true;
    };
    std::vector<std::string> header;
    for (int i = 0; i < 11; ++i) {
        std::string line;
        if (!nextLine(line)) break;
        header.push_back(TrimLine(line));
    }
    const auto parsed = ParseHeader(header);
    if (const auto* message = std::get_if<std::string>(&parsed)) {
        prompter_.Inform(*message);
        return std::nullopt;
    }
    const ParsedHeader& h = std::get<ParsedHeader>(parsed);
    const auto choice = ChoosePeriod(h);
    if (const auto* message = std::get_if<std::string>(&choice)) {
        prompter_.Inform(*message);
        return std::nullopt;
    }
    const Read read{std::get<PeriodChoice>(choice), h.method, h.record.unit, h.record.range};

    data_.fileRecord = {};
    data_.fileRecord.mode = h.record.mode;
    data_.fileRecord.unit = h.record.unit;
    data_.fileRecord.range = h.record.range;
    data_.fileRecord.output = h.record.output;
    data_.fileRecord.slow = h.record.slow;
    data_.start = h.start;
    data_.state = DataState::Saved;
    // What the sidecar keeps of the run; a damaged one gives what it can, a missing one nothing.
    const auto marks = ReadMarksFile(path);
    data_.marks = marks ? marks->marks : RunMarks{};
    if (data_.journal) data_.journal->Discard();  // the shown data were given up for the file's
    link::ClearStores(link::kClearLogStore);
    data_.periodIndex = read.period.periodIndex;
    data_.method = read.method;

    auto& store = Store();
    int& count = data_.sampleCount;
    count = 0;
    std::string line;
    int lineNumber = 0;
    while (count < link::kLogSlots && std::getline(in, line)) {
        ++lineNumber;
        const auto values = ParseDataLine(TrimLine(line));
        if (!values) continue;
        const auto [x, y, z, R] = *values;
        (void)R;  // the resultant is always recomputed from the components
        const bool readable = Readable(x) && Readable(y) && Readable(z);
        if (readable && (x >= 1e-10 || y >= 1e-10 || z >= 1e-10)) {
            store[count] = {count, x, y, z, Resultant(x, y, z)};
            ++count;
        } else if (prompter_.AskYesNo({page::Topic::SkipBadLine, DataErrorQuestion(lineNumber)}) != page::Answer::Yes) {
            break;
        }
    }
    if (count > 0) --count;
    while (count > 0 && store[count].R < 1e-9) {
        store[count] = {};
        --count;
    }
    return read;
}

}  // namespace tessera::logger
