#pragma once
// tessera-cli's sub-commands register themselves here, one source file per page
// ("read", "convert", "print", "log", "plot", "recover", "config") beside the meter's own
// ("identify", "status", ...), so main() only dispatches.

#include <functional>
#include <string>
#include <vector>

namespace tessera::cli {

class CommandLine;

// What runs once the command's words are parsed; answers the process exit code.
using CommandRun = std::function<int()>;

struct Command {
    std::string name;
    std::string usage;  // one line, shown by "tessera-cli help" and in the command's help
    std::string notes;  // more lines of help, also shown after a usage error (may be empty)
    // Declares the command's options and arguments, and answers what runs with them.
    std::function<CommandRun(CommandLine& line)> declare;
};

std::vector<Command>& Commands();

struct RegisterCommand {
    RegisterCommand(std::string name, std::string usage, std::function<CommandRun(CommandLine&)> declare,
                    std::string notes = {}) {
        Commands().push_back({std::move(name), std::move(usage), std::move(notes), std::move(declare)});
    }
};

}  // namespace tessera::cli
