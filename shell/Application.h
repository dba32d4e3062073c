#pragma once
// The whole run of the program: single instance, start-up, the window's life, shutdown.

#include <string>

#include "shell/Startup.h"

namespace tessera::shell {

struct ProgramOptions {
    StartupOptions startup;
    std::string instanceLockName = "Tessera";
    // Non-empty: write every page as a PNG into this directory, then close (nothing is asked).
    std::string screenshotDirectory;
};

// 0 after a normal run; 1 when the program could not start (second copy, no transport
// library, bad accuracy file) after saying why. Needs a QApplication.
int RunProgram(link::Link& link, page::Prompter& prompter, platform::Clock& clock, const ProgramOptions& options);

// Writes each page of the window as "<n>-<tab name>.png"; answers the files written.
std::vector<std::string> WriteScreenshots(CSheet& sheet, const std::string& directory);

}  // namespace tessera::shell
