// Raster pages as clients send them (PWG and Apple raster, PNG and JPEG
// after decoding), checked against what this printer can take before a
// line is read, and their lines made into the printer's 1-bit rows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kpxapp {

// What a page header says, in the terms the checks need.
struct RasterFormat {
  unsigned width = 0, height = 0;    // pixels, lines
  unsigned bitsPerColor = 0, bitsPerPixel = 0, bytesPerLine = 0;
  unsigned colorSpace = 0;           // cups_cspace_t
  unsigned colorOrder = 0;           // cups_order_t; only chunked
  unsigned xdpi = 0, ydpi = 0;
  unsigned pageWidthPt = 0, pageHeightPt = 0;  // PageSize, 0 when not given
};

enum class PageVerdict {
  Printable,
  FormatError,   // the header contradicts itself: document-format-error
  Unprintable,   // well formed, but not for this printer: document-unprintable-error
};

struct PageCheck {
  PageVerdict verdict = PageVerdict::Printable;
  std::string reason;  // for the job log and message, empty when printable
};

// The raster types the printer lists (pwg-raster-document-type-supported)
// and prints: their colour space (cups_cspace_t) and bits.
struct RasterType {
  const char *pwgName;
  unsigned colorSpace;
  unsigned bits;
};
const std::vector<RasterType> &listedRasterTypes();

// Whether a page can be printed as its header describes it: one of the
// listed raster types, a resolution the printer has (300, 600,
// 1200 dpi, the same across and down), no larger than the printer's
// largest paper, and lines as long as the width says.
PageCheck checkRasterPage(const RasterFormat &f);

// The largest page the printer takes, in pixels at dpi.
unsigned maxPageWidthPixels(unsigned dpi);
unsigned maxPageHeightPixels(unsigned dpi);

// One line of a checked page as the printer's row: width bits, most
// significant first, 1 = black, the bits past the width clear. Grey is
// dithered with an ordered 8x8 matrix (y picks its row): white stays
// white, black stays black. `out` holds (width + 7) / 8 bytes.
void toPrinterRow(const RasterFormat &f, const uint8_t *line, unsigned y, uint8_t *out);

}  // namespace kpxapp
