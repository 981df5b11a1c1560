// Real receiver captures (gpsd's regression logs) through the NMEA decoder,
// checked against gpsd's own decodes: position within 1e-6 degrees wherever
// gpsd reports one, the UTC second at every RMC, and the satellites at the
// end of every GSV cycle.
//
// gpsd and this program differ on purpose in a few rules. Where a row
// disagrees because of one of them, the row is counted as an exception with
// its reason, and the rule itself is checked instead:
// - "older RMC": an RMC whose date and time sort before the stored UTC text
//   is dropped whole (a receiver stepping back, or its date thrown back to
//   1999 by a week-number rollover); gpsd follows it. Rule: the RMC leaves
//   time and position as they were.
// - "two-digit year": years 70..99 are 19xx and 00..69 are 20xx; gpsd guesses
//   the century around week rollovers. Rule: our text is the RMC's digits.
// - "GSV cycle cut": a capture that starts inside a GSV cycle; gpsd counts
//   only the satellites it has seen. Rule: the listed ones sit in our table.
// - "signals": gpsd lists a satellite once per signal (L1, L2, E5b...); our
//   table holds it once. Rule: the distinct satellites, in gpsd's order.
// (Local time follows a calendar without leap years; it is not compared.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <dirent.h>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "position/gps_fix.h"
#include "position/nmea.h"
#include "position/receiver_io.h"

namespace {

using Row = std::vector<std::string>;

const std::string receivers_dir = std::string(KIV_TESTDATA_DIR) + "/receivers";

bool read_file(const std::string& path, std::string* out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::stringstream s;
    s << in.rdbuf();
    *out = s.str();
    return true;
}

std::vector<Row> read_tsv(const std::string& path) {
    std::vector<Row> rows;
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) {
        Row r;
        std::stringstream s(line);
        std::string cell;
        while (std::getline(s, cell, '\t')) r.push_back(cell);
        r.resize(12);
        rows.push_back(r);
    }
    return rows;
}

