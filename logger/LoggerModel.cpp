#include "logger/LoggerModel.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "logger/Journal.h"
#include "logger/LoggerCsv.h"
#include "logger/PageLayout.h"

namespace tessera::logger {
namespace {

auto& Store() { return link::LogSampleStore; }

bool DataPresent() { return Store()[0].R > 1e-9; }

// Values beyond this are no measurement of the meter (its top range over-ranges far below);
// a file line holding one is treated like a line without data.
constexpr double kLargestReadable = 1e9;

bool Readable(double v) { return std::isfinite(v) && v > -kLargestReadable && v < kLargestReadable; }

// "LOG 1" / "LOG 0", repeated while the meter is busy; the answer is not examined.
void SetLogging(link::MeterPort& meter, bool on) {
    meter.Command(on ? "LOG 1" : "LOG 0", link::MeterPort::Repeat::WhileBusy);
}

}  // namespace

LoggerModel::LoggerModel(link::MeterPort& meter, page::Prompter& prompter, platform::Clock& clock)
    : meter_(meter), prompter_(prompter), clock_(clock), area_(DefaultLayout().plot) {
    link::ClearStores(link::kClearLogStore);
    controls_.stop = false;
    controls_.csvSave = false;
    controls_.print = false;
    controls_.scrollEnabled = false;
    RebuildCombo();
}

const settings::MeterSettings& LoggerModel::RecordInForce() const {
    switch (dataState_) {
        case 1: return snapshot_;
        case 2: return fileRecord_;
        default: return meter_.CurrentSettings();
    }
}

bool LoggerModel::RecordKnown() const { return dataState_ != 0 || settings::MeterKnown(meter_.CurrentSettings()); }

bool LoggerModel::HasData() const { return DataPresent(); }

char LoggerModel::SlowForMethods() const {
    const auto& current = meter_.CurrentSettings();
    if (settings::MeterKnown(current)) return current.slow;
    if (dataState_ == 1) return snapshot_.slow;
    if (dataState_ == 2) return fileRecord_.slow;
    return 0;
}

void LoggerModel::RebuildCombo() {
    const auto& current = meter_.CurrentSettings();
    char slow = 0;
    if (settings::MeterKnown(current)) slow = current.slow;
    else if (dataState_ == 2) slow = fileRecord_.slow;
    else if (dataState_ == 1) slow = snapshot_.slow;
    // Without any slow code the list still reads as a list of time bases.
    comboSlow_ = slow == '1' ? '1' : '0';
    controls_.comboItems.clear();
    for (int i = 0; i < kPeriods; ++i) controls_.comboItems.push_back(PeriodItemText(comboSlow_, i));
}

void LoggerModel::FitMethods(char slow) {
    if (!PeriodSelectable(slow, periodIndex_)) periodIndex_ = 2;
    const bool allow = PeriodAllowsFolding(slow, periodIndex_);
    controls_.fixedEnabled = true;
    controls_.averageEnabled = allow;
    controls_.maximumEnabled = allow;
    if (!allow) samplingMethod_ = kFixedInterval;
}

void LoggerModel::Refresh() {
    meter_.RefreshSettings();  // a failure leaves the current settings empty; nothing to say
    const auto& current = meter_.CurrentSettings();
    if (!running_) {
        RebuildCombo();
        FitMethods(comboSlow_);
        if (dataState_ == 0) scale_ = Scale::AtStart(current.unit, current.range);
    }
    const bool sensorKnown = static_cast<unsigned char>(current.sensor) >= '0';
    controls_.start = sensorKnown && !running_;
    controls_.focus = controls_.start ? Controls::kFocusStart : Controls::kFocusFileRead;
    if (running_) controls_.focus = Controls::kFocusStop;
    RefreshReadout();
    RequestFull();
}

bool LoggerModel::AskSaveFirst() {
    switch (prompter_.AskYesNoCancel({page::Topic::SaveShownData, kQuestionSave})) {
        case page::Answer::Yes: return SaveCsv();
        case page::Answer::Cancel: return false;
        case page::Answer::No: DiscardData(); return true;
    }
    return false;
}

void LoggerModel::DiscardData() {
    if (journal_) journal_->Discard();
    link::ClearStores(link::kClearLogStore);
    sampleCount_ = 0;
    samplesPerDivision_ = 0;
    dataState_ = 0;
    // Without data the graph shows the meter's own range again, not the discarded run's.
    const auto& current = meter_.CurrentSettings();
    scale_ = Scale::AtStart(current.unit, current.range);
    scrollDivision_ = 0;
    divisionCount_ = 0;
    visibleDivsFilled_ = 0;
    divSampleCount_ = 0;
    readout_.clear();
    controls_.csvSave = false;
    controls_.print = false;
    controls_.scrollEnabled = false;
    controls_.scrollMax = 0;
    RequestFull();
}

bool LoggerModel::Start() {
    if (running_) return false;
    if (meter_.RefreshSettings() != link::kStatusOk) {
        prompter_.Inform(kMsgConnectionFailed);
        return false;
    }
    const settings::MeterSettings current = meter_.CurrentSettings();
    if (current.sensor == '0') {
        prompter_.Inform(kMsgNoSensor);
        return false;
    }
    SetLogging(meter_, true);
    if (dataState_ == 1) {
        const auto answer = prompter_.AskYesNoCancel({page::Topic::SaveShownData, kQuestionSave});
        // The meter was already told to log; tell it again that nothing comes of it.
        if (answer == page::Answer::Cancel || (answer == page::Answer::Yes && !SaveCsv())) {
            SetLogging(meter_, false);
            return false;
        }
    }

    // Whatever was shown is given up now; the new run's journal begins with its first sample.
    if (journal_) journal_->Discard();
    continuing_ = false;

    // A period or method that this meter's slow response cannot serve falls back the way
    // the page's own selection rules would have moved it.
    if (!PeriodSelectable(current.slow, periodIndex_)) periodIndex_ = 2;
    if (!PeriodAllowsFolding(current.slow, periodIndex_)) samplingMethod_ = kFixedInterval;

    dataPeriodIndex_ = periodIndex_;
    dataMethod_ = samplingMethod_;
    readout_.clear();
    scale_ = Scale::AtStart(current.unit, current.range);
    divSampleCount_ = visibleDivsFilled_ = divisionCount_ = scrollDivision_ = 0;
    sampleCount_ = halfPollCounter_ = foldCount_ = 0;
    schedule_ = MakeSchedule(current.slow, periodIndex_);
    samplesPerDivision_ = schedule_.samplesPerDivision;

    running_ = true;
    meter_.SetHeldByLogger(true);
    controls_.traces = controls_.fixedEnabled = controls_.averageEnabled = controls_.maximumEnabled = false;
    controls_.combo = controls_.start = controls_.fileRead = controls_.csvSave = controls_.print = false;
    controls_.stop = true;
    controls_.focus = Controls::kFocusStop;

    snapshot_ = current;
    dataState_ = 1;
    link::ClearStores(link::kClearLogStore);
    controls_.scrollEnabled = false;
    controls_.scrollMax = 0;
    started_ = false;
    startTick_ = 0;
    pollCount_ = 0;
    RequestFull();
    return true;
}

std::uint32_t LoggerModel::MillisUntilNextPoll(std::uint32_t nowMs) const {
    if (!running_) return 1000;
    if (!started_) return 0;
    const std::uint32_t dueAt = startTick_ + pollCount_ * static_cast<std::uint32_t>(schedule_.pollPeriodMs);
    const auto ahead = static_cast<std::int32_t>(dueAt - nowMs);
    return ahead > 0 ? static_cast<std::uint32_t>(ahead) : 0;
}

void LoggerModel::Tick(std::uint32_t nowMs) {
    if (!running_) return;
    if (!started_) {
        started_ = true;
        startTick_ = nowMs;
    }
    const std::uint32_t due = (nowMs - startTick_) / static_cast<std::uint32_t>(schedule_.pollPeriodMs);
    if (pollCount_ > due) return;

    settings::MeterSettings reading;
    if (pollCount_ != due && pollCount_ != 0) {
        reading = lastReading_;  // behind schedule: this slot repeats the latest reading
    } else {
        const link::Status status = meter_.Identify(reading);
        lastReading_ = reading;
        if (status != link::kStatusOk) {
            Stop();
            prompter_.Inform(kMsgConnectionFailed);
            RequestFull();
            return;
        }
    }
    ++pollCount_;
    if (pollCount_ == 1) startTime_ = StartTime::From(clock_.Now());

    if (reading.sensor == '0') {
        Stop();
        prompter_.Inform(kMsgSensorRemoved);
        RequestFull();
        return;
    }

    const double x = reading.value1, y = reading.value2, z = reading.value3;
    if (x < 1e-10 && y < 1e-10 && z < 1e-10) return;
    const double R = Resultant(x, y, z);
    auto& store = Store();

    if (sampleCount_ == 0 && !continuing_) {
        store[0] = {0, x, y, z, R};
        FollowRange(reading.range);
        RecordInJournal(0);
        divisionCount_ = 1;
        divSampleCount_ = 0;
        requests_.newSegments.push_back(0);
        sampleCount_ = 1;
        RefreshReadout();
        return;
    }

    FollowRange(reading.range);
    halfPollCounter_ += 2;
    const int perSample = schedule_.halfPollsPerSample;
    bool complete = false;
    if (perSample <= 1) {
        complete = true;
        halfPollCounter_ = 0;
    } else if (halfPollCounter_ == perSample) {
        complete = true;
        halfPollCounter_ = 0;
    } else if (halfPollCounter_ - perSample == 1) {
        complete = true;
        halfPollCounter_ = 1;
    }

    link::LogSample& slot = store[sampleCount_];
    if (samplingMethod_ == kFixedInterval) {
        if (complete) slot = {sampleCount_, x, y, z, R};
    } else {
        const int n = ++foldCount_;
        if (samplingMethod_ == kAverage) {
            auto fold = [n](double old, double now) {
                return RoundFour(std::sqrt((old * old * (n - 1) + now * now) / n), true);
            };
            slot.R = fold(slot.R, R);
            slot.x = fold(slot.x, x);
            slot.y = fold(slot.y, y);
            slot.z = fold(slot.z, z);
        } else {
            slot.R = std::max(slot.R, R);
            slot.x = std::max(slot.x, x);
            slot.y = std::max(slot.y, y);
            slot.z = std::max(slot.z, z);
        }
        if (complete) {
            slot.index = sampleCount_;
            foldCount_ = 0;
        }
    }
    if (complete) {
        if (continuing_ && sampleCount_ == 0) BeginNextPart();
        else SampleCompleted(sampleCount_);
        RecordInJournal(sampleCount_);
        ++sampleCount_;
    }
    RefreshReadout();

    if (storeFull_) {
        if (sampleCount_ >= link::kLogSlots) HandOverFullStore();
    } else if (sampleCount_ >= kSampleLimit) {
        Stop();
        prompter_.Inform(kMsgOverLimit);
        RequestFull();
    }
}

void LoggerModel::FollowRange(int rangeCode) {
    while (scale_.scaleIndex < rangeCode % 10 && scale_.scaleIndex < 3) {
        scale_.StepUp();
        RequestFull();
    }
}

void LoggerModel::SampleCompleted(int slot) {
    ++divSampleCount_;
    const bool inView = divisionCount_ - scrollDivision_ <= 12;
    if (inView) requests_.newSegments.push_back(slot);
    if (divSampleCount_ < samplesPerDivision_) return;
    if (inView) {
        if (visibleDivsFilled_ >= 11) {
            controls_.scrollEnabled = true;
            controls_.scrollMax = divisionCount_ - 11;
            ++scrollDivision_;
            RequestFull();
        } else {
            ++visibleDivsFilled_;
        }
    } else {
        controls_.scrollMax = divisionCount_ - 11;  // the user looks back; the thumb stays
    }
    divSampleCount_ = 0;
    ++divisionCount_;
}

void LoggerModel::Stop() {
    if (!running_) return;
    running_ = false;
    SetLogging(meter_, false);
    if (journal_) journal_->Sync();

    auto& store = Store();
    controls_.traces = controls_.combo = controls_.start = controls_.fileRead = true;
    controls_.stop = false;

    // An average or maximum whose period had begun but not ended is no sample. A period
    // that has just completed leaves its successor's slot empty, and the trim below takes
    // that empty slot away, so the completed sample stays.
    if (samplingMethod_ != kFixedInterval && foldCount_ > 0) store[sampleCount_] = {};
    foldCount_ = 0;
    while (sampleCount_ > 0 && store[sampleCount_].R < 1e-9) {
        store[sampleCount_] = {};
        --sampleCount_;
    }
    if (sampleCount_ == 0 && store[0].R < 1e-9) {
        dataState_ = 0;
        samplesPerDivision_ = 0;
        readout_.clear();
    } else {
        dataState_ = 1;
    }
    controls_.csvSave = controls_.print = DataPresent();

    snapshot_.range = static_cast<std::uint8_t>((snapshot_.range >= 10 ? 10 : 0) + scale_.scaleIndex);
    dataPeriodIndex_ = periodIndex_;
    dataMethod_ = samplingMethod_;
    meter_.SetHeldByLogger(false);

    const char slow = SlowForMethods();
    controls_.fixedEnabled = true;
    controls_.averageEnabled = controls_.maximumEnabled = PeriodAllowsFolding(slow, periodIndex_);
    controls_.focus = Controls::kFocusStart;
    RefreshReadout();
    RequestFull();
}

void LoggerModel::SelectMethod(int method) {
    if (running_ || method == samplingMethod_ || method < 0 || method > 2) return;
    if (dataState_ == 1 && !AskSaveFirst()) return;  // the view puts the checks back
    if (method == kFixedInterval || PeriodAllowsFolding(SlowForMethods(), periodIndex_)) {
        samplingMethod_ = method;
    } else {
        samplingMethod_ = kFixedInterval;
    }
    RequestFull();
}

void LoggerModel::SelectPeriod(int index) {
    if (running_ || index < 0 || index >= kPeriods) return;
    if (!PeriodSelectable(comboSlow_, index)) return;  // the previous selection stays
    if (dataState_ == 1 && index != dataPeriodIndex_ && !AskSaveFirst()) return;
    periodIndex_ = index;
    FitMethods(SlowForMethods() ? SlowForMethods() : comboSlow_);
    RefreshReadout();
    RequestFull();
}

void LoggerModel::ToggleTrace(int trace) {
    if (trace < 0 || trace > 3) return;
    show_[trace] = !show_[trace];
    RequestFull();
}

bool LoggerModel::SaveCsv() {
    if (running_) return false;
    if (dataState_ == 0) {
        prompter_.Inform(kMsgNoDataToSave);
        return false;
    }
    const settings::MeterSettings record = dataState_ == 1 ? snapshot_ : fileRecord_;
    std::string name = prompter_.ChooseSaveFile({kCsvFilterText, kCsvFilterPattern});
    if (name.empty()) return false;
    name = page::WithExtension(std::move(name), page::kCsvExtension);

    std::error_code ec;
    if (std::filesystem::exists(name, ec)) {
        const auto first = FirstLine(name);
        if (first && first->find(page::kEntireReadBannerKey) != std::string::npos) {
            prompter_.Inform(kMsgEntireReadFileOnSave);
            return false;
        }
        if (prompter_.AskYesNo({page::Topic::Overwrite, kQuestionOverwrite}) != page::Answer::Yes) return false;
    }

    const LogHeader header{record, startTime_, dataPeriodIndex_, dataMethod_};
    const int last = DataPresent() ? sampleCount_ : -1;
    if (!WriteLogFile(name, header, Store().data(), last)) {
        // The caller must not take the data for saved: it may be about to discard them.
        prompter_.Inform(page::FileNotWrittenMessage(name));
        return false;
    }
    if (dataState_ == 1) fileRecord_ = snapshot_;
    dataState_ = 2;
    if (journal_) journal_->Discard();
    return true;
}

void LoggerModel::FileRead() {
    if (running_) return;
    if (dataState_ == 1) {
        const auto answer = prompter_.AskYesNoCancel({page::Topic::SaveShownData, kQuestionSave});
        if (answer == page::Answer::Cancel) return;
        if (answer == page::Answer::Yes && !SaveCsv()) return;
    }
    const std::string path = prompter_.ChooseOpenFile({kCsvFilterText, kCsvFilterPattern});
    if (path.empty()) return;
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        prompter_.Inform(page::FileNotFoundMessage(path));
        return;
    }
    ReadFile(path);
}

