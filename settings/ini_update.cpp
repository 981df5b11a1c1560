#include "settings/ini_update.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "settings/atomic_file.h"
#include "settings/ini_file.h"

namespace {

// The whole file as lines, each with its own line end ("" for a last line
// without one). False when the file exists but cannot be read.
bool read_lines(std::vector<std::string>* lines) {
    FILE* f = fopen(KIV_INI_FILE, "rb");
    if (!f) return true;
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    bool ok = !ferror(f);
    fclose(f);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        lines->push_back(text.substr(start, end - start));
        start = end;
    }
    return ok;
}

}  // namespace

int ini_set_keys(const IniSetting* settings, int count) {
    std::vector<std::string> lines;
    if (!read_lines(&lines)) return 0;
    // A file written on Windows keeps its CR LF line ends.
    const char* newline = !lines.empty() && lines[0].size() >= 2 && lines[0].compare(lines[0].size() - 2, 2, "\r\n") == 0
                              ? "\r\n"
                              : "\n";
    for (int i = 0; i < count; i++) {
        const IniSetting& k = settings[i];
        const std::string fresh = std::string(k.key) + k.value + newline;
        bool placed = false;
        for (size_t l = 0; l < lines.size();) {
            if (lines[l].compare(0, strlen(k.key), k.key) != 0) {
                l++;
            } else if (!placed) {
                lines[l++] = fresh;
                placed = true;
            } else {
                lines.erase(lines.begin() + static_cast<long>(l));
            }
        }
        if (!placed) {
            if (!lines.empty() && lines.back().back() != '\n') lines.back() += newline;
            lines.push_back(fresh);
        }
    }
    std::string text;
    for (const std::string& l : lines) text += l;
    return write_file_atomically(KIV_INI_FILE, text.data(), text.size());
}