// Captures whose expected rows all come from NMEA sentences.
std::vector<std::string> nmea_captures() {
    std::vector<std::string> names;
    DIR* d = opendir(receivers_dir.c_str());
    if (!d) return names;
    while (dirent* e = readdir(d)) {
        std::string file = e->d_name;
        const std::string suffix = ".expected.tsv";
        if (file.size() <= suffix.size() || file.compare(file.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        std::string name = file.substr(0, file.size() - suffix.size());
        std::string bin;
        if (!read_file(receivers_dir + "/" + name + ".bin", &bin)) continue;
        auto rows = read_tsv(receivers_dir + "/" + file);
        bool nmea = !rows.empty();
        for (const auto& r : rows)
            if (r[2].find(':') != std::string::npos) nmea = false;
        if (nmea) names.push_back(name);
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> split_lines(const std::string& bytes) {
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < bytes.size()) {
        size_t lf = bytes.find('\n', at);
        size_t end = lf == std::string::npos ? bytes.size() : lf + 1;
        lines.push_back(bytes.substr(at, end - at));
        at = end;
    }
    return lines;
}

// ---- what the test itself reads from a raw line --------------------------------

std::string body_of(const std::string& line) {
    std::string s = line;
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    return s.size() > 1 && s[0] == '$' ? s.substr(1) : "";
}

bool checksum_right(const std::string& body) {
    size_t star = body.find('*');
    if (star == std::string::npos || star + 3 > body.size()) return false;
    unsigned sum = 0;
    for (size_t i = 0; i < star; ++i) sum ^= static_cast<unsigned char>(body[i]);
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02X", sum);
    return body.compare(star + 1, 2, hex) == 0;
}

std::vector<std::string> fields_of(const std::string& body) {
    std::vector<std::string> f;
    std::stringstream s(body.substr(0, body.find('*')));
    std::string cell;
    while (std::getline(s, cell, ',')) f.push_back(cell);
    f.resize(20);
    return f;
}

// A checksum-valid RMC, GGA or GLL of any talker that carries a latitude.
bool is_position_sentence(const std::string& line) {
    std::string b = body_of(line);
    if (b.size() < 6 || !checksum_right(b)) return false;
    std::string type = b.substr(2, 3);
    auto f = fields_of(b);
    int latField = type == "RMC" ? 3 : type == "GGA" ? 2 : type == "GLL" ? 1 : 0;
    return latField && !f[latField].empty();
}

// An RMC's own date and time by the two-digit-year rule; "" when unreadable.
std::string rmc_time_by_our_rule(const std::string& line) {
    auto f = fields_of(body_of(line));
    const std::string &time = f[1], &date = f[9];
    if (time.size() < 6 || date.size() < 6) return "";
    int yy = std::atoi(date.substr(4, 2).c_str());
    char text[40];
    std::snprintf(text, sizeof text, "%04d/%s/%s %s:%s:%s", yy >= 70 ? 1900 + yy : 2000 + yy,
                  date.substr(2, 2).c_str(), date.substr(0, 2).c_str(), time.substr(0, 2).c_str(),
                  time.substr(2, 2).c_str(), time.substr(4, 2).c_str());
    return text;
}

// "2007-04-08T09:53:05.802Z" -> "2007/04/08 09:53:05"
std::string gpsd_time_as_ours(const std::string& iso) {
    if (iso.size() < 19) return "";
    return iso.substr(0, 4) + "/" + iso.substr(5, 2) + "/" + iso.substr(8, 2) + " " + iso.substr(11, 8);
}

// ---- decoding ----------------------------------------------------------------------

struct Snapshot {
    std::string utc;
    double lat = 0, lon = 0;
    int inView = 0;
    std::vector<int> prn;
};

Snapshot snapshot() {
    Snapshot s{gps_utc_text(), gps_latitude(), gps_longitude(), gps_satellites_in_view(), {}};
    for (int i = 0; i < 12; ++i) s.prn.push_back(gps_sat_prn(i));
    return s;
}

// state[k] is the fix after line k (state[0] before any).
std::vector<Snapshot> decode_line_by_line(const std::vector<std::string>& lines) {
    gps_reset();
    nmea_reset();
    std::vector<Snapshot> state{snapshot()};
    for (const auto& l : lines) {
        nmea_feed(l.data(), static_cast<int>(l.size()));
        state.push_back(snapshot());
    }
    return state;
}

struct Exceptions {
    std::map<std::string, int> count;
    std::vector<std::string> notes;
    void add(const std::string& reason, const std::string& note) {
        count[reason] += 1;
        notes.push_back(reason + ": " + note);
    }
};

bool near(double a, double b) { return std::fabs(a - b) <= 1e-6; }

void check_capture(const std::string& name, Exceptions* ex, int* checkedRows) {
    std::string bytes;
    ASSERT_TRUE(read_file(receivers_dir + "/" + name + ".bin", &bytes));
    auto lines = split_lines(bytes);
    auto state = decode_line_by_line(lines);
    auto expected = read_tsv(receivers_dir + "/" + name + ".expected.tsv");

    for (const auto& e : expected) {
        size_t k = std::strtoul(e[1].c_str(), nullptr, 10);
        ASSERT_TRUE(k >= 1 && k < state.size()) << name << " row " << e[0];
        const Snapshot& ours = state[k];
        std::string where = name + " row " + e[0] + " line " + e[1];

        if (!e[5].empty() && !e[6].empty()) {
            ++*checkedRows;
            double lat = std::atof(e[5].c_str()), lon = std::atof(e[6].c_str());
            if (!near(ours.lat, lat) || !near(ours.lon, lon)) {
                // The sentence gpsd took its position from.
                size_t src = k;
                while (src >= 1 && !is_position_sentence(lines[src - 1])) --src;
                ASSERT_GE(src, 1u) << where << ": gpsd has a position no sentence gave";
                std::string b = body_of(lines[src - 1]);
                bool keptPosition = state[src].lat == state[src - 1].lat && state[src].lon == state[src - 1].lon;
                if (b.compare(2, 3, "RMC") == 0 && rmc_time_by_our_rule(lines[src - 1]) < state[src - 1].utc) {
                    ex->add("older RMC", where);
                    EXPECT_TRUE(keptPosition) << where << ": " << b;
                } else {
                    ADD_FAILURE() << where << ": expected " << e[5] << "," << e[6] << " got " << ours.lat << ","
                                  << ours.lon << " after " << b;
                }
            }
        }

        if (e[2] == "GPRMC" && !e[3].empty()) {
            std::string gpsd = gpsd_time_as_ours(e[3]);
            if (ours.utc == gpsd) continue;
            std::string rule = rmc_time_by_our_rule(lines[k - 1]);
            if (!rule.empty() && rule < state[k - 1].utc) {
                ex->add("older RMC", where);
                EXPECT_EQ(ours.utc, state[k - 1].utc) << where;
            } else if (!rule.empty() && rule.substr(4) == gpsd.substr(4)) {
                ex->add("two-digit year", where);
                EXPECT_EQ(ours.utc, rule) << where;
            } else {
                ADD_FAILURE() << where << ": UTC " << ours.utc << ", gpsd " << gpsd;
            }
        }
    }

    for (const auto& s : read_tsv(receivers_dir + "/" + name + ".sky.tsv")) {
        if (s[2] != "GPGSV") continue;
        size_t k = std::strtoul(s[1].c_str(), nullptr, 10);
        ASSERT_TRUE(k >= 1 && k < state.size()) << name << " sky row " << s[0];
        const Snapshot& ours = state[k];
        std::vector<int> listed;
        // Older captures separate the numbers with commas, newer ones with blanks.
        std::string numbers = s[6];
        std::replace(numbers.begin(), numbers.end(), ',', ' ');
        std::stringstream p(numbers);
        for (int id; p >> id;) listed.push_back(id);
        std::string where = name + " sky row " + s[0];
        int n = std::atoi(s[4].c_str());
        std::vector<int> distinct;
        for (int id : listed)
            if (std::find(distinct.begin(), distinct.end(), id) == distinct.end()) distinct.push_back(id);
        if (distinct.size() < listed.size()) {
            ex->add("signals", where);
            listed = distinct;
            n = static_cast<int>(distinct.size());
        }
        if (ours.inView == n) {
            size_t shown = std::min<size_t>(12, listed.size());
            EXPECT_EQ(std::vector<int>(ours.prn.begin(), ours.prn.begin() + shown),
                      std::vector<int>(listed.begin(), listed.begin() + shown))
                << where;
        } else {
            ex->add("GSV cycle cut", where);
            EXPECT_GT(ours.inView, n) << where;
            for (int id : listed)
                EXPECT_NE(std::find(ours.prn.begin(), ours.prn.end(), id), ours.prn.end()) << where << " PRN " << id;
        }
    }
}

TEST(NmeaCaptures, DecodesLikeGpsdExceptWhereOurRulesDiffer) {
    auto names = nmea_captures();
    if (names.empty()) GTEST_SKIP() << "no NMEA captures in " << receivers_dir;
    Exceptions ex;
    int checkedRows = 0;
    for (const auto& name : names) {
        SCOPED_TRACE(name);
        check_capture(name, &ex, &checkedRows);
    }
    EXPECT_GT(checkedRows, 0);
    for (const auto& note : ex.notes) std::printf("exception %s\n", note.c_str());
    std::string summary;
    for (const auto& [reason, n] : ex.count) summary += reason + "=" + std::to_string(n) + " ";
    std::printf("%zu captures, %d position rows, exceptions: %s\n", names.size(), checkedRows,
                summary.empty() ? "none" : summary.c_str());
    ::testing::Test::RecordProperty("captures", static_cast<int>(names.size()));
    ::testing::Test::RecordProperty("exceptions", static_cast<int>(ex.notes.size()));
}

// gpsd's number of a satellite of our table: GLONASS 65-96, Galileo
// 301-336, BeiDou 401-463, QZSS 193-202, whatever numbering the talker used.
int gpsd_number(const GpsSatellite& s) {
    switch (s.system) {
    case GPS_SYSTEM_GLONASS: return s.prn <= 32 ? 64 + s.prn : s.prn;
    case GPS_SYSTEM_GALILEO: return s.prn < 100 ? 300 + s.prn : s.prn;
    case GPS_SYSTEM_BEIDOU: return s.prn < 100 ? 400 + s.prn : s.prn <= 263 ? 200 + s.prn : s.prn;
    case GPS_SYSTEM_QZSS: return s.prn <= 10 ? 192 + s.prn : s.prn;
    default: return s.prn;
    }
}

// At gpsd's last satellite report after a GSV (a whole cycle of every
// system by then), our table holds the same satellites, each under the
// system gpsd puts it in: no system's cycle has wiped another's.
TEST(NmeaCaptures, LastSkyHoldsEverySystemsSatellites) {
    auto names = nmea_captures();
    if (names.empty()) GTEST_SKIP() << "no NMEA captures in " << receivers_dir;
    int checked = 0;
    for (const auto& name : names) {
        Row last;
        for (const auto& s : read_tsv(receivers_dir + "/" + name + ".sky.tsv"))
            if (s[2].size() == 5 && s[2].compare(2, 3, "GSV") == 0 && std::atoi(s[4].c_str()) > 0) last = s;
        if (last.empty()) continue;
        std::string bytes;
        ASSERT_TRUE(read_file(receivers_dir + "/" + name + ".bin", &bytes));
        auto lines = split_lines(bytes);
        size_t k = std::strtoul(last[1].c_str(), nullptr, 10);
        ASSERT_TRUE(k >= 1 && k <= lines.size()) << name;
        lines.resize(k);
        decode_line_by_line(lines);
        std::set<int> ours, theirs;
        GpsSatellite table[GPS_SAT_TABLE];
        for (int i = 0, n = gps_copy_satellites(table, GPS_SAT_TABLE); i < n; ++i) ours.insert(gpsd_number(table[i]));
        std::string numbers = last[6];
        std::replace(numbers.begin(), numbers.end(), ',', ' ');
        std::stringstream p(numbers);
        for (int id; p >> id;) theirs.insert(id);
        EXPECT_EQ(ours, theirs) << name << " sky row " << last[0];
        ++checked;
    }
    EXPECT_GT(checked, 0);
}

// The wire logs keep the garbage, cut sentences and collisions of the line.
TEST(NmeaCaptures, RawWireLogsAreSurvivedAndDecodingGoesOn) {
    auto names = nmea_captures();
    if (names.empty()) GTEST_SKIP() << "no NMEA captures in " << receivers_dir;
    int wires = 0;
    for (const auto& name : names) {
        std::string wire, bin;
        if (!read_file(receivers_dir + "/" + name + ".wire.bin", &wire)) continue;
        ASSERT_TRUE(read_file(receivers_dir + "/" + name + ".bin", &bin));
        ++wires;
        auto clean = decode_line_by_line(split_lines(bin)).back();
        for (int chunk : {1, 80}) {
            gps_reset();
            nmea_reset();
            for (size_t at = 0; at < wire.size(); at += chunk)
                nmea_feed(wire.data() + at, static_cast<int>(std::min<size_t>(chunk, wire.size() - at)));
            EXPECT_TRUE(near(gps_latitude(), clean.lat) && near(gps_longitude(), clean.lon))
                << name << " chunk " << chunk;
            EXPECT_EQ(gps_utc_text(), clean.utc) << name << " chunk " << chunk;
            const char after[] = "\n$GPRMC,235959,A,0100.000,N,00200.000,E,0.0,0.0,311269,,*11\r\n";
            nmea_feed(after, sizeof after - 1);
            EXPECT_EQ(gps_utc_text(), "2069/12/31 23:59:59") << name << " chunk " << chunk;
        }
    }
    ::testing::Test::RecordProperty("wire_logs", wires);
}

}  // namespace
