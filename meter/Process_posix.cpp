#include "meter/Process.h"

#include <signal.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/RegistryRoot.h"
#include "platform/StopRequest.h"

namespace tessera::meter {

std::string RegistryRoot(const std::string& given, std::string& problem) {
    const auto chosen = given.empty() ? platform::registry::ServerRoot()
                                      : platform::registry::Choice{given, platform::registry::EnsureDirectory(given)};
    problem = chosen.problem;
    return chosen.path;
}

long ProcessId() { return static_cast<long>(::getpid()); }

std::string DefaultControlPath(const std::string& root, long pid) {
    return root + "/virtual-qm8620-" + std::to_string(pid) + ".control";
}

void StopOnRequest(volatile sig_atomic_t* flag) {
    platform::StopOnRequest(flag);
    signal(SIGPIPE, SIG_IGN);  // a client that went away is a failed send, not our end
}

const char* PlatformHelp() { return ""; }

}  // namespace tessera::meter
