// kivtrack: the track log and GPX files from the command line.
//
//   kivtrack gpx TRACK.txt [--write OUT.gpx]   track log to GPX 1.1 (standard
//                                              output, or OUT.gpx written point
//                                              by point as Kiv records)
//   kivtrack info FILE                         points, length, duration, time
//                                              moving, average and top speed,
//                                              ascent, descent and bounds of a
//                                              track log or a GPX file
//
// Exit status 0; 1 on a file that cannot be read or written, that is
// neither GPX nor a track log, or whose points all lie outside the earth
// (said on stderr with the reason); 2 on bad usage.
#include <getopt.h>
#include <unistd.h>

#include <cerrno>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "nav/track_stats.h"
#include "tracks/gpx_reader.h"
#include "platform/console_backend.h"
#include "tracks/gpx_writer.h"
#include "settings/program_version.h"
#include "settings/text_scan.h"

namespace {

const char usage_text[] =
    "usage: kivtrack gpx TRACK.txt [--write OUT.gpx]\n"
    "       kivtrack info FILE\n"
    "       kivtrack --help | --version\n";

int usage() {
    fputs(usage_text, stderr);
    return 2;
}

// The track log's "%f %f - time" lines as one segment.
int readTrackLog(const char* path, GpxData* out) {
    FILE* f = fopen(path, "r");
    if (!f) return 0;
    GpxLine line{{}, 0, {}};
    char text[256];
    while (read_line(f, text, sizeof text)) {
        const char* p = text;
        double lat, lon;
        if (!scan_double(&p, &lat) || !scan_double(&p, &lon)) continue;
        GpxPoint point = gpx_point(lat, lon);
        if (const char* dash = strstr(p, " - ")) point.time = gpx_time_from_text(dash + 3);
        line.points.push_back(point);
    }
    fclose(f);
    out->lines.push_back(std::move(line));
    return 1;
}

bool writeAll(const char* text, size_t size) { return fwrite(text, 1, size, stdout) == size; }

int toGpx(const char* trackLog, const char* outPath) {
    GpxData data;
    if (!readTrackLog(trackLog, &data)) {
        fprintf(stderr, "kivtrack: cannot read %s\n", trackLog);
        return 1;
    }
    const std::vector<GpxPoint>& points = data.lines[0].points;
    if (outPath) {
        GpxWriter w;
        if (!gpx_writer_open(&w, outPath, trackLog)) {
            fprintf(stderr, "kivtrack: cannot create %s: %s\n", outPath, strerror(w.error));
            return 1;
        }
        for (const GpxPoint& p : points) {
            // A point without a usable position is left out, as on standard output.
            if (gpx_writer_point(&w, &p) || w.error == EINVAL) continue;
            fprintf(stderr, "kivtrack: cannot write %s: %s\n", outPath, strerror(w.error));
            gpx_writer_close(&w);
            return 1;
        }
        if (!gpx_writer_close(&w)) {
            fprintf(stderr, "kivtrack: cannot write %s: %s\n", outPath, strerror(w.error));
            return 1;
        }
        return 0;
    }
    char text[1024];
    size_t n = gpx_format_header(text, sizeof text, trackLog);
    bool ok = n && writeAll(text, n);
    for (const GpxPoint& p : points)
        if ((n = gpx_format_point(text, sizeof text, &p))) ok = ok && writeAll(text, n);
    ok = ok && writeAll(GPX_CLOSING, strlen(GPX_CLOSING)) && fflush(stdout) == 0;
    if (!ok) fprintf(stderr, "kivtrack: cannot write standard output: %s\n", strerror(errno));
    return ok ? 0 : 1;
}

int info(const char* path) {
    GpxData data;
    std::string why;
    if (!gpx_read_file(path, &data, &why)) {
        // Not GPX: a track log, when it holds at least one point.
        if (!readTrackLog(path, &data)) {
            fprintf(stderr, "kivtrack: cannot read %s: %s\n", path, strerror(errno));
            return 1;
        }
        if (gpx_point_count(data) == 0) {
            fprintf(stderr, "kivtrack: %s is not GPX (%s) nor a track log\n", path, why.c_str());
            return 1;
        }
    }
    if (data.outside) {
        // Latitudes or longitudes beyond the earth's: another program's
        // mistake, or not degrees at all.
        fprintf(stderr, "kivtrack: %s: %zu points outside the earth left out\n", path, data.outside);
        if (gpx_point_count(data) == 0 && data.waypoints.empty()) return 1;
    }
    double minLat = INFINITY, minLon = INFINITY, maxLat = -INFINITY, maxLon = -INFINITY;
    auto cover = [&](double lat, double lon) {
        minLat = std::min(minLat, lat), maxLat = std::max(maxLat, lat);
        minLon = std::min(minLon, lon), maxLon = std::max(maxLon, lon);
    };
    for (const GpxLine& l : data.lines)
        for (const GpxPoint& p : l.points) cover(p.lat, p.lon);
    for (const GpxWaypoint& w : data.waypoints) cover(w.lat, w.lon);
    // The figures of the window's Track Statistics, in SI units.
    TrackStats t = track_stats(data);
    printf("points %zu\n", gpx_point_count(data));
    printf("lines %zu\n", data.lines.size());
    printf("waypoints %zu\n", data.waypoints.size());
    printf("length %.3f km\n", t.metres / 1000);
    auto figure = [](const char* name, double value, double scale, const char* format) {
        if (std::isnan(value)) printf("%s unknown\n", name);
        else printf(format, name, value * scale);
    };
    figure("duration", t.seconds, 1, "%s %.0f s\n");
    figure("moving", t.movingSeconds, 1, "%s %.0f s\n");
    figure("average speed", t.averageMps, 3.6, "%s %.1f km/h\n");
    figure("top speed", t.topMps, 3.6, "%s %.1f km/h\n");
    figure("ascent", t.ascentMetres, 1, "%s %.0f m\n");
    figure("descent", t.descentMetres, 1, "%s %.0f m\n");
    if (minLat <= maxLat) printf("bounds %.6f %.6f %.6f %.6f\n", minLat, minLon, maxLat, maxLon);
    else printf("bounds none\n");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // Warnings of the layers below (settings, ports, files) go to stderr.
    platform_install_console("kivtrack");
    const option options[] = {{"write", required_argument, nullptr, 'w'},
                              {"help", no_argument, nullptr, 'h'},
                              {"version", no_argument, nullptr, 'V'},
                              {nullptr, 0, nullptr, 0}};
    const char* write = nullptr;
    for (int c; (c = getopt_long(argc, argv, "w:hV", options, nullptr)) != -1;) {
        if (c == 'w') {
            write = optarg;
        } else if (c == 'h') {
            printf("%s", usage_text);
            return 0;
        } else if (c == 'V') {
            printf("kivtrack %s\n", kiv_version);
            return 0;
        } else {
            return usage();
        }
    }
    if (argc - optind != 2) return usage();
    const char* command = argv[optind];
    const char* file = argv[optind + 1];
    if (strcmp(command, "gpx") == 0) return toGpx(file, write);
    if (strcmp(command, "info") == 0 && !write) return info(file);
    return usage();
}
