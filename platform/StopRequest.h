#pragma once
// A long-running command (a logging run, a serving meter) stops cleanly when asked: Ctrl-C,
// and the ways sessions and service managers stop a program (SIGTERM, a closed terminal's
// SIGHUP; on Windows Ctrl-Break, a closed console, log-off and shut-down) all raise one flag
// that the program's loop polls, so it can still write what it holds before it ends.

#include <csignal>

namespace tessera::platform {

// From now on every stop request sets *flag to 1 (the flag must live as long as the program).
// Blocking waits are not restarted, so a loop sleeping between polls sees the flag at once.
void StopOnRequest(volatile std::sig_atomic_t* flag);

// A file-size limit (ulimit -f) must not end a program that holds unsaved samples: a write
// past it then fails (EFBIG) like a write to a full disk, and the program says what it kept,
// instead of being killed by SIGXFSZ. Nothing to do on Windows, which has no such limit.
void SurviveFileSizeLimit();

// A reader of standard output that goes away (a closed pipe) must not end the program: a
// write to it then fails (EPIPE) instead of the program being killed by SIGPIPE. Nothing to do
// on Windows, where such a write only fails.
void SurviveClosedPipe();

}  // namespace tessera::platform
