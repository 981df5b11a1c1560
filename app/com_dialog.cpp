#include "app/com_dialog.h"

#include <cstdio>
#include <cstring>

#include "app/port_diagnostics.h"
#include "settings/app_settings.h"
#include "settings/com_file.h"
#include "settings/port_lines.h"
#include "settings/text_scan.h"

namespace {

struct Entry {
    const char* text;
    int32_t value;
};

const Entry kBaudRates[] = {
    {"110", 110},       {"300", 300},       {"600", 600},         {"1200", 1200},     {"2400", 2400},
    {"4800", 4800},     {"9600", 9600},     {"14.4k", 14400},     {"19.2k", 19200},   {"38.4k", 38400},
    {"56k", 56000},     {"57.6k", 57600},   {"115.2k", 115200},   {"128k", 128000},   {"256k", 256000},
};
// Windows parity codes, in the order the list shows them.
const Entry kParities[] = {{"None", 0}, {"Even", 2}, {"Odd", 1}, {"Mark", 3}, {"Space", 4}};
// Only one stop bit is offered (code 0); 1.5 and 2 are not.
const Entry kStopBits[] = {{"1", 0}};

void setList(ComDialogList* l, int controlId, const char* label, int y) {
    l->controlId = controlId;
    l->label = label;
    l->labelRect = {10, y, 40, 10};
    l->rect = {55, y, 55, 60};
    l->count = 0;
    l->selected = -1;
    l->enabled = 1;
}

void append(ComDialogList* l, const char* text, int32_t value, int64_t current) {
    if (l->count >= COM_DIALOG_ENTRIES) return;
    snprintf(l->text[l->count], COM_DIALOG_TEXT, "%s", text);
    l->value[l->count] = value;
    if (value == current) l->selected = l->count;
    l->count++;
}

template <size_t N>
void fill(ComDialogList* l, const Entry (&entries)[N], int64_t current) {
    for (const Entry& e : entries) append(l, e.text, e.value, current);
}

// The value of the selected entry, or the old value when nothing is
// selected (a rate outside the table, or a port of 0, shows no selection).
int64_t chosen(const ComDialogList& l, int64_t old) {
    return l.selected >= 0 && l.selected < l.count ? l.value[l.selected] : old;
}

void selectValue(ComDialogList* l, int64_t value) {
    for (int i = 0; i < l->count; i++)
        if (l->value[i] == value) l->selected = i;
}

// The device list of the selected port: what it opens now, then every
// other receiver found.
void fillDevices(ComDialog* d) {
    ComDialogList* l = &d->device;
    l->count = 0;
    l->selected = -1;
    int sel = d->lists[COM_LIST_PORT].selected;
    if (sel < 0 || sel >= COM_DIALOG_PORTS) return;
    const char* current = d->portPaths[sel];
    int shown = -1;
    for (int i = 0; i < d->foundCount; i++)
        if (strcmp(d->foundPaths[i], current) == 0) shown = i;
    snprintf(d->devicePaths[0], COM_DIALOG_PATH, "%s", current);
    append(l, shown >= 0 ? d->foundTexts[shown] : current, 0, 0);
    for (int i = 0; i < d->foundCount && l->count < COM_DIALOG_ENTRIES; i++) {
        if (i == shown) continue;
        snprintf(d->devicePaths[l->count], COM_DIALOG_PATH, "%s", d->foundPaths[i]);
        append(l, d->foundTexts[i], l->count, -1);
    }
}

void followPort(ComDialog* d) {
    int sel = d->lists[COM_LIST_PORT].selected;
    snprintf(d->portPathText, sizeof d->portPathText, "%s",
             sel >= 0 && sel < COM_DIALOG_PORTS ? d->portPaths[sel] : "");
    fillDevices(d);
}

// The lists show the line remembered for the newly selected port.
void presetRemembered(ComDialog* d) {
    int sel = d->lists[COM_LIST_PORT].selected;
    if (sel < 0 || sel >= COM_DIALOG_PORTS || !d->settings) return;
    const PortLine& l = d->settings->comLine[sel + 1];
    if (!l.known) return;
    d->lists[COM_LIST_BAUD_RATE].selected = -1;
    selectValue(&d->lists[COM_LIST_BAUD_RATE], l.baudRate);
    selectValue(&d->lists[COM_LIST_DATA_BITS], l.dataBits);
    selectValue(&d->lists[COM_LIST_PARITY], l.parity);
    selectValue(&d->lists[COM_LIST_STOP_BITS], l.stopBits);
    for (int b = 0; b < COM_FLOW_BOXES; b++) d->flowChecked[b] = (l.flowControl >> b) & 1;
}

// Receivers the dialog offers, by a name that fits a list entry.
void findReceivers(ComDialog* d, const char* devRoot) {
    PortReceiver found[COM_DIALOG_ENTRIES];
    int n = port_list_receivers(devRoot, found, COM_DIALOG_ENTRIES);
    d->foundCount = 0;
    for (int i = 0; i < n; i++) {
        // A name Com<n>= cannot hold is not offered.
        if (strpbrk(found[i].path, " \t") || strlen(found[i].path) >= COM_DIALOG_PATH) continue;
        const char* device = strrchr(found[i].device, '/');
        device = device ? device + 1 : found[i].device;
        char* text = d->foundTexts[d->foundCount];
        if (found[i].byId[0])
            snprintf(text, COM_DIALOG_TEXT, "%.*s (%s)", 60, found[i].byId, device);
        else
            copy_text(text, COM_DIALOG_TEXT, found[i].path);
        copy_text(d->foundPaths[d->foundCount], COM_DIALOG_PATH, found[i].path);
        d->foundCount++;
    }
}

}  // namespace

