// The settings record of the main window and the program-wide settings,
// read from the settings files in the working directory. Loading:
// settings_load.h; program-wide readers: program_settings.h; writers:
// com_file.h, dev_file.h, pos_file.h; menu command ids: menu_ids.h.
#pragma once
#include <atomic>
#include <climits>
#include <cstdint>
#include <thread>

enum DeviceType {
    DEVICE_NMEA = 1,
    DEVICE_USB_EARTHMATE = 2,
    DEVICE_EARTHMATE = 3,
    DEVICE_TRIPMATE = 4,
    DEVICE_GARMIN = 5,
    DEVICE_SMS = 6,
    DEVICE_REMOTE = 7,
};

enum { SETTINGS_PATH_MAX = 256, SETTINGS_COM_PORTS = 10, SETTINGS_URL_MAX = 1024 };

// A WMS GetMap source: Wms=, WmsLayers=, WmsStyles=, WmsFormat=, WmsVersion=
// (the aerial set with "WmsAerial" in place of "Wms"). Empty url: not used.
struct WmsSource {
    char url[SETTINGS_URL_MAX];        // an endpoint with its own parameters can be long
    char layers[SETTINGS_PATH_MAX];
    char styles[SETTINGS_PATH_MAX];
    char format[32];                   // image/png (default), image/jpeg, image/gif
    char version[16];                  // 1.3.0 (default) or 1.1.1
};

// A tile source: Tiles= (TilesAerial= for aerial images) with the URL
// template of its tiles ({z} {x} {y}, {-y} for TMS rows, {s} for one of
// TilesSubdomains=) or "mbtiles:PATH"; TilesMaxZoom=, TilesAttribution=,
// TilesNoBulk= (the aerial set with "TilesAerial" in place of "Tiles").
// Empty url: not used.
struct TileSource {
    char url[SETTINGS_URL_MAX];
    char subdomains[32];
    int32_t maxZoom;                   // 0: 19
    char attribution[SETTINGS_PATH_MAX];
    int32_t noBulk;                    // 1: no area or route pre-download beyond a few tiles
};

// Line settings remembered for one port (Baud<n>=, Bits<n>=, Parity<n>=,
// Stop<n>=, Flow<n>= in kiv_ini.txt), in the record's codes.
struct PortLine {
    uint8_t known;                     // 0: nothing remembered, the device's defaults hold
    uint32_t baudRate;
    uint8_t dataBits;
    uint8_t parity;
    uint8_t stopBits;
    uint8_t flowControl;
};

// Per-window record: settings and link state. Zero-filled, then defaults.
struct AppSettings {
    char mapsDir[256];                 // the sheet store of the sources in use (maps/sheet_source.h)
    char mapsDirAerial[256];           // the store of the aerial source, "" when it is mapsDir
    char mapsRoot[256];                // Maps=: the maps folder, "" until a store is selected
    char trackLogFile[PATH_MAX];       // File=; a longer name is refused, never cut
    char lastLoggedTime[32];
    int32_t deviceType;
    int32_t online;
    int32_t autoPan;
    int32_t autoZoom;
    int32_t satelliteImage;
    int32_t bigMaps;
    int32_t track;
    int32_t plot;
    int32_t rose;
    int32_t grid;
    int32_t mapCoordinates;
    int32_t crossHair;
    char speedUnit;                    // 'K', 'M', 'S' or 0
    std::atomic<int32_t> linkIdleTicks;
    int32_t basePort;
    int32_t baseEnabled;
    char baseHost[64];

    // Serial line settings.
    uint8_t comPort;                   // 1..9; 0 = do not connect at start-up
    uint32_t baudRate;
    uint8_t dataBits;
    uint8_t flowControl;               // bit 0 DTR/DSR, bit 1 RTS/CTS, bit 2 XON/XOFF
    uint8_t parity;                    // 0 none, 1 odd, 2 even, 3 mark, 4 space
    uint8_t stopBits;                  // 0 one, 1 one and a half, 2 two

    // Link state (the serial link and the remote server own these).
    int commHandle;                    // open device descriptor, -1 when none
    std::atomic<int32_t> connected;
    std::atomic<uint32_t> readerThreadId;
    std::thread readerThread;
    void* link;                        // the serial link's own state

    // Linux additions read from kiv_ini.txt.
    char comPath[SETTINGS_COM_PORTS][SETTINGS_PATH_MAX];  // Com<n>=<path>; index n
    char serverUrl[SETTINGS_PATH_MAX];                    // Server=
    char probeUrl[SETTINGS_PATH_MAX];                     // Probe=
    char listenHost[SETTINGS_PATH_MAX];                   // Listen=: remote server address
    WmsSource wms;                                        // topographic sheets
    WmsSource wmsAerial;                                  // aerial images
    char gpxFolder[SETTINGS_PATH_MAX];                    // Gpx=: GPX recording folder, empty = none
    int32_t gpxInterval;                                  // GpxInterval=: seconds between GPX points
    PortLine comLine[SETTINGS_COM_PORTS];                 // remembered line settings; index n
    int32_t linkSilentSeconds;                            // LinkSilence=: a link silent this long is lost; 0 never
    TileSource tiles;                                     // Tiles=: topographic sheets from tiles
    TileSource tilesAerial;                               // TilesAerial=
    char userAgent[SETTINGS_PATH_MAX];                    // UserAgent=: contact named in every request
    char readWarnings[1024];                              // what reading the files refused, one line each
    int32_t maxAgeDays;                                   // MaxAge=: days a sheet stays fresh; -1 the source's default
    int32_t arrivalMetres;                                // ArrivalRadius=: Go To's destination is reached this near
    int32_t routeOffMetres;                               // RouteOff=: farther from a road route is off it
};

// Settings the map code needs before any window record exists.
struct ProgramSettings {
    char zoomLetter;                   // 'S' or 0 (any other letter has no effect)
    int32_t zoneMinutes;               // offset from UTC: -5 h is -300, +5:30 is 330
    char zoneName[10];
    int32_t zoomLevel;                 // start zoom level, 0..4
    double startLatitude;
    double startLongitude;
};

extern ProgramSettings program_settings;
