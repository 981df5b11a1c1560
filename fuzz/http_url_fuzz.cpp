// URLs and proxy lines from arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "net/proxy.h"
#include "net/url.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);  // ends at the first zero byte for the parsers
    char host[NET_NAME_SIZE], path[NET_NAME_SIZE];
    int port = 0;
    if (ParseUrl(text.c_str(), host, path, &port)) {
        if (std::strlen(host) >= NET_NAME_SIZE || std::strlen(path) >= NET_NAME_SIZE) std::abort();
        if (port < 0 || port > 65535 || path[0] != '/') std::abort();
    }
    char proxyHost[NET_NAME_SIZE];
    int proxyPort = -1;
    if (ParseProxyLine(text.c_str(), proxyHost, &proxyPort)) {
        if (!proxyHost[0] || std::strlen(proxyHost) >= NET_NAME_SIZE) std::abort();
        if (proxyPort < 1 || proxyPort > 65535) std::abort();
    } else if (proxyHost[0] || proxyPort != 0) {
        std::abort();
    }
    return 0;
}
