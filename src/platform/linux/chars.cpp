// Character stepping in the process's locale for the Linux build.
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "platform/platform.h"

LPSTR CharNextA(LPCSTR current) {
    if (*current == '\0') return const_cast<LPSTR>(current);
    // Never look past the terminating zero, whatever the locale's longest
    // character is.
    size_t available = strnlen(current, MB_CUR_MAX);
    mbstate_t state;
    memset(&state, 0, sizeof state);
    size_t length = mbrlen(current, available, &state);
    // An invalid or cut-off sequence counts as a one-byte character.
    if (length == static_cast<size_t>(-1) || length == static_cast<size_t>(-2) || length == 0) {
        length = 1;
    }
    return const_cast<LPSTR>(current + length);
}
