// JPEG sheets: reading and writing through libjpeg, with libjpeg itself as
// the oracle for decoded pixels, and the fixed layout of written files.
#include "maps/jpeg_sheet.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

Bytes readFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const fs::path& p, const Bytes& b) {
  std::ofstream out(p, std::ios::binary);
  out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

// Any colour space and component count, straight through libjpeg.
void writeWithLibjpeg(const fs::path& p, const Bytes& samples, int w, int h, int components,
                      J_COLOR_SPACE space) {
  std::FILE* f = std::fopen(p.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  jpeg_stdio_dest(&c, f);
  c.image_width = w;
  c.image_height = h;
  c.input_components = components;
  c.in_color_space = space;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 90, TRUE);
  jpeg_start_compress(&c, TRUE);
  for (int y = 0; y < h; y++) {
    JSAMPROW row = const_cast<JSAMPROW>(&samples[static_cast<size_t>(y) * w * components]);
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  std::fclose(f);
}

// libjpeg's own decode with default output, one row a call.
Bytes decodeWithLibjpeg(const fs::path& p, int* components) {
  std::FILE* f = std::fopen(p.c_str(), "rb");
  EXPECT_NE(f, nullptr);
  if (!f) return {};
  jpeg_decompress_struct d;
  jpeg_error_mgr err;
  d.err = jpeg_std_error(&err);
  jpeg_create_decompress(&d);
  jpeg_stdio_src(&d, f);
  jpeg_read_header(&d, TRUE);
  jpeg_start_decompress(&d);
  *components = d.output_components;
  size_t stride = static_cast<size_t>(d.output_width) * d.output_components;
  Bytes out(stride * d.output_height);
  while (d.output_scanline < d.output_height) {
    JSAMPROW row = &out[d.output_scanline * stride];
    jpeg_read_scanlines(&d, &row, 1);
  }
  jpeg_finish_decompress(&d);
  jpeg_destroy_decompress(&d);
  std::fclose(f);
  return out;
}

// A picture with a pure red 16x16 top-left corner and texture elsewhere.
Bytes testPicture(int w, int h) {
  Bytes px(static_cast<size_t>(w) * h * 3);
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) {
      unsigned char* p = &px[(static_cast<size_t>(y) * w + x) * 3];
      if (x < 16 && y < 16) {
        p[0] = 255, p[1] = 0, p[2] = 0;
      } else {
        p[0] = static_cast<unsigned char>(40 + (x * 3) % 160);
        p[1] = static_cast<unsigned char>(60 + (y * 5) % 150);
        p[2] = static_cast<unsigned char>(((x / 8 + y / 8) % 2) ? 200 : 90);
      }
    }
  return px;
}

struct Decoded {
  int result = -1;
  unsigned char* pixels = reinterpret_cast<unsigned char*>(1);  // must be overwritten
  int width = 0, height = 0;
  ~Decoded() {
    if (pixels != reinterpret_cast<unsigned char*>(1)) std::free(pixels);
  }
  Bytes bytes() const { return Bytes(pixels, pixels + static_cast<size_t>(width) * height * 3); }
};

void readRgb(const fs::path& p, Decoded* d) {
  d->result = jpeg_read_rgb(p.c_str(), &d->pixels, &d->width, &d->height);
}

class JpegSheet : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kiv_jpeg_test_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path path(const char* name) const { return dir_ / name; }
  fs::path writeTestSheet(const char* name, int w, int h) {
    Bytes px = testPicture(w, h);
    fs::path p = path(name);
    EXPECT_EQ(jpeg_write_rgb(p.c_str(), px.data(), w, h), 1);
    return p;
  }
  fs::path dir_;
};

TEST_F(JpegSheet, RedCornerSurvivesWriteAndRead) {
  const int w = 70, h = 45;  // not multiples of the MCU size
  Bytes source = testPicture(w, h);
  fs::path p = path("red.jpg");
  ASSERT_EQ(jpeg_write_rgb(p.c_str(), source.data(), w, h), 1);

  Decoded d;
  readRgb(p, &d);
  ASSERT_EQ(d.result, 1);
  ASSERT_NE(d.pixels, nullptr);
  EXPECT_EQ(d.width, w);
  EXPECT_EQ(d.height, h);
  EXPECT_GE(d.pixels[0], 240);
  EXPECT_LE(d.pixels[1], 15);
  EXPECT_LE(d.pixels[2], 15);

  int components = 0;
  Bytes oracle = decodeWithLibjpeg(p, &components);
  ASSERT_EQ(components, 3);
  EXPECT_EQ(d.bytes(), oracle);  // rows, order and channels exactly as libjpeg decodes them

  double error = 0;
  for (size_t i = 0; i < source.size(); i++) error += std::abs(int(source[i]) - int(d.pixels[i]));
  EXPECT_LT(error / source.size(), 8.0);
}