bool LoggerModel::ReadFile(const std::string& path) {
    if (running_) return false;
    readout_.clear();
    RequestFull();
    // A file that is not taken leaves the data shown, and the readout goes on reading them.
    auto refused = [this] {
        RefreshReadout();
        return false;
    };
    std::ifstream in(path, std::ios::binary);
    if (!in) return refused();

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
        return refused();
    }
    const ParsedHeader& h = std::get<ParsedHeader>(parsed);
    const auto choice = ChoosePeriod(h);
    if (const auto* message = std::get_if<std::string>(&choice)) {
        prompter_.Inform(*message);
        return refused();
    }
    const PeriodChoice& period = std::get<PeriodChoice>(choice);

    fileRecord_ = {};
    fileRecord_.mode = h.record.mode;
    fileRecord_.unit = h.record.unit;
    fileRecord_.range = h.record.range;
    fileRecord_.output = h.record.output;
    fileRecord_.slow = h.record.slow;
    startTime_ = h.start;
    dataState_ = 2;
    if (journal_) journal_->Discard();  // the shown data were given up for the file's
    link::ClearStores(link::kClearLogStore);
    sampleCount_ = 0;
    dataPeriodIndex_ = periodIndex_ = period.periodIndex;
    dataMethod_ = samplingMethod_ = h.method;
    controls_.fixedEnabled = true;
    controls_.averageEnabled = controls_.maximumEnabled = !period.fixedOnly;

    auto& store = Store();
    std::string line;
    int lineNumber = 0;
    while (sampleCount_ < link::kLogSlots && std::getline(in, line)) {
        ++lineNumber;
        const auto values = ParseDataLine(TrimLine(line));
        if (!values) continue;
        const auto [x, y, z, R] = *values;
        (void)R;  // the resultant is always recomputed from the components
        const bool readable = Readable(x) && Readable(y) && Readable(z);
        if (readable && (x >= 1e-10 || y >= 1e-10 || z >= 1e-10)) {
            store[sampleCount_] = {sampleCount_, x, y, z, Resultant(x, y, z)};
            ++sampleCount_;
        } else if (prompter_.AskYesNo({page::Topic::SkipBadLine, DataErrorQuestion(lineNumber)}) != page::Answer::Yes) {
            break;
        }
    }
    if (sampleCount_ > 0) --sampleCount_;
    while (sampleCount_ > 0 && store[sampleCount_].R < 1e-9) {
        store[sampleCount_] = {};
        --sampleCount_;
    }

    RebuildCombo();
    // Lines below 1e-10 were never read, so only an empty store holds no valid data: a
    // single faint sample (R between 1e-10 and 1e-9) is still data.
    if (sampleCount_ == 0 && store[0].R < 1e-10) {
        fileRecord_ = {};
        DiscardData();
        prompter_.Inform(kMsgNoValidData);
        return false;
    }

    scale_ = Scale::AtStart(h.record.unit, h.record.range % 10);
    samplesPerDivision_ = period.samplesPerDivision;
    scrollDivision_ = 0;
    divisionCount_ = std::max(1, (sampleCount_ + samplesPerDivision_ - 1) / samplesPerDivision_);
    divSampleCount_ = sampleCount_ % samplesPerDivision_;
    if (divisionCount_ < 13) {
        visibleDivsFilled_ = sampleCount_ / samplesPerDivision_ - (sampleCount_ % samplesPerDivision_ == 0 ? 1 : 0);
        visibleDivsFilled_ = std::max(visibleDivsFilled_, 0);
        controls_.scrollEnabled = false;
        controls_.scrollMax = 0;
    } else {
        scrollDivision_ = divisionCount_ - 12;
        visibleDivsFilled_ = 11;
        controls_.scrollEnabled = true;
        controls_.scrollMax = scrollDivision_;
    }
    controls_.csvSave = controls_.print = true;
    RefreshReadout();
    return true;
}

