#include "pclxl_render.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>

#include "pclxl.h"

namespace kpxsim {

namespace {

enum : unsigned {
  aPaletteDepth = 0x02, aColorSpace = 0x03, aPaletteData = 0x06, aMediaSize = 0x25, aMediaSource = 0x26,
  aOrientation = 0x28, aCustomMediaSize = 0x2f, aCustomMediaSizeUnits = 0x30, aPageCopies = 0x31,
  aSimplexPageMode = 0x34, aDuplexPageMode = 0x35, aDuplexPageSide = 0x36, aPoint = 0x4c, aColorDepth = 0x62,
  aBlockHeight = 0x63, aColorMapping = 0x64, aCompressMode = 0x65, aDestinationSize = 0x67,
  aSourceHeight = 0x6b, aSourceWidth = 0x6c, aStartLine = 0x6d, aPadBytesMultiple = 0x6e, aMeasure = 0x86,
  aUnitsPerMeasure = 0x89,
};
enum : uint8_t {
  oBeginSession = 0x41, oEndSession = 0x42, oBeginPage = 0x43, oEndPage = 0x44, oSetColorSpace = 0x6a,
  oSetCursor = 0x6b, oSetCursorRel = 0x6c, oBeginImage = 0xb0, oReadImage = 0xb1, oEndImage = 0xb2,
};
enum : int { eNoCompression = 0, eRLECompression = 1, eJPEGCompression = 2, eDeltaRowCompression = 3 };
constexpr int eGray = 1, eIndexedPixel = 1, e8BitPalette = 2;

// Millimetres and tenths of millimetres per inch: the units of Measure and
// CustomMediaSizeUnits (eInch, eMillimeter, eTenthsOfAMillimeter).
const double kUnitsPerInch[3] = {1.0, 25.4, 254.0};
// Anything farther than this from the page is simply off it.
constexpr double kFar = 1e9;

struct Failure {
  size_t offset;
  std::string why;
};

// Run-length (PackBits) data, decoded on demand: a run may go on across rows.
class RunLengthReader {
 public:
  explicit RunLengthReader(std::string_view in) : in_(in) {}

  bool fill(uint8_t *out, size_t n) {
    while (n > 0) {
      if (literal_ > 0) {
        size_t k = std::min(n, literal_);
        if (in_.size() - pos_ < k) return false;
        std::memcpy(out, in_.data() + pos_, k);
        pos_ += k, literal_ -= k, out += k, n -= k;
      } else if (repeat_ > 0) {
        size_t k = std::min(n, repeat_);
        std::memset(out, value_, k);
        repeat_ -= k, out += k, n -= k;
      } else {
        if (pos_ >= in_.size()) return false;
        int c = static_cast<int8_t>(in_[pos_++]);
        if (c >= 0) {
          literal_ = static_cast<size_t>(c) + 1;
        } else if (c != -128) {
          if (pos_ >= in_.size()) return false;
          repeat_ = static_cast<size_t>(1 - c);
          value_ = static_cast<uint8_t>(in_[pos_++]);
        }
      }
    }
    return true;
  }
  // Input not used, counting a run that would go on past the last row.
  bool exhausted() const { return pos_ == in_.size() && literal_ == 0 && repeat_ == 0; }

 private:
  std::string_view in_;
  size_t pos_ = 0;
  size_t literal_ = 0, repeat_ = 0;
  uint8_t value_ = 0;
};

struct Image {
  uint32_t srcW = 0, srcH = 0;
  int bpp = 1;
  size_t rowBytes = 0;
  int64_t x0 = 0, y0 = 0;
  uint64_t dstW = 0, dstH = 0;
  uint8_t black[256] = {};        // by pixel value
  std::vector<uint32_t> columns;  // source column of each page column from clipX0 on
  int64_t clipX0 = 0;
  std::vector<uint8_t> row, rowBlack;
};

class Renderer {
 public:
  Renderer(std::string_view data, const PclxlRenderOptions &o, const std::function<bool(RenderedPage &)> &onPage)
      : tok_(data), opt_(o), onPage_(onPage) {}

