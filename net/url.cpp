#include "net/url.h"

#include <cstdlib>
#include <cstring>

namespace {

int refuse(char* host, char* path, int* port) {
    host[0] = 0;
    path[0] = 0;
    *port = 80;
    return 0;
}

}  // namespace

int ParseUrl(const char* url, char* host, char* path, int* port) {
    if (!url) return refuse(host, path, port);
    size_t length = strnlen(url, NET_NAME_SIZE);
    if (length >= NET_NAME_SIZE) return refuse(host, path, port);
    const char* rest = std::strncmp(url, "http://", 7) == 0 ? url + 7 : url;

    const char* slash = std::strchr(rest, '/');
    size_t hostLength = slash ? static_cast<size_t>(slash - rest) : std::strlen(rest);
    std::memcpy(host, rest, hostLength);
    host[hostLength] = 0;
    if (slash)
        std::strcpy(path, slash);
    else
        std::strcpy(path, "/");

    *port = 80;
    char* colon = std::strchr(host, ':');
    if (colon) {
        *colon = 0;
        const char* digits = colon + 1;
        char* end = nullptr;
        long value = std::strtol(digits, &end, 10);
        if (end != digits) {
            if (value < 0 || value > 65535) return refuse(host, path, port);
            *port = static_cast<int>(value);
        }
    }
    return 1;
}
