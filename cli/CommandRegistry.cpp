#include "cli/CommandRegistry.h"

namespace tessera::cli {

const Command* Registry::Find(const std::string& name) const {
    for (const Command& c : commands_)
        if (c.name == name) return &c;
    return nullptr;
}

Registry AllCommands() {
    Registry registry;
    AddStatusCommands(registry);
    AddEntireReadCommands(registry);
    AddLoggerCommands(registry);
    AddRecoverCommands(registry);
    AddConfigCommands(registry);
    AddSurveyCommands(registry);
    AddReportCommands(registry);
    AddAnnotateCommands(registry);
    AddExportCommands(registry);
    return registry;
}

}  // namespace tessera::cli
