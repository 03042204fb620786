// The desktop program's entry on Linux: a dropped file or one named argument.
#include <locale.h>
#include <stdio.h>
#include <string.h>

#include "desktop/driver.h"
#include "platform/signals.h"

namespace {

// Asked by a person on a terminal, the only place these words are read. Any
// other argument list goes to the driver, which ends silently on what it
// does not take, as the program started from a file manager must.
const char kHelp[] =
    "usage: bmp256 FILE\n"
    "Asks where to save in the save dialog (a prompt on a terminal without a\n"
    "display), then writes FILE there as a 256-colour BMP. Says nothing and\n"
    "exits 0 on every path; bmp256-convert is the converter that reports.\n"
    "  --help     show this text\n"
    "  --version  show the version\n"
    "See man bmp256.\n";

bool AnswersQuestion(int argc, char** argv) {
    if (argc != 2) return false;
    if (strcmp(argv[1], "--help") == 0) {
        fputs(kHelp, stdout);
    } else if (strcmp(argv[1], "--version") == 0) {
        printf("bmp256 %s\n", BMP256_VERSION);
    } else {
        return false;
    }
    fflush(stdout);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (AnswersQuestion(argc, argv)) return 0;
    // Ctrl-C, a kill or a closed terminal during the copy: the new file beside
    // the destination goes, the destination stays as it was, and the run ends
    // as the signal would have ended it.
    bmp256::CatchEndingSignals(bmp256::kEndAsSignal);
    // Decided once, before any path is scanned: CharNextA steps by the
    // locale's character length, and the dialog converts to its encoding.
    setlocale(LC_ALL, "");
    return RunConversionDriver(argc, argv);
}
