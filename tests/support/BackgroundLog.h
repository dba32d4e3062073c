#pragma once
// A "tessera-cli log" running in the background while a test unplugs the meter, takes its
// sensor off or stops the run (POSIX):
//
//   BackgroundLog log(TESSERA_CLI_PATH, dir, {"--reconnect"});  // DIR/survey, 1s/div, fixed
//   ASSERT_TRUE(Polled(meter, 6));                              // six polls more
//   ASSERT_TRUE(log.Said("Waiting for the QM8620"));            // on its standard error, in time
//   EXPECT_EQ(log.End(SIGTERM), 0);
//
// It looks for a lost meter every 100 ms. Its standard output and standard error go to
// DIR/out.txt and DIR/err.txt, or both to a pseudo-terminal whose master is `terminal`.

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/TempDir.h"
#include "tests/support/VirtualMeter.h"

namespace tessera::testing {

// Waits (up to 15 s) until `ready` holds.
inline bool Eventually(const std::function<bool()>& ready) {
    for (int i = 0; i < 300; ++i) {
        if (ready()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return ready();
}

// The meter was polled `n` more times since the last call.
inline bool Polled(VirtualMeter& meter, int n) {
    const bool polled = Eventually([&] {
        const auto log = meter.CommandLog();
        return std::count(log.begin(), log.end(), "MEAS?") >= n;
    });
    meter.ClearCommandLog();
    return polled;
}

class BackgroundLog {
public:
    BackgroundLog(const std::string& program, const TempDir& dir, const std::vector<std::string>& words,
                  int terminal = -1)
        : out_(dir.File("out.txt")), err_(dir.File("err.txt")) {
        std::vector<std::string> args = {program,    "log",   "--period", "1s",
                                         "--method", "fixed", "-o",       dir.File("survey")};
        args.insert(args.end(), words.begin(), words.end());
        pid_ = ::fork();
        if (pid_ != 0) return;
        ::setenv("TESSERA_RECONNECT_INTERVAL_MS", "100", 1);
        if (terminal >= 0) {
            ::setsid();
            const int slave = ::open(::ptsname(terminal), O_RDWR);  // the controlling terminal
            if (slave < 0 || ::dup2(slave, 1) < 0 || ::dup2(slave, 2) < 0) ::_exit(126);
        } else if (!std::freopen(out_.c_str(), "w", stdout) || !std::freopen(err_.c_str(), "w", stderr)) {
            ::_exit(126);
        }
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ~BackgroundLog() {
        if (pid_ > 0) End(SIGKILL);
    }
    BackgroundLog(const BackgroundLog&) = delete;
    BackgroundLog& operator=(const BackgroundLog&) = delete;

    std::string Out() const { return ReadAll(out_); }
    std::string Err() const { return ReadAll(err_); }
    // `text` is, or comes in time, on its standard error.
    bool Said(const std::string& text) const {
        return Eventually([&] { return Err().find(text) != std::string::npos; });
    }
    // Its exit status after `signal` (0: none, it ends by itself); -1 when a signal ended it.
    int End(int signal = 0) {
        if (signal) ::kill(pid_, signal);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    std::string out_, err_;
    pid_t pid_ = -1;
};

}  // namespace tessera::testing
