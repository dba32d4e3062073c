#pragma once
// The tests' Prompter: answers from queues and records every question, message and dialog,
// so a test can assert the exact texts a page shows. An empty queue answers No, Cancel, no
// file and no printer: the careful answer, which never overwrites or discards anything.

#include <deque>
#include <string>
#include <vector>

#include "page/Prompter.h"

namespace tessera::testing {

class ScriptedPrompter final : public page::Prompter {
public:
    struct Event {
        enum Kind { YesNo, YesNoCancel, Info, OpenFile, SaveFile, Printer } kind;
        std::string text;                                // question or message; filter description for file dialogs
        page::Topic topic = page::Topic::SaveShownData;  // questions only
        std::string file = {};                           // the file a question names
    };

    page::Answer AskYesNo(const page::Question& question) override;
    page::Answer AskYesNoCancel(const page::Question& question) override;
    void Inform(const std::string& message) override;
    std::string ChooseOpenFile(const page::FileFilter& filter) override;
    std::string ChooseSaveFile(const page::FileFilter& filter) override;
    // Answers the next of printPdfs: the request as it came, printed into that PDF file.
    std::optional<page::PrintChoice> ChoosePrinter(const page::PrintRequest& request) override;

    std::deque<page::Answer> answers;  // for both kinds of question
    std::deque<std::string> files;     // for both file dialogs
    std::deque<std::string> printPdfs;
    std::vector<Event> events;

    // Texts shown by Inform, in order.
    std::vector<std::string> Messages() const;
    // Texts asked as questions, in order.
    std::vector<std::string> Questions() const;
};

}  // namespace tessera::testing