bool LoggerModel::PrintAllowed() {
    if (dataState_ == 0) {
        prompter_.Inform(kMsgNothingToPrint);
        return false;
    }
    return true;
}

void LoggerModel::ScrollLeft() {
    if (scrollDivision_ <= 0) return;
    --scrollDivision_;
    RefreshReadout();
    RequestFull();
}

void LoggerModel::ScrollRight() {
    if (divisionCount_ - scrollDivision_ < 13) return;
    ++scrollDivision_;
    RefreshReadout();
    RequestFull();
}

void LoggerModel::ScrollTo(int division) {
    const int target = std::clamp(division, 0, std::max(0, controls_.scrollMax));
    if (target == scrollDivision_) return;
    scrollDivision_ = target;
    RefreshReadout();
    RequestFull();
}

void LoggerModel::SetPlotArea(const PlotArea& area) {
    area_ = area;
    RequestFull();
}

void LoggerModel::SetCursorToLocal(int local) {
    cursorX_ = LocalSampleX(area_, samplesPerDivision_, local);
}

void LoggerModel::PlaceCursor(int x, int y) {
    if (!area_.Contains(x, y)) return;
    if (samplesPerDivision_ > 0) {
        const auto local = SnapToSample(area_, samplesPerDivision_, x);
        if (local) SetCursorToLocal(*local);
    } else {
        cursorX_ = std::clamp(x, area_.left + 1, area_.right - 2);
    }
    RefreshReadout();
    requests_.cursor = true;
}