  PclxlRenderResult run() {
    try {
      if (!tok_.readHeader()) throw Failure{tok_.errorOffset(), tok_.error()};
      loop();
    } catch (const Failure &f) {
      result_.error = f.why;
      result_.errorOffset = f.offset;
    }
    return result_;
  }

 private:
  void loop() {
    PclxlToken t;
    for (;;) {
      PclxlTokenizer::Next n = tok_.next(t);
      if (n == PclxlTokenizer::Next::Error) throw Failure{tok_.errorOffset(), tok_.error()};
      if (n != PclxlTokenizer::Next::Token) break;
      if (pendingRead_ && t.kind != PclxlToken::Kind::EmbeddedData)
        fail(t.offset, "ReadImage without its data");
      switch (t.kind) {
        case PclxlToken::Kind::Value:
          value_ = t;
          haveValue_ = true;
          break;
        case PclxlToken::Kind::AttributeId:
          if (!haveValue_) fail(t.offset, "attribute id without a value");
          attrs_[t.attribute] = value_;
          haveValue_ = false;
          break;
        case PclxlToken::Kind::EmbeddedData:
          if (pendingRead_) readImage(t);
          pendingRead_ = false;
          break;
        case PclxlToken::Kind::Operator:
          op(t);
          attrs_.clear();
          haveValue_ = false;
          if (stopped_) return;
          break;
      }
    }
    if (pendingRead_) fail(tok_.position(), "ReadImage without its data");
    if (page_) fail(tok_.position(), "stream ends inside a page");
  }

  [[noreturn]] static void fail(size_t at, const std::string &why) {
    throw Failure{at, why + " at offset " + std::to_string(at)};
  }

  const PclxlToken *attr(unsigned id) const {
    auto it = attrs_.find(id);
    return it == attrs_.end() ? nullptr : &it->second;
  }
  double need(unsigned id, const char *name, uint64_t i = 0) const {
    const PclxlToken *a = attr(id);
    if (!a || a->count <= i) fail(opOffset_, std::string(opName_) + " without " + name);
    return tok_.element(*a, i);
  }
  // An integer attribute within [lo, hi].
  int64_t integer(unsigned id, const char *name, int64_t lo, int64_t hi, double fallback, bool required = false,
                  uint64_t i = 0) const {
    if (!required && !attr(id)) return static_cast<int64_t>(fallback);
    double v = need(id, name, i);
    if (!(v >= static_cast<double>(lo) && v <= static_cast<double>(hi)) || v != std::floor(v))
      fail(opOffset_, std::string(opName_) + ": " + name + " " + fmt(v) + " out of range");
    return static_cast<int64_t>(v);
  }
  static std::string fmt(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
  }

  void op(const PclxlToken &t) {
    opOffset_ = t.offset;
    opName_ = pclxlOperatorName(t.tag);
    switch (t.tag) {
      case oBeginSession: return beginSession();
      case oEndSession:
        if (!inSession_ || page_) fail(t.offset, "EndSession outside a session or inside a page");
        inSession_ = false;
        result_.complete = true;
        return;
      case oBeginPage: return beginPage();
      case oEndPage: return endPage();
      case oSetColorSpace: return setColorSpace();
      case oSetCursor:
      case oSetCursorRel: {
        requirePage();
        double x = need(aPoint, "Point", 0), y = need(aPoint, "Point", 1);
        if (t.tag == oSetCursorRel) x += cursorX_, y += cursorY_;
        cursorX_ = std::clamp(x, -kFar, kFar);
        cursorY_ = std::clamp(y, -kFar, kFar);
        return;
      }
      case oBeginImage: return beginImage();
      case oReadImage:
        requireImage();
        pendingRead_ = true;
        readAttrs_ = attrs_;
        return;
      case oEndImage:
        requireImage();
        imageOpen_ = false;
        return;
      default:
        if (!inSession_) fail(t.offset, std::string(opName_) + " outside a session");
        return;
    }
  }

