#include "app/com_dialog.h"

#include <cstdio>
#include <cstring>

#include "settings/app_settings.h"
#include "settings/com_file.h"

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

void followPort(ComDialog* d) {
    int sel = d->lists[COM_LIST_PORT].selected;
    snprintf(d->portPathText, sizeof d->portPathText, "%s",
             sel >= 0 && sel < COM_DIALOG_PORTS ? d->portPaths[sel] : "");
}

}  // namespace

void com_dialog_init(ComDialog* d, AppSettings* s) {
    *d = ComDialog{};
    d->settings = s;
    d->caption = "KIV Settings...";
    // One row taller than the classic layout: the device path of the
    // selected port sits under the check boxes.
    d->frame = {25, 20, 125, 178};
    d->groupText = "&COM Options:";
    d->groupRect = {5, 5, 115, 142};

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

    d->portPathRect = {10, 129, 105, 10};
    followPort(d);
    d->okText = "Ok";
    d->cancelText = "Cancel";
    d->okRect = {5, 154, 55, 14};
    d->cancelRect = {66, 154, 54, 14};
    d->result = 0;
}

void com_dialog_select(ComDialog* d, int list, int entry) {
    if (list < 0 || list >= COM_LISTS) return;
    ComDialogList& l = d->lists[list];
    if (!l.enabled || entry < -1 || entry >= l.count) return;
    l.selected = entry;
    if (list == COM_LIST_PORT) followPort(d);
}

void com_dialog_set_flow(ComDialog* d, int box, int checked) {
    if (box >= 0 && box < COM_FLOW_BOXES) d->flowChecked[box] = checked ? 1 : 0;
}

int com_dialog_ok(ComDialog* d) {
    AppSettings* s = d->settings;
    if (s) {
        const ComDialogList* l = d->lists;
        s->comPort = static_cast<uint8_t>(chosen(l[COM_LIST_PORT], s->comPort));
        s->baudRate = static_cast<uint32_t>(chosen(l[COM_LIST_BAUD_RATE], s->baudRate));
        s->dataBits = static_cast<uint8_t>(chosen(l[COM_LIST_DATA_BITS], s->dataBits));
        s->parity = static_cast<uint8_t>(chosen(l[COM_LIST_PARITY], s->parity));
        s->stopBits = static_cast<uint8_t>(chosen(l[COM_LIST_STOP_BITS], s->stopBits));
        s->flowControl = static_cast<uint8_t>((d->flowChecked[COM_FLOW_DTR_DSR] ? 1 : 0) |
                                              (d->flowChecked[COM_FLOW_RTS_CTS] ? 2 : 0) |
                                              (d->flowChecked[COM_FLOW_XON_XOFF] ? 4 : 0));
        settings_write_com(s);
    }
    d->result = 1;
    return 1;
}

int com_dialog_cancel(ComDialog* d) {
    d->result = 1;
    return 1;
}
