#include "nav/road_route_gpx.h"

#include <cstdio>

#include "tracks/gpx_writer.h"

namespace {

std::string at(const char* tag, const RoadPoint& p) {
    char text[96];
    snprintf(text, sizeof text, "<%s lat=\"%.7f\" lon=\"%.7f\">", tag, p.lat, p.lon);
    return text;
}

}  // namespace

std::string road_route_gpx(const RoadRoute& route, const std::string& name) {
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<gpx version=\"1.1\" creator=\"Kiv\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n<rte><name>";
    gpx_append_escaped(out, name.c_str());
    out += "</name>\n";
    for (const RoadPoint& p : route.points) {
        if (p.instruction.empty()) continue;
        out += at("rtept", p) + "<name>";
        gpx_append_escaped(out, p.street.c_str());
        out += "</name><desc>";
        gpx_append_escaped(out, p.instruction.c_str());
        out += "</desc></rtept>\n";
    }
    out += "</rte>\n<trk><name>";
    gpx_append_escaped(out, name.c_str());
    out += "</name><trkseg>\n";
    for (const RoadPoint& p : route.points) out += at("trkpt", p) + "</trkpt>\n";
    out += "</trkseg></trk>\n</gpx>\n";
    return out;
}
