// The desktop program's entry on Linux: a dropped file or one named argument.
#include <locale.h>
#include <signal.h>

#include "app/driver.h"
#include "util/safe_replace.h"

namespace {

const int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Ctrl-C, a kill or a closed terminal during the copy: the new file beside
// the destination goes, the destination stays as it was, and the run ends
// as the signal would have ended it.
void EndOnSignal(int number) {
    bmp256::RemovePendingReplacements();
    signal(number, SIG_DFL);
    raise(number);  // delivered once the handler returns, with the default action
}

void CleanUpOnEndingSignals() {
    struct sigaction action = {};
    action.sa_handler = EndOnSignal;
    sigemptyset(&action.sa_mask);
    for (int number : kEndingSignals) sigaddset(&action.sa_mask, number);
    for (int number : kEndingSignals) {
        struct sigaction current;
        // A signal the caller ignores (nohup, trap '') stays ignored.
        if (sigaction(number, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) continue;
        sigaction(number, &action, nullptr);
    }
}

}  // namespace

int main(int argc, char** argv) {
    CleanUpOnEndingSignals();
    // Decided once, before any path is scanned: CharNextA steps by the
    // locale's character length, and the dialog converts to its encoding.
    setlocale(LC_ALL, "");
    return RunConversionDriver(argc, argv);
}
