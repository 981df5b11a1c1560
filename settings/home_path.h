// A leading "~" in a path from a settings file names the user's home
// folder, as the shell would have made it had the path been typed there.
#pragma once
#include <cstddef>

// Replaces a leading "~" or "~/" by $HOME in place. Returns 1 when path is
// ready to use (expanded, or nothing to expand), 0 when the expanded path
// would not fit in size bytes or HOME is unset (path left as it was).
int settings_expand_home(char* path, size_t size);
