#include "settings/port_lines.h"

#include <cstdio>
#include <cstring>

#include "settings/app_settings.h"
#include "settings/ini_file.h"
#include "settings/ini_update.h"
#include "settings/text_scan.h"

namespace {

// Words in the order of the record's codes.
const char* const kParities[] = {"None", "Odd", "Even", "Mark", "Space"};
const char* const kStopBits[] = {"1", "1.5", "2"};
const char* const kFlows[] = {"DTR/DSR", "RTS/CTS", "XON/XOFF"};
constexpr unsigned kHighestRate = 4000000;

int code_of(const char* word, const char* const* words, int count) {
    for (int i = 0; i < count; i++)
        if (strcmp(word, words[i]) == 0) return i;
    return -1;
}

void key_of(char* out, size_t size, const char* name, int port) { snprintf(out, size, "%s%d=", name, port); }

int read_port_word(const char* name, int port, char* value, size_t size) {
    char key[16];
    key_of(key, sizeof key, name, port);
    return ini_read_word(key, INI_LINE_LIMIT, value, size);
}

void read_port_line(int port, PortLine* line) {
    char key[16], word[64];
    int number;
    key_of(key, sizeof key, "Baud", port);
    if (!ini_read_int(key, INI_LINE_LIMIT, &number) || number <= 0 || static_cast<unsigned>(number) > kHighestRate)
        return;
    *line = PortLine{1, static_cast<uint32_t>(number), 8, 0, 0, 0};
    key_of(key, sizeof key, "Bits", port);
    if (ini_read_int(key, INI_LINE_LIMIT, &number) && number >= 5 && number <= 8)
        line->dataBits = static_cast<uint8_t>(number);
    int code;
    if (read_port_word("Parity", port, word, sizeof word) && (code = code_of(word, kParities, 5)) >= 0)
        line->parity = static_cast<uint8_t>(code);
    if (read_port_word("Stop", port, word, sizeof word) && (code = code_of(word, kStopBits, 3)) >= 0)
        line->stopBits = static_cast<uint8_t>(code);
    if (read_port_word("Flow", port, word, sizeof word))
        for (int b = 0; b < 3; b++)
            if (strstr(word, kFlows[b])) line->flowControl = static_cast<uint8_t>(line->flowControl | (1 << b));
}

int valid_port(int port) { return port >= 1 && port < SETTINGS_COM_PORTS; }

}  // namespace

void settings_read_port_lines(AppSettings* s) {
    for (int n = 1; n < SETTINGS_COM_PORTS; n++) read_port_line(n, &s->comLine[n]);
}

void settings_apply_port_line(AppSettings* s) {
    if (!valid_port(s->comPort) || !s->comLine[s->comPort].known) return;
    const PortLine& l = s->comLine[s->comPort];
    s->baudRate = l.baudRate;
    s->dataBits = l.dataBits;
    s->parity = l.parity;
    s->stopBits = l.stopBits;
    s->flowControl = l.flowControl;
}

int settings_remember_port_line(AppSettings* s, int port) {
    if (!valid_port(port)) return 0;
    PortLine l = {1, s->baudRate, s->dataBits, s->parity, s->stopBits, s->flowControl};
    if (l.parity > 4 || l.stopBits > 2) return 0;
    s->comLine[port] = l;
    char keys[5][16], baud[16], bits[8], flow[32] = "";
    for (int b = 0; b < 3; b++) {
        if (!(l.flowControl & (1 << b))) continue;
        size_t used = strlen(flow);
        snprintf(flow + used, sizeof flow - used, "%s%s", used ? "+" : "", kFlows[b]);
    }
    snprintf(baud, sizeof baud, "%u", static_cast<unsigned>(l.baudRate));
    snprintf(bits, sizeof bits, "%d", l.dataBits);
    const char* names[5] = {"Baud", "Bits", "Parity", "Stop", "Flow"};
    const char* values[5] = {baud, bits, kParities[l.parity], kStopBits[l.stopBits], flow[0] ? flow : "None"};
    IniSetting settings[5];
    for (int i = 0; i < 5; i++) {
        key_of(keys[i], sizeof keys[i], names[i], port);
        settings[i] = {keys[i], values[i]};
    }
    return ini_set_keys(settings, 5);
}

int settings_assign_port(AppSettings* s, int port, const char* path) {
    if (!valid_port(port) || !path || !path[0] || strlen(path) >= sizeof s->comPath[port] || strpbrk(path, " \t\r\n"))
        return 0;
    copy_text(s->comPath[port], sizeof s->comPath[port], path);
    char key[16];
    key_of(key, sizeof key, "Com", port);
    IniSetting setting = {key, path};
    return ini_set_keys(&setting, 1);
}

int port_line_equal(const PortLine& a, const PortLine& b) {
    return a.baudRate == b.baudRate && a.dataBits == b.dataBits && a.parity == b.parity && a.stopBits == b.stopBits &&
           a.flowControl == b.flowControl;
}
