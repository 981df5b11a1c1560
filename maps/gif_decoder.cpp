// GIF decoder: the first image of a GIF87a/GIF89a stream into packed RGB,
// or into a byte a pixel of its colour table (what the view's cache keeps).
//
// Every LZW table entry is a string that has already been written out, so an
// entry is just (first pixel, length) and expanding a code is one short copy
// of earlier RGB output: no prefix chains to walk, hence no expansion stack to
// overflow and no cycle to loop on, and no separate index-to-colour pass.
// Interlaced images are decoded in stream order and their rows moved after.
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

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kTableSize = 4096;  // 12-bit codes
constexpr long kMaxPixels = SHEET_MAX_PIXELS;

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
    // pixels of the output starting at pixel entryStart[k].
    int initialSize;
    int clearCode;
    uint32_t entryStart[kTableSize];
    uint16_t entryLength[kTableSize];
};

// Packed RGB plus a spare byte so one pixel is a single 4-byte store. Entry
// 256 is the black that every index from 256 up (code sizes above 8) gets.
// Decoding to indices, the spare byte is the index a code writes: its own,
// or a black one for those past the table (index path only).
struct Palette {
    unsigned char rgbx[257][4];
    unsigned char black;               // an index whose colour is black
};

// Where an image goes: the bytes a pixel (3 for RGB, 1 for indices), the
// buffer, and with indices the colour table as 0xFFRRGGBB.
struct ImageOut {
    int bytes;
    unsigned char** pixels;
    uint32_t* colours;
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
// the compiler holds it in registers through the LZW loop. Bits above `count`
// are either zero or already the next bytes of the block at their places.
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
    while (r.count < size) {
        if (r.pos + 8 <= r.end) {
            uint64_t word;
            std::memcpy(&word, d.block + r.pos, 8);
            r.bits |= word << r.count;
            int take = (63 - r.count) >> 3;
            r.pos += take;
            r.count += take * 8;
        } else if (r.pos < r.end) {
            r.bits |= uint64_t(d.block[r.pos++]) << r.count;
            r.count += 8;
        } else {
            int length = gif_next_block(d);
            if (length == 0) return -1;
            r.pos = 0;
            r.end = length;
        }
    }
    int code = int(r.bits & ((1u << size) - 1));
    r.bits >>= size;
    r.count -= size;
    return code;
}

// Copies `n` bytes of earlier output (src + n <= dst) in 16-byte chunks that
// may write up to 15 bytes past dst + n; the caller guarantees the room.
inline void copy_run(unsigned char* dst, const unsigned char* src, size_t n) {
    unsigned char tmp[16];
    size_t done = 0;
    do {
        std::memcpy(tmp, src + done, 16);
        std::memcpy(dst + done, tmp, 16);
        done += 16;
    } while (done < n);
}

// Pixels of room the fast copies need beyond a run (15 bytes of spill).
template <int kBytes>
constexpr long kSpillPixels = (15 + kBytes - 1) / kBytes;

// After a string is written: the entry the previous string and its first
// pixel make (none after a clear, or in a full table), and one bit more
// a code once the table has outgrown its codes.
inline void lzw_define(uint32_t* entryStart, uint16_t* entryLength, long prevStart, long prevLength, int* nextSlot,
                       int* codeSize, int* sizeLimit) {
    if (prevLength > 0 && *nextSlot < kTableSize) {
        entryStart[*nextSlot] = uint32_t(prevStart);
        entryLength[*nextSlot] = uint16_t(prevLength + 1);
        ++*nextSlot;
    }
    if (*nextSlot >= *sizeLimit && *codeSize < 12) {
        ++*codeSize;
        *sizeLimit <<= 1;
    }
}

