// The running executable's path for the Linux build.
#include <limits.h>
#include <string.h>
#include <unistd.h>

#include "platform/platform.h"

namespace {

// Any non-null value serves: the only module is the executable itself.
HMODULE const kExecutableModule = reinterpret_cast<HMODULE>(1);

}  // namespace

HMODULE GetModuleHandleA(LPCSTR moduleName) {
    return moduleName == nullptr ? kExecutableModule : nullptr;
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) {
    if (module != kExecutableModule || buffer == nullptr || size == 0) return 0;
    char path[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path);
    if (length <= 0 || static_cast<size_t>(length) >= sizeof path) return 0;
    if (static_cast<size_t>(length) >= size) {
        memcpy(buffer, path, size - 1);
        buffer[size - 1] = '\0';
        return size;
    }
    memcpy(buffer, path, static_cast<size_t>(length));
    buffer[length] = '\0';
    return static_cast<DWORD>(length);
}
