#include "settings/ini_keys.h"

#include <climits>
#include <cstdio>
#include <cstring>

#include "settings/app_settings.h"
#include "settings/home_path.h"
#include "settings/ini_file.h"
#include "settings/ini_update.h"
#include "settings/text_scan.h"

namespace {
int one_of(const char* value, const char* const* texts) {
    for (; *texts; ++texts)
        if (strcmp(value, *texts) == 0) return 1;
    return 0;
}

int begins_with_any(const char* value, const char* letters) { return value[0] && strchr(letters, value[0]); }

// "<key>%s", the word cut to the destination; 1 when found.
int read_value(const char* key, char* value, size_t size) { return ini_read_word(key, INI_LINE_LIMIT, value, size); }

// A path key whole, blanks inside kept and "~" expanded; one that cannot
// be used whole is refused with a warning naming the key (a cut path would
// name another file). 1 when out holds the path.
// A line for the window to show once the settings are read (a cut list
// loses the lines that no longer fit, never the ones before).
void note_refused(AppSettings* s, const char* text) {
    size_t used = strlen(s->readWarnings), need = strlen(text) + 1;
    if (used + need < sizeof s->readWarnings) snprintf(s->readWarnings + used, need + 1, "%s\n", text);
}

int read_path(AppSettings* s, const char* key, const char* what, char* out, size_t size) {
    char path[PATH_MAX + 1];
    int found = ini_read_text(key, path, size < sizeof path ? size : sizeof path);
    if (found == 0) return 0;
    if (found < 0 || !settings_expand_home(path, size)) {
        char text[160];
        snprintf(text, sizeof text, "%s (%s in kiv_ini.txt) is too long or starts with ~ while HOME is unset: not used",
                 what, key);
        note_refused(s, text);
        return 0;
    }
    copy_text(out, size, path);
    return 1;
}

// A value whole (names may hold blanks) or, too long, not at all: a cut
// address or layer list would ask the server for something else.
void read_whole(AppSettings* s, const char* key, char* value, size_t size) {
    if (ini_read_text(key, value, size) >= 0) return;
    char text[160];
    snprintf(text, sizeof text, "The setting %s in kiv_ini.txt is longer than %zu characters: it is not used", key,
             size - 1);
    note_refused(s, text);
}

}  // namespace

char settings_speed_unit(const char* value) {
    static const char* const kmh[] = {"km/h", "KM/H", nullptr};
    static const char* const ms[] = {"m/s", "M/S", nullptr};
    static const char* const mph[] = {"mile/h", "Mile/H", "MILE/H", "m/h", "M/H", nullptr};
    if (begins_with_any(value, "1yYkK") || one_of(value, kmh)) return 'K';
    if (begins_with_any(value, "sS") || one_of(value, ms)) return 'S';
    if (begins_with_any(value, "mM") || one_of(value, mph)) return 'M';
    return 0;
}

void settings_parse_base(AppSettings* s, const char* value) {
    s->baseEnabled = 1;
    if (strncmp(value, "http://", 7) == 0) value += 7;
    // Split on the whole value, so a long host still finds its port.
    const char* colon = strchr(value, ':');
    size_t hostLength = colon ? static_cast<size_t>(colon - value) : strlen(value);
    if (hostLength >= sizeof s->baseHost) hostLength = sizeof s->baseHost - 1;
    memcpy(s->baseHost, value, hostLength);
    s->baseHost[hostLength] = '\0';
    if (colon) {
        const char* p = colon + 1;
        int port;
        if (scan_int(&p, &port)) s->basePort = port;
    }
    // A port that cannot be one would wrap to another: refuse the setting.
    if (s->basePort < 0 || s->basePort > 65535) {
        fprintf(stderr, "Base=: port %d is outside 0..65535; no base server\n", s->basePort);
        s->baseEnabled = 0;
        s->basePort = 0;
        s->baseHost[0] = '\0';
    }
}

