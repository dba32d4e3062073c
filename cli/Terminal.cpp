#include "cli/Terminal.h"

#include <iostream>

#include "cli/ExitCodes.h"

namespace tessera::cli {

ui::Answer AskOnTerminal(const std::string& question, bool assumeYes) {
    if (assumeYes) return ui::Answer::Yes;
    std::cerr << question << " [y/N] " << std::flush;
    std::string line;
    if (!std::getline(std::cin, line)) {
        std::cerr << '\n';  // what follows starts on a line of its own
        return ui::Answer::No;
    }
    return (line == "y" || line == "Y" || line == "yes" || line == "Yes") ? ui::Answer::Yes : ui::Answer::No;
}

void TerminalPrompter::Flush(std::ostream& out) {
    for (const std::string& m : messages) out << m << '\n';
    messages.clear();
}

int FileNotWritten(const std::string& path) {
    std::cerr << "The file \"" << path << "\" could not be written.\n";
    return kFailed;
}

}  // namespace tessera::cli
