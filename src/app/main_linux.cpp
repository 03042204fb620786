// The desktop program's entry on Linux: a dropped file or one named argument.
#include <locale.h>

#include "app/driver.h"

int main(int argc, char** argv) {
    // Decided once, before any path is scanned: CharNextA steps by the
    // locale's character length, and the dialog converts to its encoding.
    setlocale(LC_ALL, "");
    return RunConversionDriver(argc, argv);
}
