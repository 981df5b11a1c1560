// The COM settings dialog as a plain record that a toolkit renders: the
// texts, the entries of each drop-down list with the value each stands for,
// the selections and check boxes preset from the settings record, and the
// device path each port entry opens. The toolkit reports the user's choices
// with com_dialog_select / com_dialog_set_flow / com_dialog_pick_device and
// ends the dialog with com_dialog_ok or com_dialog_cancel. Modal, main thread.
#pragma once
#include <cstdint>

#include "app/dialog_rect.h"

struct AppSettings;

enum { COM_DIALOG_TEXT = 81, COM_DIALOG_ENTRIES = 15, COM_DIALOG_PORTS = 9, COM_DIALOG_PATH = 256 };
enum ComDialogListIndex { COM_LIST_PORT, COM_LIST_BAUD_RATE, COM_LIST_DATA_BITS, COM_LIST_PARITY, COM_LIST_STOP_BITS,
                          COM_LISTS };
enum ComDialogFlowBox { COM_FLOW_DTR_DSR, COM_FLOW_RTS_CTS, COM_FLOW_XON_XOFF, COM_FLOW_BOXES };

struct ComDialogList {
    int controlId;                                  // 576 .. 580
    const char* label;                              // "&Port:", "&Baud Rate:", ...
    DialogRect labelRect, rect;
    int count;
    char text[COM_DIALOG_ENTRIES][COM_DIALOG_TEXT]; // "COM1", "19.2k", "Even", ...
    int32_t value[COM_DIALOG_ENTRIES];              // what the entry stands for: 3, 19200, 2, ...
    int selected;                                   // entry index, -1 for none
    int enabled;                                    // 0: greyed (the port list while connected)
};

struct ComDialog {
    AppSettings* settings;
    const char* caption;                            // "KIV Settings..."
    DialogRect frame;
    const char* groupText;                          // "&COM Options:"
    DialogRect groupRect;
    ComDialogList lists[COM_LISTS];
    const char* flowLabel;                          // "F&low:"
    DialogRect flowLabelRect;
    const char* flowText[COM_FLOW_BOXES];           // "DTR/DSR", "RTS/CTS", "XON/XOFF"
    DialogRect flowRect[COM_FLOW_BOXES];
    int flowChecked[COM_FLOW_BOXES];
    // The device the selected port entry opens (Com<n>= line of kiv_ini.txt,
    // else /dev/ttyS<n-1>): a read-only text under the check boxes that
    // follows the port selection. portPaths holds it for every entry.
    char portPaths[COM_DIALOG_PORTS][COM_DIALOG_PATH];
    char portPathText[COM_DIALOG_PATH];
    DialogRect portPathRect;
    // The receivers this computer has (/dev/serial/by-id/*, /dev/ttyUSB*,
    // /dev/ttyACM*), offered for the selected port: entry 0 is what the port
    // opens now, the others are shown by their by-id name with the device.
    // Picking one assigns it to the port (Com<n>= in kiv_ini.txt on Ok).
    // Rebuilt whenever the port selection changes; greyed with the port.
    ComDialogList device;                           // control 584, "De&vice:"
    char devicePaths[COM_DIALOG_ENTRIES][COM_DIALOG_PATH];
    int foundCount;
    char foundPaths[COM_DIALOG_ENTRIES][COM_DIALOG_PATH];
    char foundTexts[COM_DIALOG_ENTRIES][COM_DIALOG_TEXT];
    int assigned[COM_DIALOG_PORTS];                 // 1: the user picked portPaths[i]
    const char* okText;                             // "Ok" (default button)
    const char* cancelText;                         // "Cancel"
    DialogRect okRect, cancelRect;
    int result;                                     // 1 once ended, whichever way
};

// Fills the record from the settings record s (which it keeps), with the
// receivers found under devRoot.
void com_dialog_init(ComDialog* d, AppSettings* s, const char* devRoot = "/dev");
// The user picked entry of list (-1 clears it). A new port brings its
// device list and path text, and the line settings remembered for it.
void com_dialog_select(ComDialog* d, int list, int entry);
// The user picked entry of the device list for the selected port.
void com_dialog_pick_device(ComDialog* d, int entry);
void com_dialog_set_flow(ComDialog* d, int box, int checked);
// Ok: the selections into the settings record, kiv_com.txt rewritten; the
// devices assigned and line settings changed go to kiv_ini.txt (Com<n>=,
// Baud<n>= ..., port_lines.h). Returns the dialog's result, 1.
int com_dialog_ok(ComDialog* d);
// Cancel or Close: nothing changes. Returns 1.
int com_dialog_cancel(ComDialog* d);
