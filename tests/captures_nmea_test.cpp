// Real receiver captures (gpsd's regression logs) through the NMEA decoder,
// checked against gpsd's own decodes: position within 1e-6 degrees wherever
// gpsd reports one, fix or no fix and the UTC second at every row, and the
// satellites at the end of every GSV cycle.
//
// gpsd and this program differ on purpose in a few rules. Where a row
// disagrees because of one of them, the row is counted as an exception with
// its reason, and the rule itself is checked instead:
// - "two-digit year": years 70..99 are 19xx and 00..69 are 20xx; gpsd guesses
//   the century around week rollovers. Rule: our year has the RMC's digits.
// - "GGA satellites": gpsd takes a GGA with a fix quality but fewer than 3
//   satellites used for no fix (receivers that count one system only); the
//   quality decides here. Rule: the GGA's quality is above 0.
// - "GNS systems": gpsd reads only the first system's mode letter of a GNS;
//   here any system's fix counts. Rule: a letter other than "N".
// - "GSV cycle cut": a capture that starts inside a GSV cycle; gpsd counts
//   only the satellites it has seen. Rule: the listed ones sit in our table.
// - "signals": gpsd lists a satellite once per signal (L1, L2, E5b...); our
//   table holds it once. Rule: the distinct satellites, in gpsd's order.
// The dimension (2D or 3D) is not compared: gpsd guesses it from altitude
// and satellite counts where the receiver says nothing.
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

std::vector<std::string> fields_of(const std::string& body) {
    std::vector<std::string> f;
    std::stringstream s(body.substr(0, body.find('*')));
    std::string cell;
    while (std::getline(s, cell, ',')) f.push_back(cell);
    f.resize(20);
    return f;
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
    int mode = 0;
};

Snapshot snapshot() {
    Snapshot s{gps_utc_text(), gps_latitude(), gps_longitude(), gps_satellites_in_view(), {}, gps_fix_mode()};
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
            EXPECT_TRUE(near(ours.lat, lat) && near(ours.lon, lon))
                << where << ": expected " << e[5] << "," << e[6] << " got " << ours.lat << "," << ours.lon;
        }

        // gpsd's mode 1 is no fix, our 0.
        if ((std::atoi(e[4].c_str()) >= 2) != (ours.mode > 0)) {
            auto f = fields_of(body_of(lines[k - 1]));
            std::string type = f[0].size() == 5 ? f[0].substr(2) : "";
            if (type == "GGA" && std::atoi(f[6].c_str()) > 0 && std::atoi(f[7].c_str()) < 3)
                ex->add("GGA satellites", where);
            else if (type == "GNS" && f[6][0] == 'N' && f[6].find_first_not_of('N') != std::string::npos)
                ex->add("GNS systems", where);
            else
                ADD_FAILURE() << where << ": gpsd mode " << e[4] << ", ours " << ours.mode;
        }

        if (!e[3].empty()) {
            std::string gpsd = gpsd_time_as_ours(e[3]);
            if (ours.utc == gpsd) continue;
            if (ours.utc.size() > 4 && ours.utc.substr(4) == gpsd.substr(4) &&
                std::atoi(ours.utc.c_str()) % 100 == std::atoi(gpsd.c_str()) % 100) {
                ex->add("two-digit year", where);
                EXPECT_TRUE(ours.utc >= "1970" && ours.utc < "2070") << where;
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
