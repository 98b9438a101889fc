// PCL XL renderer: pages of the printer application's writer come back bit
// for bit; hand-built streams check scaling, placement and what is refused;
// Ghostscript's pxlmono output renders the image it was given.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "pclxl_render.h"
#include "pclxl_writer.h"
#include "printer_media.h"
#include "sim_test_util.h"

using kpxsim::RenderedPage;
using namespace std::string_literals;

namespace {

struct Rendered {
  kpxsim::PclxlRenderResult result;
  std::vector<RenderedPage> pages;
};

Rendered render(const std::string &stream) {
  Rendered r;
  kpxsim::PclxlRenderOptions opt;
  opt.media = kpxsim::printerMediaSizes();
  size_t start = stream.find(" HP-PCL XL");
  r.result = kpxsim::renderPclxl(std::string_view(stream).substr(start == std::string::npos ? 0 : start - 1), opt,
                                 [&](RenderedPage &p) {
                                   r.pages.push_back(std::move(p));
                                   return true;
                                 });
  return r;
}

enum class Pattern { Noise, Bands, Drift };

struct WriterCase {
  const char *name;
  int dpi;
  int mediaEnum;  // -1: custom size
  double widthIn, heightIn;
  unsigned width, height, linesWritten;
  Pattern pattern;
  int duplex;
  bool back;
  const char *media;
  uint32_t paperW, paperH;
  RenderedPage::Side side;
};

// Rows of a raster: noise (run-length wins), bands of long runs, or rows
// that each change a few bytes of the one before (delta-row wins).
std::vector<uint8_t> raster(const WriterCase &c) {
  size_t rb = (c.width + 7) / 8;
  std::vector<uint8_t> bits(rb * c.height, 0);
  std::mt19937 rng(c.width * 31 + c.height);
  for (unsigned y = 0; y < c.linesWritten; ++y) {
    uint8_t *row = &bits[y * rb];
    if (c.pattern == Pattern::Noise) {
      for (size_t i = 0; i < rb; ++i) row[i] = static_cast<uint8_t>(rng());
    } else if (c.pattern == Pattern::Bands) {
      for (size_t i = 0; i < rb; ++i) row[i] = ((i / 40 + y / 25) % 3 == 0) ? 0xff : 0x00;
    } else {
      if (y > 0) std::memcpy(row, row - rb, rb);
      for (int k = 0; k < 3; ++k) row[rng() % rb] ^= static_cast<uint8_t>(rng());
    }
    if (c.width % 8) row[rb - 1] &= static_cast<uint8_t>(0xff << (8 - c.width % 8));
  }
  return bits;
}

const WriterCase kWriterCases[] = {
    {"A4 300 noise", 300, 2, 0, 0, 2479, 3508, 3508, Pattern::Noise, 0, false, "A4", 2479, 3508,
     RenderedPage::Side::Simplex},
    {"Letter 600 bands, blank bottom", 600, 0, 0, 0, 5100, 6600, 3001, Pattern::Bands, 0, false, "Letter", 5100,
     6600, RenderedPage::Side::Simplex},
    {"custom 3x5 in 1200 drift, back side", 1200, -1, 3, 5, 3600, 6000, 6000, Pattern::Drift, 1, true, "custom",
     3600, 6000, RenderedPage::Side::Back},
    {"custom 4x6 in 600, odd width, front side", 600, -1, 4, 6, 2395, 3600, 3600, Pattern::Drift, 2, false,
     "custom", 2400, 3600, RenderedPage::Side::Front},
    {"A4 600, small image", 600, 2, 0, 0, 1001, 77, 77, Pattern::Noise, 0, false, "A4", 4958, 7017,
     RenderedPage::Side::Simplex},
};

}  // namespace

