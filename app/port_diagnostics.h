// What to tell the user when a port cannot be opened, and which receivers
// this computer has. Pure functions over a /proc and a /dev root, so that
// tests can hand in fake trees.
#pragma once
#include <cstddef>

enum { PORT_NAME_SIZE = 256, PORT_PROGRAM_SIZE = 64 };

// A receiver found under the /dev root: the name to put into Com<n>= (the
// stable /dev/serial/by-id/ link when there is one, else the device), the
// device it leads to, and the by-id name ("" without one).
struct PortReceiver {
    char path[PORT_NAME_SIZE];
    char device[PORT_NAME_SIZE];
    char byId[PORT_NAME_SIZE];
};

// /dev/serial/by-id/*, then /dev/ttyUSB* and /dev/ttyACM* without a by-id
// link, each group sorted by name. Returns how many were stored (at most max).
int port_list_receivers(const char* devRoot, PortReceiver* out, int max);

struct PortHolder {
    int pid;
    char program[PORT_PROGRAM_SIZE];   // from /proc/<pid>/comm
};
// Other processes under procRoot with a descriptor open on device (links
// followed); the far end of a pseudo-terminal (holding its master) is none.
int port_find_holders(const char* procRoot, const char* device, PortHolder* out, int max);

// The advice for a failed open of path with error (an errno value or a
// SERIAL_OPEN_* code of serial_link.h): what happened and what to do.
void port_describe_failure(int error, const char* path, const char* procRoot, const char* devRoot, char* out,
                           size_t size);
