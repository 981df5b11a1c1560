#include <cmath>
#include <cstdio>
#include <cstring>

#include "tools/kivsim/sim_run.h"

namespace {

int silent(const Sim& s, double now) {
    return s.opt.silentAfter >= 0 && now - s.started >= s.opt.silentAfter;
}

time_t epoch_utc(const Sim& s) {
    return s.fromClock ? time(nullptr) : s.utcStart + static_cast<time_t>(s.ticks);
}

unsigned next_random(Sim& s) {
    s.rng = s.rng * 1103515245u + 12345u;
    return (s.rng >> 16) & 0x7FFF;
}

// One piece of output, with a third of them preceded by line noise. Text
// noise ends its own line so that it spoils no more than itself.
void send(Sim& s, const std::string& bytes, int text, double now) {
    if (s.opt.garbage && next_random(s) % 3 == 0) {
        std::string noise;
        int n = 1 + static_cast<int>(next_random(s) % 8);
        for (int i = 0; i < n; i++) {
            char c = static_cast<char>(next_random(s) & 0xFF);
            if (text && (c == '\n' || c == '\r' || c == '$')) c = '#';
            noise += c;
        }
        if (text) noise += "\r\n";
        sim_queue(s, noise, now);
    }
    sim_queue(s, bytes, now);
}

void print_rx(const std::string& text) {
    printf("rx: %s\n", text.c_str());
    fflush(stdout);
}

// After this epoch the route has been travelled once.
void epoch_done(Sim& s) {
    if (s.opt.once && s.ticks >= route_seconds(s.route)) s.finish = 1;
}

void phone_listing(Sim& s, int wantRead, int all, double now) {
    std::string reply;
    for (size_t i = 0; i < s.inbox.size(); i++) {
        SimMessage& m = s.inbox[i];
        if (!all && m.read != wantRead) continue;
        tm t;
        gmtime_r(&m.when, &t);
        char head[128];
        snprintf(head, sizeof head, "+CMGL: %zu,\"%s\",\"+15550100\",,\"%02d/%02d/%02d,%02d:%02d:%02d+00\"\r\n",
                 i + 1, m.read ? "REC READ" : "REC UNREAD", t.tm_year % 100, t.tm_mon + 1, t.tm_mday,
                 t.tm_hour, t.tm_min, t.tm_sec);
        reply += head + m.text + "\r\n";
        m.read = 1;
    }
    send(s, reply + "\r\nOK\r\n", 1, now);
}

void phone_command(Sim& s, const std::string& line, double now) {
    sim_queue(s, line + "\r\n", now);   // echo
    if (line == "AT" || line == "AT+CMGF=1")
        send(s, "\r\nOK\r\n", 1, now);
    else if (line == "AT+CMGL=\"REC UNREAD\"" || line == "AT+CMGL=0")
        phone_listing(s, 0, 0, now);
    else if (line == "AT+CMGL=\"REC READ\"" || line == "AT+CMGL=1")
        phone_listing(s, 1, 0, now);
    else if (line == "AT+CMGL=\"ALL\"" || line == "AT+CMGL=4")
        phone_listing(s, 0, 1, now);
    else
        send(s, "\r\nERROR\r\n", 1, now);
}

void garmin_packet_in(Sim& s, const std::vector<uint8_t>& p, double now) {
    int id = p[0];
    if (id != 10 || p[1] < 2) {
        char text[32];
        snprintf(text, sizeof text, "garmin %d size %d", id, p[1]);
        print_rx(text);
        return;
    }
    int command = p[2] | (p[3] << 8);
    print_rx(command == 2 ? "garmin request position"
                          : command == 5 ? "garmin request time" : "garmin command " + std::to_string(command));
    if (silent(s, now)) return;
    send(s, garmin_frame(6, {10, 0}), 0, now);   // acknowledgement
    if (command == 2) {
        SimFix f = route_fix(s.route, static_cast<double>(s.ticks), !s.opt.once);
        double v[2] = {f.lat * M_PI / 180.0, f.lon * M_PI / 180.0};
        std::vector<uint8_t> data(16);
        memcpy(data.data(), v, 16);   // little-endian doubles on every host we build for
        send(s, garmin_frame(17, data), 0, now);
    } else if (command == 5) {
        time_t utc = epoch_utc(s);
        tm t;
        gmtime_r(&utc, &t);
        int year = t.tm_year + 1900;
        std::vector<uint8_t> data = {static_cast<uint8_t>(t.tm_mon + 1), static_cast<uint8_t>(t.tm_mday),
                                     static_cast<uint8_t>(year & 0xFF), static_cast<uint8_t>(year >> 8),
                                     static_cast<uint8_t>(t.tm_hour), 0,
                                     static_cast<uint8_t>(t.tm_min), static_cast<uint8_t>(t.tm_sec)};
        send(s, garmin_frame(14, data), 0, now);
    }
}

void zodiac_in(Sim& s) {
    int id;
    std::vector<uint16_t> d;
    while (s.zodiacIn.next(&id, &d)) {
        char text[160];
        if (id == 1200 && d.size() >= 15) {
            int32_t lat = static_cast<int32_t>(d[11] | (static_cast<uint32_t>(d[12]) << 16));
            int32_t lon = static_cast<int32_t>(d[13] | (static_cast<uint32_t>(d[14]) << 16));
            snprintf(text, sizeof text,
                     "zodiac 1200 seq=%u date=%04u-%02u-%02u time=%02u:%02u:%02u lat=%d lon=%d", d[0], d[7],
                     d[6], d[5], d[8], d[9], d[10], lat, lon);
        } else {
            snprintf(text, sizeof text, "zodiac %d words=%zu", id, d.size());
        }
        print_rx(text);
    }
}

}  // namespace