  void requirePage() const {
    if (!page_) fail(opOffset_, std::string(opName_) + " outside a page");
  }
  void requireImage() const {
    requirePage();
    if (!imageOpen_) fail(opOffset_, std::string(opName_) + " without BeginImage");
  }

  void beginSession() {
    if (inSession_) fail(opOffset_, "BeginSession inside a session");
    int64_t measure = integer(aMeasure, "Measure", 0, 2, 0);
    double ux = need(aUnitsPerMeasure, "UnitsPerMeasure", 0), uy = need(aUnitsPerMeasure, "UnitsPerMeasure", 1);
    if (!(ux > 0 && uy > 0 && ux <= 65535 && uy <= 65535))
      fail(opOffset_, "UnitsPerMeasure " + fmt(ux) + "x" + fmt(uy) + " out of range");
    dpiX_ = ux * kUnitsPerInch[measure];
    dpiY_ = uy * kUnitsPerInch[measure];
    inSession_ = true;
    result_.complete = false;
  }

  const PclxlMediaSize *findMedia(const PclxlToken &m) const {
    if (m.isArray()) {
      std::string_view name = tok_.bytes(m);
      for (const PclxlMediaSize &s : opt_.media)
        if (s.name.size() == name.size() &&
            std::equal(name.begin(), name.end(), s.name.begin(), [](char a, char b) {
              return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
            }))
          return &s;
      return nullptr;
    }
    double v = tok_.element(m, 0);
    for (const PclxlMediaSize &s : opt_.media)
      if (s.pclxlEnum >= 0 && s.pclxlEnum == v) return &s;
    return nullptr;
  }

  void beginPage() {
    if (!inSession_) fail(opOffset_, "BeginPage outside a session");
    if (page_) fail(opOffset_, "BeginPage inside a page");
    auto p = std::make_unique<RenderedPage>();
    p->dpiX = dpiX_;
    p->dpiY = dpiY_;
    p->orientation = static_cast<int>(integer(aOrientation, "Orientation", 0, 3, 0));
    p->mediaSource = static_cast<int>(integer(aMediaSource, "MediaSource", 0, 255, -1));
    double wIn, hIn;
    if (attr(aCustomMediaSize)) {
      int64_t units = integer(aCustomMediaSizeUnits, "CustomMediaSizeUnits", 0, 2, 0, true);
      wIn = need(aCustomMediaSize, "CustomMediaSize", 0) / kUnitsPerInch[units];
      hIn = need(aCustomMediaSize, "CustomMediaSize", 1) / kUnitsPerInch[units];
      p->media = "custom";
    } else {
      const PclxlMediaSize *m = nullptr;
      if (const PclxlToken *a = attr(aMediaSize)) {
        m = findMedia(*a);
        if (!m)
          fail(opOffset_, a->isArray() ? "unknown MediaSize \"" + std::string(tok_.bytes(*a)) + "\""
                                       : "unknown MediaSize " + fmt(tok_.element(*a, 0)));
      } else if (!opt_.media.empty()) {
        m = &opt_.media.front();
      } else {
        fail(opOffset_, "BeginPage without MediaSize");
      }
      p->media = m->name;
      wIn = m->widthPt / 72, hIn = m->heightPt / 72;
    }
    p->paperWidth = wIn * dpiX_;
    p->paperHeight = hIn * dpiY_;
    double w = std::round(p->paperWidth), h = std::round(p->paperHeight);
    if (p->orientation % 2) std::swap(w, h);
    if (!(w >= 1 && h >= 1 && w <= opt_.maxPageSide && h <= opt_.maxPageSide))
      fail(opOffset_, "page of " + fmt(w) + "x" + fmt(h) + " pixels (at most " + std::to_string(opt_.maxPageSide) +
                          " a side)");
    p->width = static_cast<uint32_t>(w);
    p->height = static_cast<uint32_t>(h);
    if (attr(aDuplexPageMode)) {
      p->duplexBinding = static_cast<int>(integer(aDuplexPageMode, "DuplexPageMode", 0, 1, 0));
      p->side = integer(aDuplexPageSide, "DuplexPageSide", 0, 1, 0) ? RenderedPage::Side::Back
                                                                       : RenderedPage::Side::Front;
    }
    p->bits.assign(p->rowBytes() * p->height, 0);
    p->number = result_.pages + 1;
    page_ = std::move(p);
    cursorX_ = cursorY_ = 0;
    imageOpen_ = false;
  }

