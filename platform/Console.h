#pragma once
// What a command needs to know about the terminal its messages go to: whether standard error
// (or output) is one at all (a file, a pipe or a service's log is not), and how wide it is.

namespace tessera::platform {

// Standard error is a terminal (a console window on Windows) that a person reads.
bool StandardErrorIsTerminal();
// Standard output is a terminal too (a console window on Windows).
bool StandardOutputIsTerminal();
// The width of that terminal in characters; 0 when it is none or its width is unknown.
int StandardErrorColumns();

}  // namespace tessera::platform
