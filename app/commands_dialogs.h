// Menu commands that open dialogs: Settings COM, Monitor, Keys and About.
// The dialog records (com_dialog.h, monitor_dialog.h, info_dialogs.h) go
// to the toolkit through platform_run_dialog / platform_show_monitor.
#pragma once

struct AppSettings;

// Runs the COM dialog; then an open link takes the record's line settings
// ("Settings failed" when the port refuses them), OK or not.
void command_settings_com(AppSettings* s);
// Another modeless monitor; nothing when the toolkit shows none.
void command_monitor();
void command_keys();
void command_about();
