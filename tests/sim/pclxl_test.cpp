// PCL XL scanner on hand-built streams: every token shape, both byte
// orders, and the ways a stream can be broken.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>

#include "pclxl.h"

using kpxsim::PclxlScan;
using kpxsim::scanPclxl;

namespace {

// Builds a PCL XL stream and remembers where each token starts.
class Pxl {
 public:
  explicit Pxl(bool bigEndian = false) : be_(bigEndian) {
    s_ = std::string(bigEndian ? "(" : ")") + " HP-PCL XL;2;0;unit test\n";
    boundaries_.insert(s_.size());
  }
  Pxl &op(uint8_t code) { return tok(std::string(1, static_cast<char>(code))); }
  Pxl &ubyte(uint8_t v) { return tok(std::string{'\xc0', static_cast<char>(v)}); }
  Pxl &uint16(uint16_t v) { return tok("\xc1" + num(v, 2)); }
  Pxl &real32(uint32_t bits) { return tok("\xc5" + num(bits, 4)); }
  Pxl &sint16xy(uint16_t x, uint16_t y) { return tok("\xd3" + num(x, 2) + num(y, 2)); }
  Pxl &uint16box(uint16_t a, uint16_t b, uint16_t c, uint16_t d) {
    return tok("\xe1" + num(a, 2) + num(b, 2) + num(c, 2) + num(d, 2));
  }
  Pxl &ubyteArray(const std::string &bytes) {  // count as uint16
    return tok("\xc8\xc1" + num(bytes.size(), 2) + bytes);
  }
  Pxl &uint16Array(int count) {  // count as ubyte
    std::string t = "\xc9\xc0" + std::string(1, static_cast<char>(count));
    for (int i = 0; i < count; ++i) t += num(static_cast<uint32_t>(i * 257), 2);
    return tok(t);
  }
  Pxl &attr(uint8_t id) { return tok(std::string{'\xf8', static_cast<char>(id)}); }
  Pxl &attr16(uint16_t id) { return tok("\xf9" + num(id, 2)); }
  Pxl &embedded(const std::string &data) { return tok("\xfa" + num(data.size(), 4) + data); }
  Pxl &embeddedByte(const std::string &data) {
    return tok("\xfb" + std::string(1, static_cast<char>(data.size())) + data);
  }
  Pxl &space(const std::string &ws) { return tok(ws); }
  Pxl &raw(const std::string &bytes) {
    s_ += bytes;
    return *this;
  }
  // BeginSession ... EndSession around `pages` simple pages.
  Pxl &session(int pages) {
    uint16xy(600, 600).attr(0x89).ubyte(0).attr(0x86).op(0x41);  // BeginSession
    ubyte(0).attr(0x88).op(0x48);                                // OpenDataSource
    for (int p = 0; p < pages; ++p) {
      ubyte(0).attr(0x28).op(0x43);                              // BeginPage
      sint16xy(100, 200).attr(0x4c).op(0x6b);                    // SetCursor
      ubyteArray("Hello").attr(0xab).op(0xa8);                   // Text
      uint16(64).attr(0x6c).uint16(1).attr(0x6d).op(0xb0);        // BeginImage
      embedded(std::string(64, '\x44') + "\x1b%-12345X").op(0xb1);  // ReadImage data
      op(0xb2);                                                  // EndImage
      ubyte(1).attr(0x31).op(0x44);                              // EndPage
    }
    op(0x49);                                                    // CloseDataSource
    return op(0x42);                                             // EndSession
  }
  const std::string &str() const { return s_; }
  const std::set<size_t> &boundaries() const { return boundaries_; }

 private:
  std::string num(uint64_t v, int size) const {
    std::string out(static_cast<size_t>(size), '\0');
    for (int i = 0; i < size; ++i) {
      uint8_t b = static_cast<uint8_t>(v >> (8 * i));
      out[static_cast<size_t>(be_ ? size - 1 - i : i)] = static_cast<char>(b);
    }
    return out;
  }
  Pxl &tok(const std::string &t) {
    s_ += t;
    boundaries_.insert(s_.size());
    return *this;
  }
  Pxl &uint16xy(uint16_t x, uint16_t y) { return tok("\xd1" + num(x, 2) + num(y, 2)); }

  bool be_;
  std::string s_;
  std::set<size_t> boundaries_;
};

}  // namespace

