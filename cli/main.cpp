// tessera-cli: the headless companion of the program. Every sub-command registers itself
// (cli/*Commands.cpp) with its options (cli/CommandLine.h); main only dispatches, answers
// help and maps unknown words to usage.

#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

#include "TesseraVersion.h"
#include "cli/CommandLine.h"
#include "cli/CommandRegistry.h"
#include "cli/ExitCodes.h"
#include "link/Link.h"

namespace {

using tessera::cli::Command;
using tessera::cli::CommandLine;

void PrintUsage(std::ostream& out) {
    auto commands = tessera::cli::Commands();
    std::sort(commands.begin(), commands.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    out << "Usage: tessera-cli COMMAND [ARGUMENTS]\n"
           "       tessera-cli --version\n"
           "The QM8620 companion without its window: the same link, pages and texts.\n"
           "The meter is found through the transport library that ships with this program.\n\n"
           "Commands:\n";
    for (const auto& c : commands) out << "  " << c.usage << "\n";
    out << "  help [COMMAND]\n\n"
           "\"tessera-cli COMMAND --help\" explains one command. Exit status: 0 success, 1 the meter\n"
           "reported a failure, 2 wrong usage, 3 transport library missing, 4 no meter (connection\n"
           "failed), 5 not a QM8620, 6 meter busy, 7 no sensor attached; page commands may use others (see their\n"
           "help).\n";
}

const Command* Find(const std::string& name) {
    for (const auto& c : tessera::cli::Commands())
        if (c.name == name) return &c;
    return nullptr;
}

int UnknownCommand(const std::string& name) {
    std::cerr << "tessera-cli: unknown command \"" << name << "\" (see tessera-cli help)\n";
    return tessera::cli::kUsageError;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        PrintUsage(std::cerr);
        return tessera::cli::kUsageError;
    }
    const std::string name = args[0];
    if (name == "--version") {
        std::cout << "tessera-cli " TESSERA_VERSION "\n";
        return 0;
    }
    if (name == "help" || name == "--help" || name == "-h") {
        if (args.size() > 1) {
            const Command* c = Find(args[1]);
            if (!c) return UnknownCommand(args[1]);
            CommandLine line(*c);
            c->declare(line);
            std::cout << line.Help();
            return 0;
        }
        PrintUsage(std::cout);
        return 0;
    }
    const Command* command = Find(name);
    if (!command) return UnknownCommand(name);
    args.erase(args.begin());

    CommandLine line(*command);
    const tessera::cli::CommandRun run = command->declare(line);
    int rc = 0;
    if (line.Parse(args, rc) == CommandLine::Parsed::Done) return rc;
    rc = run();
    // A command that reached the meter leaves it as the program does when it ends: out of
    // application mode ("APP 0").
    tessera::link::Link& link = tessera::link::TheLink();
    if (link.SessionOpen()) link.CloseSession();
    return rc;
}
