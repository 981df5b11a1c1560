// One-shot HTTP(S) requests whose reply body is stored in a file, over
// libcurl: certificate checking, a few redirects, IPv6, the proxy of
// "kiv_prx.txt" or else the http_proxy/https_proxy/no_proxy variables, an
// overall deadline, a silence time-out and a size cap on every transfer.
// Safe to call from several threads at once.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>

// Defaults of HttpGetToFile and HttpPostToFile.
enum { HTTP_DEADLINE_MS = 60000, HTTP_REDIRECTS = 5 };
constexpr int64_t HTTP_MAX_BYTES = 8 << 20;

enum HttpStop { HTTP_DONE = 0, HTTP_FAILED = 1, HTTP_TIMED_OUT = 2, HTTP_TOO_BIG = 3, HTTP_CANCELLED = 4 };

// Limits of one transfer and what became of it.
struct HttpTransfer {
    int deadlineMs = HTTP_DEADLINE_MS;      // the whole transfer, connect included
    int64_t maxBytes = HTTP_MAX_BYTES;      // body bytes; more ends the transfer
    const std::atomic<int>* cancel = nullptr;  // set non-zero (any thread) to end it within 0.1 s
    // A transfer that moves fewer than minBytesPerSecond body bytes a second,
    // reckoned over each stallWindowMs, ends as timed out (0: no such limit).
    int64_t minBytesPerSecond = 0;
    int stallWindowMs = 0;
    // Results.
    int stop = HTTP_FAILED;                 // HttpStop
    long status = 0;                        // HTTP status of the last reply, 0 when none
    int64_t bytes = 0;                      // body bytes stored
    char contentType[128] = "";
    // HTTP caching: sent as If-None-Match / If-Modified-Since when set; the
    // reply's validators come back in the same fields (kept on a 304, whose
    // empty body is what the output file then holds).
    std::string etag, lastModified;
    long maxAgeSeconds = -1;                // Cache-Control max-age, else Expires - Date; -1 when not said
    char error[256] = "";                   // why it failed, for a message
};

// GET (body null) or POST of body as "application/x-www-form-urlencoded".
// Returns 1 when the request was sent and, with an output file, the whole
// body was received and written; 0 otherwise, and a failed transfer leaves
// no output file. With a null output file the request is sent, the reply is
// not read, and the result is 1. An output file that cannot be created is a
// failure before anything is sent (the reason in error).
// An error status is still a transfer: the file holds the error page.
int HttpTransferToFile(const char* url, const char* body, const char* outputFile, HttpTransfer* transfer);

// libcurl's (and so the TLS library's) one-time set-up. It is not safe
// beside other threads, so it runs on the thread that also runs exit, before
// any request thread starts: the program calls it first thing at start-up;
// the request worker and the start-up probe, which tests and tools may start
// on their own, call it too; a transfer calls it as a last resort.
void http_client_start();

int HttpGetToFile(const char* url, const char* outputFile);
int HttpPostToFile(const char* url, const char* body, const char* outputFile);

// The contact (a URL or an address, UserAgent= of kiv_ini.txt) named in
// the User-Agent every request sends: "Kiv/VERSION (+contact)", or
// "Kiv/VERSION" without one. Tile services require it.
void http_set_contact(const char* contact);
// The header value as it goes out.
std::string http_user_agent();

// A CA bundle for certificate checks instead of the system's (empty: the
// system's). The CURL_CA_BUNDLE environment variable sets it too.
void http_set_ca_file(const char* path);