TEST(PclxlScan, WellFormedSessionCountsEndPages) {
  Pxl p;
  p.session(3);
  PclxlScan r = scanPclxl(p.str());
  EXPECT_EQ(r.status, PclxlScan::Status::Ok) << r.error;
  EXPECT_EQ(r.pages, 3);
  EXPECT_EQ(r.pagesBegun, 3);
  EXPECT_EQ(r.sessions, 1);
  EXPECT_EQ(r.sessionsEnded, 1);
  EXPECT_FALSE(r.bigEndian);
  EXPECT_EQ(r.header, ") HP-PCL XL;2;0;unit test");
  EXPECT_EQ(r.length, p.str().size());
  EXPECT_FALSE(r.endedByUel);
  // The image data holds 0x44 (EndPage) bytes and a UEL: skipped by length.
  EXPECT_EQ(r.embeddedBytes, 3u * (64 + 9));
}

TEST(PclxlScan, UelAtTokenBoundaryEndsTheStream) {
  Pxl p;
  p.session(2);
  size_t end = p.str().size();
  std::string s = p.str() + "\x1b%-12345X" + "@PJL EOJ\n";
  PclxlScan r = scanPclxl(s);
  EXPECT_EQ(r.status, PclxlScan::Status::Ok);
  EXPECT_TRUE(r.endedByUel);
  EXPECT_EQ(r.length, end);
  EXPECT_EQ(r.pages, 2);
}

TEST(PclxlScan, ByteOrderFollowsTheBinding) {
  Pxl big(true);
  big.session(1);
  PclxlScan r = scanPclxl(big.str());
  EXPECT_EQ(r.status, PclxlScan::Status::Ok) << r.error;
  EXPECT_TRUE(r.bigEndian);
  EXPECT_EQ(r.pages, 1);

  // The same bytes read as little-endian give a huge embedded length.
  std::string swapped = big.str();
  swapped[0] = ')';
  PclxlScan wrong = scanPclxl(swapped);
  EXPECT_EQ(wrong.status, PclxlScan::Status::Malformed);
  // The first count or length read the wrong way round runs past the end.
  EXPECT_NE(wrong.error.find("cut inside"), std::string::npos) << wrong.error;
}

TEST(PclxlScan, AllValueShapesAndWhitespace) {
  Pxl p;
  p.uint16(600).attr(0x89).ubyte(0).attr(0x86).op(0x41);
  p.space(std::string("\0\t\n\v\f\r ", 7));
  p.ubyte(0).attr(0x28).op(0x43);
  p.real32(0x3f800000).attr16(0x0123).uint16box(1, 2, 3, 4).attr(0x46).op(0xa0);
  p.uint16Array(7).attr(0x44).op(0x70);
  p.embeddedByte("abc").op(0x53);
  p.space(" ").op(0x44).op(0x42);
  PclxlScan r = scanPclxl(p.str());
  EXPECT_EQ(r.status, PclxlScan::Status::Ok) << r.error;
  EXPECT_EQ(r.pages, 1);
  EXPECT_EQ(r.embeddedBytes, 3u);
}

TEST(PclxlScan, UnknownTagsAreMalformedAtTheirOffset) {
  for (uint8_t bad : {uint8_t{0xc7}, uint8_t{0xd6}, uint8_t{0xe6}, uint8_t{0xfc}, uint8_t{0xff},
                      uint8_t{0x45}, uint8_t{0x9a}, uint8_t{0x30}}) {
    Pxl p;
    p.uint16(600).attr(0x89).op(0x41).ubyte(0).attr(0x28).op(0x43);
    size_t at = p.str().size();
    p.raw(std::string(1, static_cast<char>(bad))).op(0x44).op(0x42);
    PclxlScan r = scanPclxl(p.str());
    EXPECT_EQ(r.status, PclxlScan::Status::Malformed) << std::hex << int(bad);
    EXPECT_EQ(r.errorOffset, at) << std::hex << int(bad) << ": " << r.error;
    EXPECT_NE(r.error.find("offset " + std::to_string(at)), std::string::npos) << r.error;
    EXPECT_EQ(r.pages, 0);
  }
}

TEST(PclxlScan, EveryCutIsReportedNeverOk) {
  Pxl p;
  p.session(2);
  const std::string &full = p.str();
  size_t headerEnd = full.find('\n') + 1;
  for (size_t cut = 0; cut < full.size(); ++cut) {
    PclxlScan r = scanPclxl(std::string_view(full).substr(0, cut));
    ASSERT_NE(r.status, PclxlScan::Status::Ok) << "cut at " << cut;
    EXPECT_LE(r.errorOffset, cut);
    EXPECT_LE(r.pages, 2);
    if (cut < headerEnd) continue;
    if (p.boundaries().count(cut)) {
      EXPECT_EQ(r.status, PclxlScan::Status::Incomplete) << "cut at " << cut << ": " << r.error;
    } else {
      EXPECT_EQ(r.status, PclxlScan::Status::Malformed) << "cut at " << cut;
      EXPECT_NE(r.error.find("cut inside"), std::string::npos) << r.error;
    }
  }
  EXPECT_EQ(scanPclxl(full).status, PclxlScan::Status::Ok);
}

