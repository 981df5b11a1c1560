#include "maps/sheet_source_settings.h"

#include <cstring>

#include "settings/app_settings.h"

void sheet_source_settings_copy(AppSettings* to, const AppSettings* from) {
    if (!from) return;
    memcpy(to->mapsDir, from->mapsDir, sizeof to->mapsDir);
    memcpy(to->mapsDirAerial, from->mapsDirAerial, sizeof to->mapsDirAerial);
    memcpy(to->mapsRoot, from->mapsRoot, sizeof to->mapsRoot);
    memcpy(to->serverUrl, from->serverUrl, sizeof to->serverUrl);
    memcpy(to->probeUrl, from->probeUrl, sizeof to->probeUrl);
    to->wms = from->wms;
    to->wmsAerial = from->wmsAerial;
    to->tiles = from->tiles;
    to->tilesAerial = from->tilesAerial;
    memcpy(to->userAgent, from->userAgent, sizeof to->userAgent);
    to->maxAgeDays = from->maxAgeDays;
}
