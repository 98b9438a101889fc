#include "pclxl.h"

#include <cstdio>
#include <cstring>

namespace kpxsim {

namespace {

// Operator tags of PCL XL class 1.1 to 3.0; the gaps are reserved codes.
const char *const kOperators[0xc0 - 0x41] = {
    /*41*/ "BeginSession", "EndSession", "BeginPage", "EndPage", nullptr, "VendorUnique",
    /*47*/ "Comment", "OpenDataSource", "CloseDataSource", nullptr, nullptr, nullptr,
    /*4d*/ nullptr, nullptr, "BeginFontHeader", "ReadFontHeader", "EndFontHeader",
    /*52*/ "BeginChar", "ReadChar", "EndChar", "RemoveFont", "SetCharAttributes",
    /*57*/ "SetDefaultGS", "SetColorTreatment", nullptr, nullptr, "BeginStream",
    /*5c*/ "ReadStream", "EndStream", "ExecStream", "RemoveStream", "PopGS", "PushGS",
    /*62*/ "SetClipReplace", "SetBrushSource", "SetCharAngle", "SetCharScale",
    /*66*/ "SetCharShear", "SetClipIntersect", "SetClipRectangle", "SetClipToPage",
    /*6a*/ "SetColorSpace", "SetCursor", "SetCursorRel", "SetHalftoneMethod",
    /*6e*/ "SetFillMode", "SetFont", "SetLineDash", "SetLineCap", "SetLineJoin",
    /*73*/ "SetMiterLimit", "SetPageDefaultCTM", "SetPageOrigin", "SetPageRotation",
    /*77*/ "SetPageScale", "SetPatternTxMode", "SetPenSource", "SetPenWidth", "SetROP",
    /*7c*/ "SetSourceTxMode", "SetCharBoldValue", nullptr, "SetClipMode", "SetPathToClip",
    /*81*/ "SetCharSubMode", "BeginUserDefinedLineCap", "EndUserDefinedLineCap",
    /*84*/ "CloseSubPath", "NewPath", "PaintPath", nullptr, nullptr, nullptr, nullptr,
    /*8b*/ nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, "ArcPath",
    /*92*/ "SetColorTrapping", "BezierPath", "SetAdaptiveHalftoning", "BezierRelPath",
    /*96*/ "Chord", "ChordPath", "Ellipse", "EllipsePath", nullptr, "LinePath", nullptr,
    /*9d*/ "LineRelPath", "Pie", "PiePath", "Rectangle", "RectanglePath",
    /*a2*/ "RoundRectangle", "RoundRectanglePath", nullptr, nullptr, nullptr, nullptr,
    /*a8*/ "Text", "TextPath", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    /*b0*/ "BeginImage", "ReadImage", "EndImage", "BeginRastPattern", "ReadRastPattern",
    /*b5*/ "EndRastPattern", "BeginScan", nullptr, "EndScan", "ScanLineRel", nullptr,
    /*bb*/ nullptr, nullptr, nullptr, nullptr, "PassThrough",
};

constexpr uint8_t kBeginSession = 0x41, kEndSession = 0x42, kBeginPage = 0x43, kEndPage = 0x44;

bool isWhitespace(uint8_t b) {
  return b == 0x00 || b == 0x09 || b == 0x0a || b == 0x0b || b == 0x0c || b == 0x0d ||
         b == 0x20;
}

// Element size of the data type families 0xC0-0xC5, 0xC8-0xCD, 0xD0-0xD5,
// 0xE0-0xE5 by their low bits: ubyte, uint16, uint32, sint16, sint32, real32.
int elementSize(uint8_t tag) {
  static const int sizes[6] = {1, 2, 4, 2, 4, 4};
  unsigned low = tag & 0x07;
  return low < 6 ? sizes[low] : 0;
}

const char *typeName(uint8_t tag) {
  switch (tag & 0xf8) {
    case 0xc0: return "scalar";
    case 0xc8: return "array";
    case 0xd0: return "xy pair";
    case 0xe0: return "box";
    default: return "value";
  }
}

const char kUel[] = "\x1b%-12345X";
constexpr size_t kUelLen = sizeof(kUel) - 1;

std::string hexByte(uint8_t b) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "0x%02X", b);
  return buf;
}

class Scanner {
 public:
  explicit Scanner(std::string_view d) : tok_(d) {}