TEST(PclxlRender, WriterPagesComeBackBitForBit) {
  bool sawRle = false, sawDelta = false;
  for (const WriterCase &c : kWriterCases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> bits = raster(c);
    std::string out;
    kpxapp::PclxlRasterWriter w(out);
    w.beginSession(c.dpi);
    kpxapp::RasterPage rp;
    rp.dpi = c.dpi, rp.width = c.width, rp.height = c.height, rp.mediaSizeEnum = c.mediaEnum;
    rp.mediaWidthIn = c.widthIn, rp.mediaHeightIn = c.heightIn, rp.duplex = static_cast<kpx::Duplex>(c.duplex), rp.backSide = c.back;
    ASSERT_TRUE(w.beginPage(rp));
    size_t rb = (c.width + 7) / 8;
    for (unsigned y = 0; y < c.linesWritten; ++y) w.writeLine(&bits[y * rb]);
    w.endPage();
    w.endSession();
    sawRle |= out.find("\xc0\x01\xf8\x65") != std::string::npos;
    sawDelta |= out.find("\xc0\x03\xf8\x65") != std::string::npos;

    Rendered r = render(out);
    EXPECT_EQ(r.result.error, "");
    EXPECT_TRUE(r.result.complete);
    ASSERT_EQ(r.pages.size(), 1u);
    const RenderedPage &p = r.pages[0];
    EXPECT_EQ(p.media, c.media);
    EXPECT_EQ(p.width, c.paperW);
    EXPECT_EQ(p.height, c.paperH);
    EXPECT_EQ(p.dpiX, c.dpi);
    EXPECT_EQ(p.side, c.side);
    EXPECT_EQ(p.copies, 1);
    EXPECT_EQ(p.images, 1);
    // The raster at the top left corner, the rest of the paper white.
    std::vector<uint8_t> expected(p.rowBytes() * p.height, 0);
    for (unsigned y = 0; y < std::min(c.height, p.height); ++y)
      for (unsigned x = 0; x < std::min(c.width, p.width); ++x)
        if ((bits[y * rb + x / 8] >> (7 - x % 8)) & 1) expected[y * p.rowBytes() + x / 8] |= uint8_t(0x80 >> (x % 8));
    EXPECT_TRUE(p.bits == expected) << "rendered page differs from the raster sent";
  }
  EXPECT_TRUE(sawRle && sawDelta) << "the cases should use both compressions";
}

namespace {

// A one-image page built by hand; fields replace parts of it.
struct Stream {
  bool bigEndian = false;
  std::string media = "\xc0\x02\xf8\x25";  // MediaSize eA4Paper
  std::string colorSpace = "\xc0\x01\xf8\x03\xc0\x02\xf8\x02\xc8\xc0\x02\xff\x00\xf8\x06\x6a"s;  // grey, {255, 0}
  std::string beginImage;  // default: indexed 1-bit, 16x2 source, 32x4 destination
  std::string readImage;   // default: rows 0-1, uncompressed
  std::string data = std::string("\xf0\x0f\x00\x00\xff\x00\x00\x00", 8);
  bool endImage = true;

  std::string u16(unsigned v) const {
    return bigEndian ? std::string{char(v >> 8), char(v & 0xff)} : std::string{char(v & 0xff), char(v >> 8)};
  }
  std::string u32(uint32_t v) const { return bigEndian ? u16(v >> 16) + u16(v & 0xffff) : u16(v & 0xffff) + u16(v >> 16); }
  std::string build() const {
    std::string s = std::string(bigEndian ? "(" : ")") + " HP-PCL XL;2;0\n";
    s += "\xd1" + u16(600) + u16(600) + "\xf8\x89\xc0\x00\xf8\x86\x41"s;  // BeginSession
    s += media + "\x43";                                                 // BeginPage
    s += colorSpace;
    s += "\xd3" + u16(10) + u16(20) + "\xf8\x4c\x6b";  // SetCursor (10, 20)
    s += beginImage.empty() ? "\xc0\x01\xf8\x64\xc0\x00\xf8\x62\xc1"s + u16(16) + "\xf8\x6c\xc1" + u16(2) +
                                  "\xf8\x6b\xd1" + u16(32) + u16(4) + "\xf8\x67\xb0"
                            : beginImage;
    s += readImage.empty() ? "\xc1" + u16(0) + "\xf8\x6d\xc1" + u16(2) + "\xf8\x63\xc0\x00\xf8\x65\xb1"s : readImage;
    s += "\xfa" + u32(static_cast<uint32_t>(data.size())) + data;
    if (endImage) s += "\xb2";
    s += "\x44\x42";  // EndPage EndSession
    return s;
  }
};

}  // namespace

TEST(PclxlRender, HandBuiltStreams) {
  // Scaled twice, at (10, 20): source pixel (x, y) covers 2x2 page pixels.
  for (bool be : {false, true}) {
    Stream st;
    st.bigEndian = be;
    Rendered r = render(st.build());
    ASSERT_EQ(r.result.error, "");
    ASSERT_EQ(r.pages.size(), 1u);
    const RenderedPage &p = r.pages[0];
    EXPECT_EQ(p.blackPixels(), 16u * 4);
    EXPECT_TRUE(p.pixel(10, 20) && p.pixel(11, 21) && p.pixel(10 + 2 * 12, 20) && p.pixel(10, 22));
    EXPECT_FALSE(p.pixel(9, 20) || p.pixel(10, 19) || p.pixel(10 + 2 * 4, 20) || p.pixel(10 + 2 * 8, 22));
  }
  // Direct grey: 0 is black; 8-bit: below 128 is black.
  Stream direct;
  direct.colorSpace = "\xc0\x01\xf8\x03\x6a";
  direct.beginImage = std::string("\xc0\x00\xf8\x64\xc0\x02\xf8\x62\xc1\x04\x00\xf8\x6c\xc1\x01\x00\xf8\x6b", 18) +
                      std::string("\xd1\x04\x00\x01\x00\xf8\x67\xb0", 8);
  direct.readImage = std::string("\xc1\x00\x00\xf8\x6d\xc1\x01\x00\xf8\x63\xc0\x00\xf8\x65\xb1", 15);
  direct.data = std::string("\x00\x7f\x80\xff", 4);
  Rendered d = render(direct.build());
  ASSERT_EQ(d.result.error, "");
  ASSERT_EQ(d.pages.size(), 1u);
  EXPECT_TRUE(d.pages[0].pixel(10, 20) && d.pages[0].pixel(11, 20));
  EXPECT_EQ(d.pages[0].blackPixels(), 2u);
}

