// Character-set conversion for the dialog texts, which are Shift-JIS bytes.
#include <errno.h>
#include <iconv.h>
#include <stdlib.h>
#include <string.h>

#include "platform/linux/save_dialog_linux.h"

char* ConvertText(const char* text, const char* from, const char* to) {
    iconv_t codec = iconv_open(to, from);
    if (codec == reinterpret_cast<iconv_t>(-1)) return nullptr;
    size_t inLeft = strlen(text);
    // No character set here takes more than four bytes per input byte.
    size_t capacity = inLeft * 4 + 16;
    char* result = static_cast<char*>(malloc(capacity));
    if (result == nullptr) {
        iconv_close(codec);
        return nullptr;
    }
    char* in = const_cast<char*>(text);
    char* out = result;
    size_t outLeft = capacity - 1;
    bool ok = iconv(codec, &in, &inLeft, &out, &outLeft) != static_cast<size_t>(-1) &&
              iconv(codec, nullptr, nullptr, &out, &outLeft) != static_cast<size_t>(-1);
    iconv_close(codec);
    if (!ok) {
        free(result);
        return nullptr;
    }
    *out = '\0';
    return result;
}
