#include "logger/Survey.h"

#include <cstdio>

#include "link/Stores.h"
#include "logger/Journal.h"
#include "page/Texts.h"
#include "platform/FileReplace.h"

namespace tessera::logger {

std::string SurveyPartPath(const std::string& chosen, int part) {
    std::string name = page::WithExtension(chosen, page::kCsvExtension);
    if (part <= 1) return name;
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, "-%03d", part);
    name.insert(name.rfind(".CSV"), suffix);
    return name;
}

SurveyFiles::SurveyFiles(std::string chosen, bool replace, page::Prompter& prompter)
    : chosen_(std::move(chosen)), replace_(replace), prompter_(prompter) {}

void SurveyFiles::Attach(LoggerModel& model) {
    model.SetStoreFullHandler([this, &model](const LogHeader& header, int lastSlot) {
        return SaveFullStore(header, lastSlot, model.Journal(), model.Marks());
    });
}

bool SurveyFiles::SaveStoppedRun(LoggerModel& model) {
    if (model.Running()) return false;
    if (model.DataState() != DataState::Unsaved) return true;
    const LogHeader header{model.Snapshot(), model.StartTimeOfData(), model.DataPeriodIndex(), model.DataMethod()};
    if (!SaveFullStore(header, model.SampleCount(), model.Journal(), model.Marks())) return false;
    model.MarkSaved();
    return true;
}

bool SurveyFiles::SaveFullStore(const LogHeader& header, int lastSlot, RunJournal* journal, const RunMarks& marks) {
    const std::string path = CurrentPath();
    // The same care as the page's CSV Save, without a question in the middle of a run:
    // the run stops and the samples stay in the store (and the journal) for the final save.
    const platform::SaveTarget target = platform::ResolveSaveTarget(path);
    if (!target.refusal.empty()) {
        prompter_.Inform(page::FileNotWrittenMessage(path, target.refusal));
        return false;
    }
    if (target.exists) {
        const auto first = FirstLine(target.path);
        if (first && first->find(page::kEntireReadBannerKey) != std::string::npos) {
            prompter_.Inform(kMsgEntireReadFileOnSave);
            return false;
        }
        if (!replace_) {
            prompter_.Inform("The file \"" + path + "\" already exists, so the logging run stops here.");
            return false;
        }
    }
    std::string sidecarProblem;
    if (!SaveJournalledRun(journal, target.path, header, link::LogSampleStore.data(), lastSlot, marks,
                           &sidecarProblem)) {
        prompter_.Inform(sidecarProblem.empty() ? page::FileNotWrittenMessage(path) : sidecarProblem);
        return false;
    }
    saved_.push_back(path);
    samplesSaved_ += lastSlot + 1;
    if (onPartSaved) onPartSaved(path, lastSlot + 1);
    return true;
}

}  // namespace tessera::logger
