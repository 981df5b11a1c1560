// kivsheet's command line: the command, its operands and every option, read
// with getopt_long. Negative numbers stay operands ("name 45.4 -75.7 2").
#pragma once
#include <cstdio>
#include <string>
#include <vector>

struct AppSettings;

struct KivsheetOptions {
    std::string command;
    std::vector<const char*> operands;   // after the command
    int big = 0, aerial = 0, jpg = 0, dryRun = 0;
    int force = 0;                       // fetch-area/-route: more than 5,000 sheets
    char zoomLetter = 0;                 // --zoom-letter; 0 = none
    std::string maps, server;            // as typed, whole; empty = kiv_ini.txt's
    int levels = 0;                      // bit n: level n
    int jobs = 1;
    double bbox[4] = {0, 0, 0, 0};       // south west north east
    int haveBox = 0;
    double corridorKm = -1;
    const char* route = nullptr;         // fetch-route's file
    int refresh = 0;                     // fetch-area/-route: stored sheets fetched afresh too
    std::string prune;                   // store: the source whose sheets are removed ("all": every source)
    double olderThanDays = -1;           // store: only sheets older than this many days (with prune)
};

void kivsheet_usage(FILE* out);
// 0 when the line fits its command; -1 after printing --help or --version
// (status 0); 2 after saying on stderr what is wrong, with the usage.
int kivsheet_parse(int argc, char** argv, KivsheetOptions* o);
// --maps and --server into the settings the program would use, and the
// store of the sources selected: 0, or 2 after saying which value does not
// fit (never cut).
int kivsheet_apply_paths(const KivsheetOptions& o, AppSettings* s);
