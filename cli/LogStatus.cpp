#include "cli/LogStatus.h"

#include "link/Stores.h"
#include "logger/LoggerTables.h"
#include "logger/Readout.h"

namespace tessera::cli {
namespace {

// The flux-density unit of a logger unit code, after a value.
const char* UnitName(char unit) {
    switch (unit) {
        case '0': return "T";
        case '1': return "G";
        case '2': return "A/m";
        case '3': return "%";
        default: return "";
    }
}

// "02:03:04", "3d 02:03:04".
std::string ElapsedText(long long seconds) {
    std::string text = seconds >= 86400 ? std::to_string(seconds / 86400) + "d " : "";
    seconds %= 86400;
    return text + logger::TwoDigits(static_cast<int>(seconds / 3600)) + ":" +
           logger::TwoDigits(static_cast<int>(seconds / 60 % 60)) + ":" +
           logger::TwoDigits(static_cast<int>(seconds % 60));
}

std::string Counted(long long n, const char* one, const char* many) {
    return std::to_string(n) + (n == 1 ? one : many);
}

}  // namespace

std::string LogStatusText(const LogProgress& p) {
    std::string text;
    if (p.waiting)
        text = "waiting since " + logger::RunStartText(p.waiting->from).substr(11) + " (" +
               logger::GapCauseText(p.waiting->cause) + ")  ";
    text += Counted(p.samples, " sample  ", " samples  ") + ElapsedText(p.seconds);
    if (!p.lastR.empty() && !p.waiting) text += "  R " + p.lastR;
    text += "  part " + std::to_string(p.part);
    if (p.reconnections > 0) text += "  " + Counted(p.reconnections, " reconnection", " reconnections");
    return text;
}

long long SamplesTaken(const logger::LoggerModel& model, const logger::SurveyFiles& survey) {
    // During a run the count is the slot the next sample goes to; after it, the last slot.
    long long n = survey.SamplesSaved();
    if (model.Running()) n += model.SampleCount();
    else if (model.DataState() == page::DataState::Unsaved) n += model.SampleCount() + 1;
    return n;
}

LogStatus::LogStatus(const logger::LoggerModel& model, const logger::SurveyFiles& survey)
    : model_(model), survey_(survey) {}

void LogStatus::Running(int reconnections) {
    progress_.waiting.reset();
    const int count = model_.SampleCount();  // during a run: the slot the next sample goes to
    if (model_.Running() && count > 0) {
        const char unit = model_.Snapshot().unit;
        progress_.lastR =
            logger::FormatDisplay(link::LogSampleStore[count - 1].R, unit, model_.GraphScale().scaleIndex) + " " +
            UnitName(unit);
    }
    Show(reconnections);
}

void LogStatus::Waiting(const logger::JournalGap& gap, int reconnections) {
    progress_.waiting = gap;
    progress_.lastR.clear();  // of the part before; the next part's first sample brings its own
    Show(reconnections);
}

void LogStatus::Show(int reconnections) {
    if (!line_.Active()) return;
    progress_.samples = SamplesTaken(model_, survey_);
    progress_.seconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - began_).count();
    progress_.part = survey_.PartsSaved() + 1;
    progress_.reconnections = reconnections;
    line_.Show(LogStatusText(progress_));
}

}  // namespace tessera::cli
