#include "position/port_scan.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::vector<std::string> names_in(const std::string& dir, const char* prefix) {
    std::vector<std::string> names;
    DIR* d = opendir(dir.c_str());
    if (!d) return names;
    while (dirent* e = readdir(d)) {
        if (e->d_name[0] == '.') continue;
        if (prefix && strncmp(e->d_name, prefix, strlen(prefix)) != 0) continue;
        names.push_back(e->d_name);
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

std::string resolved(const std::string& path) {
    char real[PATH_MAX];
    return realpath(path.c_str(), real) ? std::string(real) : path;
}

void copy(char* out, const std::string& text) { snprintf(out, PORT_NAME_SIZE, "%s", text.c_str()); }

}  // namespace

int port_list_receivers(const char* devRoot, PortReceiver* out, int max) {
    const std::string dev = devRoot ? devRoot : "/dev";
    const std::string byIdDir = dev + "/serial/by-id";
    std::vector<std::string> devices;   // already listed through a by-id link
    int n = 0;
    for (const std::string& name : names_in(byIdDir, nullptr)) {
        if (n >= max) return n;
        std::string link = byIdDir + "/" + name;
        std::string device = resolved(link);
        copy(out[n].path, link);
        copy(out[n].device, device);
        copy(out[n].byId, name);
        devices.push_back(device);
        n++;
    }
    for (const char* prefix : {"ttyUSB", "ttyACM"}) {
        for (const std::string& name : names_in(dev, prefix)) {
            if (n >= max) return n;
            std::string device = resolved(dev + "/" + name);
            if (std::find(devices.begin(), devices.end(), device) != devices.end()) continue;
            copy(out[n].path, dev + "/" + name);
            copy(out[n].device, device);
            out[n].byId[0] = '\0';
            n++;
        }
    }
    return n;
}

namespace {

// The process holds the master of pseudo-terminal slave number index: it is
// the far end of the line (a simulator, gpsfake), not a rival reader.
int holds_pty_master(const std::string& pidDir, int index) {
    for (const std::string& fd : names_in(pidDir + "/fd", nullptr)) {
        char link[PATH_MAX];
        ssize_t len = readlink((pidDir + "/fd/" + fd).c_str(), link, sizeof link - 1);
        if (len <= 0) continue;
        link[len] = '\0';
        if (strcmp(link, "/dev/ptmx") != 0 && strcmp(link, "/dev/pts/ptmx") != 0) continue;
        FILE* f = fopen((pidDir + "/fdinfo/" + fd).c_str(), "r");
        if (!f) continue;
        char line[128];
        int found = -1;
        while (fgets(line, sizeof line, f))
            if (sscanf(line, "tty-index: %d", &found) == 1) break;
        fclose(f);
        if (found == index) return 1;
    }
    return 0;
}

}  // namespace

int port_find_holders(const char* procRoot, const char* device, PortHolder* out, int max) {
    const std::string proc = procRoot ? procRoot : "/proc";
    const std::string target = resolved(device);
    int ptyIndex = -1;
    if (target.rfind("/dev/pts/", 0) == 0) ptyIndex = atoi(target.c_str() + 9);
    const int self = getpid();
    int n = 0;
    for (const std::string& pid : names_in(proc, nullptr)) {
        if (n >= max) break;
        if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
        if (atoi(pid.c_str()) == self) continue;
        const std::string fdDir = proc + "/" + pid + "/fd";
        for (const std::string& fd : names_in(fdDir, nullptr)) {
            char link[PATH_MAX];
            ssize_t len = readlink((fdDir + "/" + fd).c_str(), link, sizeof link - 1);
            if (len <= 0) continue;
            link[len] = '\0';
            // Sockets, pipes and the like are never the device.
            if (link[0] != '/') continue;
            if (target != link && target != resolved(fdDir + "/" + fd)) continue;
            if (ptyIndex >= 0 && holds_pty_master(proc + "/" + pid, ptyIndex)) break;
            out[n].pid = atoi(pid.c_str());
            out[n].program[0] = '\0';
            if (FILE* f = fopen((proc + "/" + pid + "/comm").c_str(), "r")) {
                if (fgets(out[n].program, sizeof out[n].program, f)) out[n].program[strcspn(out[n].program, "\n")] = 0;
                fclose(f);
            }
            n++;
            break;
        }
    }
    return n;
}