void com_dialog_init(ComDialog* d, AppSettings* s, const char* devRoot) {
    *d = ComDialog{};
    d->settings = s;
    d->caption = "KIV Settings...";
    // Wider and taller than the classic layout: the receivers to assign and
    // the device path of the selected port sit under the check boxes.
    d->frame = {25, 20, 205, 192};
    d->groupText = "&COM Options:";
    d->groupRect = {5, 5, 195, 156};

    ComDialogList* l = d->lists;
    setList(&l[COM_LIST_PORT], 576, "&Port:", 20);
    for (int n = 1; n <= COM_DIALOG_PORTS; n++) {
        char text[COM_DIALOG_TEXT];
        snprintf(text, sizeof text, "%s%d", "COM", n);
        append(&l[COM_LIST_PORT], text, n, s->comPort);
        if (!settings_port_path(s, n, d->portPaths[n - 1], COM_DIALOG_PATH)) d->portPaths[n - 1][0] = 0;
    }
    // The port of an open link cannot change.
    l[COM_LIST_PORT].enabled = s->connected.load() ? 0 : 1;

    setList(&l[COM_LIST_BAUD_RATE], 577, "&Baud Rate:", 35);
    fill(&l[COM_LIST_BAUD_RATE], kBaudRates, s->baudRate);

    setList(&l[COM_LIST_DATA_BITS], 578, "&Data Bits:", 50);
    for (int bits = 5; bits <= 8; bits++) {
        char text[8];
        snprintf(text, sizeof text, "%d", bits);
        append(&l[COM_LIST_DATA_BITS], text, bits, s->dataBits);
    }

    setList(&l[COM_LIST_PARITY], 579, "P&arity:", 65);
    fill(&l[COM_LIST_PARITY], kParities, s->parity);
    setList(&l[COM_LIST_STOP_BITS], 580, "&Stop Bits:", 80);
    fill(&l[COM_LIST_STOP_BITS], kStopBits, s->stopBits);

    d->flowLabel = "F&low:";
    d->flowLabelRect = {10, 95, 40, 10};
    const char* flowText[COM_FLOW_BOXES] = {"DTR/DSR", "RTS/CTS", "XON/XOFF"};
    for (int b = 0; b < COM_FLOW_BOXES; b++) {
        d->flowText[b] = flowText[b];
        d->flowRect[b] = {55, 95 + 10 * b, 50, 10};
        d->flowChecked[b] = (s->flowControl >> b) & 1;
    }

    setList(&d->device, 584, "De&vice:", 129);
    d->device.rect = {55, 127, 140, 60};
    d->device.enabled = l[COM_LIST_PORT].enabled;
    findReceivers(d, devRoot);
    d->portPathRect = {10, 144, 185, 10};
    followPort(d);
    d->okText = "Ok";
    d->cancelText = "Cancel";
    d->okRect = {5, 168, 55, 14};
    d->cancelRect = {66, 168, 54, 14};
    d->result = 0;
}

