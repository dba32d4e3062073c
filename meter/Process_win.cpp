#include "meter/Process.h"

#include <windows.h>

#include "platform/Paths.h"
#include "platform/StopRequest.h"

namespace tessera::meter {

std::string RegistryRoot(const std::string& given, std::string& problem) {
    // The serving code makes the directory; a user's %LOCALAPPDATA% is private already.
    problem.clear();
    return given.empty() ? platform::UserDeviceRoot() : given;
}

long ProcessId() { return static_cast<long>(::GetCurrentProcessId()); }

std::string DefaultControlPath(const std::string&, long pid) {
    return "\\\\.\\pipe\\tessera-virtual-qm8620-" + std::to_string(pid) + ".control";
}

void StopOnRequest(volatile sig_atomic_t* flag) { platform::StopOnRequest(flag); }

const char* PlatformHelp() {
    return "\n"
           "On Windows the default root is $TESSERA_DEVICE_ROOT, else $TESSERA_RUNTIME_DIR, else\n"
           "%LOCALAPPDATA%\\tessera; the entry is a marker file there naming the meter's named\n"
           "pipes, and the control channel is the named pipe\n"
           "\\\\.\\pipe\\tessera-virtual-qm8620-<pid>.control (one request per line).\n";
}

}  // namespace tessera::meter