  void endPage() {
    requirePage();
    if (imageOpen_) fail(opOffset_, "EndPage inside an image");
    page_->copies = static_cast<int>(integer(aPageCopies, "PageCopies", 0, 65535, 1));
    ++result_.pages;
    RenderedPage page = std::move(*page_);
    page_.reset();
    if (!onPage_(page)) stopped_ = true;
  }

  void setColorSpace() {
    if (!inSession_) fail(opOffset_, "SetColorSpace outside a session");
    colorSpace_ = static_cast<int>(integer(aColorSpace, "ColorSpace", 0, 255, eGray, true));
    palette_.clear();
    if (const PclxlToken *p = attr(aPaletteData)) {
      if (integer(aPaletteDepth, "PaletteDepth", e8BitPalette, e8BitPalette, 0, true) != e8BitPalette || !p->isArray() ||
          p->elementSize != 1)
        fail(opOffset_, "palette other than 8-bit values");
      std::string_view b = tok_.bytes(*p);
      palette_.assign(b.begin(), b.end());
    }
  }

  void beginImage() {
    requirePage();
    if (imageOpen_) fail(opOffset_, "BeginImage inside an image");
    if (colorSpace_ != eGray) fail(opOffset_, "image in colour space " + std::to_string(colorSpace_));
    Image &im = image_;
    bool indexed = integer(aColorMapping, "ColorMapping", 0, 1, 0, true) == eIndexedPixel;
    static const int kBits[3] = {1, 4, 8};
    im.bpp = kBits[integer(aColorDepth, "ColorDepth", 0, 2, 0, true)];
    im.srcW = static_cast<uint32_t>(integer(aSourceWidth, "SourceWidth", 1, 65535, 0, true));
    im.srcH = static_cast<uint32_t>(integer(aSourceHeight, "SourceHeight", 1, 65535, 0, true));
    double dw = std::round(need(aDestinationSize, "DestinationSize", 0));
    double dh = std::round(need(aDestinationSize, "DestinationSize", 1));
    if (!(dw >= 1 && dh >= 1 && dw <= kFar && dh <= kFar))
      fail(opOffset_, "DestinationSize " + fmt(dw) + "x" + fmt(dh) + " out of range");
    im.dstW = static_cast<uint64_t>(dw);
    im.dstH = static_cast<uint64_t>(dh);
    size_t levels = size_t(1) << im.bpp;
    if (indexed && palette_.size() != levels)
      fail(opOffset_, "indexed image of " + std::to_string(im.bpp) + " bits with a palette of " +
                          std::to_string(palette_.size()) + " entries");
    for (size_t v = 0; v < levels; ++v) {
      unsigned grey = indexed ? palette_[v] : static_cast<unsigned>(v * 255 / (levels - 1));
      im.black[v] = grey < 128;
    }
    im.rowBytes = (static_cast<size_t>(im.srcW) * static_cast<size_t>(im.bpp) + 7) / 8;
    im.x0 = std::llround(cursorX_);
    im.y0 = std::llround(cursorY_);
    int64_t right = std::min<int64_t>(page_->width, im.x0 + static_cast<int64_t>(im.dstW));
    im.clipX0 = std::max<int64_t>(0, im.x0);
    im.columns.clear();
    for (int64_t x = im.clipX0; x < right; ++x)
      im.columns.push_back(static_cast<uint32_t>(static_cast<uint64_t>(x - im.x0) * im.srcW / im.dstW));
    im.rowBlack.assign(im.srcW, 0);
    imageOpen_ = true;
    ++page_->images;
  }

