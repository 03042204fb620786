// The Windows entry: the program the user drops a bitmap onto. All of the
// run lives in the portable driver; this only hands it the argument vector
// that the C runtime's start-up split from the command line by the
// platform's rules (a quoted path with blanks arrives as one argument).
#include <stddef.h>
#include <stdlib.h>
#include <windows.h>
#include <commdlg.h>

#include "desktop/driver.h"

// The dialog is handed the record's 76-byte older form, which only a 32-bit
// process accepts; a 64-bit build would show no dialog at all.
static_assert(sizeof(void*) == 4, "the Windows program must be built for 32-bit x86");
static_assert(offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(LPCSTR) == 76,
              "the older OPENFILENAMEA form ends with lpTemplateName at byte 76");

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // The driver returns 0 on every path; so does the process.
    RunConversionDriver(__argc, __argv);
    return 0;
}
