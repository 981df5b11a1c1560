#include "tools/kivsheet/kivsheet_options.h"

#include <getopt.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "maps/area_sheets.h"
#include "maps/sheet_source.h"
#include "settings/app_settings.h"
#include "settings/program_version.h"

namespace {

enum Option : unsigned {
    BIG = 1 << 0, AERIAL = 1 << 1, JPG = 1 << 2, DRY_RUN = 1 << 3, FORCE = 1 << 4, ZOOM_LETTER = 1 << 5,
    MAPS = 1 << 6, SERVER = 1 << 7, LEVELS = 1 << 8, JOBS = 1 << 9, BBOX = 1 << 10, CORRIDOR = 1 << 11,
    REFRESH = 1 << 12, PRUNE = 1 << 13, OLDER = 1 << 14, LAST_OPTION = OLDER,
};

const option kOptions[] = {
    {"big", no_argument, nullptr, 'b'},           {"aerial", no_argument, nullptr, 'a'},
    {"jpg", no_argument, nullptr, 'j'},           {"dry-run", no_argument, nullptr, 'n'},
    {"force", no_argument, nullptr, 'f'},         {"zoom-letter", required_argument, nullptr, 'z'},
    {"maps", required_argument, nullptr, 'm'},    {"server", required_argument, nullptr, 's'},
    {"levels", required_argument, nullptr, 'l'},  {"jobs", required_argument, nullptr, 'J'},
    {"bbox", required_argument, nullptr, 'B'},    {"corridor", required_argument, nullptr, 'c'},
    {"refresh", no_argument, nullptr, 'r'},       {"prune", required_argument, nullptr, 'p'},
    {"older-than", required_argument, nullptr, 'o'},
    {"help", no_argument, nullptr, 'h'},          {"version", no_argument, nullptr, 'V'},
    {nullptr, 0, nullptr, 0}};

// Each command: its operands, the options it takes and those it needs.
struct Command {
    const char* name;
    int operands;
    unsigned allowed, required;
};

const Command kCommands[] = {
    {"info", 1, 0, 0},
    {"name", 3, BIG | JPG | ZOOM_LETTER | MAPS, 0},
    {"png", 2, 0, 0},
    {"fetch", 3, BIG | AERIAL | MAPS | SERVER, 0},
    {"fetch-area", 0, BIG | AERIAL | JOBS | DRY_RUN | MAPS | SERVER | LEVELS | BBOX | FORCE | REFRESH, LEVELS | BBOX},
    {"fetch-route", 1, BIG | AERIAL | JOBS | DRY_RUN | FORCE | MAPS | SERVER | LEVELS | CORRIDOR | REFRESH,
     LEVELS | CORRIDOR},
    {"store", 0, MAPS | PRUNE | OLDER, 0},
};

// A value that does not do: the message says it all.
int badValue(const char* what, const char* value) {
    fprintf(stderr, "kivsheet: %s%s\n", what, value);
    return 2;
}

// A line that does not fit the commands: with the usage.
int bad(const char* what, const char* value) {
    badValue(what, value);
    kivsheet_usage(stderr);
    return 2;
}

bool number(const char* s, double* v) {
    char* end = nullptr;
    *v = strtod(s, &end);
    return end != s && *end == '\0' && std::isfinite(*v);
}

// "-75.7" and "-.5" are operands, not options.
bool negativeNumber(const char* a) {
    return a[0] == '-' && (isdigit(static_cast<unsigned char>(a[1])) || (a[1] == '.' && isdigit(a[2])));
}

// The option c (its value in optarg); the --bbox corners follow optarg.
int take(int c, int argc, char** argv, KivsheetOptions* o, unsigned* given) {
    const char* v = optarg;
    switch (c) {
    case 'b': o->big = 1; *given |= BIG; return 0;
    case 'a': o->aerial = 1; *given |= AERIAL; return 0;
    case 'j': o->jpg = 1; *given |= JPG; return 0;
    case 'n': o->dryRun = 1; *given |= DRY_RUN; return 0;
    case 'f': o->force = 1; *given |= FORCE; return 0;
    case 'z':
        if (!isalpha(static_cast<unsigned char>(v[0])) || v[1]) return badValue("bad zoom letter (one letter): ", v);
        o->zoomLetter = static_cast<char>(toupper(static_cast<unsigned char>(v[0])));
        *given |= ZOOM_LETTER;
        return 0;
    case 'm': o->maps = v; *given |= MAPS; return 0;
    case 'r': o->refresh = 1; *given |= REFRESH; return 0;
    case 'p': o->prune = v; *given |= PRUNE; return 0;
    case 'o': {
        double days = 0;
        if (!number(v, &days) || days < 0) return badValue("bad age (days, 0 or more): ", v);
        o->olderThanDays = days;
        *given |= OLDER;
        return 0;
    }
    case 's': o->server = v; *given |= SERVER; return 0;
    case 'l':
        if (!(o->levels = area_parse_levels(v))) return badValue("bad levels (0 to 4, as 2-4): ", v);
        *given |= LEVELS;
        return 0;
    case 'J': {
        char* end = nullptr;
        errno = 0;
        long jobs = strtol(v, &end, 10);
        if (end == v || *end || errno || jobs < 1 || jobs > 16) return badValue("bad job count (1 to 16): ", v);
        o->jobs = static_cast<int>(jobs);
        *given |= JOBS;
        return 0;
    }
    case 'c':
        if (!number(v, &o->corridorKm) || o->corridorKm < 0 || o->corridorKm > 500)
            return badValue("bad corridor (0 to 500 km): ", v);
        *given |= CORRIDOR;
        return 0;
    case 'B':
        if (optind + 3 > argc) return bad("--bbox needs SOUTH WEST NORTH EAST", "");
        for (int k = 0; k < 4; k++) {
            const char* corner = k ? argv[optind++] : v;
            if (!number(corner, &o->bbox[k])) return badValue("bad --bbox number: ", corner);
        }
        o->haveBox = 1;
        *given |= BBOX;
        return 0;
    case ':': return bad("missing value after ", argv[optind - 1]);
    default: return bad("unknown option: ", argv[optind - 1]);
    }
}

const char* optionName(unsigned bit) {
    const char* names[] = {"big", "aerial", "jpg", "dry-run", "force", "zoom-letter", "maps", "server",
                           "levels", "jobs", "bbox", "corridor", "refresh", "prune", "older-than"};
    for (int i = 0; i < 15; i++)
        if (bit == 1u << i) return names[i];
    return "?";
}

}  // namespace

