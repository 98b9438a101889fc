// PCL XL page renderer: what the printer would put on paper from the images
// of a PCL XL stream. It follows sessions (units), pages (media, orientation,
// duplex side, copies), the cursor and the images (1, 4 or 8 bits, direct
// grey or indexed through a grey palette; uncompressed, run-length or
// delta-row rows) and paints them into a 1-bit page, 1 = black. A grey
// level below 128 is black. Images are opaque: their white pixels clear
// what is under them. Vector drawing, text, fonts, ROPs, clipping and page
// transforms (SetPageScale/Origin/Rotation) are passed over.
//
// Coordinates are the session's units; the page has one pixel per unit, so
// the page's resolution is the session's units per inch. Pages in a
// landscape orientation are rendered as they are drawn (wider than high).
//
// Malformed data (cut tokens, images without BeginImage, rows that do not
// decode to their length, sizes out of range) ends rendering with an error;
// pages finished before it are kept.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kpxsim {

// No page is larger than this many pixels a side (Legal at 1200 dpi is
// 10200x16800), so a page takes at most 16800*16800/8 bytes (35 MB).
inline constexpr uint32_t kMaxPageSide = 16800;

// A paper size BeginPage can name: by its PCL XL MediaSize value (-1: by
// name only) or by name (compared without case), in points.
struct PclxlMediaSize {
  int pclxlEnum = -1;
  std::string name;
  double widthPt = 0, heightPt = 0;
};

struct RenderedPage {
  int number = 0;               // 1, 2, ... in stream order
  double dpiX = 0, dpiY = 0;    // session units per inch
  std::string media;            // size name, "custom", or "enum-N" if unknown
  double paperWidth = 0, paperHeight = 0;  // in session units (portrait)
  uint32_t width = 0, height = 0;          // page bitmap in pixels (as drawn)
  int orientation = 0;          // 0 portrait, 1 landscape, 2/3 reversed
  int mediaSource = -1;         // MediaSource value, -1 when not given
  enum class Side { Simplex, Front, Back };
  Side side = Side::Simplex;
  int duplexBinding = -1;       // DuplexPageMode value, -1 simplex
  int copies = 1;               // PageCopies
  int images = 0;               // BeginImage operators on the page
  // Rows of (width + 7) / 8 bytes, most significant bit first, 1 = black;
  // bits beyond the width are 0.
  std::vector<uint8_t> bits;

  size_t rowBytes() const { return (width + 7) / 8; }
  bool pixel(uint32_t x, uint32_t y) const {
    return (bits[y * rowBytes() + x / 8] >> (7 - x % 8)) & 1;
  }
  uint64_t blackPixels() const;
};

struct PclxlRenderOptions {
  // The sizes BeginPage may name; the first is used when it names none.
  std::vector<PclxlMediaSize> media;
  uint32_t maxPageSide = kMaxPageSide;
};

struct PclxlRenderResult {
  int pages = 0;           // pages handed to the callback
  bool complete = false;   // the last session ended
  std::string error;       // empty when nothing went wrong
  size_t errorOffset = 0;  // offset in the data
};

// Renders data, which starts with the stream header (both bindings). Each
// page goes to onPage at its EndPage; returning false from it stops
// rendering (without an error). A stream that ends inside a session is not
// an error, only not complete.
PclxlRenderResult renderPclxl(std::string_view data, const PclxlRenderOptions &options,
                              const std::function<bool(RenderedPage &)> &onPage);

// The page as a binary PBM (P4) file.
std::string toPbm(const RenderedPage &page);

const char *sideName(RenderedPage::Side s);  // "simplex", "front", "back"

// "page=1 dpi=600 media=A4 paper=4958x7017 orientation=0 source=1
// copies=1 images=1 black=12345 side=simplex" (dpi as "600x300" when the
// two differ; source=- when not given)
std::string pageLine(const RenderedPage &page);

}  // namespace kpxsim
