// The HTTP reply reader fed from arbitrary bytes in arbitrary pieces: the
// first byte chooses the piece size. The same bytes in one piece must give
// the same body and the same verdict.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "net/http_reply.h"

namespace {

int collect(const char* bytes, int count, void* context) {
    static_cast<std::string*>(context)->append(bytes, static_cast<size_t>(count));
    return 1;
}

struct Outcome {
    int fed;
    int closed;
    std::string body;
};

Outcome read_reply(const uint8_t* data, size_t size, size_t piece) {
    std::unique_ptr<HttpReply> reply(new HttpReply);
    http_reply_init(reply.get());
    Outcome o = {1, 0, ""};
    for (size_t at = 0; at < size && o.fed; at += piece) {
        size_t n = size - at < piece ? size - at : piece;
        o.fed = http_reply_feed(reply.get(), reinterpret_cast<const char*>(data + at), static_cast<int>(n), collect,
                                &o.body);
    }
    o.closed = o.fed && http_reply_close(reply.get());
    return o;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    size_t piece = 1 + data[0] % 17;
    Outcome split = read_reply(data + 1, size - 1, piece);
    Outcome whole = read_reply(data + 1, size - 1, size);
    if (split.body.size() > size) std::abort();
    if (split.fed != whole.fed || split.closed != whole.closed || split.body != whole.body) std::abort();
    return 0;
}
