// Pieces of the Linux save dialog shared by the GTK chooser and the text
// prompt. Internal to src/platform/linux.
#pragma once

#include <stddef.h>

#include "platform/platform.h"

// `text` converted from the character set `from` to `to` (iconv names), in a
// new zero-terminated buffer that the caller frees with free(); null when
// the conversion fails.
char* ConvertText(const char* text, const char* from, const char* to);

// The folder the dialog starts in, as an absolute path in `folder` (`size`
// bytes): the record's initial folder made absolute against the current
// directory; an empty one is the root; a missing one, or one that is not a
// directory, gives the current directory. Returns 0 when nothing fits.
int ResolveInitialFolder(const char* initialDir, char* folder, size_t size);

// Sets nFileOffset and nFileExtension for the path now in record->lpstrFile,
// as the Windows dialog does.
void SetChosenOffsets(LPOPENFILENAMEA record);

// The text prompt on the terminal `tty` (read and written): shows the title
// and the proposed path; Enter accepts it, a typed path replaces it (relative
// to the proposed folder); an existing file asks for confirmation when
// OFN_OVERWRITEPROMPT is set; end of input cancels. Same result as
// GetSaveFileNameA.
BOOL RunSavePrompt(LPOPENFILENAMEA record, int tty);
