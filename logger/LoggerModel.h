#pragma once
// The Effective Value Logger without widgets, the one face the page's view and tessera-cli
// use. It keeps what the page shows (LogData) and the state of its controls, and hands the
// work to its three parts: the logging run (LogRun), the graph's viewport with scrolling,
// cursor and readout (GraphView), and the CSV workflow (LogFiles). The Qt view only forwards
// user actions here and draws what the model says.

#include <cstdint>
#include <string>
#include <vector>

#include "link/MeterPort.h"
#include "link/Status.h"
#include "link/Stores.h"
#include "logger/Geometry.h"
#include "logger/GraphView.h"
#include "logger/LogData.h"
#include "logger/LogFiles.h"
#include "logger/LogRun.h"
#include "logger/LoggerCsv.h"
#include "logger/LoggerTables.h"
#include "logger/Readout.h"
#include "page/Prompter.h"
#include "page/Texts.h"
#include "platform/Clock.h"
#include "settings/MeterSettings.h"

namespace tessera::logger {

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
inline constexpr const char* kMsgNoValidData = "There is no valid data in the file.";

enum Trace : int { kTraceR = 0, kTraceX = 1, kTraceY = 2, kTraceZ = 3 };

// Enabling and content of the page's controls.
struct Controls {
    bool start = false, stop = false, fileRead = true, csvSave = false, print = false;
    bool combo = true, traces = true;
    bool fixedEnabled = true, averageEnabled = true, maximumEnabled = true;
    bool scrollEnabled = false;  // the graph's scroll bar (from the viewport)
    int scrollMax = 0;
    std::vector<std::string> comboItems;
    enum Focus { kFocusStart, kFocusStop, kFocusFileRead } focus = kFocusStart;
};

class LoggerModel {
public:
    LoggerModel(link::MeterPort& meter, page::Prompter& prompter, platform::Clock& clock);
    LoggerModel(const LoggerModel&) = delete;
    LoggerModel& operator=(const LoggerModel&) = delete;

    // --- page actions ---
    void Refresh();  // the page is painted or shown again
    bool Start();    // true when a run began
    void Stop();
    void Tick(std::uint32_t nowMs);
    void Tick() { Tick(clock_.Millis()); }
    // How long the view may sleep before the next poll is due (0: tick now).
    std::uint32_t MillisUntilNextPoll(std::uint32_t nowMs) const { return run_.MillisUntilNextPoll(nowMs); }
    void SelectMethod(int method);
    void SelectPeriod(int periodIndex);
    void ToggleTrace(int trace) { view_.ToggleTrace(trace); }
    bool SaveCsv();                          // true when a file was written
    void FileRead();                         // with the questions and the open dialog
    bool ReadFile(const std::string& path);  // the file part of File Read
    bool PrintAllowed();                     // says so when there is nothing to print
    void ScrollLeft() { view_.ScrollLeft(); }
    void ScrollRight() { view_.ScrollRight(); }
    void ScrollTo(int division) { view_.ScrollTo(division); }
    void PlaceCursor(int x, int y) { view_.PlaceCursor(x, y); }
    void MoveCursor(int step) { view_.MoveCursor(step); }
    void SetPlotArea(const PlotArea& area) { view_.SetPlotArea(area); }