TEST_F(JpegSheet, GreyscaleReadsAsEqualRgb) {
  const int w = 40, h = 30;
  Bytes grey(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) grey[y * w + x] = static_cast<unsigned char>(x * 6 + y * 2);
  fs::path p = path("grey.jpg");
  writeWithLibjpeg(p, grey, w, h, 1, JCS_GRAYSCALE);

  Decoded d;
  readRgb(p, &d);
  ASSERT_EQ(d.result, 1);
  ASSERT_NE(d.pixels, nullptr);
  int components = 0;
  Bytes oracle = decodeWithLibjpeg(p, &components);
  ASSERT_EQ(components, 1);
  for (size_t i = 0; i < oracle.size(); i++) {
    ASSERT_EQ(d.pixels[i * 3], oracle[i]) << i;
    ASSERT_EQ(d.pixels[i * 3 + 1], oracle[i]) << i;
    ASSERT_EQ(d.pixels[i * 3 + 2], oracle[i]) << i;
  }
}

TEST_F(JpegSheet, CmykSubtractsInvertedBlack) {
  // Left half black sample 255 (k = 1), right half 128 (k = 128); flat
  // 8x8 blocks keep JPEG error to a step or two.
  const int w = 16, h = 16;
  Bytes cmyk(static_cast<size_t>(w) * h * 4);
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) {
      unsigned char* s = &cmyk[(y * w + x) * 4];
      s[0] = 200, s[1] = 100, s[2] = 50, s[3] = x < 8 ? 255 : 128;
    }
  fs::path p = path("cmyk.jpg");
  writeWithLibjpeg(p, cmyk, w, h, 4, JCS_CMYK);

  Decoded d;
  readRgb(p, &d);
  ASSERT_EQ(d.result, 1);
  ASSERT_NE(d.pixels, nullptr);
  const unsigned char* left = &d.pixels[(5 * w + 2) * 3];
  const unsigned char* right = &d.pixels[(5 * w + 12) * 3];
  EXPECT_NEAR(left[0], 199, 3);
  EXPECT_NEAR(left[1], 99, 3);
  EXPECT_NEAR(left[2], 49, 3);
  EXPECT_NEAR(right[0], 72, 3);
  EXPECT_EQ(right[1], 0);  // clamped
  EXPECT_EQ(right[2], 0);
}

TEST_F(JpegSheet, UnusableFilesGiveNoBuffer) {
  writeFile(path("text.jpg"), Bytes{'<', 'h', 't', 'm', 'l', '>', 'n', 'o', ' ', 'm', 'a', 'p'});
  writeFile(path("empty.jpg"), Bytes{});
  fs::path good = writeTestSheet("good.jpg", 64, 48);
  Bytes head = readFile(good);
  head.resize(150);  // cut inside the quantisation tables
  writeFile(path("head.jpg"), head);
  // Two components have no RGB meaning.
  Bytes two(16 * 16 * 2, 128);
  writeWithLibjpeg(path("two.jpg"), two, 16, 16, 2, JCS_UNKNOWN);

  for (const char* name : {"text.jpg", "empty.jpg", "head.jpg", "two.jpg", "missing.jpg"}) {
    SCOPED_TRACE(name);
    Decoded d;
    readRgb(path(name), &d);
    EXPECT_EQ(d.result, 0);
    EXPECT_EQ(d.pixels, nullptr);
  }
}

TEST_F(JpegSheet, TruncatedDataStillDecodesItsTopRows) {
  // libjpeg only warns about a premature end and fills the rest.
  const int w = 160, h = 128;
  fs::path full = writeTestSheet("full.jpg", w, h);
  Bytes bytes = readFile(full);
  bytes.resize(bytes.size() * 6 / 10);
  writeFile(path("cut.jpg"), bytes);

  Decoded whole, cut;
  readRgb(full, &whole);
  readRgb(path("cut.jpg"), &cut);
  ASSERT_EQ(cut.result, 1);
  ASSERT_NE(cut.pixels, nullptr);
  ASSERT_EQ(cut.width, w);
  ASSERT_EQ(cut.height, h);
  EXPECT_EQ(std::memcmp(cut.pixels, whole.pixels, 8 * w * 3), 0);
}

TEST_F(JpegSheet, ErrorAfterTheImageStartedGivesNoBuffer) {
  // A second frame header after the scan makes libjpeg fail while finishing.
  Bytes bytes = readFile(writeTestSheet("base.jpg", 64, 48));
  ASSERT_GE(bytes.size(), 200u);
  ASSERT_EQ(bytes[158], 0xFF);
  ASSERT_EQ(bytes[159], 0xC0);
  size_t sofLength = 2 + (bytes[160] << 8 | bytes[161]);
  Bytes sof(bytes.begin() + 158, bytes.begin() + 158 + sofLength);
  bytes.insert(bytes.end() - 2, sof.begin(), sof.end());
  writeFile(path("twice.jpg"), bytes);

  Decoded d;
  readRgb(path("twice.jpg"), &d);
  EXPECT_EQ(d.result, 0);
  EXPECT_EQ(d.pixels, nullptr);
}