void LoggerModel::MoveCursor(int step) {
    if (step == 0) return;
    const int L = samplesPerDivision_;
    if (L <= 0) {
        if (!RecordKnown()) return;
        cursorX_ = std::clamp(CursorX() + (step < 0 ? -1 : 1), area_.left + 1, area_.right - 2);
    } else {
        int local = LocalSampleAt(area_, L, CursorX());
        if (step < 0) {
            if (local > 0) {
                --local;
            } else if (scrollDivision_ > 0) {
                --scrollDivision_;
                local = L - 1;
                RequestFull();
            }
        } else {
            if (local < 12 * L) {
                ++local;
            } else if (divisionCount_ - scrollDivision_ >= 13) {
                ++scrollDivision_;
                local = 11 * L + 1;
                RequestFull();
            }
        }
        SetCursorToLocal(local);
    }
    RefreshReadout();
    requests_.cursor = true;
}

link::LogSample LoggerModel::DisplaySample(int slot) const {
    link::LogSample s = Store()[slot];
    const char unit = RecordInForce().unit;
    s.x = Quantise(s.x, unit, scale_.scaleIndex);
    s.y = Quantise(s.y, unit, scale_.scaleIndex);
    s.z = Quantise(s.z, unit, scale_.scaleIndex);
    s.R = Quantise(s.R, unit, scale_.scaleIndex);
    return s;
}

