// The signals that end a run. Whichever way a run is ended, the temporary
// files of SafeReplaceFile still in flight go, so that an interrupted
// replacement leaves its target as it was and nothing beside it.
#pragma once

namespace bmp256 {

// How a caught signal ends the process once the temporary files are gone.
enum SignalEnding {
    kEndAsSignal = 0,    // the signal's own default action, as if never caught
    kEndWithStatus = 1,  // exit status 128 + the signal number
};

// Catches INT, TERM and HUP (INT and TERM on Windows). A signal the caller
// ignores (nohup, trap '') stays ignored.
void CatchEndingSignals(SignalEnding ending);

// A closed pipe and the file-size limit fail the write itself (EPIPE,
// EFBIG), to be reported like any other write failure, instead of ending
// the process. Nothing to do on Windows.
void TurnWriteSignalsIntoErrors();

// Whether a line without its end (a progress line) stands on stderr, which
// an ending signal then ends first.
void SetOpenLineOnSignal(bool open);

}  // namespace bmp256
