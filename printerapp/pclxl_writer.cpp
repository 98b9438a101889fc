#include "pclxl_writer.h"

#include <algorithm>
#include <cstring>

namespace kpxapp {

const char kPclxlIntro[] = "@PJL ENTER LANGUAGE = PCLXL\n) HP-PCL XL;2;0;Comment KPX7720MW printer application\n";

namespace {

// Data type tags, attribute ids, operators and enumerations of PCL XL.
enum : uint8_t {
  kUByte = 0xc0, kUInt16 = 0xc1, kUByteArray = 0xc8, kUInt16Xy = 0xd1, kReal32Xy = 0xd5,
  kAttrUByte = 0xf8, kEmbeddedData = 0xfa,
};
enum : uint8_t {
  aPaletteDepth = 0x02, aColorSpace = 0x03, aPaletteData = 0x06, aMediaSize = 0x25, aMediaSource = 0x26,
  aOrientation = 0x28, aCustomMediaSize = 0x2f, aCustomMediaSizeUnits = 0x30, aSimplexPageMode = 0x34,
  aDuplexPageMode = 0x35, aDuplexPageSide = 0x36, aPoint = 0x4c, aColorDepth = 0x62, aBlockHeight = 0x63,
  aColorMapping = 0x64, aCompressMode = 0x65, aDestinationSize = 0x67, aSourceHeight = 0x6b,
  aSourceWidth = 0x6c, aStartLine = 0x6d, aDataOrg = 0x82, aMeasure = 0x86, aSourceType = 0x88,
  aUnitsPerMeasure = 0x89, aErrorReport = 0x8f,
};
enum : uint8_t {
  oBeginSession = 0x41, oEndSession = 0x42, oBeginPage = 0x43, oEndPage = 0x44, oOpenDataSource = 0x48,
  oCloseDataSource = 0x49, oSetColorSpace = 0x6a, oSetCursor = 0x6b, oBeginImage = 0xb0, oReadImage = 0xb1,
  oEndImage = 0xb2,
};
enum : uint8_t { eRLECompression = 1, eDeltaRowCompression = 3 };

class Enc {
 public:
  explicit Enc(std::string &out) : o(out) {}
  Enc &b(uint8_t v) { o += static_cast<char>(v); return *this; }
  Enc &u16raw(unsigned v) { return b(v & 0xff).b((v >> 8) & 0xff); }
  Enc &u32raw(uint32_t v) { return u16raw(v & 0xffff).u16raw(v >> 16); }
  Enc &ubyte(uint8_t v, uint8_t attr) { return b(kUByte).b(v).b(kAttrUByte).b(attr); }
  Enc &uint16(unsigned v, uint8_t attr) { return b(kUInt16).u16raw(v).b(kAttrUByte).b(attr); }
  Enc &xy16(unsigned x, unsigned y, uint8_t attr) { return b(kUInt16Xy).u16raw(x).u16raw(y).b(kAttrUByte).b(attr); }
  Enc &xyReal(float x, float y, uint8_t attr) {
    uint32_t bx, by;
    std::memcpy(&bx, &x, 4);
    std::memcpy(&by, &y, 4);
    return b(kReal32Xy).u32raw(bx).u32raw(by).b(kAttrUByte).b(attr);
  }
  Enc &bytes(const uint8_t *p, size_t n, uint8_t attr) {
    b(kUByteArray).b(kUInt16).u16raw(static_cast<unsigned>(n));
    o.append(reinterpret_cast<const char *>(p), n);
    return b(kAttrUByte).b(attr);
  }
  Enc &op(uint8_t code) { return b(code); }
  std::string &o;
};

size_t padded(size_t n) { return (n + 3) & ~size_t(3); }

}  // namespace

void packBits(const uint8_t *row, size_t length, std::string &out) {
  size_t i = 0;
  while (i < length) {
    size_t run = 1;
    while (i + run < length && run < 128 && row[i + run] == row[i]) ++run;
    if (run >= 2) {
      out += static_cast<char>(257 - run);
      out += static_cast<char>(row[i]);
      i += run;
      continue;
    }
    // Literal bytes up to the next pair of equal bytes.
    size_t lit = 1;
    while (i + lit < length && lit < 128 && !(i + lit + 1 < length && row[i + lit] == row[i + lit + 1])) ++lit;
    out += static_cast<char>(lit - 1);
    out.append(reinterpret_cast<const char *>(row + i), lit);
    i += lit;
  }
}

void deltaRow(const uint8_t *row, const uint8_t *seed, size_t length, std::string &out) {
  size_t last = 0;  // first byte after the previous replacement
  size_t i = 0;
  while (i < length) {
    if (row[i] == seed[i]) {
      ++i;
      continue;
    }
    size_t count = 1;
    while (i + count < length && count < 8 && row[i + count] != seed[i + count]) ++count;
    size_t offset = i - last;
    out += static_cast<char>(((count - 1) << 5) | std::min<size_t>(offset, 31));
    if (offset >= 31) {
      offset -= 31;
      while (offset >= 255) {
        out += static_cast<char>(255);
        offset -= 255;
      }
      out += static_cast<char>(offset);
    }
    out.append(reinterpret_cast<const char *>(row + i), count);
    i += count;
    last = i;
  }
}

void PclxlRasterWriter::beginSession(int dpi) {
  dpi_ = dpi;
  out_ += kPclxlIntro;
  Enc e(out_);
  e.xy16(dpi, dpi, aUnitsPerMeasure).ubyte(0 /* eInch */, aMeasure).ubyte(0 /* eNoReporting */, aErrorReport)
      .op(oBeginSession);
  e.ubyte(0 /* eDefaultDataSource */, aSourceType).ubyte(1 /* eBinaryLowByteFirst */, aDataOrg).op(oOpenDataSource);
}

bool PclxlRasterWriter::fits(const RasterPage &page) {
  return page.width > 0 && page.height > 0 && page.width <= 65535 && page.height <= 65535 && page.dpi > 0 &&
         page.dpi <= 65535;
}

bool PclxlRasterWriter::beginPage(const RasterPage &page) {
  if (!fits(page)) return false;
  page_ = page;
  rowBytes_ = (page.width + 7) / 8;
  linesDone_ = blockStart_ = blockRows_ = 0;
  block_.assign(rowBytes_ * kBlockRows, 0);
  inPage_ = true;
  Enc e(out_);
  e.ubyte(0 /* ePortraitOrientation */, aOrientation);
  if (page.mediaSizeEnum != kpx::kPclxlCustomMedia)
    e.ubyte(static_cast<uint8_t>(page.mediaSizeEnum), aMediaSize);
  else
    e.xyReal(static_cast<float>(page.mediaWidthIn), static_cast<float>(page.mediaHeightIn), aCustomMediaSize)
        .ubyte(0 /* eInch */, aCustomMediaSizeUnits);
  e.ubyte(static_cast<uint8_t>(page.mediaSource), aMediaSource);
  if (page.duplex == kpx::Duplex::Simplex)
    e.ubyte(0 /* eSimplexFrontSide */, aSimplexPageMode);
  else
    e.ubyte(page.duplex == kpx::Duplex::LongEdge ? 0 /* eDuplexHorizontalBinding */ : 1 /* eDuplexVerticalBinding */,
            aDuplexPageMode)
        .ubyte(page.backSide ? 1 : 0, aDuplexPageSide);
  e.op(oBeginPage);
  // Gray, indexed 1-bit pixels: index 0 white, 1 black.
  static const uint8_t kPalette[2] = {255, 0};
  e.ubyte(1 /* eGray */, aColorSpace).ubyte(2 /* e8Bit */, aPaletteDepth).bytes(kPalette, 2, aPaletteData)
      .op(oSetColorSpace);
  e.b(0xd3).u16raw(0).u16raw(0).b(kAttrUByte).b(aPoint).op(oSetCursor);  // sint16_xy (0,0)
  e.ubyte(1 /* eIndexedPixel */, aColorMapping).ubyte(0 /* e1Bit */, aColorDepth)
      .uint16(page.width, aSourceWidth).uint16(page.height, aSourceHeight)
      .xy16(page.width, page.height, aDestinationSize).op(oBeginImage);
  return true;
}

void PclxlRasterWriter::writeLine(const uint8_t *bits) {
  if (!inPage_ || linesDone_ >= page_.height) return;
  std::memcpy(&block_[blockRows_ * rowBytes_], bits, rowBytes_);
  // Bits beyond the width stay white.
  if (unsigned extra = page_.width % 8) block_[blockRows_ * rowBytes_ + rowBytes_ - 1] &= uint8_t(0xff << (8 - extra));
  ++blockRows_;
  ++linesDone_;
  if (blockRows_ == kBlockRows) flushBlock();
}

void PclxlRasterWriter::flushBlock() {
  if (blockRows_ == 0) return;
  std::string rle, delta;
  std::vector<uint8_t> row(padded(rowBytes_), 0);
  std::vector<uint8_t> seed(rowBytes_, 0);
  for (unsigned r = 0; r < blockRows_; ++r) {
    const uint8_t *src = &block_[r * rowBytes_];
    std::memcpy(row.data(), src, rowBytes_);
    packBits(row.data(), row.size(), rle);
    std::string d;
    deltaRow(src, seed.data(), rowBytes_, d);
    delta += static_cast<char>(d.size() & 0xff);
    delta += static_cast<char>((d.size() >> 8) & 0xff);
    delta += d;
    std::memcpy(seed.data(), src, rowBytes_);
  }
  const bool useDelta = delta.size() < rle.size();
  const std::string &data = useDelta ? delta : rle;
  Enc e(out_);
  e.uint16(blockStart_, aStartLine).uint16(blockRows_, aBlockHeight)
      .ubyte(useDelta ? eDeltaRowCompression : eRLECompression, aCompressMode).op(oReadImage);
  e.b(kEmbeddedData).u32raw(static_cast<uint32_t>(data.size()));
  out_ += data;
  blockStart_ += blockRows_;
  blockRows_ = 0;
}

void PclxlRasterWriter::endPage() {
  if (!inPage_) return;
  std::vector<uint8_t> blank(rowBytes_, 0);
  while (linesDone_ < page_.height) writeLine(blank.data());
  flushBlock();
  Enc e(out_);
  e.op(oEndImage);
  e.uint16(1, 0x31 /* PageCopies */).op(oEndPage);
  inPage_ = false;
  ++pages_;
}

void PclxlRasterWriter::endSession() {
  if (inPage_) endPage();
  Enc e(out_);
  e.op(oCloseDataSource).op(oEndSession);
}

}  // namespace kpxapp
