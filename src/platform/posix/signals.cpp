#include <csignal>
#include <cstdlib>

#include "cli/cli.h"
#include "util/safe_replace.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace bmp256 {

namespace {

volatile std::sig_atomic_t g_progressShown = 0;

extern "C" void RemoveTempsAndExit(int signal) {
    RemovePendingReplacements();
    if (g_progressShown) {
#ifdef _WIN32
        _write(2, "\n", 1);
#else
        ssize_t ignored = write(2, "\n", 1);
        (void)ignored;
#endif
    }
    std::_Exit(128 + signal);
}

#ifdef _WIN32
void Catch(int signal) {
    if (std::signal(signal, RemoveTempsAndExit) == SIG_IGN) std::signal(signal, SIG_IGN);
}
#else
// What a caller ignores (nohup, trap '' INT) is left ignored.
void Catch(int signal) {
    struct sigaction old;
    if (sigaction(signal, nullptr, &old) != 0 || old.sa_handler == SIG_IGN) return;
    struct sigaction now = {};
    now.sa_handler = RemoveTempsAndExit;
    sigemptyset(&now.sa_mask);
    sigaction(signal, &now, nullptr);
}

void Ignore(int signal) {
    struct sigaction now = {};
    now.sa_handler = SIG_IGN;
    sigemptyset(&now.sa_mask);
    sigaction(signal, &now, nullptr);
}
#endif

}  // namespace

void InstallSignalHandlers() {
    Catch(SIGINT);
    Catch(SIGTERM);
#ifndef _WIN32
    Catch(SIGHUP);
    // Both then fail the write itself, which is reported like any other.
    Ignore(SIGPIPE);
    Ignore(SIGXFSZ);
#endif
}

void SetProgressLineShown(bool shown) { g_progressShown = shown ? 1 : 0; }

}  // namespace bmp256
