// One-shot blocking HTTP/1.1 requests whose reply body is stored in a file.
// Both go through the proxy of "kiv_prx.txt" when one is set.
#pragma once

// Returns 1 when the request was sent and, with an output file, the whole
// body was received and written; 0 otherwise. A failed transfer leaves no
// output file. With a null output file the request is sent, the reply is not
// read, and the result is 1. When the output file cannot be created the
// reply is not read either and the result is 1 (callers check the file).
int HttpGetToFile(const char* url, const char* outputFile);
// Sends body as "application/x-www-form-urlencoded".
int HttpPostToFile(const char* url, const char* body, const char* outputFile);

// The request texts, exposed for tests. Each returns the length written into
// out (NET_BUFFER_SIZE bytes), or -1 when the text would not fit.
// With a proxy the request line carries the absolute URI.
int http_compose_get(char* out, const char* host, int port, const char* path, int viaProxy);
int http_compose_post(char* out, const char* host, int port, const char* path, const char* body,
                      int viaProxy);
