// The folder Kiv works in (settings files, Maps folder, track log): the one
// named with --workdir; else the folder it was started in when that holds
// settings files (kiv_*.txt), as set-ups always had it; else
// $XDG_DATA_HOME/kiv (~/.local/share/kiv), which is where a start from the
// desktop menu lands. A chosen folder without settings files is given the
// default ones and a Maps folder.
#pragma once
#include <string>

// named: the --workdir value or null; current: the folder started in.
// Returns 1 with *folder ready to use, 0 with the reason in *error.
int settings_working_folder(const char* named, const char* current, std::string* folder, std::string* error);
