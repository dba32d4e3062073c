#include "platform/StopRequest.h"

#include <signal.h>

#include <initializer_list>

namespace tessera::platform {
namespace {
volatile std::sig_atomic_t* gFlag = nullptr;
extern "C" void OnStopSignal(int) {
    if (gFlag) *gFlag = 1;
}
}  // namespace

void StopOnRequest(volatile std::sig_atomic_t* flag) {
    gFlag = flag;
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;  // no SA_RESTART: a sleep or read in progress ends early
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(sig, &sa, nullptr);
}

void SurviveFileSizeLimit() { ::signal(SIGXFSZ, SIG_IGN); }

void SurviveClosedPipe() { ::signal(SIGPIPE, SIG_IGN); }

}  // namespace tessera::platform
