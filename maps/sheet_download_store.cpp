#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "maps/jpeg_sheet.h"
#include "maps/png_sheet.h"
#include "maps/sheet_download_parts.h"
#include "maps/sheet_extent.h"
#include "maps/sheet_store.h"
#include "settings/atomic_file.h"

namespace {

std::atomic<unsigned> temp_serial{0};

}  // namespace

void sheet_download_temp_files_make(SheetTempFiles* files) {
    long pid = static_cast<long>(getpid());
    unsigned n = temp_serial.fetch_add(1);
    const char* dir = getenv("TMPDIR");
    if (!dir || !dir[0] || strlen(dir) > SHEET_TEMP_NAME_MAX - 64) dir = "/tmp";
    snprintf(files->reply, sizeof files->reply, "%s/tmp_map.%ld.%u.htm", dir, pid, n);
    snprintf(files->image, sizeof files->image, "%s/tmp_map.%ld.%u.gif", dir, pid, n);
    snprintf(files->jpeg, sizeof files->jpeg, "%s/tmp_map.%ld.%u.jpg", dir, pid, n);
}

std::string sheet_download_part_name(const std::string& path) {
    return path + ".part." + std::to_string(static_cast<long>(getpid())) + "." + std::to_string(temp_serial.fetch_add(1));
}

void sheet_download_temp_files_remove(const SheetTempFiles* files) {
    unlink(files->reply);
    unlink(files->image);
    unlink(files->jpeg);
}

int sheet_download_read_file(const char* path, size_t maxSize, unsigned char** data, size_t* size) {
    *data = nullptr;
    *size = 0;
    FILE* f = fopen(path, "rb");
    if (!f) return 0;
    struct stat st;
    if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0 ||
        static_cast<unsigned long long>(st.st_size) > maxSize) {
        fclose(f);
        return 0;
    }
    size_t want = static_cast<size_t>(st.st_size);
    unsigned char* buf = static_cast<unsigned char*>(malloc(want ? want : 1));
    size_t got = buf ? fread(buf, 1, want, f) : 0;
    fclose(f);
    if (!buf || got != want) {
        free(buf);
        return 0;
    }
    *data = buf;
    *size = want;
    return 1;
}

Result sheet_download_store_with_record(const char* path, int format, const unsigned char* image, size_t size,
                            const char* record) {
    unsigned char* sheet = nullptr;
    size_t sheetSize = 0;
    int inserted = format == SHEET_JPEG  ? sheet_extent_insert_jpeg(image, size, record, &sheet, &sheetSize)
                   : format == SHEET_PNG ? png_sheet_insert_extent(image, size, record, &sheet, &sheetSize)
                                         : sheet_extent_insert_gif(image, size, record, &sheet, &sheetSize);
    Result stored = result_ok();
    if (!inserted) {
        // A writer with another segment layout gives no sheet at all, rather
        // than one whose record sits where no reader looks.
        stored = result_fail("The sheet image has no place for its extent record");
    } else if (!write_file_atomically(path, reinterpret_cast<const char*>(sheet), sheetSize)) {
        stored = result_fail(std::string("The sheet cannot be stored at ") + path + " (" + strerror(errno) + ")");
    }
    free(sheet);
    return stored;
}

Result sheet_download_store_pixels(const char* path, int format, const unsigned char* pixels, int w, int h, const char* record,
                        const SheetTempFiles* temp) {
    unsigned char* bytes = nullptr;
    size_t size = 0;
    int ok = 0;
    if (format == SHEET_JPEG) {
        ok = jpeg_write_rgb(temp->jpeg, pixels, w, h) && sheet_download_read_file(temp->jpeg, SHEET_IMAGE_BYTES_MAX, &bytes, &size);
    } else {
        ok = png_write_rgb_memory(pixels, w, h, &bytes, &size);
    }
    Result stored = ok ? sheet_download_store_with_record(path, format, bytes, size, record)
                       : result_fail(format == SHEET_JPEG ? "Error in saving the JPG image" : "Error in saving the PNG image");
    free(bytes);
    return stored;
}
