// JPEG sheets through libjpeg (6b interface). libjpeg reports fatal errors by
// calling error_exit, which must not return: ours jumps back to the landing
// point of the running operation. Warnings keep libjpeg's standard handling,
// so damaged data that libjpeg only warns about still decodes.
#include "maps/jpeg_sheet.h"

#include "maps/gif_decoder.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>

// The build's RGB sample order (RGB_RED and friends) is only visible with
// the internal options.
#define JPEG_INTERNAL_OPTIONS
#include <jpeglib.h>

namespace {

struct JpegErrorTrap {
  jpeg_error_mgr pub;  // first, so that cinfo->err points at the whole record
  std::jmp_buf landing;
};

[[noreturn]] void jump_to_landing(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<JpegErrorTrap*>(cinfo->err)->landing, 1);
}

// A build whose RGB samples are red, green, blue, three to a pixel, lets the
// pixel buffer be handed to libjpeg as it is.
constexpr bool kLibraryOrderIsRgb =
    RGB_RED == 0 && RGB_GREEN == 1 && RGB_BLUE == 2 && RGB_PIXELSIZE == 3;

void convert_row(const JSAMPLE* in, unsigned char* out, JDIMENSION width, int components) {
  switch (components) {
    case 1:
      for (JDIMENSION x = 0; x < width; x++, out += 3) out[0] = out[1] = out[2] = in[x];
      break;
    case 4:
      // CMYK as libjpeg hands it out (Adobe files store it inverted).
      for (JDIMENSION x = 0; x < width; x++, in += 4, out += 3) {
        int k = 256 - in[3];
        for (int c = 0; c < 3; c++) {
          int v = in[c] - k;
          out[c] = static_cast<unsigned char>(v < 0 ? 0 : v > 255 ? 255 : v);
        }
      }
      break;
    default:
      for (JDIMENSION x = 0; x < width; x++, in += components, out += 3) {
        out[0] = in[RGB_RED];
        out[1] = in[RGB_GREEN];
        out[2] = in[RGB_BLUE];
      }
      break;
  }
}

}  // namespace

int jpeg_read_rgb(const char* path, unsigned char** pixels, int* width, int* height) {
  *pixels = nullptr;
  std::FILE* file = std::fopen(path, "rb");
  if (!file) return 0;

  jpeg_decompress_struct cinfo;
  JpegErrorTrap trap;
  cinfo.err = jpeg_std_error(&trap.pub);
  trap.pub.error_exit = jump_to_landing;
  if (setjmp(trap.landing)) {
    // A half-decoded image is a failure too: the sheet is then fetched again
    // rather than shown with a grey or garbled lower part.
    jpeg_destroy_decompress(&cinfo);
    std::fclose(file);
    std::free(*pixels);
    *pixels = nullptr;
    return 0;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_stdio_src(&cinfo, file);
  jpeg_read_header(&cinfo, TRUE);
  // The header alone can declare 65500 x 65500: refuse what no sheet is
  // before anything is allocated for it.
  if (static_cast<unsigned long long>(cinfo.image_width) * cinfo.image_height >
      static_cast<unsigned long long>(SHEET_MAX_PIXELS)) {
    jpeg_destroy_decompress(&cinfo);
    std::fclose(file);
    return 0;
  }
  jpeg_start_decompress(&cinfo);

  const int components = cinfo.output_components;
  const bool rgbOut = cinfo.out_color_space == JCS_RGB && components == RGB_PIXELSIZE;
  if (components != 1 && components != 4 && !rgbOut) {
    // Two-component and other unknown layouts have no RGB meaning.
    jpeg_destroy_decompress(&cinfo);
    std::fclose(file);
    return 0;
  }
  const JDIMENSION w = cinfo.output_width;
  const JDIMENSION h = cinfo.output_height;
  const size_t rowBytes = static_cast<size_t>(w) * 3;
  unsigned char* buffer = static_cast<unsigned char*>(std::malloc(rowBytes * h));
  if (!buffer) {
    jpeg_destroy_decompress(&cinfo);
    std::fclose(file);
    return 0;
  }
  *pixels = buffer;
  *width = static_cast<int>(w);
  *height = static_cast<int>(h);

  if (rgbOut && kLibraryOrderIsRgb) {
    // Decode straight into the caller's buffer, as many rows a call as
    // libjpeg will give.
    JSAMPARRAY rows = static_cast<JSAMPARRAY>((*cinfo.mem->alloc_small)(
        reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE, h * sizeof(JSAMPROW)));
    for (JDIMENSION y = 0; y < h; y++) rows[y] = buffer + y * rowBytes;
    while (cinfo.output_scanline < h) {
      if (jpeg_read_scanlines(&cinfo, rows + cinfo.output_scanline, h - cinfo.output_scanline) == 0)
        break;  // cannot happen with a stdio source; finishing then reports it
    }
  } else {
    // The row buffer comes from libjpeg's image pool, so the landing point
    // releases it with the decompression object.
    JSAMPARRAY row = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo),
                                                JPOOL_IMAGE, w * components, 1);
    while (cinfo.output_scanline < h) {
      JDIMENSION y = cinfo.output_scanline;
      if (jpeg_read_scanlines(&cinfo, row, 1) == 0) break;
      convert_row(row[0], buffer + y * rowBytes, w, components);
    }
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  std::fclose(file);
  return 1;
}

int jpeg_write_rgb(const char* path, const unsigned char* pixels, int width, int height) {
  if (!pixels || width <= 0 || height <= 0) return 0;
  std::FILE* file = std::fopen(path, "wb");
  if (!file) return 0;

  jpeg_compress_struct cinfo;
  JpegErrorTrap trap;
  cinfo.err = jpeg_std_error(&trap.pub);
  trap.pub.error_exit = jump_to_landing;
  if (setjmp(trap.landing)) {
    jpeg_destroy_compress(&cinfo);
    std::fclose(file);
    return 0;
  }
  jpeg_create_compress(&cinfo);
  jpeg_stdio_dest(&cinfo, file);
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 80, TRUE);
  jpeg_start_compress(&cinfo, TRUE);

  const size_t rowBytes = static_cast<size_t>(width) * 3;
  JSAMPARRAY scratch = nullptr;
  if (!kLibraryOrderIsRgb)
    scratch = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                         cinfo.image_width * RGB_PIXELSIZE, 1);
  for (int y = 0; y < height; y++) {
    const unsigned char* src = pixels + y * rowBytes;
    JSAMPROW row;
    if (kLibraryOrderIsRgb) {
      row = const_cast<JSAMPROW>(src);  // libjpeg only reads input rows
    } else {
      row = scratch[0];
      for (int x = 0; x < width; x++, src += 3) {
        row[x * RGB_PIXELSIZE + RGB_RED] = src[0];
        row[x * RGB_PIXELSIZE + RGB_GREEN] = src[1];
        row[x * RGB_PIXELSIZE + RGB_BLUE] = src[2];
      }
    }
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  // The last bytes reach the disk only here; a full disk is a failure.
  return std::fclose(file) == 0 ? 1 : 0;
}
