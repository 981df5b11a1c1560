#include "settings/atomic_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace {
std::atomic<unsigned> temp_counter{0};

int write_all(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t n = write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return 0;
        }
        if (n == 0) return 0;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return 1;
}

// The folder holding path ("." when it has none), whose entry the rename changed.
std::string folder_of(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

void sync_folder(const std::string& folder) {
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);  // best effort: the file itself is already durable
    close(fd);
}
}  // namespace

int write_file_atomically(const char* path, const char* data, size_t size) {
    if (!path || !*path || (!data && size > 0)) return 0;
    std::string target(path);
    size_t slash = target.rfind('/');
    std::string prefix = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    std::string base = target.substr(prefix.size());
    if (base.empty()) return 0;

    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        char suffix[64];
        snprintf(suffix, sizeof suffix, ".%ld.%u.tmp", static_cast<long>(getpid()), temp_counter.fetch_add(1));
        temp = prefix + "." + base + suffix;
        fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return 0;
    }
    if (fd < 0) return 0;

    int ok = write_all(fd, data, size) && fsync(fd) == 0;
    if (close(fd) != 0) ok = 0;
    if (ok && rename(temp.c_str(), target.c_str()) != 0) ok = 0;
    if (!ok) {
        unlink(temp.c_str());
        return 0;
    }
    sync_folder(folder_of(target));
    return 1;
}
