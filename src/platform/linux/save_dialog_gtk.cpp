// The save dialog for the Linux build: the GTK 3 file chooser, or the text
// prompt on the terminal when there is no display.
#include <fcntl.h>
#include <gtk/gtk.h>
#include <limits.h>
#include <string.h>
#include <unistd.h>

#include "platform/linux/save_dialog_linux.h"

namespace {

// The record's older size (up to lpTemplateName), which the driver passes.
const DWORD kOpenFileNameSize400 = 76;

// A Windows pattern made case-insensitive for GTK: "*.bmp" -> "*.[bB][mM][pP]".
gchar* CaseInsensitivePattern(const char* pattern, size_t length) {
    GString* result = g_string_sized_new(length * 4);
    for (size_t i = 0; i < length; ++i) {
        char c = pattern[i];
        if (g_ascii_isalpha(c)) {
            g_string_append_c(result, '[');
            g_string_append_c(result, g_ascii_tolower(c));
            g_string_append_c(result, g_ascii_toupper(c));
            g_string_append_c(result, ']');
        } else {
            g_string_append_c(result, c);
        }
    }
    return g_string_free(result, FALSE);
}

// Adds each description/pattern pair of the Win32 filter list; patterns
// inside one pair are separated by ';'. Selects the nFilterIndex-th (1-based;
// 0 means the first).
void AddFilters(GtkFileChooser* chooser, const char* list, DWORD selected) {
    if (list == nullptr) return;
    DWORD index = 0;
    while (*list != '\0') {
        const char* description = list;
        const char* patterns = description + strlen(description) + 1;
        if (*patterns == '\0') break;
        ++index;
        GtkFileFilter* filter = gtk_file_filter_new();
        gchar* name = ConvertText(description, "CP932", "UTF-8");
        gtk_file_filter_set_name(filter, name != nullptr ? name : "");
        free(name);
        for (const char* p = patterns; *p != '\0';) {
            size_t length = strcspn(p, ";");
            if (length > 0) {
                gchar* glob = CaseInsensitivePattern(p, length);
                gtk_file_filter_add_pattern(filter, glob);
                g_free(glob);
            }
            p += length;
            if (*p == ';') ++p;
        }
        gtk_file_chooser_add_filter(chooser, filter);
        if (index == selected || (selected == 0 && index == 1)) {
            gtk_file_chooser_set_filter(chooser, filter);
        }
        list = patterns + strlen(patterns) + 1;
    }
}

BOOL RunFileChooser(LPOPENFILENAMEA record) {
    gchar* title = record->lpstrTitle != nullptr
                       ? ConvertText(record->lpstrTitle, "CP932", "UTF-8")
                       : nullptr;
    GtkFileChooserNative* native = gtk_file_chooser_native_new(
        title != nullptr ? title : "", nullptr, GTK_FILE_CHOOSER_ACTION_SAVE, nullptr, nullptr);
    free(title);
    GtkFileChooser* chooser = GTK_FILE_CHOOSER(native);
    gtk_native_dialog_set_modal(GTK_NATIVE_DIALOG(native), TRUE);
    gtk_file_chooser_set_do_overwrite_confirmation(
        chooser, (record->Flags & OFN_OVERWRITEPROMPT) != 0);
    gtk_file_chooser_set_local_only(chooser, TRUE);

    char folder[PATH_MAX];
    if (ResolveInitialFolder(record->lpstrInitialDir, folder, sizeof folder)) {
        gtk_file_chooser_set_current_folder(chooser, folder);
    }
    // The name field takes UTF-8; a name GTK cannot show would come up as
    // "Invalid file name", so such a name is left out rather than mangled.
    if (record->lpstrFile[0] != '\0') {
        gchar* name = g_filename_to_utf8(record->lpstrFile, -1, nullptr, nullptr, nullptr);
        if (name != nullptr && g_utf8_validate(name, -1, nullptr)) {
            gtk_file_chooser_set_current_name(chooser, name);
        }
        g_free(name);
    }
    AddFilters(chooser, record->lpstrFilter, record->nFilterIndex);

    BOOL accepted = FALSE;
    if (gtk_native_dialog_run(GTK_NATIVE_DIALOG(native)) == GTK_RESPONSE_ACCEPT) {
        // File names come back as the bytes on disk, the locale's encoding.
        gchar* chosen = gtk_file_chooser_get_filename(chooser);
        if (chosen != nullptr && strlen(chosen) < record->nMaxFile) {
            strcpy(record->lpstrFile, chosen);
            SetChosenOffsets(record);
            accepted = TRUE;
        }
        g_free(chosen);
    }
    g_object_unref(native);
    // Let the window go away before the conversion takes the thread.
    while (gtk_events_pending()) gtk_main_iteration();
    return accepted;
}

// Set once the terminal prompt has asked: the outcome is told there too.
bool g_promptAsked = false;

}  // namespace

void ShowOutcome(LPCSTR line) {
    if (!g_promptAsked || line == nullptr) return;
    int tty = open("/dev/tty", O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (tty < 0) return;
    size_t length = strlen(line);
    char end = '\n';
    bool ok = write(tty, line, length) == ssize_t(length) && write(tty, &end, 1) == 1;
    (void)ok;  // a terminal that went away has nobody left to tell
    close(tty);
}

BOOL GetSaveFileNameA(LPOPENFILENAMEA record) {
    if (record == nullptr || record->lpstrFile == nullptr || record->nMaxFile == 0) return FALSE;
    if (record->lStructSize != kOpenFileNameSize400 && record->lStructSize != sizeof *record) {
        return FALSE;
    }
    // The process locale was chosen at start-up; GTK must not change it.
    gtk_disable_setlocale();
    if (gtk_init_check(nullptr, nullptr)) return RunFileChooser(record);

    int tty = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (tty < 0) return FALSE;
    BOOL accepted = RunSavePrompt(record, tty);
    close(tty);
    g_promptAsked = accepted != FALSE;
    return accepted;
}