std::vector<int> LoggerModel::VisibleSegments() const {
    std::vector<int> slots;
    const int L = samplesPerDivision_;
    if (L <= 0) return slots;
    const auto& store = Store();
    for (int d = 0; d <= visibleDivsFilled_ && d < 12; ++d) {
        for (int k = 1; k <= L; ++k) {
            const int a = (scrollDivision_ + d) * L + k;
            if (a > sampleCount_ || a >= link::kLogSlots) return slots;
            if (store[a].index == 0) continue;
            slots.push_back(a);
        }
    }
    return slots;
}

void LoggerModel::RefreshReadout() {
    readout_.clear();
    requests_.cursor = true;
    const int L = samplesPerDivision_;
    if (L <= 0 || !RecordKnown() || !DataPresent()) return;
    const int slot = L * scrollDivision_ + LocalSampleAt(area_, L, CursorX());
    if (slot < 0 || slot >= link::kLogSlots) return;
    const auto& stored = Store()[slot];
    if (slot != 0 && stored.index == 0) return;
    const auto& record = RecordInForce();
    const long long elapsed = static_cast<long long>(slot) * SecondsPerDivision(dataPeriodIndex_) / L;
    readout_ = ReadoutDateTime(AddSeconds(startTime_, elapsed)) +
               ReadoutValues(DisplaySample(slot), record.unit, scale_.scaleIndex, scale_.maxFullScale);
}

