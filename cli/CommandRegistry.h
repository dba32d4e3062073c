#pragma once
// tessera-cli's sub-commands register themselves here, one source file per page
// ("read", "convert", "print", "log", "plot", "config"), so main() only dispatches.

#include <functional>
#include <string>
#include <vector>

namespace tessera::cli {

// argv holds the words after the sub-command's name. Answers the process exit code.
using CommandFn = std::function<int(const std::vector<std::string>& args)>;

struct Command {
    std::string name;
    std::string usage;  // one line, shown by "tessera-cli help"
    CommandFn run;
};

std::vector<Command>& Commands();

struct RegisterCommand {
    RegisterCommand(std::string name, std::string usage, CommandFn run) {
        Commands().push_back({std::move(name), std::move(usage), std::move(run)});
    }
};

}  // namespace tessera::cli
