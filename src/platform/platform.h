// The system services the desktop program uses, under their Win32 names.
// On Windows these are the real ones from <windows.h>; elsewhere this header
// declares look-alike types and the same functions, implemented per system
// (src/platform/linux/), so the code above it is the same on both.
// The core keeps its own records (such as BITMAPINFOHEADER) in namespace
// bmp256, so it can be included beside this header.
#pragma once

#ifdef _WIN32

#include <windows.h>
#include <commdlg.h>

// The only separator the path routines split at.
#define PLATFORM_PATH_SEPARATOR '\\'
// Windows paths are case-insensitive, so the whole temporary path may be
// lower-cased.
#define PLATFORM_LOWER_CASE_DIRECTORIES 1

// Copies `existing` over `target` so that `target` holds either its old
// bytes or all of the new ones (src/platform/windows/copy.cpp).
BOOL ReplaceWithCopy(LPCSTR existing, LPCSTR target);

// LockTemporaryFile: a named mutex per temporary path. Windows cannot lock a
// folder, and a lock on the file itself would have to create the file before
// the conversion. Names take no backslash, so the path goes in as a hash; a
// run that died holding the mutex hands it on (WAIT_ABANDONED).
inline HANDLE LockTemporaryFile(LPCSTR path) {
    if (path == NULL) return NULL;
    unsigned long long hash = 14695981039346656037ull;  // 64-bit FNV-1a
    for (const unsigned char* p = (const unsigned char*)path; *p != 0; ++p) {
        hash = (hash ^ *p) * 1099511628211ull;
    }
    char name[] = "Local\\bmp256-tmp-0000000000000000";
    char* digit = name + sizeof name - 1;
    for (int i = 0; i < 16; ++i, hash >>= 4) *--digit = "0123456789abcdef"[hash & 15];
    HANDLE mutex = CreateMutexA(NULL, FALSE, name);
    if (mutex == NULL) return NULL;
    DWORD waited = WaitForSingleObject(mutex, INFINITE);
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
        CloseHandle(mutex);
        return NULL;
    }
    return mutex;
}

inline void UnlockTemporaryFile(HANDLE lock) {
    if (lock == NULL) return;
    ReleaseMutex(lock);
    CloseHandle(lock);
}

// Non-zero when `path` names something other than a folder.
inline BOOL IsRegularFile(LPCSTR path) {
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The desktop program is silent on Windows: there is no terminal to tell.
inline void ShowOutcome(LPCSTR) {}

#else  // !_WIN32

#include <limits.h>
#include <stddef.h>
#include <stdint.h>

#define PLATFORM_PATH_SEPARATOR '/'
// Linux directories are case-sensitive: lower-casing them would point the
// temporary file at a folder that does not exist.
#define PLATFORM_LOWER_CASE_DIRECTORIES 0

typedef int BOOL;
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef unsigned int UINT;
typedef uintptr_t UINT_PTR;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef char CHAR;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef void* LPVOID;
typedef void* HANDLE;

// Opaque handles; on Linux nothing ever dereferences them.
typedef struct PlatformWindow* HWND;
typedef struct PlatformInstance* HINSTANCE;
typedef HINSTANCE HMODULE;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// Path buffers hold any path the system can open: a Linux path may be far
// longer than the 259 bytes Windows allows, and a shorter limit would refuse
// files that bmp256-convert reads.
#define MAX_PATH PATH_MAX
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)
#define FILE_ATTRIBUTE_DIRECTORY 0x10u
#define FILE_ATTRIBUTE_NORMAL 0x80u

#define OFN_OVERWRITEPROMPT 0x00000002u
#define OFN_ENABLESIZING 0x00800000u
#define OFN_EXPLORER 0x00080000u

typedef UINT_PTR (*LPOFNHOOKPROC)(HWND, UINT, WPARAM, LPARAM);

