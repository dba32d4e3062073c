#pragma once
// The one option parser of tessera-cli (CLI11). Every command is a CLI11 subcommand that
// declares its options and arguments here once; parsing, the command's help and the
// messages about wrong words all come from that declaration and from CLI11's kinds of
// error, never from the wording of its messages. Values are taken as written: each command
// checks and converts them with its page's own messages.

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
    // The command's declarations go on `app`, its subcommand of the whole command line.
    CommandLine(const Command& command, CLI::App& app);
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
    // Exactly one word that is not an option; the command does not run without it.
    void Word(const std::string& placeholder, std::string& into, const std::string& help);
    // The command does not run without the option named (any of its names).
    void Require(const std::string& name);
    // The two options named may not be given together.
    void Exclude(const std::string& name, const std::string& other);

    // Whether the option named (any of its names) was on the command line.
    bool Given(const std::string& name) const;

    // The command's help: its usage, its notes, its options and its exit statuses.
    std::string Help() const;
    // "tessera-cli: WHY" (when there is a why), the usage and the notes on stderr; answers the
    // exit code of a usage error.
    int UsageError(const std::string& why) const;

    const Command& Declared() const { return command_; }
    CLI::App& App() const { return app_; }

    // What a declared option says about itself in messages.
    struct Declaration {
        const CLI::Option* option;
        std::string shortest;  // the name a message uses: "-o", "IN.CSV"
        std::string needs;     // "a file name": said when its value is missing
        std::string wanted;    // "-o FILE": said when it is missing altogether
    };
    const Declaration* Find(const std::string& name) const;
    const std::vector<Declaration>& Declarations() const { return declarations_; }

private:
    const Command& command_;
    CLI::App& app_;
    std::vector<Declaration> declarations_;
};

// The whole command line: answers help and the version, chooses the meter ("--meter SERIAL"
// before the command), reads the command's words and runs it. Answers the exit code.
int Run(const Registry& registry, std::vector<std::string> args);

}  // namespace tessera::cli
