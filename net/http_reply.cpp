#include "net/http_reply.h"

#include <cstring>

namespace {

const int64_t kMaxLength = int64_t(1) << 60;

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
bool is_space(char c) { return c == ' ' || c == '\t'; }

bool same_word(const char* a, int length, const char* word) {
    if (static_cast<int>(std::strlen(word)) != length) return false;
    for (int i = 0; i < length; i++)
        if (lower(a[i]) != word[i]) return false;
    return true;
}

bool contains_word(const char* text, int length, const char* word) {
    int n = static_cast<int>(std::strlen(word));
    for (int i = 0; i + n <= length; i++)
        if (same_word(text + i, n, word)) return true;
    return false;
}

// "HTTP/x.y nnn": the status code, or -1.
int parse_status(const char* line, int length) {
    if (length < 12 || std::memcmp(line, "HTTP/", 5) != 0) return -1;
    int i = 5;
    while (i < length && line[i] != ' ') i++;
    while (i < length && line[i] == ' ') i++;
    if (i + 3 > length) return -1;
    int status = 0;
    for (int k = 0; k < 3; k++) {
        char c = line[i + k];
        if (c < '0' || c > '9') return -1;
        status = status * 10 + (c - '0');
    }
    if (i + 3 < length && line[i + 3] != ' ' && line[i + 3] != '\r') return -1;
    return status;
}

// A decimal value with optional blanks around it, or -1.
int64_t parse_length(const char* value, int length) {
    int i = 0;
    while (i < length && is_space(value[i])) i++;
    int64_t n = 0;
    int digits = 0;
    while (i < length && value[i] >= '0' && value[i] <= '9') {
        if (n > kMaxLength / 10) return -1;
        n = n * 10 + (value[i] - '0');
        i++;
        digits++;
    }
    while (i < length && (is_space(value[i]) || value[i] == '\r')) i++;
    return (digits > 0 && i == length) ? n : -1;
}

void parse_headers(HttpReply* r, int end) {
    const char* p = r->head;
    int lineStart = 0;
    bool first = true;
    for (int i = 0; i < end; i++) {
        if (p[i] != '\n') continue;
        int length = i - lineStart;
        const char* line = p + lineStart;
        if (first) {
            r->status = parse_status(line, length);
            first = false;
        } else {
            const char* colon = static_cast<const char*>(std::memchr(line, ':', length));
            if (colon) {
                int nameLength = static_cast<int>(colon - line);
                while (nameLength > 0 && is_space(line[nameLength - 1])) nameLength--;
                const char* value = colon + 1;
                int valueLength = length - static_cast<int>(value - line);
                if (same_word(line, nameLength, "transfer-encoding") &&
                    contains_word(value, valueLength, "chunked"))
                    r->chunked = 1;
                else if (same_word(line, nameLength, "content-length") && r->contentLength < 0)
                    r->contentLength = parse_length(value, valueLength);
            }
        }
        lineStart = i + 1;
    }
}

void start_body(HttpReply* r) {
    if (r->chunked) {
        r->state = HTTP_REPLY_CHUNK_SIZE;
        r->lineLength = 0;
    } else if (r->contentLength >= 0) {
        r->bodyLeft = r->contentLength;
        r->state = r->bodyLeft == 0 ? HTTP_REPLY_DONE : HTTP_REPLY_BODY;
    } else {
        r->bodyLeft = -1;
        r->state = HTTP_REPLY_BODY;
    }
}

// Collects the headers; returns the bytes used.
int feed_headers(HttpReply* r, const char* bytes, int count) {
    int old = r->headLength;
    int room = NET_BUFFER_SIZE - old;
    int take = count < room ? count : room;
    std::memcpy(r->head + old, bytes, static_cast<size_t>(take));
    r->headLength += take;
    int from = old > 3 ? old - 3 : 0;
    for (int i = from; i < r->headLength; i++) {
        int end = 0;
        if (i + 4 <= r->headLength && std::memcmp(r->head + i, "\r\n\r\n", 4) == 0)
            end = i + 4;
        else if (i + 2 <= r->headLength && r->head[i] == '\n' && r->head[i + 1] == '\n')
            end = i + 2;
        if (end) {
            parse_headers(r, end);
            start_body(r);
            return end - old;
        }
    }
    if (r->headLength >= NET_BUFFER_SIZE) r->state = HTTP_REPLY_ERROR;
    return take;
}

int deliver(HttpReply* r, const char* bytes, int count, HttpBodySink sink, void* context) {
    if (count > 0 && sink && !sink(bytes, count, context)) {
        r->sinkFailed = 1;
        r->state = HTTP_REPLY_ERROR;
    }
    return count;
}

// Chunk size line: hex digits, optional blanks, optional ";extension".
void end_size_line(HttpReply* r) {
    int n = r->lineLength;
    if (n > 0 && r->line[n - 1] == '\r') n--;
    int64_t size = 0;
    int i = 0, digits = 0;
    for (; i < n; i++) {
        char c = lower(r->line[i]);
        int v = (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : -1;
        if (v < 0) break;
        if (size > (kMaxLength >> 4)) {
            r->state = HTTP_REPLY_ERROR;
            return;
        }
        size = size * 16 + v;
        digits++;
    }
    while (i < n && is_space(r->line[i])) i++;
    if (digits == 0 || (i < n && r->line[i] != ';')) {
        r->state = HTTP_REPLY_ERROR;
        return;
    }
    r->lineLength = 0;
    r->bodyLeft = size;
    r->state = size == 0 ? HTTP_REPLY_TRAILERS : HTTP_REPLY_CHUNK_DATA;
}

// One byte of a chunk-size, chunk-end or trailer line.
void feed_line_byte(HttpReply* r, char c) {
    if (c != '\n') {
        if (r->lineLength >= HTTP_CHUNK_LINE - 1 || (r->state == HTTP_REPLY_CHUNK_END && c != '\r'))
            r->state = HTTP_REPLY_ERROR;
        else
            r->line[r->lineLength++] = c;
        return;
    }
    int n = r->lineLength;
    if (n > 0 && r->line[n - 1] == '\r') n--;
    if (r->state == HTTP_REPLY_CHUNK_SIZE) {
        end_size_line(r);
    } else if (r->state == HTTP_REPLY_CHUNK_END) {
        r->lineLength = 0;
        r->state = n == 0 ? HTTP_REPLY_CHUNK_SIZE : HTTP_REPLY_ERROR;
    } else {  // trailers end with an empty line
        r->lineLength = 0;
        if (n == 0) r->state = HTTP_REPLY_DONE;
    }
}

}  // namespace

void http_reply_init(HttpReply* r) {
    r->state = HTTP_REPLY_HEADERS;
    r->status = -1;
    r->chunked = 0;
    r->contentLength = -1;
    r->bodyLeft = -1;
    r->sinkFailed = 0;
    r->headLength = 0;
    r->lineLength = 0;
}

int http_reply_feed(HttpReply* r, const char* bytes, int count, HttpBodySink sink, void* context) {
    while (count > 0 && r->state != HTTP_REPLY_DONE && r->state != HTTP_REPLY_ERROR) {
        int used = 0;
        switch (r->state) {
        case HTTP_REPLY_HEADERS:
            used = feed_headers(r, bytes, count);
            break;
        case HTTP_REPLY_BODY:
        case HTTP_REPLY_CHUNK_DATA: {
            int64_t n = count;
            if (r->bodyLeft >= 0 && r->bodyLeft < n) n = r->bodyLeft;
            used = deliver(r, bytes, static_cast<int>(n), sink, context);
            if (r->bodyLeft >= 0) {
                r->bodyLeft -= n;
                if (r->bodyLeft == 0 && r->state != HTTP_REPLY_ERROR) {
                    r->state = r->state == HTTP_REPLY_BODY ? HTTP_REPLY_DONE : HTTP_REPLY_CHUNK_END;
                    r->lineLength = 0;
                }
            }
            break;
        }
        default:
            feed_line_byte(r, bytes[0]);
            used = 1;
            break;
        }
        bytes += used;
        count -= used;
    }
    return r->state != HTTP_REPLY_ERROR;
}

int http_reply_close(HttpReply* r) {
    if (r->state == HTTP_REPLY_BODY && r->bodyLeft < 0) r->state = HTTP_REPLY_DONE;
    // A last chunk without the final empty line still ends the body.
    if (r->state == HTTP_REPLY_TRAILERS && r->lineLength == 0) r->state = HTTP_REPLY_DONE;
    return r->state == HTTP_REPLY_DONE;
}

int http_reply_done(const HttpReply* r) { return r->state == HTTP_REPLY_DONE; }
