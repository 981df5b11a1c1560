// What to tell the user when a port cannot be opened (naming the menus
// that fix it), from what position/port_scan.h finds.
#pragma once
#include <cstddef>

#include "position/port_scan.h"

// The advice for a failed open of path with error (an errno value or a
// SERIAL_OPEN_* code of serial_link.h): what happened and what to do.
void port_describe_failure(int error, const char* path, const char* procRoot, const char* devRoot, char* out,
                           size_t size);
