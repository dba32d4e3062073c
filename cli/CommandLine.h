#pragma once
// The one option parser of tessera-cli (CLI11). A command declares its options and arguments
// here once; parsing, the command's help and the messages about wrong words all come from
// that declaration. Values are taken as written: each command checks and converts them with
// its page's own messages.

#include <memory>
#include <string>
#include <vector>

#include "cli/CommandRegistry.h"

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace tessera::cli {

class CommandLine {
public:
    explicit CommandLine(const Command& command);
    ~CommandLine();
    CommandLine(const CommandLine&) = delete;
    CommandLine& operator=(const CommandLine&) = delete;

    // An option with a value: `names` "-o,--output", `placeholder` "FILE.CSV" (help),
    // `needs` "a file name" (said when the value is missing), `help` one line of help.
    void Value(const std::string& names, std::string& into, const std::string& placeholder, const std::string& needs,
               const std::string& help);
    // An option that may be given more than once: every value, in order.
    void Values(const std::string& names, std::vector<std::string>& into, const std::string& placeholder,
                const std::string& needs, const std::string& help);
    void Flag(const std::string& names, bool& into, const std::string& help);
    // The words that are not options, in order (any number; the command checks how many).
    void Words(const std::string& placeholder, std::vector<std::string>& into, const std::string& help);

    // Parses the words after the command's name: Run when the command may run; Done when its
    // help was asked for (exitCode 0) or the words were wrong (exitCode 2, the message written).
    enum class Parsed { Run, Done };
    Parsed Parse(const std::vector<std::string>& args, int& exitCode);

    // Whether the option named (any of its names) was on the command line.
    bool Given(const std::string& name) const;

    // The command's help: its usage, its notes and its options.
    std::string Help() const;

private:
    struct Need {
        const CLI::Option* option;
        std::string shortest;  // the name a message uses: "-o"
        std::string needs;
    };

    const Command& command_;
    std::unique_ptr<CLI::App> app_;
    std::vector<Need> needs_;
};

// "tessera-cli: WHY" (when there is a why), the usage and the notes on stderr; answers the exit
// code of a usage error.
int UsageError(const Command& command, const std::string& why);
// The same for the command named `name`.
int UsageError(const std::string& name, const std::string& why);

}  // namespace tessera::cli
