#include "net/proxy.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "net/sockets.h"

namespace {

int no_proxy(char* host, int* port) {
    host[0] = 0;
    *port = 0;
    return 0;
}

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

}  // namespace

int ParseProxyLine(const char* line, char* host, int* port) {
    no_proxy(host, port);
    if (!line || !*line) return 0;
    std::string text(line);
    // "http://host:port/" reads as host and port.
    size_t scheme = text.find_first_not_of(" \t");
    if (scheme != std::string::npos && text.compare(scheme, 7, "http://") == 0) {
        text.erase(0, scheme + 7);
        size_t slash = text.find('/');
        if (slash != std::string::npos) text.erase(slash);
    }
    size_t colon = text.find(':');
    if (colon != std::string::npos) text[colon] = ' ';

    // "%s %d": a word, blanks, a decimal number.
    size_t i = 0;
    while (i < text.size() && is_blank(text[i])) i++;
    size_t start = i;
    while (i < text.size() && !is_blank(text[i])) i++;
    size_t hostLength = i - start;
    if (hostLength == 0 || hostLength >= NET_NAME_SIZE) return no_proxy(host, port);
    const char* digits = text.c_str() + i;
    char* end = nullptr;
    long value = std::strtol(digits, &end, 10);
    if (end == digits || value < 1 || value > 65535) return no_proxy(host, port);

    std::memcpy(host, text.data() + start, hostLength);
    host[hostLength] = 0;
    *port = static_cast<int>(value);
    return 1;
}

int ReadProxyFile(int lineSize, char* host, int* port) {
    no_proxy(host, port);
    FILE* f = std::fopen("kiv_prx.txt", "r");
    if (!f) return 0;
    std::string line;
    int c;
    bool tooLong = false;
    while ((c = std::fgetc(f)) != EOF && c != '\n') {
        if (static_cast<int>(line.size()) >= lineSize - 1) {
            tooLong = true;
            break;
        }
        line.push_back(static_cast<char>(c));
    }
    std::fclose(f);
    if (tooLong) return 0;
    return ParseProxyLine(line.c_str(), host, port);
}