  PclxlScan run() {
    if (!tok_.readHeader()) return fail();
    result_.bigEndian = tok_.bigEndian();
    result_.header = std::string(tok_.headerLine());
    PclxlToken t;
    for (;;) {
      switch (tok_.next(t)) {
        case PclxlTokenizer::Next::Error:
          return fail();
        case PclxlTokenizer::Next::Uel:
          result_.endedByUel = true;
          result_.length = tok_.position();
          return finish();
        case PclxlTokenizer::Next::End:
          result_.length = tok_.position();
          return finish();
        case PclxlTokenizer::Next::Token:
          break;
      }
      if (t.kind == PclxlToken::Kind::EmbeddedData) result_.embeddedBytes += t.count;
      if (t.kind == PclxlToken::Kind::Operator) {
        ++result_.operators;
        if (!operatorSeen(t.offset, t.tag)) return result_;
      }
    }
  }

 private:
  PclxlScan fail() { return fail(tok_.errorOffset(), tok_.error()); }

  PclxlScan fail(size_t at, const std::string &why) {
    result_.status = PclxlScan::Status::Malformed;
    result_.error = why;
    result_.errorOffset = at;
    result_.length = at;
    return result_;
  }

  bool failB(size_t at, const std::string &why) {
    fail(at, why + " at offset " + std::to_string(at));
    return false;
  }

  bool operatorSeen(size_t pos, uint8_t tag) {
    switch (tag) {
      case kBeginSession:
        if (inSession_) return failB(pos, "BeginSession inside a session");
        inSession_ = true;
        ++result_.sessions;
        return true;
      case kEndSession:
        if (!inSession_) return failB(pos, "EndSession without BeginSession");
        if (inPage_) return failB(pos, "EndSession inside a page");
        inSession_ = false;
        ++result_.sessionsEnded;
        return true;
      case kBeginPage:
        if (!inSession_) return failB(pos, "BeginPage outside a session");
        if (inPage_) return failB(pos, "BeginPage inside a page");
        inPage_ = true;
        ++result_.pagesBegun;
        return true;
      case kEndPage:
        if (!inPage_) return failB(pos, "EndPage without BeginPage");
        inPage_ = false;
        ++result_.pages;
        return true;
      default:
        if (!inSession_) return failB(pos, std::string(kOperators[tag - 0x41]) + " outside a session");
        return true;
    }
  }

  PclxlScan finish() {
    if (result_.sessions == 0) {
      result_.status = PclxlScan::Status::Incomplete;
      result_.error = "no BeginSession";
      result_.errorOffset = result_.length;
    } else if (inSession_) {
      result_.status = PclxlScan::Status::Incomplete;
      result_.error = inPage_ ? "stream ends inside a page" : "stream ends before EndSession";
      result_.errorOffset = result_.length;
    } else {
      result_.status = PclxlScan::Status::Ok;
    }
    return result_;
  }

  PclxlTokenizer tok_;
  bool inSession_ = false;
  bool inPage_ = false;
  PclxlScan result_;
};

}  // namespace

bool PclxlTokenizer::readHeader() {
  if (data_.empty()) {
    fail(0, "no stream header");
    return false;
  }
  uint8_t binding = byte(0);
  if (binding == '\'') {
    fail(0, "ASCII binding is not supported");
    return false;
  }
  if (binding != '(' && binding != ')') {
    fail(0, "unknown binding " + hexByte(binding));
    return false;
  }
  bigEndian_ = binding == '(';
  size_t eol = data_.find('\n');
  if (eol == std::string_view::npos) {
    fail(0, "stream header without line end");
    return false;
  }
  std::string_view line = data_.substr(0, eol);
  if (line.substr(1, 10) != " HP-PCL XL") {
    fail(0, "stream header is not HP-PCL XL");
    return false;
  }
  // Keep the header printable: gs ends its comment with a NUL.
  header_ = line.substr(0, line.find('\0'));
  pos_ = eol + 1;
  return true;
}

uint64_t PclxlTokenizer::number(size_t at, int size) const {
  uint64_t v = 0;
  for (int i = 0; i < size; ++i) {
    uint64_t b = byte(at + static_cast<size_t>(i));
    if (bigEndian_)
      v = (v << 8) | b;
    else
      v |= b << (8 * i);
  }
  return v;
}

PclxlTokenizer::Next PclxlTokenizer::fail(size_t at, const std::string &why) {
  error_ = why + " at offset " + std::to_string(at);
  errorOffset_ = at;
  pos_ = at;
  return Next::Error;
}

double PclxlTokenizer::element(const PclxlToken &t, uint64_t i) const {
  if (t.kind != PclxlToken::Kind::Value || i >= t.count) return 0;
  size_t at = t.dataOffset + static_cast<size_t>(i) * static_cast<size_t>(t.elementSize);
  uint64_t raw = number(at, t.elementSize);
  switch (t.tag & 0x07) {
    case 0: case 1: case 2: return static_cast<double>(raw);
    case 3: return static_cast<int16_t>(static_cast<uint16_t>(raw));
    case 4: return static_cast<int32_t>(static_cast<uint32_t>(raw));
    default: {
      uint32_t bits = static_cast<uint32_t>(raw);
      float f;
      std::memcpy(&f, &bits, sizeof f);
      return f;
    }
  }
}

