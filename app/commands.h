// The menu commands of the main window (ids in settings/menu_ids.h).
#pragma once

// Runs command id on the main thread; ids without a command are ignored,
// and so is every command while the window has no settings record.
void app_run_command(int id);
