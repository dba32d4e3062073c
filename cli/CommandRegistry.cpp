#include "cli/CommandRegistry.h"

namespace tessera::cli {

std::vector<Command>& Commands() {
    // Function-local so the page files' static registrations may run in any order.
    static std::vector<Command> commands;
    return commands;
}

}  // namespace tessera::cli
