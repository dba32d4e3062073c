// tessera-cli: the headless companion of the program. The commands (cli/*Commands.cpp) are
// listed in cli/CommandRegistry.cpp; the command line is read by cli/CommandLine.cpp.

#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/CommandRegistry.h"
#include "platform/Files.h"

int main(int argc, char** argv) {
    // File names among the arguments stay UTF-8 on every system (Windows hands argv over in
    // its ANSI code page).
    const std::vector<std::string> args = tessera::platform::ProgramArguments(argc, argv);
    return tessera::cli::Run(tessera::cli::AllCommands(), args);
}
