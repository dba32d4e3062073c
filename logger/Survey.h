#pragma once
// Long surveys: a logging run without a sample limit goes on past the store by saving each
// full store as a logger file of its own, NAME.CSV, NAME-002.CSV, NAME-003.CSV, ..., each a
// complete file the logger page reads; the samples after the last full store go to the
// next name when the run ends.

#include <functional>
#include <string>
#include <vector>

#include "logger/LoggerCsv.h"
#include "logger/LoggerModel.h"
#include "page/Prompter.h"

namespace tessera::logger {

// The file of part `part` (1, 2, ...): part 1 is the chosen name (with ".CSV" appended
// when missing), part 2 "NAME-002.CSV" and so on.
std::string SurveyPartPath(const std::string& chosen, int part);

class SurveyFiles {
public:
    // `replace`: an existing part file is replaced; otherwise the run stops before it.
    SurveyFiles(std::string chosen, bool replace, page::Prompter& prompter);

    // Makes the model hand every full store to this survey.
    void Attach(LoggerModel& model);
    // Saves slots 0..lastSlot of the store as the next part, telling the run's journal (when
    // not null) which file it makes, with the part's sidecar (`marks`: each part has its own,
    // with the marks set while it was taken). False (after saying why) when it could not.
    bool SaveFullStore(const LogHeader& header, int lastSlot, RunJournal* journal = nullptr,
                       const RunMarks& marks = {});
    // A run that stopped before its store was full (its meter or sensor was lost) is kept the
    // same way, as the next part, so that the survey can go on in the part after it; its
    // samples then count as saved. True also when it had no sample (the part's name stays free).
    bool SaveStoppedRun(LoggerModel& model);

    // Where the samples being taken now will go.
    std::string CurrentPath() const { return SurveyPartPath(chosen_, PartsSaved() + 1); }
    int PartsSaved() const { return static_cast<int>(saved_.size()); }
    long long SamplesSaved() const { return samplesSaved_; }
    const std::vector<std::string>& Saved() const { return saved_; }

    // Told of every part saved during the run (its file and number of samples).
    std::function<void(const std::string& path, int samples)> onPartSaved;

private:
    std::string chosen_;
    bool replace_;
    page::Prompter& prompter_;
    std::vector<std::string> saved_;
    long long samplesSaved_ = 0;
};

}  // namespace tessera::logger
