#include "platform/signals.h"

#include <io.h>

#include <csignal>
#include <cstdlib>

#include "platform/safe_replace.h"

namespace bmp256 {

namespace {

volatile std::sig_atomic_t g_openLine = 0;

extern "C" void EndOnSignal(int number) {
    RemovePendingReplacements();
    if (g_openLine) _write(2, "\n", 1);
    std::_Exit(128 + number);
}

void Catch(int number) {
    if (std::signal(number, EndOnSignal) == SIG_IGN) std::signal(number, SIG_IGN);
}

}  // namespace

// Windows has no default action to hand a signal back to: both endings
// exit with 128 + the signal.
void CatchEndingSignals(SignalEnding) {
    Catch(SIGINT);
    Catch(SIGTERM);
}

void TurnWriteSignalsIntoErrors() {}

void SetOpenLineOnSignal(bool open) { g_openLine = open ? 1 : 0; }

}  // namespace bmp256
