// kivroute: a route over the roads of the map server's imports, by Routino.
//
//   kivroute [--data DIR] [--profile car|bicycle|foot] [--via POINT]...
//            [--gpx FILE] [--points] FROM TO
//   kivroute [--data DIR] --serve
//
// A point is LAT,LON or a text the map server's search finds. DIR is the
// map server's imports folder (default as kiv-mapserver's). Output: the
// line "distance_m<TAB>time_s", then one instruction a line (its distance
// from the start, a tab, the text), or with --points every point of the
// line (see route_points.h). Exit 0 with a route, 1 with the reason on
// stderr, 2 on a wrong usage.
//
// With --serve it answers requests one a line on stdin, each the arguments
// above (without --data, --gpx) separated by tabs, the database loaded once
// for all of them and again when it is rebuilt. Each answer is a status line
// ("ok", or "no" or "usage", a tab and the reason), with "ok" the output
// above, and an empty line; it ends when stdin does. The only program of Kiv that links Routino
// (AGPL-3.0): the window and the map server run it as a process of its own.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "settings/program_version.h"
#include "tools/kivroute/route_engine.h"
#include "tools/kivroute/route_gpx.h"
#include "tools/kivroute/route_points.h"

namespace {

struct RouteOptions {
    std::string data, profile = "car", gpx;
    std::vector<std::string> points;   // from, vias, to
    bool allPoints = false;
    bool serve = false;
};

void usage(std::FILE* out) {
    std::fprintf(out,
                 "usage: kivroute [--data DIR] [--profile car|bicycle|foot] [--via POINT]... [--gpx FILE] "
                 "[--points] FROM TO\n"
                 "       kivroute [--data DIR] --serve\n"
                 "A point is LAT,LON or a place the map server's search finds. DIR is the map server's\n"
                 "imports folder (default $KIV_MAPIMPORTS, else $KIV_MAPDATA/imports, else\n"
                 "~/.cache/kiv-mapdata/imports).\n");
}

// The imports folder kiv-mapserver.sh uses by default.
std::string default_data_dir() {
    if (const char* v = std::getenv("KIV_MAPIMPORTS"); v && *v) return v;
    if (const char* v = std::getenv("KIV_MAPDATA"); v && *v) return std::string(v) + "/imports";
    if (const char* v = std::getenv("XDG_CACHE_HOME"); v && *v) return std::string(v) + "/kiv-mapdata/imports";
    const char* home = std::getenv("HOME");
    return std::string(home ? home : ".") + "/.cache/kiv-mapdata/imports";
}

// 2 on a wrong usage, 0 to go on. A request to the server (serving) names
// neither the data nor a file to write.
int parse_options(int argc, char** argv, RouteOptions* o, bool serving = false) {
    std::vector<std::string> vias, plain;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        auto value = [&](std::string* out) {
            if (i + 1 >= argc) return false;
            *out = argv[++i];
            return true;
        };
        std::string v;
        if (serving && (a == "--help" || a == "-h" || a == "--version" || a == "--data" || a == "--gpx" ||
                        a == "--serve")) {
            return 2;
        } else if (a == "--help" || a == "-h") {
            usage(stdout);
            std::exit(0);
        } else if (a == "--version") {
            std::printf("kivroute %s\n", kiv_version);
            std::exit(0);
        } else if (a == "--data") {
            if (!value(&o->data)) return 2;
        } else if (a == "--profile") {
            if (!value(&o->profile)) return 2;
            if (o->profile != "car" && o->profile != "bicycle" && o->profile != "foot") return 2;
        } else if (a == "--via") {
            if (!value(&v)) return 2;
            vias.push_back(v);
        } else if (a == "--gpx") {
            if (!value(&o->gpx)) return 2;
        } else if (a == "--points") {
            o->allPoints = true;
        } else if (a == "--serve") {
            o->serve = true;
        } else if (a == "--") {
            for (i++; i < argc; i++) plain.push_back(argv[i]);
        } else if (a.size() > 1 && a[0] == '-' && !(a[1] >= '0' && a[1] <= '9') && a[1] != '.') {
            return 2;                  // a negative latitude is a point, not an option
        } else {
            plain.push_back(a);
        }
    }
    if (o->data.empty()) o->data = default_data_dir();
    if (o->serve) return plain.empty() && vias.empty() && o->gpx.empty() ? 0 : 2;
    if (plain.size() != 2) return 2;
    o->points.push_back(plain[0]);
    o->points.insert(o->points.end(), vias.begin(), vias.end());
    o->points.push_back(plain[1]);
    return 0;
}

// LAT,LON in decimal degrees; false when text is not that.
bool parse_lat_lon(const std::string& text, RouteLatLon* out) {
    const char* s = text.c_str();
    char* end;
    errno = 0;
    double lat = std::strtod(s, &end);
    if (end == s) return false;
    while (*end == ' ') end++;
    if (*end != ',') return false;
    const char* t = end + 1;
    double lon = std::strtod(t, &end);
    if (end == t) return false;
    while (*end == ' ') end++;
    if (*end || errno || !std::isfinite(lat) || !std::isfinite(lon) || std::fabs(lat) > 90 || std::fabs(lon) > 180)
        return false;
    *out = {lat, lon};
    return true;
}

