#include "platform/signals.h"

#include <signal.h>
#include <unistd.h>

#include "platform/safe_replace.h"

namespace bmp256 {

namespace {

const int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};

volatile sig_atomic_t g_openLine = 0;
volatile sig_atomic_t g_ending = kEndAsSignal;

extern "C" void EndOnSignal(int number) {
    RemovePendingReplacements();
    if (g_openLine) {
        ssize_t ignored = write(2, "\n", 1);
        (void)ignored;
    }
    if (g_ending == kEndWithStatus) _exit(128 + number);
    signal(number, SIG_DFL);
    raise(number);  // delivered once the handler returns, with the default action
}

void Ignore(int number) {
    struct sigaction action = {};
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    sigaction(number, &action, nullptr);
}

}  // namespace

void CatchEndingSignals(SignalEnding ending) {
    g_ending = ending;
    struct sigaction action = {};
    action.sa_handler = EndOnSignal;
    sigemptyset(&action.sa_mask);
    for (int number : kEndingSignals) sigaddset(&action.sa_mask, number);
    for (int number : kEndingSignals) {
        struct sigaction current;
        if (sigaction(number, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) continue;
        sigaction(number, &action, nullptr);
    }
}

void TurnWriteSignalsIntoErrors() {
    Ignore(SIGPIPE);
    Ignore(SIGXFSZ);
}

void SetOpenLineOnSignal(bool open) { g_openLine = open ? 1 : 0; }

}  // namespace bmp256
