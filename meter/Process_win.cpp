#include "meter/Process.h"

#include <windows.h>

#include "platform/Paths.h"

namespace tessera::meter {

namespace {
volatile sig_atomic_t* gFlag = nullptr;
BOOL WINAPI OnConsoleEvent(DWORD) {
    // Ctrl-C, Ctrl-Break, the console window closed, log-off, shut-down: the serving loop
    // sees the flag within a second, removes the entry and ends.
    if (gFlag) *gFlag = 1;
    return TRUE;
}
}  // namespace

std::string DefaultRegistryRoot() { return platform::UserDeviceRoot(); }

long ProcessId() { return static_cast<long>(::GetCurrentProcessId()); }

std::string DefaultControlPath(const std::string&, long pid) {
    return "\\\\.\\pipe\\tessera-virtual-qm8620-" + std::to_string(pid) + ".control";
}

void StopOnRequest(volatile sig_atomic_t* flag) {
    gFlag = flag;
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

const char* PlatformHelp() {
    return "\n"
           "On Windows the default root is $TESSERA_DEVICE_ROOT, else $TESSERA_RUNTIME_DIR, else\n"
           "%LOCALAPPDATA%\\tessera; the entry is a marker file there naming the meter's named\n"
           "pipes, and the control channel is the named pipe\n"
           "\\\\.\\pipe\\tessera-virtual-qm8620-<pid>.control (one request per line).\n";
}

}  // namespace tessera::meter
