/* A full disk where no file system of its own can be mounted: preloaded into
 * the program, it fails every write to a file under KIV_FULL_DISK_DIR with
 * ENOSPC while the file KIV_FULL_DISK_FLAG exists. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <unistd.h>

static int disk_full(int fd) {
    const char* dir = getenv("KIV_FULL_DISK_DIR");
    const char* flag = getenv("KIV_FULL_DISK_FLAG");
    if (!dir || !flag || access(flag, F_OK) != 0) return 0;
    char link[64], path[PATH_MAX];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    ssize_t n = readlink(link, path, sizeof path - 1);
    if (n <= 0) return 0;
    path[n] = '\0';
    return strncmp(path, dir, strlen(dir)) == 0;
}

ssize_t write(int fd, const void* data, size_t size) {
    static ssize_t (*real)(int, const void*, size_t);
    if (!real) real = (ssize_t(*)(int, const void*, size_t))dlsym(RTLD_NEXT, "write");
    if (disk_full(fd)) {
        errno = ENOSPC;
        return -1;
    }
    return real(fd, data, size);
}

size_t fwrite(const void* data, size_t size, size_t count, FILE* f) {
    static size_t (*real)(const void*, size_t, size_t, FILE*);
    if (!real) real = (size_t(*)(const void*, size_t, size_t, FILE*))dlsym(RTLD_NEXT, "fwrite");
    if (size && count && disk_full(fileno(f))) {
        errno = ENOSPC;
        return 0;
    }
    return real(data, size, count, f);
}
