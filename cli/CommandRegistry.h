#pragma once
// tessera-cli's sub-commands, one source file per page ("read", "convert", "print", "log",
// "plot", "recover", "config") beside the meter's own ("identify", "status", ...) and the
// survey's ("stats", "references"). Each file
// exports one function that adds its commands to a Registry, and AllCommands() calls them
// all from one list: nothing depends on static objects, which a linker leaves out without a
// word once their file moves into a library.

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
    // The exit statuses the command may end with (cli/ExitCodes.h), listed by its help.
    std::vector<int> exits;
};

class Registry {
public:
    void Add(Command command) { commands_.push_back(std::move(command)); }
    const std::vector<Command>& All() const { return commands_; }
    const Command* Find(const std::string& name) const;

private:
    std::vector<Command> commands_;
};

// One per file of commands.
void AddStatusCommands(Registry& registry);
void AddEntireReadCommands(Registry& registry);
void AddLoggerCommands(Registry& registry);
void AddRecoverCommands(Registry& registry);
void AddConfigCommands(Registry& registry);
void AddSurveyCommands(Registry& registry);
void AddReportCommands(Registry& registry);
void AddAnnotateCommands(Registry& registry);
void AddExportCommands(Registry& registry);

// Every command of tessera-cli.
Registry AllCommands();

}  // namespace tessera::cli