// Decodes the code stream into RGB pixels in stream order until `total`
// pixels are written, the end code, the end of the data or a code the table
// cannot explain. Returns how many pixels were written.
//
// A run's pixels are copied from where its string was written before: the
// same indexes give the same colours.
template <int kBytes>
long lzw_read_pixels(GifDecoder& d, unsigned char* out, long total, const Palette& pal) {
    const int clear = d.clearCode;
    const int end = clear + 1;
    int codeSize = d.initialSize + 1;
    int sizeLimit = 2 * clear;
    int nextSlot = clear + 2;
    long prevStart = 0;
    long prevLength = 0;  // 0: no previous code since the start or a clear
    long pos = 0;
    BitReader r = {0, 0, 0, 0};
    uint32_t* entryStart = d.entryStart;
    uint16_t* entryLength = d.entryLength;

    while (pos < total) {
        int code = gif_get_code(d, r, codeSize);
        if (code < 0) break;
        if (code == clear) {
            codeSize = d.initialSize + 1;
            sizeLimit = 2 * clear;
            nextSlot = clear + 2;
            prevLength = 0;
            continue;
        }
        if (code == end) break;
        const long room = total - pos;
        unsigned char* dst = out + kBytes * pos;
        long length;
        if (code < clear) {
            length = 1;
            const unsigned char* colour = pal.rgbx[code < 256 ? code : 256];
            if constexpr (kBytes == 1) *dst = colour[3];
            else std::memcpy(dst, colour, room > 1 ? 4 : 3);
        } else if (code < nextSlot) {
            length = entryLength[code];
            const unsigned char* src = out + kBytes * size_t(entryStart[code]);
            if (room >= length + kSpillPixels<kBytes>) {
                copy_run(dst, src, kBytes * size_t(length));
            } else {
                if (length > room) length = room;
                std::memcpy(dst, src, kBytes * size_t(length));
            }
        } else if (code == nextSlot && prevLength > 0 && nextSlot < kTableSize) {
            // The string about to be defined: previous string plus its own first pixel.
            length = prevLength + 1;
            const unsigned char* src = out + kBytes * prevStart;
            if (room >= length + kSpillPixels<kBytes>) {
                copy_run(dst, src, kBytes * size_t(prevLength));
                std::memcpy(dst + kBytes * prevLength, src, kBytes);
            } else {
                if (length > room) length = room;
                std::memcpy(dst, src, kBytes * size_t(std::min(length, prevLength)));
                if (length > prevLength) std::memcpy(dst + kBytes * prevLength, src, kBytes);
            }
        } else {
            break;  // no such entry yet, or no room for it: the image ends here
        }
        lzw_define(entryStart, entryLength, prevStart, prevLength, &nextSlot, &codeSize, &sizeLimit);
        prevStart = pos;
        prevLength = length;
        pos += length;
    }
    return pos;
}

// The same into a byte a pixel, for code sizes of at most 8 bits (every
// GIF of at most 256 colours), with every code read from the table: a
// literal's entry is its index byte, kept in the buffer past the image
// (literals at `total` + kLiteralGap), and the end, clear and codes not
// defined yet have length 0, so the common step (a defined string, with
// room for the fast copy) takes one branch, not one a kind of code.
constexpr long kLiteralGap = 16;                        // past a run's spill
constexpr long kLiteralBytes = 256 + 16;                // and room for a literal's 16-byte read
constexpr long kLiteralRoom = kLiteralGap + kLiteralBytes;

long lzw_read_indices(GifDecoder& d, unsigned char* out, long total, const Palette& pal) {
    const int clear = d.clearCode;
    const int end = clear + 1;
    int codeSize = d.initialSize + 1;
    int sizeLimit = 2 * clear;
    int nextSlot = clear + 2;
    long prevStart = 0;
    long prevLength = 0;  // 0: no previous code since the start or a clear
    long pos = 0;
    BitReader r = {0, 0, 0, 0};
    uint32_t* entryStart = d.entryStart;
    uint16_t* entryLength = d.entryLength;
    unsigned char* literals = out + total + kLiteralGap;
    std::memset(literals, 0, kLiteralBytes);
    std::memset(entryLength, 0, sizeof d.entryLength);
    for (int k = 0; k < clear; ++k) {
        literals[k] = pal.rgbx[k][3];
        entryStart[k] = uint32_t(total + kLiteralGap + k);
        entryLength[k] = 1;
    }

    while (pos < total) {
        int code = gif_get_code(d, r, codeSize);
        if (code < 0) break;
        const long room = total - pos;
        unsigned char* dst = out + pos;
        long length = entryLength[code];
        if (length != 0 && room >= length + kSpillPixels<1>) {
            copy_run(dst, out + entryStart[code], size_t(length));
        } else if (code == clear) {
            codeSize = d.initialSize + 1;
            sizeLimit = 2 * clear;
            // The entries of the last table go: a code naming one is an error.
            std::memset(entryLength + clear + 2, 0, sizeof(uint16_t) * size_t(nextSlot - clear - 2));
            nextSlot = clear + 2;
            prevLength = 0;
            continue;
        } else if (code == end) {
            break;
        } else if (length != 0) {
            // Near the image's end: no room for the spill.
            if (length > room) length = room;
            std::memcpy(dst, out + entryStart[code], size_t(length));
        } else if (code == nextSlot && prevLength > 0 && nextSlot < kTableSize) {
            // The string about to be defined: previous string plus its own first pixel.
            length = prevLength + 1;
            const unsigned char* src = out + prevStart;
            if (room >= length + kSpillPixels<1>) {
                copy_run(dst, src, size_t(prevLength));
            } else {
                if (length > room) length = room;
                std::memcpy(dst, src, size_t(std::min(length, prevLength)));
            }
            if (length > prevLength) dst[prevLength] = src[0];
        } else {
            break;  // no such entry yet, or no room for it: the image ends here
        }
        lzw_define(entryStart, entryLength, prevStart, prevLength, &nextSlot, &codeSize, &sizeLimit);
        prevStart = pos;
        prevLength = length;
        pos += length;
    }
    return pos;
}

