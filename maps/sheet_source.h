// Which source makes the sheets, and the store folder of its sheets. The
// maps folder itself keeps the sheets of one address of the old map server
// (Server=), the one its "source.txt" names; a maps folder without one (an
// old store) takes the address in use when first opened, so old stores keep
// working. Sheets from other addresses, a WMS or tiles go to
// "<maps>/sources/<name>" of their own, with a "source.txt" there that says
// which sources made them. Switching sources switches folders: other
// sources' sheets stay on disk and come back with their source. Each
// sheet's age is its file's time of writing.
#pragma once
#include <cstddef>
#include <string>

#include "platform/result.h"

struct AppSettings;

enum SheetSourceKind { SHEET_SOURCE_SERVER = 0, SHEET_SOURCE_WMS = 1, SHEET_SOURCE_TILES = 2 };

// The kind and the words naming the source of topographic (aerial 0) or
// aerial sheets: "tiles <template>", "wms <url> <layers> ...", "server <root>".
int sheet_source_kind(const AppSettings* s, int aerial);
std::string sheet_source_name(const AppSettings* s, int aerial);
// Where those sheets come from, for a message: the tile host (or MBTiles
// file), the WMS address or the map server's root.
std::string sheet_source_shown(const AppSettings* s, int aerial);

// Keeps the maps folder in s->mapsRoot and points s->mapsDir and
// s->mapsDirAerial at the store folders of the sources the settings name
// (writing their source.txt). The one
// place that picks the store: the window, Download Area and kivsheet. Fails
// with the reason when the folder's path does not fit.
Result sheet_source_select_store(AppSettings* s);
// The store folder of topographic (aerial 0) or aerial sheets: each kind's
// store follows its own source.
const char* sheet_source_store_dir(const AppSettings* s, int aerial);
// The maps folder (Maps=) whatever store is selected.
const char* sheet_source_maps_root(const AppSettings* s);

// Days a sheet of the source stays fresh: MaxAge= when set, else never
// (-1) for the old map server and 30 days for tiles and a WMS.
int sheet_source_max_age_days(const AppSettings* s, int aerial);
// 1 when the stored sheet at path is older than that.
int sheet_source_is_stale(const AppSettings* s, int aerial, const char* path);
