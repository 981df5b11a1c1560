#include "position/port_diagnostics.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <grp.h>
#include <sys/stat.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "position/serial_link.h"

namespace {

// The name of the group owning path (links followed); out unchanged when
// there is none to tell.
void device_group(const char* path, char* out, size_t size) {
    struct stat st;
    if (stat(path, &st) != 0) return;
    group g;
    group* found = nullptr;
    char buffer[4096];
    if (getgrgid_r(st.st_gid, &g, buffer, sizeof buffer, &found) == 0 && found && found->gr_name)
        snprintf(out, size, "%s", found->gr_name);
    else
        snprintf(out, size, "%u", static_cast<unsigned>(st.st_gid));
}

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

// Appends printf-style text to out (size bytes in all), cutting at the end.
void append(char* out, size_t size, const char* format, ...) __attribute__((format(printf, 3, 4)));
void append(char* out, size_t size, const char* format, ...) {
    size_t used = strlen(out);
    if (used + 1 >= size) return;
    va_list args;
    va_start(args, format);
    vsnprintf(out + used, size - used, format, args);
    va_end(args);
}

void list_receivers(const char* devRoot, char* out, size_t size) {
    PortReceiver found[16];
    int n = port_list_receivers(devRoot, found, 16);
    if (n == 0) {
        append(out, size, "No receiver found (/dev/serial/by-id/, /dev/ttyUSB*, /dev/ttyACM*): plug one in.");
        return;
    }
    append(out, size, "Receivers found:");
    for (int i = 0; i < n; i++) {
        if (strcmp(found[i].path, found[i].device) != 0)
            append(out, size, "\n  %s (%s)", found[i].path, found[i].device);
        else
            append(out, size, "\n  %s", found[i].path);
    }
    append(out, size, "\nAssign one in Settings > COM.");
}

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

void port_describe_failure(int error, const char* path, const char* procRoot, const char* devRoot, char* out,
                           size_t size) {
    if (!out || size == 0) return;
    out[0] = '\0';
    if (!path) path = "";
    switch (error) {
    case 0:
        return;
    case SERIAL_OPEN_NOT_NMEA:
        append(out, size, "%s carries NMEA sentences only: choose Device > NMEA to read it.", path);
        return;
    case SERIAL_OPEN_LINE_REFUSED:
        append(out, size, "%s refused the line settings: choose another baud rate in Settings > COM.", path);
        return;
    case EACCES:
    case EPERM: {
        // Debian names the serial devices' group dialout, Arch and others uucp.
        char group[64] = "dialout";
        device_group(path, group, sizeof group);
        append(out, size,
               "Permission denied on %s: your user is not in the '%s' group.\n"
               "Add it with\n  sudo usermod -aG %s $USER\nthen log out and in again.",
               path, group, group);
        return;
    }
    case EBUSY: {
        PortHolder holders[4];
        int n = port_find_holders(procRoot, path, holders, 4);
        if (n == 0) {
            append(out, size, "%s is in use by another program (another Kiv?). Close it and Connect again.", path);
            return;
        }
        append(out, size, "%s is in use by %s (process %d).", path, holders[0].program, holders[0].pid);
        if (strcmp(holders[0].program, "gpsd") == 0)
            append(out, size,
                   "\nRead through it with Com<n>=gpsd:// in kiv_ini.txt, or stop it with\n"
                   "  sudo systemctl stop gpsd.socket gpsd");
        else if (strcmp(holders[0].program, "ModemManager") == 0)
            append(out, size, "\nStop it with\n  sudo systemctl stop ModemManager\n(or remove the modemmanager package).");
        else
            append(out, size, "\nClose that program (kill %d) and Connect again.", holders[0].pid);
        return;
    }
    case ENOENT:
    case ENODEV:
    case ENXIO:
        if (strncmp(path, "gpsd://", 7) == 0 || strncmp(path, "tcp://", 6) == 0) {
            append(out, size, "The host of %s is not known.", path);
            return;
        }
        append(out, size, "%s does not exist.\n", path);
        list_receivers(devRoot, out, size);
        return;
    case ENOTTY:
        append(out, size, "%s is not a serial device.\n", path);
        list_receivers(devRoot, out, size);
        return;
    case ECONNREFUSED:
    case ETIMEDOUT:
    case EHOSTUNREACH:
    case ENETUNREACH:
        append(out, size, "Cannot reach %s: %s.", path, strerror(error));
        if (strncmp(path, "gpsd://", 7) == 0) append(out, size, "\nIs gpsd running? Start it with\n  sudo systemctl start gpsd");
        return;
    default:
        append(out, size, "Cannot open %s: %s.", path, strerror(error));
        return;
    }
}
