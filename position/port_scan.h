// Which receivers this computer has and which programs hold a port: pure
// functions over a /proc and a /dev root, so that tests can hand in fake
// trees.
#pragma once

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
