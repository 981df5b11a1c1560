// The Keys ("Buttons and Keys") and About dialogs as plain records that a
// toolkit renders: caption, static texts with their places, the program
// icon and an OK button. Both are modal, change nothing and end with 1
// (OK or Close). In the texts "\n" breaks the line and "\t" is a tab stop.
#pragma once
#include "app/dialog_rect.h"

enum { INFO_TEXT = 384, KEYS_TEXTS = 4, ABOUT_TEXTS = 3 };

// The project's web address shown by About.
extern const char KIV_WEB_ADDRESS[];

struct InfoText {
    int controlId;
    DialogRect rect;
    char text[INFO_TEXT];
};

struct KeysDialog {
    const char* caption;               // "Buttons and Keys"
    DialogRect frame;
    DialogRect iconRect;
    InfoText texts[KEYS_TEXTS];        // 513 "Kiv", 514, 515, 516
    const char* okText;                // "OK"
    DialogRect okRect;
    int result;                        // 1: OK and Close both end with it
};

struct AboutDialog {
    const char* caption;               // "About KIV"
    DialogRect frame;
    DialogRect iconRect;
    InfoText texts[ABOUT_TEXTS];       // 546 version, 547 web address, 545 system
    const char* okText;                // "OK"
    DialogRect okRect;
    int result;                        // 1: OK and Close both end with it
};

void keys_dialog_init(KeysDialog* d);
// "Kiv ver. 1.0 - rev. 243", the web address, and the running system from
// uname(): its name, " ver. ", major.minor of its release ("Linux ver. 6.1").
void about_dialog_init(AboutDialog* d);
// The system line alone, from a uname() name and release (out >= 32 bytes).
void about_system_text(const char* sysname, const char* release, char* out, int size);
