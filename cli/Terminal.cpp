#include "cli/Terminal.h"

#include <iostream>

#include "cli/ExitCodes.h"
#include "page/Texts.h"

namespace tessera::cli {

page::Answer AskOnTerminal(const std::string& question, bool assumeYes) {
    if (assumeYes) return page::Answer::Yes;
    std::cerr << question << " [y/N] " << std::flush;
    std::string line;
    if (!std::getline(std::cin, line)) {
        std::cerr << '\n';  // what follows starts on a line of its own
        return page::Answer::No;
    }
    return (line == "y" || line == "Y" || line == "yes" || line == "Yes") ? page::Answer::Yes : page::Answer::No;
}

void TerminalPrompter::Flush(std::ostream& out) {
    for (const std::string& m : messages) out << m << '\n';
    messages.clear();
}

std::string TerminalPrompter::Text(const page::Question& q) {
    return q.file.empty() ? q.text : "\"" + q.file + "\": " + q.text;
}

int FileNotWritten(const std::string& path, const std::string& reason) {
    std::cerr << page::FileNotWrittenMessage(path, reason) << '\n';
    return kFailed;
}

}  // namespace tessera::cli
