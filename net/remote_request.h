// Requests and replies of the remote position server, as pure functions on
// buffers: what a request asks for, and the exact reply bytes.
#pragma once
#include <cstdint>

enum RemoteReplyKind { REMOTE_REPLY_NONE = 0, REMOTE_REPLY_PAGE = 1, REMOTE_REPLY_EMPTY = 2 };
enum { REMOTE_VERSION_MAJOR = 1, REMOTE_VERSION_MINOR = 0, REMOTE_REQUEST_SIZE = 16384 };

struct RemoteRequest {
    int reply;          // RemoteReplyKind
    int isPost;         // every POST repaints the window
    int hasPosition;    // "latitude=%lf&longitude=%lf" with both in range
    double latitude;
    double longitude;
};

// 1 when data holds a whole request: its blank line and the body its
// Content-length announces, or bytes that cannot start a GET or POST.
int remote_request_complete(const char* data, int length);

// Reads a received request. A final line end is not part of it; the text
// ends at the first zero byte. Positions that are not finite or lie outside
// -90..90 / -180..180 are not taken.
void remote_parse_request(const char* data, int length, RemoteRequest* out);

// The reply bytes for kind, dated with the local time of now (seconds since
// 1970). Returns the length, or 0 for REMOTE_REPLY_NONE or a short buffer.
int remote_compose_reply(int kind, int64_t now, char* out, int size);