int sim_default_baud(int mode) {
    return (mode == SIM_EARTHMATE || mode == SIM_GARMIN || mode == SIM_PHONE) ? 9600 : 4800;
}

void sim_tick(Sim& s, double now) {
    if (silent(s, now)) return;
    time_t utc = epoch_utc(s);
    SimFix fix = route_fix(s.route, static_cast<double>(s.ticks), !s.opt.once);
    switch (s.opt.mode) {
        case SIM_NMEA:
            send(s, nmea_epoch(fix, utc), 1, now);
            epoch_done(s);
            break;
        case SIM_REPLAY:
            if (s.out.empty()) {
                if (s.ticks > 0 && s.opt.once)
                    s.finish = 1;
                else
                    sim_queue(s, s.capture, now);
            }
            break;
        case SIM_TRIPMATE:
            if (s.astralAnswers < 2) {
                send(s, "ASTRAL\r\n", 1, now);
            } else {
                send(s, nmea_epoch(fix, utc), 1, now);
                epoch_done(s);
            }
            break;
        case SIM_EARTHMATE:
            if (!s.greeted) {
                send(s, "EARTHA\r\n", 0, now);
            } else {
                send(s, zodiac_epoch(fix, utc), 0, now);
                epoch_done(s);
            }
            break;
        case SIM_GARMIN:
            epoch_done(s);
            break;
        case SIM_PHONE: {
            // A new text message every second; texts with and without "$".
            std::string rmc = nmea_rmc(fix, utc);
            rmc.resize(rmc.size() - 2);
            std::string text = (s.ticks % 2) ? "Position " + rmc.substr(1) : rmc;
            s.inbox.push_back({text, utc, 0});
            if (s.inbox.size() > 10) s.inbox.erase(s.inbox.begin());
            epoch_done(s);
            break;
        }
    }
}

void sim_input(Sim& s, const char* bytes, int count, double now) {
    std::string line;
    switch (s.opt.mode) {
        case SIM_EARTHMATE: {
            std::string seen = s.recent + std::string(bytes, static_cast<size_t>(count));
            for (size_t p = seen.find("EARTHA"); p != std::string::npos; p = seen.find("EARTHA", p + 1)) {
                if (p + 6 <= s.recent.size()) continue;   // reported with the previous read
                print_rx("EARTHA");
                s.greeted = 1;
            }
            s.recent = seen.size() > 5 ? seen.substr(seen.size() - 5) : seen;
            s.zodiacIn.bytes.insert(s.zodiacIn.bytes.end(), bytes, bytes + count);
            zodiac_in(s);
            break;
        }
        case SIM_GARMIN:
            for (int i = 0; i < count; i++)
                if (s.garminIn.feed(static_cast<uint8_t>(bytes[i]))) garmin_packet_in(s, s.garminIn.packet, now);
            break;
        default:
            for (int i = 0; i < count; i++) {
                if (!s.lines.feed(bytes[i], &line)) continue;
                print_rx(line);
                if (s.opt.mode == SIM_TRIPMATE && line == "$IIGPQ,ASTRAL*73") s.astralAnswers++;
                if (s.opt.mode == SIM_PHONE && !silent(s, now)) phone_command(s, line, now);
            }
            break;
    }
}
