#include "net/remote_request.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string_view>

namespace {

const char* const kWeekdays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool has_version(std::string_view text) {
    return text.find("HTTP/1.0") != std::string_view::npos || text.find("HTTP/1.1") != std::string_view::npos;
}

bool starts_with(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

// Where the body starts: after the first "\r\n\r\n" or "\n\n"; npos without one.
size_t body_start(std::string_view text) {
    for (size_t i = 0; i < text.size(); i++) {
        if (text.compare(i, 4, "\r\n\r\n") == 0) return i + 4;
        if (text.compare(i, 2, "\n\n") == 0) return i + 2;
    }
    return std::string_view::npos;
}

// One "%lf" as scanf reads it: blanks, an optional sign, a decimal number.
bool read_number(std::string_view& text, double& value) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n' ||
                               text[i] == '\v' || text[i] == '\f'))
        i++;
    if (i < text.size() && text[i] == '+') {
        i++;
        if (i < text.size() && text[i] == '-') return false;
    }
    const char* first = text.data() + i;
    const char* last = text.data() + text.size();
    auto r = std::from_chars(first, last, value, std::chars_format::general);
    if (r.ec != std::errc() && r.ec != std::errc::result_out_of_range) return false;
    if (r.ptr == first) return false;
    if (r.ec == std::errc::result_out_of_range) value = HUGE_VAL;  // refused below
    text.remove_prefix(static_cast<size_t>(r.ptr - text.data()));
    return true;
}

bool read_literal(std::string_view& text, std::string_view literal) {
    if (!starts_with(text, literal)) return false;
    text.remove_prefix(literal.size());
    return true;
}

bool parse_position(std::string_view body, double& latitude, double& longitude) {
    if (!read_literal(body, "latitude=") || !read_number(body, latitude)) return false;
    if (!read_literal(body, "&longitude=") || !read_number(body, longitude)) return false;
    return std::isfinite(latitude) && std::isfinite(longitude) && latitude >= -90 && latitude <= 90 &&
           longitude >= -180 && longitude <= 180;
}

// Content-length announced in the headers, or -1.
long announced_length(std::string_view head) {
    static const char kName[] = "content-length:";
    for (size_t i = 0; i + sizeof kName - 1 <= head.size(); i++) {
        if (i > 0 && head[i - 1] != '\n') continue;
        size_t k = 0;
        while (k < sizeof kName - 1) {
            char c = head[i + k];
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            if (c != kName[k]) break;
            k++;
        }
        if (k < sizeof kName - 1) continue;
        size_t j = i + k;
        while (j < head.size() && (head[j] == ' ' || head[j] == '\t')) j++;
        long n = 0;
        bool any = false;
        while (j < head.size() && head[j] >= '0' && head[j] <= '9' && n < REMOTE_REQUEST_SIZE) {
            n = n * 10 + (head[j] - '0');
            any = true;
            j++;
        }
        return any ? n : -1;
    }
    return -1;
}

}  // namespace

int remote_request_complete(const char* data, int length) {
    std::string_view text(data, static_cast<size_t>(length));
    std::string_view get("GET"), post("POST");
    size_t n = text.size();
    if (text.compare(0, n < 3 ? n : 3, get.substr(0, n < 3 ? n : 3)) != 0 &&
        text.compare(0, n < 4 ? n : 4, post.substr(0, n < 4 ? n : 4)) != 0)
        return 1;  // not a request this server answers: no point waiting
    size_t start = body_start(text);
    if (start == std::string_view::npos) return 0;
    long announced = announced_length(text.substr(0, start));
    return announced < 0 || text.size() - start >= static_cast<size_t>(announced);
}

void remote_parse_request(const char* data, int length, RemoteRequest* out) {
    out->reply = REMOTE_REPLY_NONE;
    out->isPost = 0;
    out->hasPosition = 0;
    out->latitude = 0;
    out->longitude = 0;
    if (!data || length <= 0) return;
    std::string_view text(data, strnlen(data, static_cast<size_t>(length)));
    // The final line end is the request's, not the body's.
    if (starts_with(text.substr(text.size() >= 2 ? text.size() - 2 : 0), "\r\n"))
        text.remove_suffix(2);
    else if (!text.empty() && text.back() == '\n')
        text.remove_suffix(1);

    if (starts_with(text, "GET")) {
        if (has_version(text)) out->reply = REMOTE_REPLY_PAGE;
    } else if (starts_with(text, "POST")) {
        out->isPost = 1;
        size_t start = body_start(text);
        double latitude = 0, longitude = 0;
        if (start != std::string_view::npos && parse_position(text.substr(start), latitude, longitude)) {
            out->hasPosition = 1;
            out->latitude = latitude;
            out->longitude = longitude;
        }
        if (has_version(text)) out->reply = REMOTE_REPLY_EMPTY;
    }
}

int remote_compose_reply(int kind, int64_t now, char* out, int size) {
    if (kind != REMOTE_REPLY_PAGE && kind != REMOTE_REPLY_EMPTY) return 0;
    char page[256];
    int pageLength = std::snprintf(page, sizeof page,
                                   "<html>\r\n<head><title>KIV</title></head>\r\n"
                                   "<body><h1>KIV - version %d.%d</h1></body>\r\n</html>\r\n",
                                   REMOTE_VERSION_MAJOR, REMOTE_VERSION_MINOR);
    time_t t = static_cast<time_t>(now);
    struct tm local;
    if (!localtime_r(&t, &local)) std::memset(&local, 0, sizeof local);
    char date[64];
    std::snprintf(date, sizeof date, "%s %s %02d %02d:%02d:%02d %d", kWeekdays[(local.tm_wday % 7 + 7) % 7],
                  kMonths[(local.tm_mon % 12 + 12) % 12], local.tm_mday, local.tm_hour, local.tm_min,
                  local.tm_sec, local.tm_year + 1900);
    int n = std::snprintf(out, static_cast<size_t>(size),
                          "HTTP/1.0 200 OK\r\nServer: Kiv %d.%d\r\nDate: %s\r\nContent-length: %d\r\n\r\n%s",
                          REMOTE_VERSION_MAJOR, REMOTE_VERSION_MINOR, date,
                          kind == REMOTE_REPLY_PAGE ? pageLength : 0, kind == REMOTE_REPLY_PAGE ? page : "");
    return (n > 0 && n < size) ? n : 0;
}
