// GIF decoder: the first image of a GIF87a/GIF89a stream into packed RGB.
//
// The LZW stream is decoded into a buffer of colour indexes first. Every table
// entry is a string that already appears in that buffer, so an entry is just
// (offset, length) and expanding a code is one short copy from earlier output:
// no prefix chains to walk, hence no expansion stack to overflow and no cycle
// to loop on. The indexes are then turned into RGB rows, de-interlaced on the
// way.
//
// Safety rules (the decoder sees sheets downloaded from the network):
// - the buffer has the first image's own size and the outputs report that
//   size, so callers never read past it even when the logical screen differs;
// - images of zero size, above kMaxPixels, or without any colour table give
//   no buffer;
// - colour indexes beyond the entries the file supplied are black;
// - a code the table cannot hold yet (above the next free slot, or a repeat
//   of the previous string when the table is full) ends the image;
// - rows the code stream did not reach are black.
#include "maps/gif_decoder.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kTableSize = 4096;  // 12-bit codes
// 16 Mpx (48 MB of RGB): far above any map sheet, small enough that a header
// declaring 65535 x 65535 over a few bytes of data fails cleanly instead.
constexpr long kMaxPixels = 1L << 24;
// The copy loops move 16 bytes at a time and may spill that far past the end.
constexpr size_t kCopySlack = 16;

struct GifDecoder {
    FILE* stream;
    // Colour tables as three planes: reds at i, greens at 256 + i, blues at 512 + i.
    unsigned char globalTable[768];
    int globalEntries;
    unsigned char localTable[768];

    // The image's data sub-blocks.
    unsigned char block[256];
    int endOfData;       // a zero-length sub-block or a read failure was met
    int lastBlockEmpty;  // the last sub-block read had length 0

    // LZW: entry k (clear + 2 <= k < nextSlot) is the string of entryLength[k]
    // indexes starting at entryStart[k] in the index buffer.
    int initialSize;
    int clearCode;
    uint32_t entryStart[kTableSize];
    uint16_t entryLength[kTableSize];
};

// Packed RGB plus a spare byte so one pixel is a single 4-byte store.
struct Palette {
    unsigned char rgbx[kTableSize][4];
};

int read_byte(GifDecoder& d) { return getc_unlocked(d.stream); }

int read_bytes(GifDecoder& d, unsigned char* dest, int count) {
    return count == 0 || fread(dest, 1, count, d.stream) == size_t(count);
}

// Reads `entries` colour entries into the planes of `table`; 0 on a short read.
int gif_read_colour_table(GifDecoder& d, int entries, unsigned char* table) {
    unsigned char rgb[768];
    if (!read_bytes(d, rgb, 3 * entries)) return 0;
    for (int i = 0; i < entries; ++i) {
        table[i] = rgb[3 * i];
        table[256 + i] = rgb[3 * i + 1];
        table[512 + i] = rgb[3 * i + 2];
    }
    return 1;
}

// One data sub-block: length byte then that many bytes. Returns the length
// (0..255) or -1 when the stream ends first.
int gif_read_sub_block(GifDecoder& d, unsigned char* dest) {
    int length = read_byte(d);
    if (length == EOF) return -1;
    d.lastBlockEmpty = length == 0;
    if (!read_bytes(d, dest, length)) return -1;
    return length;
}

// Discards sub-blocks up to and including the zero-length terminator.
void gif_skip_sub_blocks(GifDecoder& d) {
    while (gif_read_sub_block(d, d.block) > 0) {
    }
}

// Every extension (comment, graphic control, application, plain text, unknown)
// is skipped alike: transparency and timing have no effect on the picture.
void gif_skip_extension(GifDecoder& d, int /*label*/) { gif_skip_sub_blocks(d); }

// LSB-first bit reader over the image's sub-blocks. Kept as a local record so
// the compiler holds it in registers through the LZW loop.
struct BitReader {
    uint64_t bits;
    int count;
    int pos;
    int end;
};

// Next block of code bytes; 0 once the zero-length terminator or the end of
// the stream has been met, and from then on without reading further.
[[gnu::noinline]] int gif_next_block(GifDecoder& d) {
    if (d.endOfData) return 0;
    int length = gif_read_sub_block(d, d.block);
    if (length <= 0) {
        d.endOfData = 1;
        return 0;
    }
    return length;
}

// The next code of `size` bits, or -1 when the data ends before all its bits.
inline int gif_get_code(GifDecoder& d, BitReader& r, int size) {
    if (r.count < size) {
        do {
            if (r.pos == r.end) {
                int length = gif_next_block(d);
                if (length == 0) return -1;
                r.pos = 0;
                r.end = length;
            }
            while (r.count <= 56 && r.pos < r.end) {
                r.bits |= uint64_t(d.block[r.pos++]) << r.count;
                r.count += 8;
            }
        } while (r.count < size);
    }
    int code = int(r.bits & ((1u << size) - 1));
    r.bits >>= size;
    r.count -= size;
    return code;
}

