// tessera-cli: the headless companion of the program. Every sub-command registers itself
// (cli/*Commands.cpp); main only dispatches, answers help and maps unknown words to usage.

#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

#include "cli/CommandRegistry.h"
#include "link/Link.h"

namespace {

void PrintUsage(std::ostream& out) {
    auto commands = tessera::cli::Commands();
    std::sort(commands.begin(), commands.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    out << "Usage: tessera-cli COMMAND [ARGUMENTS]\n"
           "The QM8620 companion without its window: the same link, pages and texts.\n"
           "The meter is found through the transport library beside this program.\n\n"
           "Commands:\n";
    for (const auto& c : commands) out << "  " << c.usage << "\n";
    out << "  help [COMMAND]\n\n"
           "\"tessera-cli COMMAND --help\" explains one command. Exit status: 0 success, 1 the meter\n"
           "reported a failure, 2 wrong usage, 3 transport library missing, 4 no meter (connection\n"
           "failed), 5 not a QM8620, 6 meter busy, 7 no sensor attached; page commands may use others (see their\n"
           "help).\n";
}

const tessera::cli::Command* Find(const std::string& name) {
    for (const auto& c : tessera::cli::Commands())
        if (c.name == name) return &c;
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        PrintUsage(std::cerr);
        return 2;
    }
    const std::string name = args[0];
    if (name == "help" || name == "--help" || name == "-h") {
        if (args.size() > 1) {
            if (const auto* c = Find(args[1])) {
                std::cout << "Usage: tessera-cli " << c->usage << "\n";
                return 0;
            }
            std::cerr << "tessera-cli: unknown command \"" << args[1] << "\" (see tessera-cli help)\n";
            return 2;
        }
        PrintUsage(std::cout);
        return 0;
    }
    const auto* command = Find(name);
    if (!command) {
        std::cerr << "tessera-cli: unknown command \"" << name << "\" (see tessera-cli help)\n";
        return 2;
    }
    args.erase(args.begin());
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
        std::cout << "Usage: tessera-cli " << command->usage << "\n";
        return 0;
    }
    const int rc = command->run(args);
    // A command that reached the meter leaves it as the program does when it ends: out of
    // application mode ("APP 0").
    tessera::link::Link& link = tessera::link::TheLink();
    if (link.SessionOpen()) link.CloseSession();
    return rc;
}