TEST_F(JpegSheet, HeaderDeclaringMoreThanASheetIsRefused) {
  // A few hundred bytes may declare any size; one pixel over the limit of
  // the GIF decoder is refused before the buffer is allocated.
  Bytes bytes = readFile(writeTestSheet("small.jpg", 16, 16));
  ASSERT_EQ(bytes[159], 0xC0);
  const int side = 4097;  // 4097 x 4097 > 1 << 24
  bytes[163] = bytes[165] = side >> 8;
  bytes[164] = bytes[166] = side & 0xFF;
  writeFile(path("huge.jpg"), bytes);
  Decoded d;
  readRgb(path("huge.jpg"), &d);
  EXPECT_EQ(d.result, 0);
  EXPECT_EQ(d.pixels, nullptr);
}

TEST_F(JpegSheet, ExtentCommentAfterTheTablesChangesNoPixel) {
  fs::path plain = writeTestSheet("plain.jpg", 96, 72);
  Bytes bytes = readFile(plain);
  const std::string record =
      "200000,1510614.978217,-169810.950378,1500000.000000,-180000.000000,"
      "1521229.956434,-159621.900756,12.345678";
  Bytes comment{0xFF, 0xFE, static_cast<unsigned char>((record.size() + 2) >> 8),
                static_cast<unsigned char>((record.size() + 2) & 0xFF)};
  comment.insert(comment.end(), record.begin(), record.end());
  bytes.insert(bytes.begin() + 158, comment.begin(), comment.end());
  writeFile(path("sheet.jpg"), bytes);

  Decoded a, b;
  readRgb(plain, &a);
  readRgb(path("sheet.jpg"), &b);
  ASSERT_EQ(b.result, 1);
  ASSERT_EQ(b.width, a.width);
  ASSERT_EQ(b.height, a.height);
  EXPECT_EQ(b.bytes(), a.bytes());
}

TEST_F(JpegSheet, WriteFailuresReturnZero) {
  Bytes px = testPicture(32, 32);
  EXPECT_EQ(jpeg_write_rgb(path("no/such/folder/x.jpg").c_str(), px.data(), 32, 32), 0);
  EXPECT_EQ(jpeg_write_rgb(path("zero.jpg").c_str(), px.data(), 0, 32), 0);
  EXPECT_EQ(jpeg_write_rgb(path("null.jpg").c_str(), nullptr, 32, 32), 0);
  EXPECT_FALSE(fs::exists(path("zero.jpg")));
  if (fs::exists("/dev/full")) {
    EXPECT_EQ(jpeg_write_rgb("/dev/full", px.data(), 32, 32), 0);  // disk full
  }
}

// Standard (Annex K) tables in natural order, and the zig-zag order DQT
// segments store them in.
const int kLuminance[64] = {
    16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
    14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
    18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
    49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
const int kChrominance[64] = {
    17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99, 24, 26, 56, 99, 99, 99,
    99, 99, 47, 66, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};
const int kZigZag[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                         12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                         35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                         58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// Quality 80 scales the standard tables by 40 %.
void expectQuality80Table(const Bytes& b, size_t at, const int* base) {
  for (int i = 0; i < 64; i++) {
    int q = (base[kZigZag[i]] * 40 + 50) / 100;
    EXPECT_EQ(b[at + i], q < 1 ? 1 : q) << "table byte " << i << " at " << at;
  }
}

TEST_F(JpegSheet, WrittenFilesHaveTheFixedPrefix) {
  const int w = 480, h = 360;
  Bytes b = readFile(writeTestSheet("prefix.jpg", w, h));
  ASSERT_GT(b.size(), 200u);
  const Bytes soiJfif{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J',  'F',  'I',  'F',
                      0x00, 0x01, 0x01, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00};
  EXPECT_EQ(Bytes(b.begin(), b.begin() + 20), soiJfif);
  EXPECT_EQ(Bytes(b.begin() + 20, b.begin() + 25), (Bytes{0xFF, 0xDB, 0x00, 0x43, 0x00}));
  expectQuality80Table(b, 25, kLuminance);
  EXPECT_EQ(Bytes(b.begin() + 89, b.begin() + 94), (Bytes{0xFF, 0xDB, 0x00, 0x43, 0x01}));
  expectQuality80Table(b, 94, kChrominance);
  // Baseline frame header at 158: 8-bit, size, Y 2x2 with table 0, Cb and Cr 1x1 with table 1.
  const Bytes sof{0xFF, 0xC0, 0x00, 0x11, 0x08, h >> 8, h & 0xFF, w >> 8, w & 0xFF, 0x03,
                  0x01, 0x22, 0x00, 0x02, 0x11, 0x01, 0x03, 0x11, 0x01};
  EXPECT_EQ(Bytes(b.begin() + 158, b.begin() + 158 + sof.size()), sof);
  EXPECT_EQ(b[b.size() - 2], 0xFF);
  EXPECT_EQ(b[b.size() - 1], 0xD9);
}

}  // namespace
