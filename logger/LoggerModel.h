#pragma once
// The Effective Value Logger without widgets: the logging run driven by Tick(now), the
// sample store bookkeeping, scale and scrolling, the cursor and its readout, CSV save and
// read with every question, and the enabling state of the page's controls. The Qt view
// only forwards user actions here and draws what the model says.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "link/MeterPort.h"
#include "link/Status.h"
#include "link/Stores.h"
#include "logger/Geometry.h"
#include "logger/LoggerCsv.h"
#include "logger/LoggerTables.h"
#include "logger/Readout.h"
#include "platform/Clock.h"
#include "page/Prompter.h"
#include "page/Texts.h"
#include "settings/MeterSettings.h"

namespace tessera::logger {

class RunJournal;
struct JournalContents;

// Messages of the page.
inline constexpr const char* kMsgConnectionFailed = link::kMsgConnectionFailed;
inline constexpr const char* kMsgNoSensor = "No sensor is attached.";
inline constexpr const char* kMsgSensorRemoved = "The sensor was removed.";
inline constexpr const char* kMsgOverLimit =
    "The number of data sets is over the limit. \nThis software supports up to 32000 sets of data.";
inline constexpr const char* kQuestionSave = page::kSaveShownDataQuestion;
inline constexpr const char* kMsgNoDataToSave = page::kNothingToSave;
inline constexpr const char* kMsgNothingToPrint = "There is no effective value to print.";
// The printout's document name (the print queue shows it; a PDF carries it as its title).
inline constexpr const char* kPrintDocumentName = "Draw graph";
inline constexpr const char* kQuestionOverwrite = page::kOverwriteFileQuestion;
inline constexpr const char* kMsgEntireReadFileOnSave =
    "The file is a CSV file for \"Entire Read\".\n\nPlease open it in \"Entire Read\" page.";
inline constexpr const char* kMsgNoValidData = "There is no valid data in the file.";

inline constexpr int kSampleLimit = 31999;  // the run stops when this many samples are complete

enum Trace : int { kTraceR = 0, kTraceX = 1, kTraceY = 2, kTraceZ = 3 };

// Enabling and content of the page's controls.
struct Controls {
    bool start = false, stop = false, fileRead = true, csvSave = false, print = false;
    bool combo = true, traces = true;
    bool fixedEnabled = true, averageEnabled = true, maximumEnabled = true;
    bool scrollEnabled = false;
    int scrollMax = 0;
    std::vector<std::string> comboItems;
    enum Focus { kFocusStart, kFocusStop, kFocusFileRead } focus = kFocusStart;
};

// What the view has to draw after a model call.
struct DrawRequests {
    bool full = false;               // frame, grid, labels and all traces
    std::vector<int> newSegments;    // segments ending at these samples
    bool cursor = false;             // the cursor line or readout moved
};

class LoggerModel {
public:
    LoggerModel(link::MeterPort& meter, page::Prompter& prompter, platform::Clock& clock);
    LoggerModel(const LoggerModel&) = delete;
    LoggerModel& operator=(const LoggerModel&) = delete;

    // --- page actions ---
    void Refresh();                 // the page is painted or shown again
    bool Start();                   // true when a run began
    void Stop();
    void Tick(std::uint32_t nowMs);
    void Tick() { Tick(clock_.Millis()); }
    // How long the view may sleep before the next poll is due (0: tick now).
    std::uint32_t MillisUntilNextPoll(std::uint32_t nowMs) const;
    void SelectMethod(int method);
    void SelectPeriod(int periodIndex);
    void ToggleTrace(int trace);
    bool SaveCsv();                 // true when a file was written
    void FileRead();                // with the questions and the open dialog
    bool ReadFile(const std::string& path);  // the file part of File Read
    bool PrintAllowed();            // says so when there is nothing to print
    void ScrollLeft();
    void ScrollRight();
    void ScrollTo(int division);
    void PlaceCursor(int x, int y);
    void MoveCursor(int step);
    void SetPlotArea(const PlotArea& area);

