// The settings as a new window starts with them: read, what the reading
// refused said, the menus set after the record, the track log's last point
// taken.
#pragma once

struct AppSettings;

// settings_load, then the rest above. Returns settings_load's result.
int settings_start(AppSettings** out);

// Online enabled, Offline greyed, Connect enabled, Disconnect greyed, the
// option check marks after the record, all device items enabled but the
// current one, which is greyed.
void menu_states_from_settings(const AppSettings* s);
