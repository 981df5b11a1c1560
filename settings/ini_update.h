// Changing keys of kiv_ini.txt in place: the file stays the user's, with
// every other line, comment and line end as it was.
#pragma once

struct IniSetting {
    const char* key;     // with its equals sign: "Com1="
    const char* value;
};

// Each key's first line gets the new value and later lines of the key go
// (a reader takes the first); a key not in the file is added at its end.
// The file is replaced whole (atomic_file.h) and created when missing.
// Returns 1 when written, 0 when not (the old file is left as it was).
int ini_set_keys(const IniSetting* settings, int count);