// The map server's search, run without a shell (the text may hold anything).
std::string search_program() {
    if (const char* v = std::getenv("KIV_MAPSERVER"); v && *v) return v;
    return "kiv-mapserver";
}

// The first answer of the search for text: "" with out set, or the reason.
std::string search_place(const std::string& text, const std::string& data, RouteLatLon* out) {
    int fds[2];
    if (pipe(fds) != 0) return std::string("cannot search: ") + std::strerror(errno);
    std::string program = search_program();
    pid_t pid = fork();
    if (pid < 0) return std::string("cannot search: ") + std::strerror(errno);
    if (pid == 0) {
        dup2(fds[1], 1);
        int null = open("/dev/null", O_WRONLY);
        if (null >= 0) dup2(null, 2);
        close(fds[0]);
        close(fds[1]);
        setenv("KIV_MAPIMPORTS", data.c_str(), 1);
        execlp(program.c_str(), program.c_str(), "search", text.c_str(), "--limit", "1", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    std::string reply;
    char buf[4096];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR))
        if (n > 0) reply.append(buf, static_cast<size_t>(n));
    close(fds[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::string why = "\"" + text + "\" is not LAT,LON, and place names need the map server's search (" + program +
                      " search)";
    if (code == 127 || code == 2) return why;
    if (code != 0) return "the search for \"" + text + "\" failed: " + why;
    // name, kind, latitude, longitude, import
    std::vector<std::string> fields;
    std::string line = reply.substr(0, reply.find('\n'));
    size_t start = 0;
    for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
        fields.push_back(line.substr(start, tab - start));
    fields.push_back(line.substr(start));
    if (line.empty()) return "no place found for \"" + text + "\"";
    if (fields.size() < 4 || !parse_lat_lon(fields[2] + "," + fields[3], out))
        return "the search for \"" + text + "\" answered an unreadable line: " + line;
    return "";
}

// The request of o with its points found: "" or the reason.
std::string make_request(const RouteOptions& o, RouteRequest* request) {
    request->dataDir = o.data;
    request->profile = o.profile;
    request->language = route_language_from_environment();
    for (const std::string& text : o.points) {
        RouteLatLon p;
        if (!parse_lat_lon(text, &p)) {
            std::string why = search_place(text, o.data, &p);
            if (!why.empty()) return why;
        }
        request->points.push_back(p);
        request->names.push_back(text);
    }
    return "";
}

std::string route_text(const RouteOptions& o, const RouteAnswer& route) {
    return route_totals_line(route) + (o.allPoints ? route_point_lines(route) : route_instruction_lines(route));
}

// One answer to a request line of the server.
std::string serve_one(const std::string& line, const std::string& data, RouteEngine* engine) {
    std::vector<std::string> words = {"kivroute"};
    size_t start = 0;
    for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
        words.push_back(line.substr(start, tab - start));
    words.push_back(line.substr(start));
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    RouteOptions o;
    o.data = data;
    if (parse_options(static_cast<int>(argv.size()), argv.data(), &o, true) != 0)
        return "usage\ta request is [--profile car|bicycle|foot] [--via POINT]... [--points] FROM TO, tab-separated\n\n";
    RouteRequest request;
    std::string why = make_request(o, &request);
    RouteAnswer route;
    if (why.empty() && !route_engine_compute(engine, request, &route)) why = route.reason;
    for (char& c : why)
        if (c == '\n' || c == '\t') c = ' ';
    if (!why.empty()) return "no\t" + why + "\n\n";
    return "ok\n" + route_text(o, route) + "\n";
}

int serve(const RouteOptions& o) {
    RouteEngine engine;
    std::string line;
    for (int c; (c = std::getchar()) != EOF;) {
        if (c != '\n') {
            line += static_cast<char>(c);
            continue;
        }
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::string answer = serve_one(line, o.data, &engine);
        line.clear();
        std::fwrite(answer.data(), 1, answer.size(), stdout);
        if (std::fflush(stdout) != 0) return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    RouteOptions o;
    if (parse_options(argc, argv, &o) != 0) {
        usage(stderr);
        return 2;
    }
    if (o.serve) return serve(o);
    RouteRequest request;
    std::string why = make_request(o, &request);
    if (!why.empty()) {
        std::fprintf(stderr, "kivroute: %s\n", why.c_str());
        return 1;
    }
    RouteAnswer route;
    if (!route_compute(request, &route)) {
        std::fprintf(stderr, "kivroute: %s\n", route.reason.c_str());
        return 1;
    }
    if (!o.gpx.empty()) {
        why = route_gpx_write(o.gpx, route_gpx_text(route, o.points.front() + " - " + o.points.back()));
        if (!why.empty()) {
            std::fprintf(stderr, "kivroute: %s\n", why.c_str());
            return 1;
        }
    }
    std::string out = route_text(o, route);
    std::fwrite(out.data(), 1, out.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