TEST(PclxlScan, PagesCountOnlyFinishedPages) {
  Pxl p;
  p.session(3);
  // Cut right after the second EndPage: two pages, stream incomplete.
  const std::string &s = p.str();
  size_t second = 0;
  int seen = 0;
  for (size_t b : p.boundaries()) {
    if (b > 0 && static_cast<uint8_t>(s[b - 1]) == 0x44 && p.boundaries().count(b - 1) && ++seen == 2) {
      second = b;
      break;
    }
  }
  ASSERT_GT(second, 0u);
  PclxlScan r = scanPclxl(std::string_view(s).substr(0, second));
  EXPECT_EQ(r.status, PclxlScan::Status::Incomplete);
  EXPECT_EQ(r.pages, 2);
  EXPECT_EQ(r.pagesBegun, 2);
}

TEST(PclxlScan, OperatorNestingIsChecked) {
  {
    Pxl p;
    p.op(0x41).op(0x44);  // EndPage without BeginPage
    EXPECT_EQ(scanPclxl(p.str()).status, PclxlScan::Status::Malformed);
  }
  {
    Pxl p;
    p.op(0x43);  // BeginPage before BeginSession
    EXPECT_EQ(scanPclxl(p.str()).status, PclxlScan::Status::Malformed);
  }
  {
    Pxl p;
    p.op(0x41).op(0x43).op(0x42);  // EndSession inside a page
    EXPECT_EQ(scanPclxl(p.str()).status, PclxlScan::Status::Malformed);
  }
  {
    Pxl p;
    p.session(1).session(1);  // two sessions in a row are fine
    PclxlScan r = scanPclxl(p.str());
    EXPECT_EQ(r.status, PclxlScan::Status::Ok) << r.error;
    EXPECT_EQ(r.sessions, 2);
    EXPECT_EQ(r.pages, 2);
  }
  {
    Pxl p;  // header only
    PclxlScan r = scanPclxl(p.str());
    EXPECT_EQ(r.status, PclxlScan::Status::Incomplete);
    EXPECT_EQ(r.error, "no BeginSession");
  }
}

TEST(PclxlScan, BadHeaders) {
  EXPECT_EQ(scanPclxl("").status, PclxlScan::Status::Malformed);
  EXPECT_EQ(scanPclxl(") HP-PCL XL;2;0").status, PclxlScan::Status::Malformed);  // no line end
  PclxlScan ascii = scanPclxl("' HP-PCL XL;2;0;\nBeginSession\n");
  EXPECT_EQ(ascii.status, PclxlScan::Status::Malformed);
  EXPECT_NE(ascii.error.find("ASCII"), std::string::npos);
  EXPECT_EQ(scanPclxl(") HP-PCL 6;2;0;\n").status, PclxlScan::Status::Malformed);
  EXPECT_EQ(scanPclxl("@PJL ENTER LANGUAGE = PCLXL\n").status, PclxlScan::Status::Malformed);
  // A stray escape that is no UEL, and a UEL cut short.
  Pxl p;
  p.op(0x41).raw("\x1b%-123");
  PclxlScan r = scanPclxl(p.str());
  EXPECT_EQ(r.status, PclxlScan::Status::Malformed);
  EXPECT_NE(r.error.find("UEL"), std::string::npos) << r.error;
  Pxl q;
  q.op(0x41).raw("\x1b" "E");
  EXPECT_EQ(scanPclxl(q.str()).status, PclxlScan::Status::Malformed);
}

TEST(PclxlScan, OperatorNames) {
  EXPECT_STREQ(kpxsim::pclxlOperatorName(0x41), "BeginSession");
  EXPECT_STREQ(kpxsim::pclxlOperatorName(0x44), "EndPage");
  EXPECT_STREQ(kpxsim::pclxlOperatorName(0x4f), "BeginFontHeader");
  EXPECT_STREQ(kpxsim::pclxlOperatorName(0x9b), "LinePath");
  EXPECT_STREQ(kpxsim::pclxlOperatorName(0xb1), "ReadImage");
  EXPECT_STREQ(kpxsim::pclxlOperatorName(0xb9), "ScanLineRel");
  EXPECT_EQ(kpxsim::pclxlOperatorName(0x45), nullptr);
  EXPECT_EQ(kpxsim::pclxlOperatorName(0xc0), nullptr);
}