void kivsheet_usage(FILE* out) {
    fprintf(out,
            "usage: kivsheet info FILE\n"
            "       kivsheet name LAT LON LEVEL [--big] [--zoom-letter S] [--jpg] [--maps DIR]\n"
            "       kivsheet png FILE OUT.png\n"
            "       kivsheet fetch LAT LON LEVEL [--big] [--aerial] [--maps DIR] [--server URL]\n"
            "       kivsheet fetch-area --bbox SOUTH WEST NORTH EAST --levels 2-4 [--big] [--aerial] [--jobs N]\n"
            "                           [--dry-run] [--force] [--refresh] [--maps DIR] [--server URL]\n"
            "       kivsheet fetch-route FILE.gpx|track.txt --corridor KM --levels 2-4 [--big] [--aerial]\n"
            "                           [--jobs N] [--dry-run] [--force] [--refresh] [--maps DIR] [--server URL]\n"
            "       kivsheet store [--maps DIR] [--prune SOURCE|all] [--older-than DAYS]\n"
            "       kivsheet --help | --version\n");
}

int kivsheet_parse(int argc, char** argv, KivsheetOptions* o) {
    opterr = 0;   // bad() says what is wrong, with the usage
    unsigned given = 0;
    std::vector<const char*> words;
    // In order, so that an operand that looks like an option (a negative
    // number) is taken as one before getopt_long sees it.
    while (optind < argc) {
        const char* a = argv[optind];
        if (!strcmp(a, "--")) {
            for (optind++; optind < argc; optind++) words.push_back(argv[optind]);
            break;
        }
        if (a[0] != '-' || !a[1] || negativeNumber(a)) {
            words.push_back(a);
            optind++;
            continue;
        }
        int c = getopt_long(argc, argv, "+:hV", kOptions, nullptr);
        if (c == -1) break;
        if (c == 'h') {
            kivsheet_usage(stdout);
            return -1;
        }
        if (c == 'V') {
            printf("kivsheet %s\n", kiv_version);
            return -1;
        }
        if (int rc = take(c, argc, argv, o, &given)) return rc;
    }
    if (words.empty()) return bad("no command given", "");
    o->command = words[0];
    o->operands.assign(words.begin() + 1, words.end());
    for (const Command& c : kCommands) {
        if (o->command != c.name) continue;
        if (static_cast<int>(o->operands.size()) != c.operands) return bad("wrong number of operands for ", c.name);
        for (unsigned bit = 1; bit <= LAST_OPTION; bit <<= 1) {
            std::string option = std::string("--") + optionName(bit);
            if ((given & bit) && !(c.allowed & bit))
                return bad(("option " + option + " does not apply to ").c_str(), c.name);
            if ((c.required & bit) && !(given & bit)) return bad((option + " is required by ").c_str(), c.name);
        }
        if (o->command == "fetch-route") o->route = o->operands[0];
        return 0;
    }
    return bad("unknown command: ", o->command.c_str());
}

int kivsheet_apply_paths(const KivsheetOptions& o, AppSettings* s) {
    struct {
        const std::string& value;
        char* out;
        size_t size;
        const char* what;
    } paths[] = {{o.maps, s->mapsDir, sizeof s->mapsDir, "maps folder"},
                 {o.server, s->serverUrl, sizeof s->serverUrl, "server address"}};
    for (const auto& p : paths) {
        if (p.value.empty()) continue;
        if (p.value.size() >= p.size) {
            fprintf(stderr, "kivsheet: %s too long (at most %zu characters): %s\n", p.what, p.size - 1,
                    p.value.c_str());
            return 2;
        }
        memcpy(p.out, p.value.c_str(), p.value.size() + 1);
    }
    Result selected = sheet_source_select_store(s);
    if (selected) return 0;
    fprintf(stderr, "kivsheet: %s\n", selected.why.c_str());
    return 2;
}
