#include "cli/Interruption.h"

#include <signal.h>

#include <cstdio>
#include <iterator>

namespace dozo::cli {

namespace {

constexpr int kStopping[] = {SIGINT, SIGTERM};

// Touched by the handler: a pointer set before it is installed, a flag, and
// JobControl::cancel, a lock-free atomic store.
JobControl* volatile gControl = nullptr;
volatile sig_atomic_t gSignal = 0;
struct sigaction gOld[std::size(kStopping)];

void stop(int sig) {
    gSignal = sig;
    if (JobControl* control = gControl) control->cancel();
}

}  // namespace

Interruption::Interruption(JobControl& control) {
    gControl = &control;
    gSignal = 0;
    struct sigaction act {};
    act.sa_handler = stop;
    sigemptyset(&act.sa_mask);
    // The first signal asks; the handler is then the default again, so a
    // second one ends the program.
    act.sa_flags = SA_RESETHAND | SA_RESTART;
    for (std::size_t i = 0; i < std::size(kStopping); ++i)
        ::sigaction(kStopping[i], &act, &gOld[i]);
}

Interruption::~Interruption() {
    for (std::size_t i = 0; i < std::size(kStopping); ++i)
        ::sigaction(kStopping[i], &gOld[i], nullptr);
    gControl = nullptr;
}

int Interruption::signal() const {
    return gSignal;
}

void Interruption::endByIt() const {
    const int sig = gSignal;
    if (sig == 0) return;
    std::fflush(nullptr);
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}

}  // namespace dozo::cli