TEST(PclxlRender, MalformedStreamsGiveErrors) {
  struct Case {
    const char *name;
    void (*change)(Stream &);
    const char *error;
  };
  const Case cases[] = {
      {"image data cut", [](Stream &s) { s.data.resize(5); s.endImage = false; }, "bytes of image data"},
      {"SourceWidth 0", [](Stream &s) { s.beginImage = std::string("\xc0\x01\xf8\x64\xc0\x00\xf8\x62\xc1\x00\x00\xf8\x6c\xc1\x02\x00\xf8\x6b\xd1\x20\x00\x04\x00\xf8\x67\xb0", 26); },
       "SourceWidth 0 out of range"},
      {"page too large", [](Stream &s) { s.media = std::string("\xd5\x00\x00\x48\x43\x00\x00\x48\x43\xf8\x2f\xc0\x00\xf8\x30", 15); },
       "page of 120000x120000 pixels"},
      {"ReadImage without BeginImage", [](Stream &s) { s.beginImage = " "; }, "ReadImage without BeginImage"},
      {"block beyond the image", [](Stream &s) { s.readImage = std::string("\xc1\x01\x00\xf8\x6d\xc1\x02\x00\xf8\x63\xc0\x00\xf8\x65\xb1", 15); },
       "BlockHeight 2 out of range"},
      {"run-length data short", [](Stream &s) { s.readImage = std::string("\xc1\x00\x00\xf8\x6d\xc1\x02\x00\xf8\x63\xc0\x01\xf8\x65\xb1", 15); s.data = "\x03\xf0\x0f\x00\x00\xfd"s; },
       "run-length data ends in row 1"},
      {"delta row past the row's end", [](Stream &s) { s.readImage = std::string("\xc1\x00\x00\xf8\x6d\xc1\x02\x00\xf8\x63\xc0\x03\xf8\x65\xb1", 15); s.data = std::string("\x03\x00\x22\xff\xff", 5); },
       "goes past the row's end"},
      {"unknown media", [](Stream &s) { s.media = "\xc0\xc8\xf8\x25"; }, "unknown MediaSize 200"},
      {"indexed without palette", [](Stream &s) { s.colorSpace = "\xc0\x01\xf8\x03\x6a"; }, "palette of 0 entries"},
      {"data cut in the token", [](Stream &s) { s.data = std::string(1000, '\0'); }, ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Stream st;
    c.change(st);
    std::string bytes = st.build();
    if (*c.error == '\0') bytes.resize(bytes.size() - 600);  // the stream ends inside the embedded data
    Rendered r = render(bytes);
    EXPECT_NE(r.result.error.find(*c.error ? c.error : "stream cut inside embedded data"), std::string::npos)
        << r.result.error;
    EXPECT_TRUE(r.pages.empty());
  }
}

TEST(PclxlRender, GhostscriptImage) {
  if (simtest::run({"gs", "--version"}).status != 0) GTEST_SKIP() << "no Ghostscript";
  simtest::TempDir dir;
  // 16x8 one-bit image, half of it black, on 64x32 pt at (72, 72) pt.
  const std::string ps =
      "%!PS\ngsave 72 72 translate 64 32 scale\n"
      "16 8 1 [16 0 0 -8 0 8] {<F0F0 0F0F F0F0 0F0F FFFF 0000 AAAA 5555>} image\ngrestore showpage\n";
  Rendered r = render(simtest::ghostscriptPxl(dir, ps, 300));
  ASSERT_EQ(r.result.error, "");
  ASSERT_EQ(r.pages.size(), 1u);
  const RenderedPage &p = r.pages[0];
  EXPECT_EQ(p.media, "A4");
  // 266.7 x 133.3 pixels, half black; the lower left corner 300 pixels in
  // from the left and the bottom.
  EXPECT_NEAR(static_cast<double>(p.blackPixels()), 266.7 * 133.3 / 2, 266.7 * 133.3 * 0.02);
  // Rows of 16.7 pixels from y 3075 down: row 4 (FFFF) white, row 5 (0000) black.
  EXPECT_FALSE(p.pixel(300, 3075 + 75));
  EXPECT_TRUE(p.pixel(300, 3075 + 92) && p.pixel(566, 3075 + 92));
  EXPECT_FALSE(p.pixel(298, 3075 + 92) || p.pixel(569, 3075 + 92));
}