    // --- state ---
    bool Running() const { return running_; }
    int DataState() const { return dataState_; }
    void SetDataState(int state) { dataState_ = state; }
    int SamplingMethod() const { return samplingMethod_; }
    int PeriodIndex() const { return periodIndex_; }
    int DataPeriodIndex() const { return dataPeriodIndex_; }
    int DataMethod() const { return dataMethod_; }
    // The period whose labels are shown: the data's, or the combo's without data.
    int PeriodInForce() const { return dataState_ != 0 ? dataPeriodIndex_ : periodIndex_; }
    int SampleCount() const { return sampleCount_; }
    std::uint32_t PollCount() const { return pollCount_; }
    const Schedule& CurrentSchedule() const { return schedule_; }
    const StartTime& StartTimeOfData() const { return startTime_; }
    const settings::MeterSettings& Snapshot() const { return snapshot_; }
    const settings::MeterSettings& FileRecord() const { return fileRecord_; }
    // The settings the shown data belong to (current, snapshot or file record).
    const settings::MeterSettings& RecordInForce() const;
    bool RecordKnown() const;       // a meter record or data exists: labels are drawn
    bool HasData() const;           // slot 0 holds R > 1e-9
    const Scale& GraphScale() const { return scale_; }
    const PlotArea& Area() const { return area_; }
    Window View() const { return {samplesPerDivision_, scrollDivision_}; }
    int SamplesPerDivision() const { return samplesPerDivision_; }
    int ScrollDivision() const { return scrollDivision_; }
    int DivisionCount() const { return divisionCount_; }
    int VisibleDivisionsFilled() const { return visibleDivsFilled_; }
    int CursorX() const { return cursorX_ != 0 ? cursorX_ : area_.left + 1; }
    bool CursorPlaced() const { return cursorX_ != 0; }
    bool TraceShown(int trace) const { return show_[trace]; }
    const std::string& ReadoutText() const { return readout_; }
    const Controls& ControlState() const { return controls_; }
    char ComboSlowCode() const { return comboSlow_; }
    // The sample at a slot with the resolution of the scale in force.
    link::LogSample DisplaySample(int slot) const;
    // Slots whose segment the whole-trace redraw draws, in order.
    std::vector<int> VisibleSegments() const;
    // The last slot any drawing may read: the next slot during a run, the last valid after.
    int LastDrawableSlot() const { return sampleCount_; }

    DrawRequests TakeDrawRequests();

    // Start time from a test or a file (also what the CSV writer writes).
    void SetStartTime(const StartTime& t) { startTime_ = t; }

    // --- crash safety and long surveys (logger/Journal.h, logger/Survey.h) ---
    // Every sample of a run goes to this journal as it is taken (null: none); the journal
    // goes when the data are saved or discarded.
    void SetJournal(RunJournal* journal) { journal_ = journal; }
    // Shows a recovered run as unsaved data, exactly as it stood when it had just been
    // logged and stopped (logger/Recovery.cpp). False when it holds no data.
    bool ShowRecoveredRun(const JournalContents& run);
    // Long surveys: with a handler, a full store does not end the run. The handler keeps
    // slots 0..lastSlot under `header` and answers true; the run then goes on into an
    // empty store with the same schedule. False stops the run (the handler said why).
    using StoreFullHandler = std::function<bool(const LogHeader& header, int lastSlot)>;
    void SetStoreFullHandler(StoreFullHandler handler) { storeFull_ = std::move(handler); }

private:
    void RecordInJournal(int slot);
    void HandOverFullStore();
    void BeginNextPart();

    void DiscardData();
    bool AskSaveFirst();            // the save question; false when the action must stop
    void FollowRange(int rangeCode);
    void SampleCompleted(int slot);
    void RefreshReadout();
    void RebuildCombo();
    void FitMethods(char slow);
    char SlowForMethods() const;
    void SetCursorToLocal(int local);
    void RequestFull() { requests_.full = true; }

    link::MeterPort& meter_;
    page::Prompter& prompter_;
    platform::Clock& clock_;

    int samplingMethod_ = kFixedInterval;
    int dataState_ = 0;
    int periodIndex_ = 2;
    int dataPeriodIndex_ = 2;
    int dataMethod_ = kFixedInterval;
    settings::MeterSettings snapshot_{};
    settings::MeterSettings fileRecord_{};
    settings::MeterSettings lastReading_{};
    StartTime startTime_{};

    bool running_ = false;
    bool started_ = false;  // startTick_ holds the first tick's clock
    std::uint32_t startTick_ = 0;
    std::uint32_t pollCount_ = 0;
    Schedule schedule_{};
    int halfPollCounter_ = 0;
    int foldCount_ = 0;     // polls folded into the unfinished average/maximum sample
    int sampleCount_ = 0;

    PlotArea area_;
    Scale scale_;
    int samplesPerDivision_ = 0;
    int divSampleCount_ = 0;
    int visibleDivsFilled_ = 0;
    int divisionCount_ = 0;
    int scrollDivision_ = 0;
    int cursorX_ = 0;
    bool show_[4] = {true, true, true, true};
    char comboSlow_ = '0';

    std::string readout_;
    Controls controls_;
    DrawRequests requests_;

    RunJournal* journal_ = nullptr;
    StoreFullHandler storeFull_;
    bool continuing_ = false;  // a survey goes on after handing over a full store
};

}  // namespace tessera::logger
