// The map services' replies on arbitrary bytes: the local map server's
// reply page (extent and image name), a WMS service's XML error reply,
// and the whole-GIF check a WMS image passes before it is kept. A name
// taken from the page is one that can go into a request line.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz/fuzz_files.h"
#include "maps/sheet_download_parts.h"
#include "maps/wms_request.h"

namespace {

void checkReplyPage(const std::string& path) {
    SheetReply reply;
    int ok = sheet_download_parse_reply(path.c_str(), &reply);
    size_t n = strnlen(reply.imageName, sizeof reply.imageName);
    if (n >= sizeof reply.imageName || (ok && !(reply.haveImage && reply.haveExtent))) abort();
    if (!reply.haveImage) return;
    if (n == 0 || strncmp(reply.imageName, "ntdb", 4) != 0) abort();
    for (size_t i = 0; i < n; ++i)
        if (static_cast<unsigned char>(reply.imageName[i]) <= 0x20 || static_cast<unsigned char>(reply.imageName[i]) >= 0x7F)
            abort();
}

void checkServiceMessage(const uint8_t* data, size_t size) {
    char small[8], message[512];
    for (size_t outSize : {sizeof small, sizeof message}) {
        char* out = outSize == sizeof small ? small : message;
        memset(out, 'x', outSize);
        if (wms_service_message(data, size, out, outSize) && strnlen(out, outSize) >= outSize) abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string page = fuzz_folder("kiv_sheet_reply_fuzz") + "/reply.html";
    fuzz_write_file(page, data, size);
    checkReplyPage(page);
    checkServiceMessage(data, size);
    gif_is_complete(data, size);
    return 0;
}
