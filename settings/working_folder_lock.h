// One Kiv per working folder: a second one would rewrite kiv_state.txt, the
// track log and the Maps folder over the first. The first holds a lock on
// kiv.lock in the folder for as long as it runs (the system lets it go when
// the program ends, however it ends); the file names its process.
#pragma once
#include <string>

#define KIV_LOCK_FILE "kiv.lock"

// Takes the lock of folder. 1 with *fd holding it (kept open to the end);
// 0 with the reason in *error: another Kiv works there (and its process
// id), or the lock file cannot be made.
int working_folder_lock(const char* folder, int* fd, std::string* error);
