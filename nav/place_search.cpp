#include "nav/place_search.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "nav/geodesic.h"
#include "nav/text_fold.h"
#include "net/http_client.h"

namespace {

// A search is a keystroke's: its answer is worth nothing after a few seconds.
constexpr int kDeadlineMs = 8000;
constexpr int64_t kMaxReplyBytes = 1 << 20;

std::string percent_encoded(const std::string& text)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                     c == '.' || c == '_' || c == '~';
        if (plain) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

// The words of folded text: runs of letters and digits (every byte of a
// character past ASCII counts as a letter).
std::vector<std::string> words_of(const std::string& folded)
{
    std::vector<std::string> words;
    std::string word;
    for (unsigned char c : folded) {
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c >= 0x80) {
            word += static_cast<char>(c);
        } else if (!word.empty()) {
            words.push_back(word);
            word.clear();
        }
    }
    if (!word.empty()) words.push_back(word);
    return words;
}

bool every_word_in(const std::vector<std::string>& wanted, const std::vector<std::string>& words, bool prefix)
{
    return std::all_of(wanted.begin(), wanted.end(), [&](const std::string& w) {
        return std::any_of(words.begin(), words.end(),
                           [&](const std::string& n) { return prefix ? n.starts_with(w) : n == w; });
    });
}

// Lower first, as the server ranks its own kinds; the user's waypoints
// just after the towns.
int kind_importance(const std::string& kind)
{
    static const std::pair<const char*, int> kKinds[] = {
        {"city", 10}, {"town", 20}, {"waypoint", 25}, {"village", 30}, {"station", 35}, {"hamlet", 40},
        {"suburb", 40}, {"water", 42}, {"peak", 45}, {"bay", 46}, {"river", 53}, {"street", 55},
        {"stream", 63}, {"path", 65}, {"railway", 70}};
    for (const auto& k : kKinds)
        if (kind == k.first) return k.second;
    return 64;
}

} // namespace

std::string place_search_url(const PlaceSearchRequest& request)
{
    std::string root = request.serverRoot;
    while (!root.empty() && root.back() == '/') root.pop_back();
    std::string url = root + "/search?q=" + percent_encoded(request.text);
    if (request.hasNear) {
        char near[64];
        std::snprintf(near, sizeof near, "&near=%.6f,%.6f", request.nearLat, request.nearLon);
        url += near;
    }
    return url + "&limit=" + std::to_string(request.limit);
}

void place_search_parse(const std::string& body, std::vector<PlaceMatch>* out, std::vector<std::string>* notes)
{
    std::istringstream lines(body);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.starts_with("# ")) {
            if (notes) notes->push_back(line.substr(2));
            continue;
        }
        std::vector<std::string> f;
        size_t start = 0;
        for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
            f.push_back(line.substr(start, tab - start));
        f.push_back(line.substr(start));
        if (f.size() != 5) continue;
        char* end1 = nullptr;
        char* end2 = nullptr;
        double lat = std::strtod(f[2].c_str(), &end1), lon = std::strtod(f[3].c_str(), &end2);
        if (*end1 || *end2 || f[2].empty() || f[3].empty() || lat < -90 || lat > 90 || lon < -180 || lon > 180)
            continue;
        PlaceMatch m;
        m.name = f[0];
        m.kind = f[1];
        m.lat = lat;
        m.lon = lon;
        m.source = f[4];
        m.rank = static_cast<double>(out->size());
        out->push_back(m);
    }
}

int place_search_fetch(const PlaceSearchRequest& request, const std::string& scratchFile,
                       const std::atomic<int>* cancel, std::vector<PlaceMatch>* out, std::vector<std::string>* notes,
                       std::string* reason)
{
    HttpTransfer t;
    t.deadlineMs = kDeadlineMs;
    t.maxBytes = kMaxReplyBytes;
    t.cancel = cancel;
    std::string url = place_search_url(request);
    int sent = HttpTransferToFile(url.c_str(), nullptr, scratchFile.c_str(), &t);
    std::string body;
    if (sent) {
        std::ifstream in(scratchFile, std::ios::binary);
        body.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    unlink(scratchFile.c_str());
    if (!sent || t.stop != HTTP_DONE) {
        *reason = "the map server " + request.serverRoot + " does not answer" +
                  (t.stop == HTTP_TIMED_OUT ? std::string(" in time") : t.error[0] ? ": " + std::string(t.error) : "");
        return 0;
    }
    if (t.status != 200) {
        while (!body.empty() && (body.back() == '\n' || body.back() == '\r')) body.pop_back();
        *reason = "the map server " + request.serverRoot + " cannot search (" +
                  (t.status == 404 ? std::string("it has no search; it may be an older one") :
                                     "HTTP " + std::to_string(t.status) + (body.size() < 300 && !body.empty() ? ": " + body : "")) +
                  ")";
        return 0;
    }
    place_search_parse(body, out, notes);
    return 1;
}

int place_match_quality(const std::string& text, const std::string& name)
{
    std::vector<std::string> wanted = words_of(text_fold(text)), words = words_of(text_fold(name));
    if (wanted.empty()) return 3;
    if (wanted == words) return 0;
    if (every_word_in(wanted, words, false)) return 1;
    if (every_word_in(wanted, words, true)) return 2;
    // The whole name typed without its spaces ("mainstreet").
    std::string joined, typed;
    for (const std::string& w : words) joined += w;
    for (const std::string& w : wanted) typed += w;
    return joined == typed ? 0 : 3;
}

void place_matches_rank(std::vector<PlaceMatch>* matches, const std::string& text, bool hasNear, double lat,
                        double lon)
{
    struct Key {
        int quality, importance;
        double metres;
        size_t index;
    };
    std::vector<Key> keys;
    for (size_t i = 0; i < matches->size(); i++) {
        const PlaceMatch& m = (*matches)[i];
        keys.push_back({place_match_quality(text, m.name), kind_importance(m.kind),
                        hasNear ? geodesic_inverse(lat, lon, m.lat, m.lon).metres : 0.0, i});
    }
    std::stable_sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) {
        if (a.quality != b.quality) return a.quality < b.quality;
        if (a.importance != b.importance) return a.importance < b.importance;
        return a.metres < b.metres;
    });
    std::vector<PlaceMatch> sorted;
    for (const Key& k : keys) {
        sorted.push_back((*matches)[k.index]);
        sorted.back().rank = static_cast<double>(sorted.size() - 1);
    }
    *matches = std::move(sorted);
}
