#include "tools/kivroute/route_gpx.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

std::string xml_text(const std::string& s) {
    std::string out;
    for (char c : s) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default:
            // Control characters are not allowed in XML 1.0.
            if (static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n') out += c;
        }
    }
    return out;
}

std::string coordinates(const RoutePoint& p) {
    char text[80];
    std::snprintf(text, sizeof text, "lat=\"%.7f\" lon=\"%.7f\"", p.lat, p.lon);
    return text;
}

}  // namespace

std::string route_gpx_text(const RouteAnswer& route, const std::string& name) {
    std::string out =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<gpx version=\"1.1\" creator=\"kivroute\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
        "<rte><name>" + xml_text(name) + "</name>\n";
    int n = 0;
    for (const RoutePoint& p : route.points) {
        if (p.instruction.empty()) continue;
        out += "<rtept " + coordinates(p) + "><name>" + std::to_string(++n) + "</name><desc>" +
               xml_text(p.instruction) + "</desc></rtept>\n";
    }
    out += "</rte>\n<trk><name>" + xml_text(name) + "</name><trkseg>\n";
    for (const RoutePoint& p : route.points) out += "<trkpt " + coordinates(p) + "/>\n";
    out += "</trkseg></trk>\n</gpx>\n";
    return out;
}

std::string route_gpx_write(const std::string& path, const std::string& text) {
    std::string tmp = path + ".part";
    std::FILE* f = std::fopen(tmp.c_str(), "w");
    if (!f) return "cannot write " + tmp + ": " + std::strerror(errno);
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    int err = errno;
    if (std::fclose(f) != 0 && ok) ok = false, err = errno;
    if (!ok || std::rename(tmp.c_str(), path.c_str()) != 0) {
        if (ok) err = errno;
        unlink(tmp.c_str());
        return "cannot write " + path + ": " + std::strerror(err);
    }
    return "";
}
