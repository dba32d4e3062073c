#include "platform/Console.h"

#include <windows.h>

namespace tessera::platform {

namespace {
HANDLE ErrorHandle() { return ::GetStdHandle(STD_ERROR_HANDLE); }

// A console answers for its mode; a file or a pipe (also a terminal emulator's pipe) does not.
bool IsConsole(HANDLE h) {
    DWORD mode = 0;
    return h && h != INVALID_HANDLE_VALUE && ::GetConsoleMode(h, &mode);
}
}  // namespace

bool StandardErrorIsTerminal() { return IsConsole(ErrorHandle()); }

bool StandardOutputIsTerminal() { return IsConsole(::GetStdHandle(STD_OUTPUT_HANDLE)); }

int StandardErrorColumns() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!::GetConsoleScreenBufferInfo(ErrorHandle(), &info)) return 0;
    return info.srWindow.Right - info.srWindow.Left + 1;
}

}  // namespace tessera::platform