// Copies `n` indexes from earlier output at `src` to `dst` (src + n <= dst, or
// dst - src >= 16 bytes) in 16-byte chunks that may spill up to kCopySlack
// bytes beyond both ranges.
template <typename Index>
inline void copy_run(Index* dst, const Index* src, int n) {
    constexpr int chunk = 16 / sizeof(Index);
    unsigned char tmp[16];
    int done = 0;
    do {
        std::memcpy(tmp, src + done, 16);
        std::memcpy(dst + done, tmp, 16);
        done += chunk;
    } while (done < n);
}

enum LzwEnd { kLzwFilled, kLzwEndCode, kLzwDataEnd, kLzwBadCode };

// Decodes the code stream into `out` (room for total + kCopySlack bytes) until
// `total` indexes are written, the end code, the end of the data or a code the
// table cannot explain. Returns how many indexes were written; *how says why.
template <typename Index>
long lzw_read_indexes(GifDecoder& d, Index* out, long total, LzwEnd* how) {
    const int clear = d.clearCode;
    const int end = clear + 1;
    int codeSize = d.initialSize + 1;
    int sizeLimit = 2 * clear;
    int nextSlot = clear + 2;
    long prevStart = 0;
    int prevLength = 0;  // 0: no previous code since the start or a clear
    long pos = 0;
    BitReader r = {0, 0, 0, 0};
    uint32_t* entryStart = d.entryStart;
    uint16_t* entryLength = d.entryLength;

    *how = kLzwFilled;
    while (pos < total) {
        int code = gif_get_code(d, r, codeSize);
        if (code < 0) {
            *how = kLzwDataEnd;
            break;
        }
        if (code == clear) {
            codeSize = d.initialSize + 1;
            sizeLimit = 2 * clear;
            nextSlot = clear + 2;
            prevLength = 0;
            continue;
        }
        if (code == end) {
            *how = kLzwEndCode;
            break;
        }
        long room = total - pos;
        int length;
        if (code < clear) {
            out[pos] = Index(code);
            length = 1;
        } else if (code < nextSlot && prevLength > 0) {
            length = entryLength[code];
            if (length > room) length = int(room);
            copy_run(out + pos, out + entryStart[code], length);
        } else if (code == nextSlot && prevLength > 0 && nextSlot < kTableSize) {
            // The string about to be defined: previous string plus its own first index.
            length = prevLength + 1;
            if (length > room) length = int(room);
            copy_run(out + pos, out + prevStart, length < prevLength ? length : prevLength);
            if (length > prevLength) out[pos + prevLength] = out[prevStart];
        } else {
            *how = kLzwBadCode;
            break;
        }
        if (prevLength > 0 && nextSlot < kTableSize) {
            entryStart[nextSlot] = uint32_t(prevStart);
            entryLength[nextSlot] = uint16_t(prevLength + 1);
            ++nextSlot;
        }
        if (nextSlot >= sizeLimit && codeSize < 12) {
            ++codeSize;
            sizeLimit <<= 1;
        }
        prevStart = pos;
        prevLength = length;
        pos += length;
    }
    return pos;
}

// Writes one row of `n` pixels from their indexes.
template <typename Index>
inline void paint_row(unsigned char* dst, const Index* idx, int n, const Palette& pal) {
    int x = 0;
    for (; x + 1 < n; ++x) std::memcpy(dst + 3 * x, pal.rgbx[idx[x]], 4);
    if (x < n) std::memcpy(dst + 3 * x, pal.rgbx[idx[x]], 3);
}

// Turns `decoded` indexes (in stream order) into display rows; pixels the
// stream never reached are black.
template <typename Index>
void paint_image(unsigned char* rgb, const Index* idx, long decoded, int width, int height,
                 int interlaced, const Palette& pal) {
    static const int kStart[4] = {0, 4, 2, 1};
    static const int kStep[4] = {8, 8, 4, 2};
    const size_t stride = size_t(width) * 3;
    long streamRow = 0;
    for (int pass = 0; pass < (interlaced ? 4 : 1); ++pass) {
        int first = interlaced ? kStart[pass] : 0;
        int step = interlaced ? kStep[pass] : 1;
        for (int y = first; y < height; y += step, ++streamRow) {
            unsigned char* dst = rgb + size_t(y) * stride;
            long have = decoded - streamRow * width;
            int n = have >= width ? width : have > 0 ? int(have) : 0;
            paint_row(dst, idx + streamRow * width, n, pal);
            if (n < width) std::memset(dst + size_t(n) * 3, 0, size_t(width - n) * 3);
        }
    }
}

