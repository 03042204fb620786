/* Preloaded into bmp256-convert by the tests: a file system without hard
 * links, as exFAT, FAT and many FUSE and SMB mounts are. With
 * NO_RENAME_NOREPLACE set, renameat2 is missing too, as on older kernels. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdlib.h>

int link(const char* from, const char* to) {
    (void)from, (void)to;
    errno = EPERM;
    return -1;
}

int linkat(int fromDir, const char* from, int toDir, const char* to, int flags) {
    (void)fromDir, (void)from, (void)toDir, (void)to, (void)flags;
    errno = EPERM;
    return -1;
}

int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned flags) {
    if (getenv("NO_RENAME_NOREPLACE")) {
        errno = EINVAL;
        return -1;
    }
    int (*real)(int, const char*, int, const char*, unsigned) =
        (int (*)(int, const char*, int, const char*, unsigned))dlsym(RTLD_NEXT, "renameat2");
    return real(fromDir, from, toDir, to, flags);
}