  void readImage(const PclxlToken &data) {
    attrs_.swap(readAttrs_);
    opName_ = "ReadImage";
    Image &im = image_;
    int64_t start = integer(aStartLine, "StartLine", 0, im.srcH, 0, true);
    int64_t rows = integer(aBlockHeight, "BlockHeight", 0, im.srcH - start, 0, true);
    int64_t mode = integer(aCompressMode, "CompressMode", 0, 255, 0, true);
    int64_t pad = integer(aPadBytesMultiple, "PadBytesMultiple", 1, 255, 4);
    attrs_.swap(readAttrs_);
    std::string_view in = tok_.bytes(data);
    size_t padded = (im.rowBytes + static_cast<size_t>(pad) - 1) / static_cast<size_t>(pad) * static_cast<size_t>(pad);
    const size_t at = data.offset;
    if (mode == eNoCompression) {
      if (in.size() != padded * static_cast<uint64_t>(rows))
        fail(at, std::to_string(in.size()) + " bytes of image data for " + std::to_string(rows) + " rows of " +
                     std::to_string(padded));
      for (int64_t r = 0; r < rows; ++r) paintRow(start + r, reinterpret_cast<const uint8_t *>(in.data()) + padded * r);
    } else if (mode == eRLECompression) {
      RunLengthReader rle(in);
      im.row.resize(padded);
      for (int64_t r = 0; r < rows; ++r) {
        if (!rle.fill(im.row.data(), padded)) fail(at, "run-length data ends in row " + std::to_string(start + r));
        paintRow(start + r, im.row.data());
      }
      if (!rle.exhausted()) fail(at, "run-length data goes on after the block's last row");
    } else if (mode == eDeltaRowCompression) {
      // The seed row starts white with every block.
      im.row.assign(im.rowBytes, 0);
      size_t pos = 0;
      for (int64_t r = 0; r < rows; ++r) {
        deltaRow(in, pos, at, start + r);
        paintRow(start + r, im.row.data());
      }
      if (pos != in.size()) fail(at, std::to_string(in.size() - pos) + " bytes after the block's last delta row");
    } else {
      fail(opOffset_, mode == eJPEGCompression ? "JPEG image data is not supported"
                                               : "CompressMode " + std::to_string(mode) + " out of range");
    }
  }

  void deltaRow(std::string_view in, size_t &pos, size_t at, int64_t line) {
    Image &im = image_;
    auto cut = [&] { fail(at, "delta row " + std::to_string(line) + " cut"); };
    if (in.size() - pos < 2) cut();
    size_t count = static_cast<uint8_t>(in[pos]) | static_cast<size_t>(static_cast<uint8_t>(in[pos + 1])) << 8;
    pos += 2;
    if (in.size() - pos < count) cut();
    const size_t end = pos + count;
    size_t out = 0;
    while (pos < end) {
      uint8_t cmd = static_cast<uint8_t>(in[pos++]);
      size_t n = (cmd >> 5) + 1u, offset = cmd & 31u;
      if (offset == 31) {
        uint8_t b;
        do {
          if (pos >= end) cut();
          b = static_cast<uint8_t>(in[pos++]);
          offset += b;
        } while (b == 255);
      }
      out += offset;
      if (end - pos < n) cut();
      if (out > im.rowBytes || im.rowBytes - out < n)
        fail(at, "delta row " + std::to_string(line) + " goes past the row's end");
      std::memcpy(im.row.data() + out, in.data() + pos, n);
      pos += n, out += n;
    }
  }

