#include "desktop/module_path.h"

#include <string.h>

#include "desktop/path.h"
#include "platform/platform.h"

namespace {

// The last component of `path`, found without cutting the path.
char* LastComponent(char* path, char separator) {
    for (size_t i = strlen(path); i-- > 0;) {
        if (IsPathSeparatorAt(path, i, separator)) return path + i + 1;
    }
    return path;
}

}  // namespace

int FormModulePath(char* buffer, size_t capacity, const char* extension, char separator,
                   bool lowerDirectories) {
    if (extension != nullptr) {
        CutExtension(buffer, separator);
        size_t length = strlen(buffer);
        size_t extensionLength = strlen(extension);
        if (length + extensionLength >= capacity) return 0;
        memcpy(buffer + length, extension, extensionLength + 1);
    }
    LowerCasePath(lowerDirectories ? buffer : LastComponent(buffer, separator));
    return 1;
}

int BuildModulePath(char* buffer, const char* extension) {
    DWORD length = GetModuleFileNameA(GetModuleHandleA(nullptr), buffer, MAX_PATH);
    // A path that filled the whole buffer was cut short: refuse it rather than
    // name some other file.
    if (length == 0 || length >= MAX_PATH) return 0;
    return FormModulePath(buffer, MAX_PATH, extension, kPathSeparator,
                          PLATFORM_LOWER_CASE_DIRECTORIES != 0);
}
