#pragma once
// What the virtual meter's program needs of the operating system: its default registry
// root and control channel, its process id, and a stop flag raised by the system's stop
// requests. One file per platform (Process_posix.cpp, Process_win.cpp).

#include <signal.h>

#include <string>

namespace tessera::meter {

// The registry root to serve: `given` when not empty, else this platform's default; created
// when missing. `problem` says why it may not be used (empty when it may).
std::string RegistryRoot(const std::string& given, std::string& problem);
long ProcessId();
std::string DefaultControlPath(const std::string& root, long pid);
// Raises *flag on Ctrl-C and on the system's other polite stop requests.
void StopOnRequest(volatile sig_atomic_t* flag);
// Lines --help adds for this platform (empty where the general text says it all).
const char* PlatformHelp();

}  // namespace tessera::meter
