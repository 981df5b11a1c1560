// kivsim's running state: options, the outgoing queue paced at the line
// speed, and the per-mode state. The modes queue bytes; the main loop paces.
#pragma once
#include <string>
#include <vector>

#include "tools/kivsim/sim.h"

enum SimMode { SIM_NMEA, SIM_REPLAY, SIM_TRIPMATE, SIM_EARTHMATE, SIM_GARMIN, SIM_PHONE };

struct SimOptions {
    int mode = SIM_NMEA;
    std::string device;        // empty: a new pseudo-terminal
    std::string file;          // replay capture
    std::string route = "45.4166667,-75.7;45.43,-75.68";
    std::string routeFile;
    std::string start;         // "YYYY-MM-DD HH:MM:SS" UTC; empty: the clock
    int baud = 0;              // 0: the mode's usual rate
    double speedKmh = 36;
    double silentAfter = -1;   // seconds; < 0 never
    double duration = -1;      // seconds; < 0 run until stopped
    int garbage = 0;
    int once = 0;
    int waitOpen = 0;          // start when the far side configures the line
    unsigned seed = 1;
    std::string link;          // symbolic link kept pointing at the pty
    double replug = -1;        // seconds; < 0 never unplugged
};

struct SimMessage {
    std::string text;
    time_t when;
    int read;
};

struct Sim {
    SimOptions opt;
    SimRoute route;
    int fd = -1;
    std::string out;           // bytes not yet on the line
    double nextArrival = 0;    // when the next queued byte has crossed the line
    double byteTime = 0;       // 10 bits per byte
    double started = 0;        // monotonic start
    time_t utcStart = 0;
    int fromClock = 1;
    long ticks = 0;            // epochs so far
    int finish = 0;            // exit once the queue has drained
    unsigned rng = 1;

    LineReader lines;
    int astralAnswers = 0;
    int greeted = 0;
    std::string recent;        // last bytes, for a greeting split across reads
    ZodiacReader zodiacIn;
    GarminReader garminIn;
    std::vector<SimMessage> inbox;
    std::string capture;
};

void sim_queue(Sim& sim, const std::string& bytes, double now);
void sim_tick(Sim& sim, double now);                               // once a second
void sim_input(Sim& sim, const char* bytes, int count, double now);
int  sim_default_baud(int mode);
