#include "rasterpage.h"

#include <cups/raster.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "printer_description.h"

namespace kpxapp {

namespace {

// The printer's largest paper, in points: its custom range or its largest
// named size, whichever is larger.
double largestPoints(bool width) {
  double most = width ? kpx::kDefaultCustomRange.maxWidth : kpx::kDefaultCustomRange.maxHeight;
  for (const kpx::MediaSize &m : kpx::mediaSizes()) most = std::max(most, static_cast<double>(width ? m.width : m.height));
  return most;
}

// Rounding slack of a producer: one point.
unsigned pixelsFor(double points, unsigned dpi) {
  return static_cast<unsigned>(std::ceil((points + 1.0) * dpi / 72.0));
}

bool printerResolution(unsigned dpi) { return dpi == 300 || dpi == 600 || dpi == 1200; }

bool greyOrBlack(unsigned space) { return space == CUPS_CSPACE_W || space == CUPS_CSPACE_SW || space == CUPS_CSPACE_K; }

}  // namespace

const std::vector<RasterType> &listedRasterTypes() {
  // sgray_1 would print right too, but PAPPL has no way to list it.
  static const std::vector<RasterType> kTypes = {
      {"black_1", CUPS_CSPACE_K, 1}, {"black_8", CUPS_CSPACE_K, 8}, {"sgray_8", CUPS_CSPACE_SW, 8}};
  return kTypes;
}

unsigned maxPageWidthPixels(unsigned dpi) { return pixelsFor(largestPoints(true), dpi); }
unsigned maxPageHeightPixels(unsigned dpi) { return pixelsFor(largestPoints(false), dpi); }

PageCheck checkRasterPage(const RasterFormat &f) {
  auto fail = [](PageVerdict v, std::string why) { return PageCheck{v, std::move(why)}; };
  if (f.width == 0 || f.height == 0) return fail(PageVerdict::FormatError, "The page has no pixels.");
  if ((f.bitsPerColor != 1 && f.bitsPerColor != 8) || f.bitsPerPixel % f.bitsPerColor != 0)
    return fail(PageVerdict::FormatError, "The page's bits per pixel are not a raster format.");
  if (f.colorOrder != CUPS_ORDER_CHUNKED) return fail(PageVerdict::FormatError, "The page is not in chunked pixel order.");
  if (uint64_t{f.bytesPerLine} != (uint64_t{f.width} * f.bitsPerPixel + 7) / 8)
    return fail(PageVerdict::FormatError, "The page's line length does not match its width.");
  if (!greyOrBlack(f.colorSpace) || f.bitsPerPixel != f.bitsPerColor)
    return fail(PageVerdict::Unprintable, "The page is in colour; the printer prints grey and black only.");
  const auto &types = listedRasterTypes();
  if (std::none_of(types.begin(), types.end(), [&](const RasterType &t) {
        return t.colorSpace == f.colorSpace && t.bits == f.bitsPerPixel;
      }))
    return fail(PageVerdict::FormatError, "The page's raster type is not one the printer lists (" +
                                              std::to_string(f.bitsPerPixel) + "-bit " +
                                              (f.colorSpace == CUPS_CSPACE_K ? "black" : "grey") + ").");
  if (f.xdpi != f.ydpi || !printerResolution(f.xdpi))
    return fail(PageVerdict::Unprintable, "The page's resolution (" + std::to_string(f.xdpi) + "x" +
                                              std::to_string(f.ydpi) + " dpi) is not one the printer has.");
  if (f.width > maxPageWidthPixels(f.xdpi) || f.height > maxPageHeightPixels(f.ydpi))
    return fail(PageVerdict::Unprintable, "The page (" + std::to_string(f.width) + "x" + std::to_string(f.height) +
                                              " pixels at " + std::to_string(f.xdpi) +
                                              " dpi) is larger than the printer's largest paper.");
  return {};
}

void toPrinterRow(const RasterFormat &f, const uint8_t *line, unsigned y, uint8_t *out) {
  // Bayer's 8x8 ordered dither, thresholds 2..254: 0 always below, 255 never.
  static const uint8_t kBayer[8][8] = {
      {0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26}, {12, 44, 4, 36, 14, 46, 6, 38},
      {60, 28, 52, 20, 62, 30, 54, 22}, {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
      {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21}};
  const size_t rowBytes = (f.width + 7) / 8;
  const bool blackIsHigh = f.colorSpace == CUPS_CSPACE_K;
  if (f.bitsPerPixel == 1) {
    for (size_t i = 0; i < rowBytes; ++i) out[i] = blackIsHigh ? line[i] : static_cast<uint8_t>(~line[i]);
  } else {
    std::memset(out, 0, rowBytes);
    const uint8_t *thresholds = kBayer[y & 7];
    for (unsigned x = 0; x < f.width; ++x) {
      unsigned lightness = blackIsHigh ? 255u - line[x] : line[x];
      if (lightness < 4u * thresholds[x & 7] + 2u) out[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
    }
  }
  if (f.width % 8 != 0) out[rowBytes - 1] &= static_cast<uint8_t>(0xff << (8 - f.width % 8));
}

}  // namespace kpxapp
