#include "desktop/driver.h"

#include <string.h>

#include "convert/convert.h"
#include "desktop/module_path.h"
#include "desktop/save_dialog.h"
#include "platform/platform.h"

int FileExists(const char* path) {
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

int RunConversionDriver(int argc, char** argv) {
    // One file only: none, or several dropped at once, end the run.
    if (argc != 2) return 0;
    const char* source = argv[1];
    // Every path buffer is MAX_PATH bytes; a longer source is refused here so
    // that nothing below can overrun one.
    if (strlen(source) >= MAX_PATH) return 0;
    if (!FileExists(source)) return 0;

    // The dialog may change the current directory (it runs without
    // OFN_NOCHANGEDIR), so a relative source is resolved now and the full
    // path opened after the dialog; the dialog still gets the path as given.
    char fullSource[MAX_PATH];
    DWORD fullLength = GetFullPathNameA(source, MAX_PATH, fullSource, nullptr);
    if (fullLength == 0 || fullLength >= MAX_PATH) return 0;

    char destination[MAX_PATH];
    if (!ShowSaveDialog(nullptr, OFN_OVERWRITEPROMPT, destination, source, kSaveDialogTitle,
                        kSaveDialogFilter)) {
        return 0;
    }

#ifndef _WIN32
    if (!IsRegularFile(fullSource)) return 0;
#endif
    char temporary[MAX_PATH];
    if (!BuildModulePath(temporary, ".tmp")) return 0;
    // Every run of this executable shares the one temporary file: held from
    // the conversion through the copy, so that a second run waits here
    // rather than overwriting it while this one copies it. The copy's result
    // is not examined: on failure the temporary file holds the result and
    // the run ends the same way.
#ifndef _WIN32
    // Here it may move to the user's cache folder, and is reached through
    // the opened file only.
    char access[MAX_PATH];
    HANDLE file = HoldTemporaryFile(temporary, access);
    if (file == nullptr) return 0;
    bmp256::ConvertReport report;
    int converted = bmp256::ConvertFileEx(fullSource, access, &report);
    if (converted) CopyFileA(access, destination, FALSE);
    ReleaseTemporaryFile(file, converted, !converted && report.stage == bmp256::kConvertWriteFailed);
    return 0;
#else
    HANDLE lock = LockTemporaryFile(temporary);
    if (lock == nullptr) return 0;
    if (bmp256::ConvertFile(fullSource, temporary)) ReplaceWithCopy(temporary, destination);
    UnlockTemporaryFile(lock);
    return 0;
#endif
}