  void paintRow(int64_t sy, const uint8_t *src) {
    Image &im = image_;
    RenderedPage &p = *page_;
    for (uint32_t x = 0; x < im.srcW; ++x) {
      unsigned v;
      if (im.bpp == 1)
        v = (src[x / 8] >> (7 - x % 8)) & 1u;
      else if (im.bpp == 4)
        v = (src[x / 2] >> (x % 2 ? 0 : 4)) & 15u;
      else
        v = src[x];
      im.rowBlack[x] = im.black[v];
    }
    // Page rows whose nearest source row is sy.
    uint64_t first = (static_cast<uint64_t>(sy) * im.dstH + im.srcH - 1) / im.srcH;
    uint64_t last = (static_cast<uint64_t>(sy + 1) * im.dstH + im.srcH - 1) / im.srcH;
    size_t rb = p.rowBytes();
    for (uint64_t j = first; j < last; ++j) {
      int64_t y = im.y0 + static_cast<int64_t>(j);
      if (y < 0) continue;
      if (y >= static_cast<int64_t>(p.height)) break;
      uint8_t *row = &p.bits[static_cast<size_t>(y) * rb];
      int64_t x = im.clipX0;
      for (uint32_t c : im.columns) {
        uint8_t mask = static_cast<uint8_t>(0x80u >> (x % 8));
        if (im.rowBlack[c])
          row[x / 8] |= mask;
        else
          row[x / 8] &= static_cast<uint8_t>(~mask);
        ++x;
      }
    }
  }

  PclxlTokenizer tok_;
  const PclxlRenderOptions &opt_;
  const std::function<bool(RenderedPage &)> &onPage_;
  PclxlRenderResult result_;
  std::map<unsigned, PclxlToken> attrs_, readAttrs_;
  PclxlToken value_;
  bool haveValue_ = false;
  size_t opOffset_ = 0;
  const char *opName_ = "";
  bool inSession_ = false;
  double dpiX_ = 0, dpiY_ = 0;
  std::unique_ptr<RenderedPage> page_;
  double cursorX_ = 0, cursorY_ = 0;
  int colorSpace_ = eGray;
  std::vector<uint8_t> palette_;
  Image image_;
  bool imageOpen_ = false;
  bool pendingRead_ = false;
  bool stopped_ = false;
};

}  // namespace

uint64_t RenderedPage::blackPixels() const {
  uint64_t n = 0;
  for (uint8_t b : bits) n += static_cast<uint64_t>(__builtin_popcount(b));
  return n;
}

PclxlRenderResult renderPclxl(std::string_view data, const PclxlRenderOptions &options,
                              const std::function<bool(RenderedPage &)> &onPage) {
  return Renderer(data, options, onPage).run();
}

std::string toPbm(const RenderedPage &page) {
  std::string out = "P4\n" + std::to_string(page.width) + " " + std::to_string(page.height) + "\n";
  out.append(page.bits.begin(), page.bits.end());
  return out;
}

const char *sideName(RenderedPage::Side s) {
  switch (s) {
    case RenderedPage::Side::Simplex: return "simplex";
    case RenderedPage::Side::Front: return "front";
    case RenderedPage::Side::Back: return "back";
  }
  return "?";
}

std::string pageLine(const RenderedPage &p) {
  char dpi[64];
  if (p.dpiX == p.dpiY)
    std::snprintf(dpi, sizeof dpi, "%g", p.dpiX);
  else
    std::snprintf(dpi, sizeof dpi, "%gx%g", p.dpiX, p.dpiY);
  return "page=" + std::to_string(p.number) + " dpi=" + dpi + " media=" + p.media + " paper=" +
         std::to_string(p.width) + "x" + std::to_string(p.height) + " orientation=" +
         std::to_string(p.orientation) + " source=" + (p.mediaSource < 0 ? "-" : std::to_string(p.mediaSource)) +
         " copies=" + std::to_string(p.copies) + " images=" + std::to_string(p.images) +
         " black=" + std::to_string(p.blackPixels()) + " side=" + sideName(p.side);
}

}  // namespace kpxsim
