#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "maps/sheet_download_parts.h"

namespace {

std::atomic<unsigned> temp_serial{0};

bool writeAll(int fd, const unsigned char* data, size_t size) {
    while (size > 0) {
        ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

void sheetTempFilesMake(SheetTempFiles* files) {
    long pid = static_cast<long>(getpid());
    unsigned n = temp_serial.fetch_add(1);
    snprintf(files->reply, sizeof files->reply, "tmp_map.%ld.%u.htm", pid, n);
    snprintf(files->image, sizeof files->image, "tmp_map.%ld.%u.gif", pid, n);
    snprintf(files->jpeg, sizeof files->jpeg, "tmp_map.%ld.%u.jpg", pid, n);
}

void sheetTempFilesRemove(const SheetTempFiles* files) {
    unlink(files->reply);
    unlink(files->image);
    unlink(files->jpeg);
}

void sheetTempFilesRemoveAll() {
    std::string prefix = "tmp_map." + std::to_string(static_cast<long>(getpid())) + ".";
    DIR* dir = opendir(".");
    if (!dir) return;
    while (dirent* e = readdir(dir))
        if (strncmp(e->d_name, prefix.c_str(), prefix.size()) == 0) unlink(e->d_name);
    closedir(dir);
}

int sheetReadWholeFile(const char* path, size_t maxSize, unsigned char** data, size_t* size) {
    *data = nullptr;
    *size = 0;
    FILE* f = fopen(path, "rb");
    if (!f) return 0;
    struct stat st;
    if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0 ||
        static_cast<unsigned long long>(st.st_size) > maxSize) {
        fclose(f);
        return 0;
    }
    size_t want = static_cast<size_t>(st.st_size);
    unsigned char* buf = static_cast<unsigned char*>(malloc(want ? want : 1));
    size_t got = buf ? fread(buf, 1, want, f) : 0;
    fclose(f);
    if (!buf || got != want) {
        free(buf);
        return 0;
    }
    *data = buf;
    *size = want;
    return 1;
}

int sheetStoreAtomically(const char* path, const unsigned char* data, size_t size) {
    std::string temp = std::string(path) + "." + std::to_string(static_cast<long>(getpid())) + "." +
                       std::to_string(temp_serial.fetch_add(1)) + ".tmp";
    int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return 0;
    // Flushed before the rename: after a crash the sheet is whole or absent.
    bool ok = writeAll(fd, data, size) && fsync(fd) == 0;
    if (close(fd) != 0) ok = false;
    if (ok && rename(temp.c_str(), path) != 0) ok = false;
    if (!ok) unlink(temp.c_str());
    return ok ? 1 : 0;
}