PclxlTokenizer::Next PclxlTokenizer::next(PclxlToken &t) {
  while (pos_ < data_.size() && isWhitespace(byte(pos_))) ++pos_;
  if (pos_ >= data_.size()) return Next::End;
  const size_t pos = pos_;
  const uint8_t tag = byte(pos);
  t = PclxlToken();
  t.tag = tag;
  t.offset = pos;
  if (tag == 0x1b) {
    if (data_.size() - pos >= kUelLen && data_.compare(pos, kUelLen, kUel) == 0) return Next::Uel;
    if (data_.size() - pos < kUelLen &&
        data_.compare(pos, std::string_view::npos, std::string_view(kUel, data_.size() - pos)) == 0)
      return fail(pos, "stream ends inside a UEL");
    return fail(pos, "escape byte that is no UEL");
  }
  if (tag >= 0x41 && tag <= 0xbf) {
    if (!kOperators[tag - 0x41]) return fail(pos, "unknown operator " + hexByte(tag));
    t.kind = PclxlToken::Kind::Operator;
    t.end = pos + 1;
  } else if (tag == 0xf8 || tag == 0xf9) {
    int n = tag == 0xf8 ? 1 : 2;
    if (!have(pos + 1, static_cast<uint64_t>(n))) return truncated(pos, "attribute id");
    t.kind = PclxlToken::Kind::AttributeId;
    t.attribute = static_cast<unsigned>(number(pos + 1, n));
    t.end = pos + 1 + static_cast<size_t>(n);
  } else if (tag == 0xfa || tag == 0xfb) {
    int lenSize = tag == 0xfa ? 4 : 1;
    if (!have(pos + 1, static_cast<uint64_t>(lenSize))) return truncated(pos, "embedded data length");
    uint64_t len = number(pos + 1, lenSize);
    size_t start = pos + 1 + static_cast<size_t>(lenSize);
    if (!have(start, len))
      return truncated(pos, "embedded data (" + std::to_string(len) + " bytes declared, " +
                                std::to_string(data_.size() - start) + " present)");
    t.kind = PclxlToken::Kind::EmbeddedData;
    t.elementSize = 1;
    t.count = len;
    t.dataOffset = start;
    t.end = start + static_cast<size_t>(len);
  } else {
    int elem = elementSize(tag);
    uint8_t family = tag & 0xf8;
    bool known = elem > 0 && (family == 0xc0 || family == 0xc8 || family == 0xd0 || family == 0xe0);
    if (!known) return fail(pos, "unknown tag " + hexByte(tag));
    t.kind = PclxlToken::Kind::Value;
    t.elementSize = elem;
    if (family == 0xc8) {
      // Array: the element count follows as a tagged ubyte or uint16.
      if (!have(pos + 1, 1)) return truncated(pos, "array length");
      uint8_t lenTag = byte(pos + 1);
      int lenSize = lenTag == 0xc0 ? 1 : lenTag == 0xc1 ? 2 : lenTag == 0xc2 ? 4 : 0;
      if (!lenSize) return fail(pos + 1, "array length of type " + hexByte(lenTag));
      if (!have(pos + 2, static_cast<uint64_t>(lenSize))) return truncated(pos, "array length");
      t.count = number(pos + 2, lenSize);
      t.dataOffset = pos + 2 + static_cast<size_t>(lenSize);
      if (!have(t.dataOffset, t.count * static_cast<uint64_t>(elem)))
        return truncated(pos, "array of " + std::to_string(t.count) + " elements");
    } else {
      t.count = family == 0xc0 ? 1 : family == 0xd0 ? 2 : 4;
      t.dataOffset = pos + 1;
      if (!have(t.dataOffset, t.count * static_cast<uint64_t>(elem))) return truncated(pos, typeName(tag));
    }
    t.end = t.dataOffset + static_cast<size_t>(t.count) * static_cast<size_t>(elem);
  }
  pos_ = t.end;
  return Next::Token;
}

PclxlScan scanPclxl(std::string_view data) { return Scanner(data).run(); }

const char *pclxlOperatorName(uint8_t tag) {
  if (tag < 0x41 || tag > 0xbf) return nullptr;
  return kOperators[tag - 0x41];
}

const char *pclxlStatusName(PclxlScan::Status s) {
  switch (s) {
    case PclxlScan::Status::Ok: return "ok";
    case PclxlScan::Status::Incomplete: return "incomplete";
    case PclxlScan::Status::Malformed: return "malformed";
  }
  return "?";
}

}  // namespace kpxsim
