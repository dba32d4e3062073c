#include "logger/LoggerModel.h"

#include "logger/Journal.h"
#include "logger/PageLayout.h"

namespace tessera::logger {

LoggerModel::LoggerModel(link::MeterPort& meter, page::Prompter& prompter, platform::Clock& clock)
    : meter_(meter), prompter_(prompter), clock_(clock), view_(data_, meter, DefaultLayout().plot),
      run_(meter, clock, data_, view_), files_(prompter, data_) {
    link::ClearStores(link::kClearLogStore);
    controls_.stop = false;
    controls_.csvSave = false;
    controls_.print = false;
    RebuildCombo();
}

Controls LoggerModel::ControlState() const {
    Controls c = controls_;
    c.scrollEnabled = view_.ScrollEnabled();
    c.scrollMax = view_.ScrollMax();
    return c;
}

char LoggerModel::SlowForMethods() const {
    const auto& current = meter_.CurrentSettings();
    if (settings::MeterKnown(current)) return current.slow;
    if (data_.state == DataState::Unsaved) return data_.snapshot.slow;
    if (data_.state == DataState::Saved) return data_.fileRecord.slow;
    return 0;
}

void LoggerModel::RebuildCombo() {
    const auto& current = meter_.CurrentSettings();
    char slow = 0;
    if (settings::MeterKnown(current)) slow = current.slow;
    else if (data_.state == DataState::Saved) slow = data_.fileRecord.slow;
    else if (data_.state == DataState::Unsaved) slow = data_.snapshot.slow;
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
    const bool running = run_.Running();
    if (!running) {
        RebuildCombo();
        FitMethods(comboSlow_);
        if (data_.state == DataState::None) view_.SetScale(Scale::AtStart(current.unit, current.range));
    }
    const bool sensorKnown = static_cast<unsigned char>(current.sensor) >= '0';
    controls_.start = sensorKnown && !running;
    controls_.focus = controls_.start ? Controls::kFocusStart : Controls::kFocusFileRead;
    if (running) controls_.focus = Controls::kFocusStop;
    view_.RefreshReadout();
    view_.RequestFull();
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
    if (data_.journal) data_.journal->Discard();
    data_.marks = {};
    link::ClearStores(link::kClearLogStore);
    data_.sampleCount = 0;
    data_.state = DataState::None;
    // Without data the graph shows the meter's own range again, not the discarded run's.
    const auto& current = meter_.CurrentSettings();
    view_.Empty(Scale::AtStart(current.unit, current.range));
    controls_.csvSave = false;
    controls_.print = false;
}

bool LoggerModel::Start() {
    if (run_.Running()) return false;
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
    if (data_.state == DataState::Unsaved) {
        const auto answer = prompter_.AskYesNoCancel({page::Topic::SaveShownData, kQuestionSave});
        // The meter was already told to log; tell it again that nothing comes of it.
        if (answer == page::Answer::Cancel || (answer == page::Answer::Yes && !SaveCsv())) {
            SetLogging(meter_, false);
            return false;
        }
    }

    // Whatever was shown is given up now; the new run's journal begins with its first sample.
    if (data_.journal) data_.journal->Discard();

    // A period or method that this meter's slow response cannot serve falls back the way
    // the page's own selection rules would have moved it.
    if (!PeriodSelectable(current.slow, periodIndex_)) periodIndex_ = 2;
    if (!PeriodAllowsFolding(current.slow, periodIndex_)) samplingMethod_ = kFixedInterval;

    data_.periodIndex = periodIndex_;
    data_.method = samplingMethod_;
    data_.sampleCount = 0;
    lastRunEnd_ = LogRun::Outcome::GoingOn;
    run_.Begin(current.slow, periodIndex_, samplingMethod_);
    view_.BeginRun(Scale::AtStart(current.unit, current.range), run_.CurrentSchedule().samplesPerDivision);

    meter_.SetHeldByLogger(true);
    controls_.traces = controls_.fixedEnabled = controls_.averageEnabled = controls_.maximumEnabled = false;
    controls_.combo = controls_.start = controls_.fileRead = controls_.csvSave = controls_.print = false;
    controls_.stop = true;
    controls_.focus = Controls::kFocusStop;

    data_.snapshot = current;
    data_.state = DataState::Unsaved;
    data_.marks = {};
    if (current.sensor == '1' || current.sensor == '2') data_.marks.sensor = current.sensor;
    link::ClearStores(link::kClearLogStore);
    return true;
}

bool LoggerModel::Mark(const std::string& text) {
    if (!run_.Running()) return false;
    run_.Mark(text);
    return true;
}

void LoggerModel::Tick(std::uint32_t nowMs) {
    const char* message = nullptr;
    bool repaint = false;
    const LogRun::Outcome outcome = run_.Tick(nowMs);
    switch (outcome) {
        case LogRun::Outcome::GoingOn: return;
        case LogRun::Outcome::ConnectionLost:
            message = kMsgConnectionFailed;
            repaint = true;
            break;
        case LogRun::Outcome::SensorRemoved:
            message = kMsgSensorRemoved;
            repaint = true;
            break;
        case LogRun::Outcome::LimitReached: message = kMsgOverLimit; break;
        case LogRun::Outcome::NotHandedOver: break;  // the survey's handler said why
    }
    Stop();
    lastRunEnd_ = outcome;
    if (message) prompter_.Inform(message);
    // The page repaints after a lost meter or sensor, and a repaint reads the meter's settings
    // again: a meter that is gone leaves them empty, so Start goes grey as Entire Read's Read.
    if (repaint) Refresh();
    else view_.RequestFull();
}

void LoggerModel::Stop() {
    if (!run_.Running()) return;
    run_.End();

    controls_.traces = controls_.combo = controls_.start = controls_.fileRead = true;
    controls_.stop = false;
    if (data_.sampleCount == 0 && link::LogSampleStore[0].R < 1e-9) {
        data_.state = DataState::None;
        view_.NoSamples();
    } else {
        data_.state = DataState::Unsaved;
    }
    controls_.csvSave = controls_.print = StoreHoldsData();

    // The snapshot's range now carries the scale the graph reached (auto ranges keep their mark).
    data_.snapshot.range = run_.Header().record.range;
    data_.periodIndex = periodIndex_;
    data_.method = samplingMethod_;
    meter_.SetHeldByLogger(false);

    const char slow = SlowForMethods();
    controls_.fixedEnabled = true;
    controls_.averageEnabled = controls_.maximumEnabled = PeriodAllowsFolding(slow, periodIndex_);
    controls_.focus = Controls::kFocusStart;
    view_.RefreshReadout();
    view_.RequestFull();
}

void LoggerModel::SelectMethod(int method) {
    if (run_.Running() || method == samplingMethod_ || method < 0 || method > 2) return;
    if (data_.state == DataState::Unsaved && !AskSaveFirst()) return;  // the view puts the checks back
    if (method == kFixedInterval || PeriodAllowsFolding(SlowForMethods(), periodIndex_)) {
        samplingMethod_ = method;
    } else {
        samplingMethod_ = kFixedInterval;
    }
    view_.RequestFull();
}

void LoggerModel::SelectPeriod(int index) {
    if (run_.Running() || index < 0 || index >= kPeriods) return;
    if (!PeriodSelectable(comboSlow_, index)) return;  // the previous selection stays
    if (data_.state == DataState::Unsaved && index != data_.periodIndex && !AskSaveFirst()) return;
    periodIndex_ = index;
    FitMethods(SlowForMethods() ? SlowForMethods() : comboSlow_);
    view_.RefreshReadout();
    view_.RequestFull();
}

bool LoggerModel::SaveCsv() {
    if (run_.Running()) return false;
    return files_.Save();
}

void LoggerModel::FileRead() {
    if (run_.Running()) return;
    if (data_.state == DataState::Unsaved) {
        const auto answer = prompter_.AskYesNoCancel({page::Topic::SaveShownData, kQuestionSave});
        if (answer == page::Answer::Cancel) return;
        if (answer == page::Answer::Yes && !SaveCsv()) return;
    }
    const std::string path = files_.ChooseFileToRead();
    if (!path.empty()) ReadFile(path);
}

bool LoggerModel::ReadFile(const std::string& path) {
    if (run_.Running()) return false;
    view_.ClearReadout();
    view_.RequestFull();
    const auto read = files_.ReadFile(path);
    if (!read) {
        // A file that is not taken leaves the data shown, and the readout goes on reading them.
        view_.RefreshReadout();
        return false;
    }
    periodIndex_ = read->period.periodIndex;
    samplingMethod_ = read->method;
    controls_.fixedEnabled = true;
    controls_.averageEnabled = controls_.maximumEnabled = !read->period.fixedOnly;

    RebuildCombo();
    // Lines below 1e-10 were never read, so only an empty store holds no valid data: a
    // single faint sample (R between 1e-10 and 1e-9) is still data.
    if (data_.sampleCount == 0 && link::LogSampleStore[0].R < 1e-10) {
        data_.fileRecord = {};
        DiscardData();
        prompter_.Inform(kMsgNoValidData);
        return false;
    }

    view_.ShowRead(Scale::AtStart(read->unit, read->rangeCode % 10), read->period.samplesPerDivision);
    controls_.csvSave = controls_.print = true;
    view_.RefreshReadout();
    return true;
}

bool LoggerModel::PrintAllowed() {
    if (data_.state == DataState::None) {
        prompter_.Inform(kMsgNothingToPrint);
        return false;
    }
    return true;
}

}  // namespace tessera::logger
