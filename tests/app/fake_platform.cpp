// Test double of the dialog and module services, linked into a second build
// of the desktop program (bmp256-dialog-double) in place of the GTK dialog and
// /proc/self/exe, so tests can run the real entry without a person.
//
//   BMP256_DOUBLE_ANSWER   unset or "cancel": the dialog is cancelled;
//                          "proposed": the initial folder + '/' + the proposed
//                          name is chosen; anything else is the chosen path.
//   BMP256_DOUBLE_RECORD   file that receives the record's fields, one
//                          "name=value" per line (strings as hex bytes).
//   BMP256_DOUBLE_CHDIR    folder the dialog changes into, as a real one may.
//   BMP256_DOUBLE_MODULE   the executable path to report; unset: none.
//   BMP256_DOUBLE_OUTCOME  file that receives the line the program tells the
//                          user after the dialog.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "platform/platform.h"

namespace {

void PutHex(FILE* out, const char* name, const char* bytes, size_t size) {
    fprintf(out, "%s=", name);
    if (bytes == nullptr) {
        fputs("null\n", out);
        return;
    }
    for (size_t i = 0; i < size; ++i) fprintf(out, "%02x", static_cast<unsigned char>(bytes[i]));
    fputc('\n', out);
}

size_t FilterSize(const char* filter) {
    if (filter == nullptr) return 0;
    size_t size = 0;
    while (filter[size] != '\0' || filter[size + 1] != '\0') ++size;
    return size + 2;
}

void Record(const OPENFILENAMEA* r, const char* path) {
    FILE* out = fopen(path, "w");
    if (out == nullptr) return;
    fprintf(out, "lStructSize=%u\n", r->lStructSize);
    fprintf(out, "hwndOwner=%s\n", r->hwndOwner ? "set" : "null");
    fprintf(out, "hInstance=%s\n", r->hInstance ? "set" : "null");
    PutHex(out, "lpstrFilter", r->lpstrFilter, FilterSize(r->lpstrFilter));
    fprintf(out, "lpstrCustomFilter=%s\n", r->lpstrCustomFilter ? "set" : "null");
    fprintf(out, "nMaxCustFilter=%u\n", r->nMaxCustFilter);
    fprintf(out, "nFilterIndex=%u\n", r->nFilterIndex);
    fprintf(out, "lpstrFile=%s\n", r->lpstrFile ? r->lpstrFile : "null");
    fprintf(out, "nMaxFile=%u\n", r->nMaxFile);
    fprintf(out, "lpstrFileTitle=%s\n", r->lpstrFileTitle ? "set" : "null");
    fprintf(out, "nMaxFileTitle=%u\n", r->nMaxFileTitle);
    fprintf(out, "lpstrInitialDir=%s\n", r->lpstrInitialDir ? r->lpstrInitialDir : "null");
    PutHex(out, "lpstrTitle", r->lpstrTitle, r->lpstrTitle ? strlen(r->lpstrTitle) : 0);
    fprintf(out, "Flags=0x%x\n", r->Flags);
    fprintf(out, "nFileOffset=%u\n", r->nFileOffset);
    fprintf(out, "nFileExtension=%u\n", r->nFileExtension);
    fprintf(out, "lpstrDefExt=%s\n", r->lpstrDefExt ? "set" : "null");
    fprintf(out, "lCustData=%ld\n", static_cast<long>(r->lCustData));
    fprintf(out, "lpfnHook=%s\n", r->lpfnHook ? "set" : "null");
    fprintf(out, "lpTemplateName=%s\n", r->lpTemplateName ? "set" : "null");
    fclose(out);
}

HMODULE const kExecutableModule = reinterpret_cast<HMODULE>(1);

}  // namespace

BOOL GetSaveFileNameA(LPOPENFILENAMEA record) {
    const char* recordPath = getenv("BMP256_DOUBLE_RECORD");
    if (recordPath != nullptr) Record(record, recordPath);
    const char* folder = getenv("BMP256_DOUBLE_CHDIR");
    if (folder != nullptr && chdir(folder) != 0) return FALSE;

    const char* answer = getenv("BMP256_DOUBLE_ANSWER");
    if (answer == nullptr || strcmp(answer, "cancel") == 0) return FALSE;
    char chosen[4096];
    if (strcmp(answer, "proposed") == 0) {
        snprintf(chosen, sizeof chosen, "%s/%s", record->lpstrInitialDir, record->lpstrFile);
    } else {
        snprintf(chosen, sizeof chosen, "%s", answer);
    }
    if (strlen(chosen) >= record->nMaxFile) return FALSE;
    strcpy(record->lpstrFile, chosen);
    return TRUE;
}

HMODULE GetModuleHandleA(LPCSTR moduleName) {
    return moduleName == nullptr ? kExecutableModule : nullptr;
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) {
    const char* path = getenv("BMP256_DOUBLE_MODULE");
    if (module != kExecutableModule || path == nullptr || size == 0) return 0;
    size_t length = strlen(path);
    // The truncating contract of the real service.
    if (length >= size) {
        memcpy(buffer, path, size - 1);
        buffer[size - 1] = '\0';
        return size;
    }
    memcpy(buffer, path, length + 1);
    return static_cast<DWORD>(length);
}

void ShowOutcome(LPCSTR line) {
    const char* path = getenv("BMP256_DOUBLE_OUTCOME");
    FILE* out = path != nullptr ? fopen(path, "w") : nullptr;
    if (out == nullptr) return;
    fprintf(out, "%s\n", line);
    fclose(out);
}
