// The Windows entry: the program the user drops a bitmap onto. All of the
// run lives in the portable driver; this only hands it the argument vector
// that the C runtime's start-up split from the command line by the
// platform's rules (a quoted path with blanks arrives as one argument).
#include <stdlib.h>
#include <windows.h>

#include "app/driver.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // The driver returns 0 on every path; so does the process.
    RunConversionDriver(__argc, __argv);
    return 0;
}
