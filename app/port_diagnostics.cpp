#include "app/port_diagnostics.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <grp.h>
#include <sys/stat.h>

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
