// Reading an HTTP reply from bytes as they arrive: the status line and
// headers are collected, then the body is handed to a sink, de-chunked when
// the reply says "Transfer-Encoding: chunked" and cut at its Content-Length.
// Pure: no sockets, no files.
#pragma once
#include <cstdint>

#include "net/sockets.h"

// Receives body bytes; returns 1 when stored, 0 to stop (write failure).
typedef int (*HttpBodySink)(const char* bytes, int count, void* context);

enum HttpReplyState {
    HTTP_REPLY_HEADERS, HTTP_REPLY_BODY, HTTP_REPLY_CHUNK_SIZE, HTTP_REPLY_CHUNK_DATA,
    HTTP_REPLY_CHUNK_END, HTTP_REPLY_TRAILERS, HTTP_REPLY_DONE, HTTP_REPLY_ERROR,
};
enum { HTTP_CHUNK_LINE = 1024 };

struct HttpReply {
    int state;
    int status;                  // status code, -1 when the line is not "HTTP/x.y nnn"
    int chunked;
    int64_t contentLength;       // -1 when not announced (the body then ends at close)
    int64_t bodyLeft;            // bytes left of the current chunk or of the body
    int sinkFailed;              // the sink refused bytes
    char head[NET_BUFFER_SIZE];  // headers until their blank line
    int headLength;
    char line[HTTP_CHUNK_LINE];  // chunk-size or trailer line being collected
    int lineLength;
};

void http_reply_init(HttpReply* reply);
// Feeds received bytes. Returns 0 once the reply is malformed (headers over
// the buffer, bad chunk syntax) or the sink failed, else 1. Bytes after the
// end of the body are ignored.
int http_reply_feed(HttpReply* reply, const char* bytes, int count, HttpBodySink sink, void* context);
// Called when the peer closed: 1 when the reply is complete (headers seen,
// all announced bytes and the last chunk received), else 0.
int http_reply_close(HttpReply* reply);
// 1 once nothing more is expected (no need to wait for the close).
int http_reply_done(const HttpReply* reply);
