#include "logger/Recovery.h"

#include "link/Stores.h"

namespace tessera::logger {

std::string RecoveryQuestion(const JournalContents& run) {
    const int samples = LastValidSlot(run) + 1;
    const std::string skipped = SkippedLinesText(run);
    return "A logging run from " + RunStartText(run.header.start) + " (" + std::to_string(samples) +
           (samples == 1 ? " sample" : " samples") + ") was not saved." + (skipped.empty() ? "" : " " + skipped) +
           "\n\nWould you like to recover it?\nIf you click \"No\", the samples will be discarded.\nIf you click "
           "\"Cancel\", you will be asked again at the next start.";
}

bool OfferRecovery(LoggerModel& model, RunJournal& journal, page::Prompter& prompter, const std::string& directory) {
    // Only an empty page takes a recovered run: nothing shown may be replaced unasked.
    if (model.Running() || model.DataState() == DataState::Unsaved) return false;
    auto scan = ClaimUnfinishedRuns(directory);
    if (!scan.problem.empty()) prompter.Inform("Logging runs are not kept safe from a crash: " + scan.problem + ".");
    for (const auto& kept : scan.setAside) prompter.Inform(SetAsideMessage(kept));
    for (auto& run : scan.runs) {
        switch (prompter.AskYesNoCancel({page::Topic::RecoverRun, RecoveryQuestion(run.contents)})) {
            case page::Answer::Yes:
                if (model.ShowRecoveredRun(run.contents)) {
                    journal.Adopt(std::move(run.file), LastValidSlot(run.contents) + 1);
                    return true;
                }
                break;
            case page::Answer::No: run.file.Remove(); break;
            case page::Answer::Cancel: return false;  // this run and those after it wait for the next start
        }
    }
    return false;
}

// A member of the page model, kept here beside the rest of the recovery.
bool LoggerModel::ShowRecoveredRun(const JournalContents& run) {
    const int last = LastValidSlot(run);
    const Schedule schedule = MakeSchedule(run.header.settings.slow, run.header.periodIndex);
    if (run_.Running() || last < 0 || schedule.samplesPerDivision <= 0) return false;
    if (data_.journal) data_.journal->Discard();

    const LogHeader header = RecoveredLogHeader(run);
    link::ClearStores(link::kClearLogStore);
    auto& store = link::LogSampleStore;
    for (int i = 0; i <= last; ++i) store[i] = run.samples[i].sample;

    data_.snapshot = header.record;
    data_.start = header.start;
    data_.marks = RecoveredMarks(run);
    data_.periodIndex = periodIndex_ = header.periodIndex;
    data_.method = samplingMethod_ = header.method;
    data_.state = DataState::Unsaved;
    run_.Recovered(schedule);

    // The graph's scale and divisions as the run left them: the scale it stepped up to and
    // the divisions its samples filled, the newest twelve in view.
    Scale scale = Scale::AtStart(run.header.settings.unit, run.header.settings.range);
    while (scale.scaleIndex < run.samples[last].scaleIndex && scale.scaleIndex < 3) scale.StepUp();
    view_.ShowRecovered(scale, schedule.samplesPerDivision, last);
    data_.sampleCount = last;

    controls_.traces = controls_.combo = controls_.fileRead = true;
    controls_.stop = false;
    controls_.csvSave = controls_.print = HasData();
    controls_.fixedEnabled = true;
    controls_.averageEnabled = controls_.maximumEnabled = PeriodAllowsFolding(SlowForMethods(), periodIndex_);
    controls_.focus = Controls::kFocusStart;
    RebuildCombo();
    view_.RefreshReadout();
    view_.RequestFull();
    return true;
}

}  // namespace tessera::logger
