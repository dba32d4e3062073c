#include "platform/StopRequest.h"

#include <windows.h>

namespace tessera::platform {
namespace {
volatile std::sig_atomic_t* gFlag = nullptr;
BOOL WINAPI OnConsoleEvent(DWORD) {
    // Ctrl-C, Ctrl-Break, the console window closed, log-off, shut-down: the program's loop
    // sees the flag at its next poll and ends in order.
    if (gFlag) *gFlag = 1;
    return TRUE;
}
}  // namespace

void StopOnRequest(volatile std::sig_atomic_t* flag) {
    gFlag = flag;
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

void SurviveFileSizeLimit() {}

void SurviveClosedPipe() {}

}  // namespace tessera::platform
