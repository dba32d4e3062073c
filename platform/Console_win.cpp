#include "platform/Console.h"

#include <windows.h>

namespace tessera::platform {

namespace {
HANDLE ErrorHandle() { return ::GetStdHandle(STD_ERROR_HANDLE); }
}  // namespace

// A console answers for its mode; a file or a pipe (also a terminal emulator's pipe) does not.
bool StandardErrorIsTerminal() {
    DWORD mode = 0;
    const HANDLE h = ErrorHandle();
    return h && h != INVALID_HANDLE_VALUE && ::GetConsoleMode(h, &mode);
}

int StandardErrorColumns() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!::GetConsoleScreenBufferInfo(ErrorHandle(), &info)) return 0;
    return info.srWindow.Right - info.srWindow.Left + 1;
}

}  // namespace tessera::platform