// 0 when decoding to indices finds no index for black (a full table without
// it): the caller decodes to RGB instead.
int build_palette(const unsigned char* table, int entries, Palette& pal) {
    std::memset(pal.rgbx, 0, sizeof pal.rgbx);
    int black = entries < 256 ? entries : -1;
    for (int i = 0; i < entries; ++i) {
        pal.rgbx[i][0] = table[i];
        pal.rgbx[i][1] = table[256 + i];
        pal.rgbx[i][2] = table[512 + i];
        if (black < 0 && !table[i] && !table[256 + i] && !table[512 + i]) black = i;
    }
    pal.black = static_cast<unsigned char>(black < 0 ? 0 : black);
    for (int i = 0; i < 257; ++i) pal.rgbx[i][3] = i < entries ? static_cast<unsigned char>(i) : pal.black;
    return black >= 0;
}

// Decodes the image into a fresh width x height x kBytes buffer; pixels the
// code stream did not reach are black. Interlaced rows are decoded into a
// second buffer in stream order and then moved to their display rows.
template <int kBytes>
unsigned char* decode_pixels(GifDecoder& d, int width, int height, int interlaced,
                             const Palette& pal) {
    const size_t total = size_t(width) * height;
    const size_t stride = size_t(width) * kBytes;
    // Indices keep their literals past the image, where they are decoded.
    const size_t literals = kBytes == 1 ? size_t(kLiteralRoom) : 0;
    unsigned char* rgb = static_cast<unsigned char*>(std::malloc(total * kBytes + (interlaced ? 0 : literals)));
    if (!rgb) return nullptr;
    unsigned char* stream = rgb;
    if (interlaced) {
        stream = static_cast<unsigned char*>(std::malloc(total * kBytes + literals));
        if (!stream) {
            std::free(rgb);
            return nullptr;
        }
    }
    size_t decoded;
    if (kBytes == 1 && d.clearCode <= 256) decoded = size_t(lzw_read_indices(d, stream, long(total), pal));
    else decoded = size_t(lzw_read_pixels<kBytes>(d, stream, long(total), pal));
    std::memset(stream + decoded * kBytes, kBytes == 1 ? pal.black : 0, (total - decoded) * kBytes);
    if (interlaced) {
        static const int kStart[4] = {0, 4, 2, 1};
        static const int kStep[4] = {8, 8, 4, 2};
        size_t row = 0;
        for (int pass = 0; pass < 4; ++pass)
            for (int y = kStart[pass]; y < height; y += kStep[pass], ++row)
                std::memcpy(rgb + size_t(y) * stride, stream + row * stride, stride);
        std::free(stream);
    }
    return rgb;
}

// Reads one image's code stream. With `skip` the data is only passed over;
// otherwise *pixels receives the decoded image. Returns 1 when it did.
int gif_read_image(GifDecoder& d, const ImageOut& out, int width, int height,
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
    unsigned char* rgb = nullptr;
    if (out.bytes == 3) {
        build_palette(table, entries, pal);
        rgb = decode_pixels<3>(d, width, height, interlaced, pal);
    } else if (build_palette(table, entries, pal)) {
        rgb = decode_pixels<1>(d, width, height, interlaced, pal);
        for (int i = 0; i < 256; ++i)
            out.colours[i] = 0xFF000000u | uint32_t(pal.rgbx[i][0]) << 16 | uint32_t(pal.rgbx[i][1]) << 8 |
                             pal.rgbx[i][2];
    }
    // Pass over what is left of the image's data (normally the end code's block
    // and the terminator); a read failure stops this too.
    if (!d.lastBlockEmpty && !d.endOfData) gif_skip_sub_blocks(d);
    if (!rgb) return 0;
    *out.pixels = rgb;
    return 1;
}

void decode_stream(GifDecoder& d, const ImageOut& out, int* width, int* height) {
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
            if (gif_read_image(d, out, imageWidth, imageHeight, table, entries,
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
    // The tables (about 26 KB) live on the stack: each call has its own state.
    GifDecoder d;
    d.stream = stream;
    flockfile(stream);
    decode_stream(d, ImageOut{3, pixels, nullptr}, width, height);
    funlockfile(stream);
    return 0;
}

int gif_decode_indices(FILE* stream, unsigned char** indices, uint32_t colours[256], int* width, int* height) {
    *indices = nullptr;
    *width = 0;
    *height = 0;
    if (!stream) return 0;
    GifDecoder d;
    d.stream = stream;
    flockfile(stream);
    decode_stream(d, ImageOut{1, indices, colours}, width, height);
    funlockfile(stream);
    if (!*indices) *width = *height = 0;
    return *indices != nullptr;
}
