// A PCL XL session of 1-bit raster pages, written from scan lines as they
// come: one image per page, sent in blocks of rows, each block compressed
// with run-length (PackBits) or delta-row coding, whichever is smaller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "printer_description.h"

namespace kpxapp {

// The text in front of the session: the language switch and the stream
// header (little-endian binding).
extern const char kPclxlIntro[];

struct RasterPage {
  int dpi = 600;
  unsigned width = 0;   // pixels per line
  unsigned height = 0;  // lines
  // Media: one of the printer's named sizes, or a custom size in inches.
  int mediaSizeEnum = kpx::kPclxlCustomMedia;
  double mediaWidthIn = 0, mediaHeightIn = 0;
  int mediaSource = 1;     // PCL XL media source: an input slot's mediaPosition (1 auto select)
  kpx::Duplex duplex = kpx::Duplex::Simplex;
  bool backSide = false;
};

// Run-length coding of one row (TIFF PackBits), appended to out.
void packBits(const uint8_t *row, size_t length, std::string &out);

// Delta-row coding of one row against the previous one (the seed), appended
// to out without the row's byte count.
void deltaRow(const uint8_t *row, const uint8_t *seed, size_t length, std::string &out);

class PclxlRasterWriter {
 public:
  static constexpr unsigned kBlockRows = 64;

  // Output goes to out; the owner takes it away (and clears it) between
  // calls to keep memory small.
  explicit PclxlRasterWriter(std::string &out) : out_(out) {}

  void beginSession(int dpi);
  // False (and nothing written) for a page PCL XL cannot carry: no pixels,
  // or more than 65535 in either direction.
  static bool fits(const RasterPage &page);
  bool beginPage(const RasterPage &page);
  // One line of width pixels, 1 bit each, most significant bit first,
  // 1 = black. Lines beyond the page height are ignored.
  void writeLine(const uint8_t *bits);
  // Missing lines are sent blank.
  void endPage();
  void endSession();

  int pagesWritten() const { return pages_; }
  // The session's units per inch (beginSession's dpi).
  int sessionDpi() const { return dpi_; }

 private:
  void flushBlock();

  std::string &out_;
  RasterPage page_;
  size_t rowBytes_ = 0;
  unsigned linesDone_ = 0;
  unsigned blockStart_ = 0;
  std::vector<uint8_t> block_;  // rows of rowBytes_ waiting to be sent
  unsigned blockRows_ = 0;
  bool inPage_ = false;
  int pages_ = 0;
  int dpi_ = 0;
};

}  // namespace kpxapp
