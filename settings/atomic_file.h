// Whole-file replacement that survives the program dying mid-write: the
// text goes to a temporary file beside the target (unique per process and
// call), is synced, and is renamed over the target. Readers see either the
// old file or the new one, never a part.
#pragma once
#include <cstddef>

// Returns 1 when the file now holds exactly the bytes given; 0 on any
// failure, in which case the old file is untouched and no temporary is left.
int write_file_atomically(const char* path, const char* data, size_t size);
