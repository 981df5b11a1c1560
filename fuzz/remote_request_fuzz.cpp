// The remote position server's request reading from arbitrary bytes: a
// position is only ever taken within range, and replies always fit.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "net/remote_request.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > REMOTE_REQUEST_SIZE) size = REMOTE_REQUEST_SIZE;
    const char* text = reinterpret_cast<const char*>(data);
    int length = static_cast<int>(size);
    remote_request_complete(text, length);
    RemoteRequest request;
    remote_parse_request(text, length, &request);
    if (request.hasPosition) {
        if (!std::isfinite(request.latitude) || !std::isfinite(request.longitude)) std::abort();
        if (std::fabs(request.latitude) > 90 || std::fabs(request.longitude) > 180) std::abort();
        if (!request.isPost) std::abort();
    }
    char reply[512];
    int n = remote_compose_reply(request.reply, 1796656221, reply, sizeof reply);
    if ((request.reply == REMOTE_REPLY_NONE) != (n == 0)) std::abort();
    return 0;
}