// Field for field the Win32 record, in its order. Its size differs from the
// Windows one (pointers are 8 bytes here); GetSaveFileNameA accepts the older
// size 76 that the driver passes, as Windows does, or sizeof the record.
typedef struct tagOFNA {
    DWORD lStructSize;
    HWND hwndOwner;
    HINSTANCE hInstance;
    LPCSTR lpstrFilter;
    LPSTR lpstrCustomFilter;
    DWORD nMaxCustFilter;
    DWORD nFilterIndex;
    LPSTR lpstrFile;
    DWORD nMaxFile;
    LPSTR lpstrFileTitle;
    DWORD nMaxFileTitle;
    LPCSTR lpstrInitialDir;
    LPCSTR lpstrTitle;
    DWORD Flags;
    WORD nFileOffset;
    WORD nFileExtension;
    LPCSTR lpstrDefExt;
    LPARAM lCustData;
    LPOFNHOOKPROC lpfnHook;
    LPCSTR lpTemplateName;
    void* pvReserved;
    DWORD dwReserved;
    DWORD FlagsEx;
} OPENFILENAMEA, *LPOPENFILENAMEA;

// FILE_ATTRIBUTE_DIRECTORY for a directory, FILE_ATTRIBUTE_NORMAL for anything
// else that exists, INVALID_FILE_ATTRIBUTES when stat() fails.
DWORD GetFileAttributesA(LPCSTR fileName);

// The modal save dialog: the GTK file chooser when a display can be opened,
// else a text prompt on /dev/tty, else failure. Non-zero when the user chose
// a path, which then stands in lpstrFile (in the locale's encoding, at most
// nMaxFile bytes with its zero); 0 on cancel or failure.
BOOL GetSaveFileNameA(LPOPENFILENAMEA record);

// The running executable for a null name; null for any other name.
HMODULE GetModuleHandleA(LPCSTR moduleName);

// The running executable's real path (/proc/self/exe) for the module that
// GetModuleHandleA(null) gives. Returns its length without the zero; when it
// does not fit, the truncated, zero-terminated path and `size`; 0 on failure.
DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size);

// Copies `existing` over `target` through a new file beside `target` that is
// flushed and then renamed over it, so that a failed copy leaves `target` as
// it was. With failIfExists set an existing target is refused. Non-zero on
// success.
BOOL CopyFileA(LPCSTR existing, LPCSTR target, BOOL failIfExists);

// Non-zero when `path` names a regular file (after links). Pipes, devices and
// folders are refused before the lock, as reading a pipe could hold the lock
// forever.
BOOL IsRegularFile(LPCSTR path);

// The copy of the result to the destination: CopyFileA, which on Linux
// replaces the destination in one step.
inline BOOL ReplaceWithCopy(LPCSTR existing, LPCSTR target) { return CopyFileA(existing, target, FALSE); }

// One line for the user at the terminal where the save prompt asked for the
// destination: what was written, or why nothing was. Nothing when the GTK
// dialog asked, or nothing asked at all.
void ShowOutcome(LPCSTR line);

// The next character after `current`, stepping by the length of the
// process's locale (set with setlocale(LC_CTYPE, "") at start-up); an invalid
// byte counts as one character; `current` itself at the terminating zero.
LPSTR CharNextA(LPCSTR current);

// `fileName` made absolute by prefixing the current directory when it is
// relative (no "." or ".." folding). Returns its length without the zero when
// it fits in `size`, else the size it needs with the zero; 0 on failure.
// `filePart`, when not null, receives the position after the last '/'.
DWORD GetFullPathNameA(LPCSTR fileName, DWORD size, LPSTR buffer, LPSTR* filePart);

#endif  // _WIN32

// The temporary file, on both systems: held by one run from the conversion
// through the copy, so that two runs never write or copy it at once.
// Windows keeps it at `path`, the executable's path with ".tmp". Linux keeps
// it in the user's cache folder ($XDG_CACHE_HOME/bmp256/, else
// ~/.cache/bmp256/), made 0700 and used only when it is a real folder of
// this user that no one else can write, and `path` (MAX_PATH bytes) is
// changed to the file there; the file is made 0600 and used only when it is
// this user's regular file with one link; the lock is a file beside it,
// waited for a bounded time. Null when it cannot be held.
HANDLE HoldTemporaryFile(LPSTR path);
// The held file's descriptor, open for writing; the writer empties it first.
int TemporaryFileDescriptor(HANDLE file);
// Closes the file and ends the hold. Unless `complete`, the file goes when it
// was `written` (half-written) or this run made it; a file of an earlier run
// that was not written stays.
void ReleaseTemporaryFile(HANDLE file, BOOL complete, BOOL written);
