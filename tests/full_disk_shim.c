/* A full disk where no file system of its own can be mounted: preloaded into
 * the program, it fails every write (write, fwrite, pwrite) and every sync
 * (fsync, fdatasync: where a full disk shows with delayed allocation) of a
 * file under KIV_FULL_DISK_DIR with ENOSPC while the file KIV_FULL_DISK_FLAG
 * exists. */
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

ssize_t pwrite(int fd, const void* data, size_t size, off_t offset) {
    static ssize_t (*real)(int, const void*, size_t, off_t);
    if (!real) real = (ssize_t(*)(int, const void*, size_t, off_t))dlsym(RTLD_NEXT, "pwrite");
    if (disk_full(fd)) {
        errno = ENOSPC;
        return -1;
    }
    return real(fd, data, size, offset);
}

ssize_t pwrite64(int fd, const void* data, size_t size, off_t offset) { return pwrite(fd, data, size, offset); }

/* fsync and fdatasync share one shape: the real one unless the disk is full. */
static int sync_or_full(const char* name, int fd) {
    int (*real)(int) = (int (*)(int))dlsym(RTLD_NEXT, name);
    if (disk_full(fd)) {
        errno = ENOSPC;
        return -1;
    }
    return real(fd);
}

int fsync(int fd) { return sync_or_full("fsync", fd); }
int fdatasync(int fd) { return sync_or_full("fdatasync", fd); }
