#include "desktop/save_dialog.h"

#include <string.h>

#include "desktop/path.h"

// "名前を付けて保存" in Shift-JIS.
const char kSaveDialogTitle[] =
    "\x96\xbc\x91\x4f\x82\xf0\x95\x74\x82\xaf\x82\xc4\x95\xdb\x91\xb6";

// "256色ビットマップ (*.bmp)", "*.bmp", "すべてのファイル (*.*)", "*".
// The second pattern is "*" on purpose: "*.*" would skip names without a dot.
const char kSaveDialogFilter[] =
    "256\x90\x46\x83\x72\x83\x62\x83\x67\x83\x7d\x83\x62\x83\x76 (*.bmp)\0"
    "*.bmp\0"
    "\x82\xb7\x82\xd7\x82\xc4\x82\xcc\x83\x74\x83\x40\x83\x43\x83\x8b (*.*)\0"
    "*\0";
// The literal's own terminator is the list's final zero.
const size_t kSaveDialogFilterSize = sizeof(kSaveDialogFilter);

namespace {

// The record's older size, which ends with lpTemplateName; the Win32 header's
// OPENFILENAME_SIZE_VERSION_400A on a 32-bit build.
const DWORD kOpenFileNameSize400 = 76;

}  // namespace

BOOL ShowSaveDialogEx(HWND owner, HINSTANCE instance, LPCSTR templateName, LPOFNHOOKPROC hook,
                      DWORD flags, LPSTR destination, LPCSTR sourcePath, LPCSTR title,
                      LPCSTR filter, LPARAM customData) {
    size_t sourceLength = strlen(sourcePath);
    if (sourceLength >= MAX_PATH) return FALSE;
    char directory[MAX_PATH];
    memcpy(directory, sourcePath, sourceLength + 1);
    // Both parts are no longer than the source, so they fit.
    const char* fileName = SplitFileName(directory);
    strcpy(destination, fileName);

    OPENFILENAMEA record;
    memset(&record, 0, sizeof record);
    record.lStructSize = kOpenFileNameSize400;
    record.hwndOwner = owner;
    record.hInstance = instance;
    record.lpstrFilter = filter;
    record.lpstrCustomFilter = nullptr;
    record.nMaxCustFilter = 0;
    record.nFilterIndex = 0;
    record.lpstrFile = destination;
    record.nMaxFile = MAX_PATH;
    record.lpstrFileTitle = nullptr;
    record.nMaxFileTitle = 0;
    record.lpstrInitialDir = directory;
    record.lpstrTitle = title;
    record.Flags = flags | OFN_EXPLORER | OFN_ENABLESIZING;
    record.nFileOffset = 0;
    record.nFileExtension = 0;
    record.lpstrDefExt = nullptr;
    record.lCustData = customData;
    record.lpfnHook = hook;
    record.lpTemplateName = templateName;
    return GetSaveFileNameA(&record);
}

BOOL ShowSaveDialog(HWND owner, DWORD flags, LPSTR destination, LPCSTR sourcePath, LPCSTR title,
                    LPCSTR filter) {
    return ShowSaveDialogEx(owner, nullptr, nullptr, nullptr, flags, destination, sourcePath,
                            title, filter, 0);
}
