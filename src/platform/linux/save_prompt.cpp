// The save dialog's stand-in on a terminal, for a run without a display.
#include <errno.h>
#include <langinfo.h>
#include <limits.h>
#include <pwd.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/linux/save_dialog_linux.h"

namespace {

void WriteText(int tty, const char* text) {
    size_t size = strlen(text);
    while (size > 0) {
        ssize_t written = write(tty, text, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return;
        }
        text += written;
        size -= static_cast<size_t>(written);
    }
}

enum LineResult { kLineRead, kLineTooLong, kLineEnd };

// One line from the terminal without its end of line. A line longer than
// the buffer is read to its end and reported as too long.
LineResult ReadLine(int tty, char* line, size_t size) {
    size_t length = 0;
    bool tooLong = false;
    for (;;) {
        char byte;
        ssize_t got = read(tty, &byte, 1);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return kLineEnd;
        if (byte == '\n') break;
        if (length + 1 < size) {
            line[length++] = byte;
        } else {
            tooLong = true;
        }
    }
    if (length > 0 && line[length - 1] == '\r') --length;
    line[length] = '\0';
    return tooLong ? kLineTooLong : kLineRead;
}

// Joins `folder` and `name` into `out`; 0 when it does not fit.
int JoinPath(const char* folder, const char* name, char* out, size_t size) {
    size_t folderLength = strlen(folder);
    bool slash = folderLength == 0 || folder[folderLength - 1] != '/';
    int written = snprintf(out, size, "%s%s%s", folder, slash ? "/" : "", name);
    return written >= 0 && static_cast<size_t>(written) < size;
}

// A leading "~" or "~user" as a shell expands it: the home folder of this
// user ($HOME first) or of the one named. 1 with the expansion in `out`; 0
// when the line has no such prefix or the user is unknown, so that the line
// is taken as typed; -1 when the result does not fit.
int ExpandHome(const char* line, char* out, size_t size) {
    if (line[0] != '~') return 0;
    const char* rest = strchr(line, '/');
    if (rest == nullptr) rest = line + strlen(line);
    const char* home = nullptr;
    if (rest == line + 1) {
        home = getenv("HOME");
        if (home == nullptr) {
            const struct passwd* user = getpwuid(getuid());
            if (user != nullptr) home = user->pw_dir;
        }
    } else {
        char name[256];
        size_t length = static_cast<size_t>(rest - line - 1);
        if (length >= sizeof name) return 0;
        memcpy(name, line + 1, length);
        name[length] = '\0';
        const struct passwd* user = getpwnam(name);
        if (user != nullptr) home = user->pw_dir;
    }
    if (home == nullptr) return 0;
    int written = snprintf(out, size, "%s%s", home, rest);
    return written >= 0 && static_cast<size_t>(written) < size ? 1 : -1;
}

}  // namespace

int ResolveInitialFolder(const char* initialDir, char* folder, size_t size) {
    char cwd[PATH_MAX];
    if (getcwd(cwd, sizeof cwd) == nullptr) return 0;
    char candidate[PATH_MAX];
    const char* chosen = cwd;
    if (initialDir != nullptr) {
        // A source right under the root leaves an empty folder part.
        const char* dir = initialDir[0] == '\0' ? "/" : initialDir;
        bool fits = dir[0] == '/' ? snprintf(candidate, sizeof candidate, "%s", dir) <
                                        static_cast<int>(sizeof candidate)
                                  : JoinPath(cwd, dir, candidate, sizeof candidate);
        struct stat info;
        if (fits && stat(candidate, &info) == 0 && S_ISDIR(info.st_mode)) chosen = candidate;
    }
    int written = snprintf(folder, size, "%s", chosen);
    return written >= 0 && static_cast<size_t>(written) < size;
}

void SetChosenOffsets(LPOPENFILENAMEA record) {
    const char* path = record->lpstrFile;
    const char* slash = strrchr(path, '/');
    size_t nameOffset = slash != nullptr ? static_cast<size_t>(slash - path) + 1 : 0;
    const char* dot = strrchr(path + nameOffset, '.');
    size_t extensionOffset = dot != nullptr ? static_cast<size_t>(dot - path) + 1 : 0;
    record->nFileOffset = static_cast<WORD>(nameOffset);
    record->nFileExtension = static_cast<WORD>(extensionOffset);
}

BOOL RunSavePrompt(LPOPENFILENAMEA record, int tty) {
    char folder[PATH_MAX];
    if (!ResolveInitialFolder(record->lpstrInitialDir, folder, sizeof folder)) return FALSE;
    char proposed[PATH_MAX];
    if (!JoinPath(folder, record->lpstrFile, proposed, sizeof proposed)) return FALSE;

    if (record->lpstrTitle != nullptr) {
        // The title's Shift-JIS bytes in the terminal's character set; what it
        // cannot show becomes '?'.
        char target[64];
        snprintf(target, sizeof target, "%s//TRANSLIT", nl_langinfo(CODESET));
        char* title = ConvertText(record->lpstrTitle, "CP932", target);
        if (title != nullptr) {
            WriteText(tty, title);
            WriteText(tty, "\n");
            free(title);
        }
    }
    WriteText(tty, "Save as: ");
    WriteText(tty, proposed);
    WriteText(tty, "\n");

    for (;;) {
        WriteText(tty, "Press Enter to accept, or type another path: ");
        char line[PATH_MAX];
        LineResult got = ReadLine(tty, line, sizeof line);
        if (got == kLineEnd) break;
        char chosen[PATH_MAX];
        bool fits = got == kLineRead;
        int expanded = fits ? ExpandHome(line, chosen, sizeof chosen) : 0;
        if (expanded != 0) {
            fits = expanded > 0;
        } else if (fits && line[0] == '\0') {
            snprintf(chosen, sizeof chosen, "%s", proposed);
        } else if (fits && line[0] == '/') {
            snprintf(chosen, sizeof chosen, "%s", line);
        } else if (fits) {
            fits = JoinPath(folder, line, chosen, sizeof chosen);
        }
        if (!fits || strlen(chosen) >= record->nMaxFile) {
            WriteText(tty, "That path is too long.\n");
            continue;
        }
        struct stat info;
        if (stat(chosen, &info) == 0) {
            if (S_ISDIR(info.st_mode)) {
                WriteText(tty, "That is a folder.\n");
                continue;
            }
            if (record->Flags & OFN_OVERWRITEPROMPT) {
                WriteText(tty, chosen);
                WriteText(tty, " already exists. Replace it? [y/N] ");
                char answer[16];
                LineResult replied = ReadLine(tty, answer, sizeof answer);
                if (replied == kLineEnd) break;
                if (replied != kLineRead ||
                    (strcmp(answer, "y") != 0 && strcmp(answer, "Y") != 0 &&
                     strcmp(answer, "yes") != 0)) {
                    continue;
                }
            }
        }
        strcpy(record->lpstrFile, chosen);
        SetChosenOffsets(record);
        return TRUE;
    }
    // End of input: a cancel, which needs its own line end on the terminal.
    WriteText(tty, "\n");
    return FALSE;
}