void settings_read_display_keys(AppSettings* s) {
    char value[INI_LINE_LIMIT + 1];
    int hair;
    if (ini_read_int("Hair=", INI_LINE_LIMIT, &hair)) s->crossHair = hair;
    if (read_value("Dash=", value, sizeof value)) s->speedUnit = settings_speed_unit(value);
    read_path(s, "Maps=", "The maps folder", s->mapsDir, sizeof s->mapsDir);
    read_path(s, "File=", "The track log name", s->trackLogFile, sizeof s->trackLogFile);
    // Options > Track as it was left (see settings_save_track).
    if (read_value("Track=", value, sizeof value)) s->track = begins_with_any(value, "Yy1") ? 1 : 0;
    if (read_value("Plot=", value, sizeof value) && begins_with_any(value, "Yy1")) s->plot = 1;
    if (read_value("Grid=", value, sizeof value) && begins_with_any(value, "Yy1")) s->grid = 1;
    if (read_value("Rose=", value, sizeof value) && begins_with_any(value, "Nn0")) s->rose = 0;
    if (read_value("Base=", value, sizeof value)) settings_parse_base(s, value);
}

void settings_read_linux_keys(AppSettings* s) {
    for (int n = 1; n < SETTINGS_COM_PORTS; ++n) {
        char key[8];
        snprintf(key, sizeof key, "Com%d=", n);
        read_path(s, key, "The device path", s->comPath[n], sizeof s->comPath[n]);
    }
    read_value("Server=", s->serverUrl, sizeof s->serverUrl);
    read_value("Probe=", s->probeUrl, sizeof s->probeUrl);
    read_value("Listen=", s->listenHost, sizeof s->listenHost);
    struct {
        const char* prefix;
        WmsSource* source;
    } sources[] = {{"Wms", &s->wms}, {"WmsAerial", &s->wmsAerial}};
    for (auto& w : sources) {
        char key[32];
        snprintf(key, sizeof key, "%s=", w.prefix);
        read_whole(s, key, w.source->url, sizeof w.source->url);
        snprintf(key, sizeof key, "%sLayers=", w.prefix);
        read_whole(s, key, w.source->layers, sizeof w.source->layers);
        snprintf(key, sizeof key, "%sStyles=", w.prefix);
        read_whole(s, key, w.source->styles, sizeof w.source->styles);
        snprintf(key, sizeof key, "%sFormat=", w.prefix);
        read_value(key, w.source->format, sizeof w.source->format);
        snprintf(key, sizeof key, "%sVersion=", w.prefix);
        read_value(key, w.source->version, sizeof w.source->version);
    }
    struct {
        const char* prefix;
        TileSource* source;
    } tiles[] = {{"Tiles", &s->tiles}, {"TilesAerial", &s->tilesAerial}};
    for (auto& t : tiles) {
        char key[40];
        snprintf(key, sizeof key, "%s=", t.prefix);
        read_whole(s, key, t.source->url, sizeof t.source->url);
        snprintf(key, sizeof key, "%sSubdomains=", t.prefix);
        read_value(key, t.source->subdomains, sizeof t.source->subdomains);
        snprintf(key, sizeof key, "%sAttribution=", t.prefix);
        read_whole(s, key, t.source->attribution, sizeof t.source->attribution);
        int n;
        snprintf(key, sizeof key, "%sMaxZoom=", t.prefix);
        if (ini_read_int(key, INI_LINE_LIMIT, &n) && n >= 0 && n <= 30) t.source->maxZoom = n;
        snprintf(key, sizeof key, "%sNoBulk=", t.prefix);
        if (ini_read_int(key, INI_LINE_LIMIT, &n)) t.source->noBulk = n != 0;
    }
    read_whole(s, "UserAgent=", s->userAgent, sizeof s->userAgent);
    int days;
    if (ini_read_int("MaxAge=", INI_LINE_LIMIT, &days) && days >= 0) s->maxAgeDays = days;
    read_path(s, "Gpx=", "The GPX folder", s->gpxFolder, sizeof s->gpxFolder);
    int silence;
    if (ini_read_int("LinkSilence=", INI_LINE_LIMIT, &silence) && silence >= 0) s->linkSilentSeconds = silence;
    int interval;
    if (ini_read_int("GpxInterval=", INI_LINE_LIMIT, &interval) && interval >= 0) s->gpxInterval = interval;
    // Go To's arrival radius, metres.
    int radius;
    if (ini_read_int("ArrivalRadius=", INI_LINE_LIMIT, &radius) && radius > 0 && radius <= 100000) s->arrivalMetres = radius;
    // Road routes: this far from the line for a while re-routes.
    int off;
    if (ini_read_int("RouteOff=", INI_LINE_LIMIT, &off) && off > 0 && off <= 100000) s->routeOffMetres = off;
}

int settings_save_track(int on) {
    const IniSetting track = {"Track=", on ? "Y" : "N"};
    return ini_set_keys(&track, 1);
}