void LoggerModel::RecordInJournal(int slot) {
    if (!journal_) return;
    const JournalSample sample{Store()[slot], scale_.scaleIndex};
    if (slot == 0) journal_->Begin({snapshot_, startTime_, dataPeriodIndex_, dataMethod_}, sample);
    else journal_->Append(sample);
}

void LoggerModel::HandOverFullStore() {
    LogHeader header{snapshot_, startTime_, dataPeriodIndex_, dataMethod_};
    header.record.range = static_cast<std::uint8_t>((snapshot_.range >= 10 ? 10 : 0) + scale_.scaleIndex);
    if (!storeFull_(header, sampleCount_ - 1)) {
        --sampleCount_;  // Stop looks at the slot after the last sample; the store has none
        Stop();
        RequestFull();
        return;
    }
    if (journal_) journal_->Discard();  // those samples are kept now
    link::ClearStores(link::kClearLogStore);
    sampleCount_ = 0;
    divSampleCount_ = visibleDivsFilled_ = divisionCount_ = scrollDivision_ = 0;
    controls_.scrollEnabled = false;
    controls_.scrollMax = 0;
    continuing_ = true;
    RequestFull();
}

void LoggerModel::BeginNextPart() {
    // Slot 0 of a new part starts its divisions as a run's first sample does, and its time
    // is the start time of the part.
    startTime_ = StartTime::From(clock_.Now());
    divisionCount_ = 1;
    divSampleCount_ = 0;
    requests_.newSegments.push_back(0);
}

DrawRequests LoggerModel::TakeDrawRequests() {
    DrawRequests taken = std::move(requests_);
    requests_ = {};
    return taken;
}

}  // namespace tessera::logger
