// The desktop program's entry on Linux: a dropped file or one named argument.
#include <locale.h>

#include "desktop/driver.h"
#include "platform/signals.h"

int main(int argc, char** argv) {
    // Ctrl-C, a kill or a closed terminal during the copy: the new file beside
    // the destination goes, the destination stays as it was, and the run ends
    // as the signal would have ended it.
    bmp256::CatchEndingSignals(bmp256::kEndAsSignal);
    // Decided once, before any path is scanned: CharNextA steps by the
    // locale's character length, and the dialog converts to its encoding.
    setlocale(LC_ALL, "");
    return RunConversionDriver(argc, argv);
}
