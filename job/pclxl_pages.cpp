#include "pclxl_pages.h"

#include <algorithm>

namespace kpx {

namespace {

constexpr uint8_t kEsc = 0x1b;
constexpr uint8_t kEndPage = 0x44;
constexpr uint8_t kPageCopiesAttribute = 0x31;
constexpr size_t kHeaderPrefix = 11;  // ") HP-PCL XL"

// Sizes of the single values, xy pairs and boxes by data-type tag.
constexpr int kScalarSize[6] = {1, 2, 4, 2, 4, 4};  // ubyte uint16 uint32 sint16 sint32 real32
constexpr int kXySize[6] = {2, 4, 8, 4, 8, 8};
constexpr int kBoxSize[6] = {4, 8, 16, 8, 16, 16};

bool isWhiteSpace(uint8_t b) { return b == 0x00 || (b >= 0x09 && b <= 0x0d) || b == 0x20; }

}  // namespace

std::vector<int> PclXlPageCounter::feed(const char *data, size_t length) {
  std::vector<int> pages;
  for (size_t i = 0; i < length; ++i) {
    const uint8_t b = static_cast<uint8_t>(data[i]);
    switch (mode_) {
      case Mode::Text: text(b); break;
      case Mode::Token: token(b, pages); break;
      case Mode::Skip: {
        // Embedded data may be long: step over what this chunk holds of it.
        uint64_t here = std::min<uint64_t>(skip_, length - i);
        skip_ -= here;
        i += here - 1;
        if (skip_ == 0) mode_ = Mode::Token;
        break;
      }
      case Mode::Number:
        if (bigEndian_)
          number_ = (number_ << 8) | b;
        else
          number_ |= static_cast<uint64_t>(b) << (8 * numberGot_);
        if (++numberGot_ == numberBytes_) numberDone();
        break;
      case Mode::ArrayLength:
        // An array's length is an unsigned value of its own.
        if (b >= 0xc0 && b <= 0xc2)
          startNumber(kScalarSize[b - 0xc0], Then::SkipElements, elementSize_);
        else
          mode_ = Mode::Text;
        break;
    }
  }
  return pages;
}

// PJL text: a line that opens a PCL XL stream switches to its tokens after
// the line end; ')' announces little-endian values, '(' big-endian.
void PclXlPageCounter::text(uint8_t b) {
  if (b == '\n') {
    if (line_.size() == kHeaderPrefix && (line_ == ") HP-PCL XL" || line_ == "( HP-PCL XL")) {
      bigEndian_ = line_[0] == '(';
      mode_ = Mode::Token;
      pageCopies_ = 0;
    }
    line_.clear();
    return;
  }
  if (line_.size() < kHeaderPrefix) line_.push_back(static_cast<char>(b));
}

void PclXlPageCounter::token(uint8_t b, std::vector<int> &pages) {
  if (isWhiteSpace(b)) return;
  if (b == kEsc) {  // universal exit: PJL text follows
    mode_ = Mode::Text;
    line_.assign(1, static_cast<char>(b));
    return;
  }
  if (b >= 0x41 && b <= 0xbf) {  // an operator
    if (b == kEndPage) pages.push_back(pageCopies_ > 0 ? pageCopies_ : 1);
    pageCopies_ = 0;
    return;
  }
  if (b >= 0xc0 && b <= 0xc5) return startNumber(kScalarSize[b - 0xc0], Then::Scalar);
  if (b >= 0xc8 && b <= 0xcd) {
    elementSize_ = static_cast<uint64_t>(kScalarSize[b - 0xc8]);
    mode_ = Mode::ArrayLength;
    return;
  }
  if (b >= 0xd0 && b <= 0xd5) {
    skip_ = static_cast<uint64_t>(kXySize[b - 0xd0]);
    mode_ = Mode::Skip;
    return;
  }
  if (b >= 0xe0 && b <= 0xe5) {
    skip_ = static_cast<uint64_t>(kBoxSize[b - 0xe0]);
    mode_ = Mode::Skip;
    return;
  }
  switch (b) {
    case 0xf8: return startNumber(1, Then::AttributeId);
    case 0xf9: return startNumber(2, Then::AttributeId);
    case 0xfa: return startNumber(4, Then::SkipElements, 1);
    case 0xfb: return startNumber(1, Then::SkipElements, 1);
    default: mode_ = Mode::Text; line_.clear();  // lost the thread: wait for the next stream header
  }
}

void PclXlPageCounter::startNumber(int bytes, Then then, uint64_t elementSize) {
  mode_ = Mode::Number;
  numberBytes_ = bytes;
  numberGot_ = 0;
  number_ = 0;
  then_ = then;
  elementSize_ = elementSize;
}

void PclXlPageCounter::numberDone() {
  mode_ = Mode::Token;
  switch (then_) {
    case Then::Scalar: lastScalar_ = number_; break;
    case Then::AttributeId:
      if (number_ == kPageCopiesAttribute) pageCopies_ = static_cast<int>(std::min<uint64_t>(lastScalar_, 65535));
      break;
    case Then::SkipElements:
      skip_ = number_ * elementSize_;
      if (skip_ > 0) mode_ = Mode::Skip;
      break;
  }
}

}  // namespace kpx
