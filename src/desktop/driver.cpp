#include "desktop/driver.h"

#include <stdio.h>
#include <string.h>

#include "desktop/convert_file.h"
#include "desktop/module_path.h"
#include "desktop/save_dialog.h"
#include "input/input.h"
#include "platform/platform.h"

int FileExists(const char* path) {
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

namespace {

// The one line the terminal prompt ends with.
void Tell(const char* what, const char* detail) {
    char line[MAX_PATH + 300];
    snprintf(line, sizeof line, "%s%s", what, detail);
    ShowOutcome(line);
}

}  // namespace

int RunConversionDriver(int argc, char** argv) {
    // One file only: none, or several dropped at once, end the run.
    if (argc != 2) return 0;
    const char* source = argv[1];
    // Every path buffer is MAX_PATH bytes; a longer source is refused here so
    // that nothing below can overrun one.
    if (strlen(source) >= MAX_PATH) return 0;
    if (!FileExists(source)) return 0;
    // Only a file whose first bytes start an image this program reads gets
    // the dialog. A pipe or device is not read at all: it could hold the run.
    if (!IsRegularFile(source) || !bmp256::LooksReadable(source, nullptr)) return 0;

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

    // Every run shares the one temporary file: held from the conversion
    // through the copy, so that a second run waits rather than overwriting
    // it while this one copies it. On failure of the copy the temporary
    // file holds the result, and the run ends the same way.
    char temporary[MAX_PATH];
    HANDLE file = BuildModulePath(temporary, ".tmp") ? HoldTemporaryFile(temporary) : nullptr;
    if (file == nullptr) {
        Tell("Nothing written: the temporary file cannot be made", "");
        return 0;
    }
    bmp256::ConvertReport report;
    const int converted = bmp256::ConvertFileToDescriptor(fullSource, TemporaryFileDescriptor(file),
                                                          temporary, nullptr, &report);
    const BOOL copied = converted && ReplaceWithCopy(temporary, destination);
    ReleaseTemporaryFile(file, converted, converted || report.stage == bmp256::kConvertWriteFailed);
    if (copied) {
        Tell("Written: ", destination);
    } else if (converted) {
        Tell("Nothing written: cannot replace the destination; the result is in ", temporary);
    } else {
        Tell("Nothing written: ", report.reason);
    }
    return 0;
}
