// The destination dialog: the system's file-save dialog opened in the source's
// folder with the source's file name proposed.
#pragma once

#include "platform/platform.h"

// The dialog's texts, Shift-JIS bytes handed unchanged to the ANSI dialog.
extern const char kSaveDialogTitle[];
// Two description/pattern pairs, each string zero-terminated, then one more
// zero.
extern const char kSaveDialogFilter[];
// Length of kSaveDialogFilter including its final double zero.
extern const size_t kSaveDialogFilterSize;

// Opens the save dialog with `flags` plus OFN_EXPLORER and OFN_ENABLESIZING,
// the initial folder `sourcePath` without its last component and the proposed
// name its last component, which is pre-filled in `destination` (MAX_PATH
// bytes). Returns non-zero when the user confirmed a name, which then stands
// in `destination` as a full path; 0 on cancel, on failure, and for a
// `sourcePath` that does not fit in MAX_PATH.
BOOL ShowSaveDialogEx(HWND owner, HINSTANCE instance, LPCSTR templateName, LPOFNHOOKPROC hook,
                      DWORD flags, LPSTR destination, LPCSTR sourcePath, LPCSTR title,
                      LPCSTR filter, LPARAM customData);

// ShowSaveDialogEx with no instance, template or hook and custom value 0.
BOOL ShowSaveDialog(HWND owner, DWORD flags, LPSTR destination, LPCSTR sourcePath, LPCSTR title,
                    LPCSTR filter);