void build_palette(const unsigned char* table, int entries, Palette& pal) {
    std::memset(pal.rgbx, 0, sizeof pal.rgbx);
    for (int i = 0; i < entries; ++i) {
        pal.rgbx[i][0] = table[i];
        pal.rgbx[i][1] = table[256 + i];
        pal.rgbx[i][2] = table[512 + i];
    }
}

template <typename Index>
unsigned char* decode_pixels(GifDecoder& d, int width, int height, int interlaced,
                             const Palette& pal) {
    const long total = long(width) * height;
    unsigned char* rgb = static_cast<unsigned char*>(std::malloc(size_t(total) * 3));
    Index* idx = static_cast<Index*>(std::malloc(size_t(total) * sizeof(Index) + kCopySlack));
    if (!rgb || !idx) {
        std::free(rgb);
        std::free(idx);
        return nullptr;
    }
    LzwEnd how;
    long decoded = lzw_read_indexes(d, idx, total, &how);
    paint_image(rgb, idx, decoded, width, height, interlaced, pal);
    std::free(idx);
    return rgb;
}

// Reads one image's code stream. With `skip` the data is only passed over;
// otherwise *pixels receives the decoded image. Returns 1 when it did.
int gif_read_image(GifDecoder& d, unsigned char** pixels, int width, int height,
                    const unsigned char* table, int entries, int interlaced, int skip) {
    int initialSize = read_byte(d);
    if (initialSize == EOF) return 0;
    d.endOfData = 0;
    d.lastBlockEmpty = 0;
    const long total = long(width) * height;
    if (skip || initialSize > 12 || total == 0 || total > kMaxPixels || entries == 0) {
        gif_skip_sub_blocks(d);
        return 0;
    }
    d.initialSize = initialSize;
    d.clearCode = 1 << initialSize;

    Palette pal;
    build_palette(table, entries, pal);
    // Literal codes above 255 only occur with code sizes above 8.
    unsigned char* rgb = initialSize <= 8
                             ? decode_pixels<uint8_t>(d, width, height, interlaced, pal)
                             : decode_pixels<uint16_t>(d, width, height, interlaced, pal);
    // Pass over what is left of the image's data (normally the end code's block
    // and the terminator); a read failure stops this too.
    if (!d.lastBlockEmpty && !d.endOfData) gif_skip_sub_blocks(d);
    if (!rgb) return 0;
    *pixels = rgb;
    return 1;
}

void decode_stream(GifDecoder& d, unsigned char** pixels, int* width, int* height) {
    unsigned char header[13];
    if (!read_bytes(d, header, 6)) return;
    if (std::memcmp(header, "GIF", 3) != 0) return;
    if (std::memcmp(header + 3, "87a", 3) != 0 && std::memcmp(header + 3, "89a", 3) != 0) return;
    if (!read_bytes(d, header + 6, 7)) return;
    const unsigned char screenFlags = header[10];
    d.globalEntries = 0;
    if (screenFlags & 0x80) {
        int entries = 2 << (screenFlags & 7);
        if (!gif_read_colour_table(d, entries, d.globalTable)) return;
        d.globalEntries = entries;
    }

    int images = 0;
    for (;;) {
        int c = read_byte(d);
        if (c == EOF || c == 0x3B) return;
        if (c == 0x21) {
            int label = read_byte(d);
            if (label == EOF) return;
            gif_skip_extension(d, label);
        } else if (c == 0x2C) {
            unsigned char desc[9];
            if (!read_bytes(d, desc, 9)) return;
            const int imageWidth = desc[4] + 256 * desc[5];
            const int imageHeight = desc[6] + 256 * desc[7];
            const unsigned char flags = desc[8];
            const unsigned char* table = d.globalTable;
            int entries = d.globalEntries;
            if (flags & 0x80) {
                entries = 1 << ((flags & 7) + 1);
                if (!gif_read_colour_table(d, entries, d.localTable)) return;
                table = d.localTable;
            }
            const int first = images++ == 0;
            if (gif_read_image(d, pixels, imageWidth, imageHeight, table, entries,
                               flags & 0x40, !first)) {
                *width = imageWidth;
                *height = imageHeight;
            }
        }
        // Any other byte is passed over.
    }
}

}  // namespace

int gif_decode(FILE* stream, unsigned char** pixels, int* width, int* height) {
    *width = 0;
    *height = 0;
    if (!stream) return 0;
    // The tables (about 30 KB) live on the stack: each call has its own state.
    GifDecoder d;
    d.stream = stream;
    flockfile(stream);
    decode_stream(d, pixels, width, height);
    funlockfile(stream);
    return 0;
}
