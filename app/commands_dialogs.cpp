#include "app/commands_dialogs.h"

#include "app/com_dialog.h"
#include "app/info_dialogs.h"
#include "app/monitor_dialog.h"
#include "platform/platform.h"
#include "position/serial_link.h"
#include "settings/app_settings.h"

void command_settings_com(AppSettings* s) {
    ComDialog dialog;
    com_dialog_init(&dialog, s);
    platform_run_dialog(PLATFORM_DIALOG_COM, &dialog);
    if (s->connected.load() && !serial_configure(s)) platform_warn("Settings failed");
    platform_invalidate(0);
}

void command_monitor() {
    const PlatformBackend* backend = platform_backend();
    if (!backend || !backend->show_monitor) return;
    platform_show_monitor(monitor_dialog_create());
}

void command_keys() {
    KeysDialog dialog;
    keys_dialog_init(&dialog);
    platform_run_dialog(PLATFORM_DIALOG_KEYS, &dialog);
}

void command_about() {
    AboutDialog dialog;
    about_dialog_init(&dialog);
    platform_run_dialog(PLATFORM_DIALOG_ABOUT, &dialog);
}