    // --- state ---
    bool Running() const { return run_.Running(); }
    page::DataState DataState() const { return data_.state; }
    void SetDataState(page::DataState state) { data_.state = state; }
    int SamplingMethod() const { return samplingMethod_; }
    int PeriodIndex() const { return periodIndex_; }
    int DataPeriodIndex() const { return data_.periodIndex; }
    int DataMethod() const { return data_.method; }
    // The period whose labels are shown: the data's, or the combo's without data.
    int PeriodInForce() const { return data_.state != DataState::None ? data_.periodIndex : periodIndex_; }
    int SampleCount() const { return data_.sampleCount; }
    std::uint64_t PollCount() const { return run_.PollCount(); }
    const Schedule& CurrentSchedule() const { return run_.CurrentSchedule(); }
    const StartTime& StartTimeOfData() const { return data_.start; }
    const settings::MeterSettings& Snapshot() const { return data_.snapshot; }
    const settings::MeterSettings& FileRecord() const { return data_.fileRecord; }
    // The settings the shown data belong to (current, snapshot or file record).
    const settings::MeterSettings& RecordInForce() const { return data_.RecordInForce(meter_.CurrentSettings()); }
    bool RecordKnown() const { return data_.RecordKnown(meter_.CurrentSettings()); }  // labels are drawn
    bool HasData() const { return StoreHoldsData(); }                                 // slot 0 holds R > 1e-9
    const Scale& GraphScale() const { return view_.GraphScale(); }
    const PlotArea& Area() const { return view_.Area(); }
    Window View() const { return view_.View(); }
    int SamplesPerDivision() const { return view_.SamplesPerDivision(); }
    int ScrollDivision() const { return view_.ScrollDivision(); }
    int DivisionCount() const { return view_.DivisionCount(); }
    int VisibleDivisionsFilled() const { return view_.VisibleDivisionsFilled(); }
    int CursorX() const { return view_.CursorX(); }
    bool CursorPlaced() const { return view_.CursorPlaced(); }
    bool TraceShown(int trace) const { return view_.TraceShown(trace); }
    const std::string& ReadoutText() const { return view_.ReadoutText(); }
    Controls ControlState() const;
    char ComboSlowCode() const { return comboSlow_; }
    // The sample at a slot with the resolution of the scale in force.
    link::LogSample DisplaySample(int slot) const { return view_.DisplaySample(slot); }
    // Slots whose segment the whole-trace redraw draws, in order.
    std::vector<int> VisibleSegments() const { return view_.VisibleSegments(); }
    // The last slot any drawing may read: the next slot during a run, the last valid after.
    int LastDrawableSlot() const { return data_.sampleCount; }

    DrawRequests TakeDrawRequests() { return view_.TakeDrawRequests(); }

    // Start time from a test or a file (also what the CSV writer writes).
    void SetStartTime(const StartTime& t) { data_.start = t; }

    // --- crash safety and long surveys (logger/Journal.h, logger/Survey.h) ---
    // Every sample of a run goes to this journal as it is taken (null: none); the journal
    // goes when the data are saved or discarded.
    void SetJournal(RunJournal* journal) { data_.journal = journal; }
    RunJournal* Journal() const { return data_.journal; }
    // Shows a recovered run as unsaved data, exactly as it stood when it had just been
    // logged and stopped (logger/Recovery.cpp). False when it holds no data.
    bool ShowRecoveredRun(const JournalContents& run);
    // Marks: during a run, a short text at the sample being taken (journalled with the run);
    // false when no run is going on. The marks of the shown data, with their clock's offset
    // from UTC and the sensor, go beside the logger file as its sidecar (logger/RunMarks.h).
    bool Mark(const std::string& text);
    const RunMarks& Marks() const { return data_.marks; }
    // Long surveys: with a handler, a full store does not end the run (LogRun.h).
    void SetStoreFullHandler(LogRun::StoreFullHandler handler) { run_.SetStoreFullHandler(std::move(handler)); }
    // Why the last run ended by itself (a lost meter or sensor, the limit, a part not kept);
    // GoingOn while it runs, and when Stop ended it.
    LogRun::Outcome LastRunEnd() const { return lastRunEnd_; }
    // The stopped run's samples were written as a part of a long survey: they count as saved
    // (the next Start asks nothing), and their journal goes.
    void MarkSaved() { files_.MarkSaved(); }

private:
    void DiscardData();
    bool AskSaveFirst();  // the save question; false when the action must stop
    void RebuildCombo();
    void FitMethods(char slow);
    char SlowForMethods() const;

    link::MeterPort& meter_;
    page::Prompter& prompter_;
    platform::Clock& clock_;

    LogData data_;
    GraphView view_;
    LogRun run_;
    LogFiles files_;

    // The selection of the period box and the method buttons (the data's own are in data_).
    int samplingMethod_ = kFixedInterval;
    int periodIndex_ = 2;
    char comboSlow_ = '0';
    Controls controls_;
    LogRun::Outcome lastRunEnd_ = LogRun::Outcome::GoingOn;
};

}  // namespace tessera::logger
