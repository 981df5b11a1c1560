#include "settings/working_folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

int working_folder_lock(const char* folder, int* fd, std::string* error) {
    *fd = -1;
    std::string path = std::string(folder) + "/" KIV_LOCK_FILE;
    int f = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (f < 0) {
        *error = "cannot make " + path + ": " + strerror(errno);
        return 0;
    }
    if (flock(f, LOCK_EX | LOCK_NB) != 0) {
        int why = errno;
        char holder[32] = "";
        ssize_t n = pread(f, holder, sizeof holder - 1, 0);
        holder[n > 0 ? n : 0] = 0;
        holder[strcspn(holder, "\r\n")] = 0;
        close(f);
        if (why != EWOULDBLOCK) {
            *error = "cannot lock " + path + ": " + strerror(why);
            return 0;
        }
        *error = "another Kiv already works in " + std::string(folder) +
                 (holder[0] ? " (process " + std::string(holder) + ")" : std::string()) +
                 "; close it first, or start this one with --workdir and another folder";
        return 0;
    }
    char pid[32];
    int length = snprintf(pid, sizeof pid, "%ld\n", static_cast<long>(getpid()));
    if (ftruncate(f, 0) != 0 || pwrite(f, pid, static_cast<size_t>(length), 0) != length) {
        // The lock holds all the same; only the message of a second Kiv
        // lacks the process.
    }
    *fd = f;
    return 1;
}
