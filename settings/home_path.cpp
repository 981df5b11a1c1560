#include "settings/home_path.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int settings_expand_home(char* path, size_t size) {
    if (path[0] != '~' || (path[1] != '\0' && path[1] != '/')) return 1;
    const char* home = getenv("HOME");
    if (!home || !home[0]) return 0;
    std::string expanded = std::string(home) + (path + 1);
    if (expanded.size() >= size) return 0;
    memcpy(path, expanded.c_str(), expanded.size() + 1);
    return 1;
}
