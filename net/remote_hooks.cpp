#include "net/remote_server.h"
#include "position/serial_link.h"

void net_install_remote_hooks() { serial_set_remote_hooks(remote_server_start, remote_server_stop); }