void com_dialog_select(ComDialog* d, int list, int entry) {
    if (list < 0 || list >= COM_LISTS) return;
    ComDialogList& l = d->lists[list];
    if (!l.enabled || entry < -1 || entry >= l.count) return;
    int changed = l.selected != entry;
    l.selected = entry;
    if (list == COM_LIST_PORT && changed) {
        followPort(d);
        presetRemembered(d);
    }
}

void com_dialog_pick_device(ComDialog* d, int entry) {
    int port = d->lists[COM_LIST_PORT].selected;
    if (!d->device.enabled || entry < 0 || entry >= d->device.count || port < 0 || port >= COM_DIALOG_PORTS) return;
    d->device.selected = entry;
    if (entry == 0) return;   // what the port opens already
    copy_text(d->portPaths[port], COM_DIALOG_PATH, d->devicePaths[entry]);
    d->assigned[port] = 1;
    snprintf(d->portPathText, sizeof d->portPathText, "%s", d->portPaths[port]);
}

void com_dialog_set_flow(ComDialog* d, int box, int checked) {
    if (box >= 0 && box < COM_FLOW_BOXES) d->flowChecked[box] = checked ? 1 : 0;
}

int com_dialog_ok(ComDialog* d) {
    AppSettings* s = d->settings;
    if (s) {
        const ComDialogList* l = d->lists;
        const PortLine before = {1, s->baudRate, s->dataBits, s->parity, s->stopBits, s->flowControl};
        const int port = static_cast<int>(chosen(l[COM_LIST_PORT], s->comPort));
        // A remembered rate the list does not offer shows no selection but
        // still holds for its port.
        const PortLine* other = nullptr;
        if (port != s->comPort && port >= 1 && port < SETTINGS_COM_PORTS && s->comLine[port].known)
            other = &s->comLine[port];
        s->comPort = static_cast<uint8_t>(port);
        s->baudRate = static_cast<uint32_t>(chosen(l[COM_LIST_BAUD_RATE], other ? other->baudRate : s->baudRate));
        s->dataBits = static_cast<uint8_t>(chosen(l[COM_LIST_DATA_BITS], s->dataBits));
        s->parity = static_cast<uint8_t>(chosen(l[COM_LIST_PARITY], s->parity));
        s->stopBits = static_cast<uint8_t>(chosen(l[COM_LIST_STOP_BITS], s->stopBits));
        s->flowControl = static_cast<uint8_t>((d->flowChecked[COM_FLOW_DTR_DSR] ? 1 : 0) |
                                              (d->flowChecked[COM_FLOW_RTS_CTS] ? 2 : 0) |
                                              (d->flowChecked[COM_FLOW_XON_XOFF] ? 4 : 0));
        settings_write_com(s);
        for (int port = 1; port <= COM_DIALOG_PORTS; port++)
            if (d->assigned[port - 1] && strcmp(d->portPaths[port - 1], s->comPath[port]) != 0)
                settings_assign_port(s, port, d->portPaths[port - 1]);
        // The line is remembered for the port once the user chose one for
        // it; Ok on unchanged device defaults pins nothing.
        const PortLine after = {1, s->baudRate, s->dataBits, s->parity, s->stopBits, s->flowControl};
        if (s->comPort >= 1 && s->comPort < SETTINGS_COM_PORTS) {
            const PortLine& kept = s->comLine[s->comPort];
            if (!port_line_equal(kept.known ? kept : before, after)) settings_remember_port_line(s, s->comPort);
        }
    }
    d->result = 1;
    return 1;
}

int com_dialog_cancel(ComDialog* d) {
    d->result = 1;
    return 1;
}
