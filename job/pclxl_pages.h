// Counts the pages in the PCL XL stream on its way to the printer.
//
// The stream is fed in the chunks in which it is sent; a token split across
// two chunks is followed across them, so each page end counts once, in the
// chunk that completes it. PJL text around the PCL XL data (job ticket,
// trailer) is passed over; a stream that loses its token structure is
// passed over until the next PCL XL stream header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kpx {

class PclXlPageCounter {
 public:
  // Feeds the next bytes; returns the copies the printer makes of each page
  // that ended in them (one entry per EndPage, 1 unless the page carries
  // PageCopies).
  std::vector<int> feed(const char *data, size_t length);

 private:
  enum class Mode { Text, Token, Skip, Number, ArrayLength };
  enum class Then { SkipElements, Scalar, AttributeId };

  void token(uint8_t byte, std::vector<int> &pages);
  void text(uint8_t byte);
  void startNumber(int bytes, Then then, uint64_t elementSize = 0);
  void numberDone();

  Mode mode_ = Mode::Text;
  bool bigEndian_ = false;
  std::string line_;  // start of the current PJL text line
  uint64_t skip_ = 0;
  int numberBytes_ = 0;
  int numberGot_ = 0;
  uint64_t number_ = 0;
  Then then_ = Then::Scalar;
  uint64_t elementSize_ = 0;
  uint64_t lastScalar_ = 0;
  int pageCopies_ = 0;  // PageCopies given for the page about to end
};

}  // namespace kpx
