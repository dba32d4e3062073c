// tessera-cli: the headless companion of the program. The commands (cli/*Commands.cpp) are
// listed in cli/CommandRegistry.cpp; the command line is read by cli/CommandLine.cpp.

#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/CommandRegistry.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    return tessera::cli::Run(tessera::cli::AllCommands(), args);
}
