#include "meter/Process.h"

#include <signal.h>
#include <unistd.h>

#include <cstdlib>

namespace tessera::meter {

namespace {
volatile sig_atomic_t* gFlag = nullptr;
void OnSignal(int) {
    if (gFlag) *gFlag = 1;
}
}  // namespace

std::string DefaultRegistryRoot() {
    for (const char* name : {"TESSERA_DEVICE_ROOT", "TESSERA_RUNTIME_DIR"}) {
        if (const char* v = std::getenv(name); v && *v) return v;
    }
    if (const char* xdg = std::getenv("XDG_RUNTIME_DIR"); xdg && *xdg) return std::string(xdg) + "/tessera";
    return "/tmp/tessera-" + std::to_string(static_cast<unsigned long>(::getuid()));
}

long ProcessId() { return static_cast<long>(::getpid()); }

std::string DefaultControlPath(const std::string& root, long pid) {
    return root + "/virtual-qm8620-" + std::to_string(pid) + ".control";
}

void StopOnRequest(volatile sig_atomic_t* flag) {
    gFlag = flag;
    struct sigaction sa{};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

const char* PlatformHelp() { return ""; }

}  // namespace tessera::meter
