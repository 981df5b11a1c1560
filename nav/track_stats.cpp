#include "nav/track_stats.h"

#include <algorithm>
#include <cmath>

#include "nav/geodesic.h"

namespace {

bool timed(const GpxPoint& p) { return p.time != GPX_TIME_UNKNOWN; }

// The fastest stretch of one segment lasting TRACK_TOP_SPEED_SECONDS or
// more: for each end, the latest start that still gives that long.
double topOfSegment(const std::vector<double>& along, const std::vector<const GpxPoint*>& points) {
    double top = NAN;
    size_t start = 0;
    for (size_t end = 1; end < points.size(); end++) {
        auto span = [&](size_t s) { return static_cast<double>(points[end]->time - points[s]->time); };
        while (start + 1 < end && span(start + 1) >= TRACK_TOP_SPEED_SECONDS) start++;
        if (span(start) < TRACK_TOP_SPEED_SECONDS) continue;
        double mps = (along[end] - along[start]) / span(start);
        if (!(top >= mps)) top = mps;
    }
    return top;
}

}  // namespace

std::vector<const GpxLine*> track_stats_lines(const GpxData& data) {
    std::vector<const GpxLine*> tracks, routes;
    for (const GpxLine& l : data.lines) (l.route ? routes : tracks).push_back(&l);
    return tracks.empty() ? routes : tracks;
}

std::vector<TrackProfilePoint> track_profile(const GpxData& data) {
    std::vector<TrackProfilePoint> out;
    double along = 0;
    for (const GpxLine* l : track_stats_lines(data)) {
        const GpxPoint* prev = nullptr;
        for (const GpxPoint& p : l->points) {
            double mps = p.speed;
            if (prev) {
                double d = geodesic_inverse(prev->lat, prev->lon, p.lat, p.lon).metres;
                along += d;
                double dt = timed(p) && timed(*prev) ? static_cast<double>(p.time - prev->time) : 0;
                if (std::isnan(mps) && dt > 0) mps = d / dt;
            }
            out.push_back(TrackProfilePoint{along, p.ele, mps, p.lat, p.lon});
            prev = &p;
        }
    }
    return out;
}

TrackStats track_stats(const GpxData& data) {
    TrackStats s{0, 0, NAN, NAN, NAN, NAN, NAN, NAN};
    int64_t first = GPX_TIME_UNKNOWN, last = GPX_TIME_UNKNOWN;
    double moving = 0, movingMetres = 0, ref = NAN;
    bool anyPair = false;
    for (const GpxLine* l : track_stats_lines(data)) {
        std::vector<double> along;                 // of the timed points, for the top speed
        std::vector<const GpxPoint*> timedPoints;
        double segmentMetres = 0;
        const GpxPoint* prev = nullptr;
        for (const GpxPoint& p : l->points) {
            s.points++;
            if (prev) {
                double d = geodesic_inverse(prev->lat, prev->lon, p.lat, p.lon).metres;
                s.metres += d;
                segmentMetres += d;
                if (timed(p) && timed(*prev) && p.time > prev->time) {
                    double dt = static_cast<double>(p.time - prev->time);
                    anyPair = true;
                    if (d / dt >= TRACK_STOPPED_MPS) moving += dt, movingMetres += d;
                }
            }
            if (timed(p)) {
                if (first == GPX_TIME_UNKNOWN || p.time < first) first = p.time;
                if (last == GPX_TIME_UNKNOWN || p.time > last) last = p.time;
                along.push_back(segmentMetres);
                timedPoints.push_back(&p);
            }
            if (std::isfinite(p.ele)) {
                if (std::isnan(ref)) {
                    ref = p.ele;
                    s.ascentMetres = s.descentMetres = 0;
                } else if (p.ele - ref >= TRACK_CLIMB_STEP_M) {
                    s.ascentMetres += p.ele - ref;
                    ref = p.ele;
                } else if (ref - p.ele >= TRACK_CLIMB_STEP_M) {
                    s.descentMetres += ref - p.ele;
                    ref = p.ele;
                }
            }
            prev = &p;
        }
        double top = topOfSegment(along, timedPoints);
        if (std::isnan(s.topMps) || top > s.topMps) s.topMps = top;
    }
    if (first != GPX_TIME_UNKNOWN) s.seconds = static_cast<double>(last - first);
    if (anyPair) {
        s.movingSeconds = moving;
        s.averageMps = moving > 0 ? movingMetres / moving : 0;
    }
    return s;
}

int track_profile_at(const std::vector<TrackProfilePoint>& profile, double metres) {
    if (profile.empty()) return -1;
    auto it = std::lower_bound(profile.begin(), profile.end(), metres,
                               [](const TrackProfilePoint& p, double m) { return p.metres < m; });
    if (it == profile.end()) return static_cast<int>(profile.size()) - 1;
    if (it != profile.begin() && metres - (it - 1)->metres < it->metres - metres) --it;
    return static_cast<int>(it - profile.begin());
}
