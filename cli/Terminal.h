#pragma once
// The Prompter of tessera-cli: questions are asked on the terminal ("[y/N]" on stderr) unless
// --yes answered them, file dialogs are answered by the command line, and messages are kept
// until the command knows whether they report a failure (stderr) or not (stdout).

#include <iosfwd>
#include <string>
#include <vector>

#include "page/Prompter.h"

namespace tessera::cli {

// Asks `question` on the terminal; `assumeYes` answers Yes without asking. Only "y" or "yes"
// is Yes: an empty line or the end of input is No, so a script without --yes never
// overwrites or erases anything.
page::Answer AskOnTerminal(const std::string& question, bool assumeYes);

class TerminalPrompter : public page::Prompter {
public:
    bool assumeYes = false;
    std::string openPath;  // the answer of the open-file dialog
    std::string savePath;  // the answer of the save-file dialog
    std::vector<std::string> messages;

    page::Answer AskYesNo(const page::Question& q) override { return AskOnTerminal(Text(q), assumeYes); }
    page::Answer AskYesNoCancel(const page::Question& q) override { return AskOnTerminal(Text(q), assumeYes); }
    void Inform(const std::string& message) override { messages.push_back(message); }
    std::string ChooseOpenFile(const page::FileFilter&) override { return openPath; }
    std::string ChooseSaveFile(const page::FileFilter&) override { return savePath; }
    // The print commands write PDF files of their own; no printer is ever chosen here.
    std::optional<page::PrintChoice> ChoosePrinter(const page::PrintRequest&) override { return std::nullopt; }

    // Writes the kept messages to `out`, one a line, and forgets them.
    void Flush(std::ostream& out);

    // A question as the terminal asks it: "FILE": and the text, when it names a file.
    static std::string Text(const page::Question& q);
};

// "The file "PATH" could not be written." (and the reason, when given) on stderr; answers
// kFailed.
int FileNotWritten(const std::string& path, const std::string& reason = {});

}  // namespace tessera::cli
