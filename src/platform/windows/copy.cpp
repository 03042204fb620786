#include "platform/platform.h"

// CopyFileA over an existing file writes it in place: a full disk or a
// failing device would leave it truncated. The copy goes to a new file beside
// the destination instead, which then takes the destination's name in one
// step; on any failure the new file goes and the destination keeps its bytes.
BOOL ReplaceWithCopy(LPCSTR existing, LPCSTR target) {
    char folder[MAX_PATH];
    char* name = NULL;
    DWORD length = GetFullPathNameA(target, MAX_PATH, folder, &name);
    if (length == 0 || length >= MAX_PATH || name == NULL) return FALSE;
    *name = '\0';  // the folder, with its trailing separator

    // Creates the file, so that the name is this run's alone.
    char fresh[MAX_PATH];
    if (GetTempFileNameA(folder, "bmp", 0, fresh) == 0) return FALSE;
    if (CopyFileA(existing, fresh, FALSE) &&
        MoveFileExA(fresh, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return TRUE;
    }
    DeleteFileA(fresh);
    return FALSE;
}
