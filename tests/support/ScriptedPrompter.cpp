#include "tests/support/ScriptedPrompter.h"

namespace tessera::testing {

namespace {

template <typename T>
bool TakeFront(std::deque<T>& queue, T& out) {
    if (queue.empty()) return false;
    out = std::move(queue.front());
    queue.pop_front();
    return true;
}

}  // namespace

page::Answer ScriptedPrompter::AskYesNo(const page::Question& question) {
    events.push_back({Event::YesNo, question.text, question.topic, question.file});
    page::Answer a = page::Answer::No;
    TakeFront(answers, a);
    // A Yes/No box has no Cancel; a scripted Cancel reads as its escape answer, No.
    return a == page::Answer::Cancel ? page::Answer::No : a;
}

page::Answer ScriptedPrompter::AskYesNoCancel(const page::Question& question) {
    events.push_back({Event::YesNoCancel, question.text, question.topic, question.file});
    page::Answer a = page::Answer::Cancel;
    TakeFront(answers, a);
    return a;
}

void ScriptedPrompter::Inform(const std::string& message) { events.push_back({Event::Info, message}); }

std::string ScriptedPrompter::ChooseOpenFile(const page::FileFilter& filter) {
    events.push_back({Event::OpenFile, filter.description});
    std::string f;
    TakeFront(files, f);
    return f;
}

std::string ScriptedPrompter::ChooseSaveFile(const page::FileFilter& filter) {
    events.push_back({Event::SaveFile, filter.description});
    std::string f;
    TakeFront(files, f);
    return f;
}

std::optional<page::PrintChoice> ScriptedPrompter::ChoosePrinter(const page::PrintRequest& request) {
    events.push_back({Event::Printer, request.documentName});
    page::PrintChoice choice;
    if (!TakeFront(printPdfs, choice.outputFile)) return std::nullopt;
    choice.landscape = request.landscape;
    choice.fromPage = request.fromPage;
    choice.toPage = request.toPage;
    return choice;
}

std::vector<std::string> ScriptedPrompter::Messages() const {
    std::vector<std::string> out;
    for (const auto& e : events)
        if (e.kind == Event::Info) out.push_back(e.text);
    return out;
}

std::vector<std::string> ScriptedPrompter::Questions() const {
    std::vector<std::string> out;
    for (const auto& e : events)
        if (e.kind == Event::YesNo || e.kind == Event::YesNoCancel) out.push_back(e.text);
    return out;
}

}  // namespace tessera::testing
