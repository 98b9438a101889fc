// What the job ticket, the records and the interpreter arguments must be,
// whatever a user put into the title, the user name or the options.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "fuzz_util.h"
#include "geometry.h"
#include "records.h"
#include "ticket.h"

namespace kpxfuzz {

inline bool isControl(unsigned char c) { return c < 0x20 || c == 0x7f; }

// Within its limits, opening intact, then whole "@PJL" lines only: no
// control byte but the line ends, every quoted value closed on its line,
// one HOLD line.
inline void checkTicket(const kpx::Ticket &t) {
  const std::string &s = t.text;
  FUZZ_CHECK(s.size() <= kpx::kMaxTicket);
  FUZZ_CHECK(s.compare(0, kpx::kTicketOpening.size(), kpx::kTicketOpening) == 0);
  FUZZ_CHECK(!s.empty() && s.back() == '\n');
  int holdLines = 0;
  size_t pos = kpx::kTicketOpening.size();
  while (pos < s.size()) {
    size_t nl = s.find('\n', pos);
    std::string_view line(s.data() + pos, nl - pos);
    FUZZ_CHECK(line.size() + 1 <= kpx::kMaxTicketLine);
    FUZZ_CHECK(line.substr(0, 5) == "@PJL ");
    size_t quotes = 0;
    for (unsigned char c : line) {
      FUZZ_CHECK(!isControl(c));
      quotes += c == '"';
    }
    FUZZ_CHECK(quotes == 0 || (quotes == 2 && line.back() == '"'));
    holdLines += line.substr(0, 14) == "@PJL SET HOLD=";
    pos = nl + 1;
  }
  FUZZ_CHECK(holdLines == 1);
  FUZZ_CHECK(t.mediaPosition.rfind("-dMediaPosition=", 0) == 0);
}

// Lines of text, each without control bytes; returns how many.
inline size_t checkedLines(const std::string &text) {
  FUZZ_CHECK(!text.empty() && text.back() == '\n');
  size_t lines = 0;
  for (unsigned char c : text) {
    if (c == '\n') ++lines;
    else FUZZ_CHECK(!isControl(c));
  }
  return lines;
}

inline void checkRecords(const kpx::FilterVariant &v, const kpx::JobSettings &s) {
  FUZZ_CHECK(checkedLines(kpx::formatPrinterInfo(s)) == 5);
  size_t blockLines = checkedLines(kpx::formatLogBlock(v, s, 1, 1));
  FUZZ_CHECK(blockLines == 12 || blockLines == 13);
}

// The interpreter gets a known resolution and a geometry of two positive
// sides no larger than the largest paper at 1200 dpi.
inline void checkRaster(const kpx::RasterArgs &r) {
  FUZZ_CHECK(r.resolution == "-r300x300" || r.resolution == "-r600x600" || r.resolution == "-r1200x1200");
  int w = 0, h = 0;
  char end = 0;
  FUZZ_CHECK(std::sscanf(r.geometry.c_str(), "-g%dx%d%c", &w, &h, &end) == 2);
  const double maxPixels = kpx::kPhysicalSizeLimits.maxWidth * 8.34 * 2;
  FUZZ_CHECK(w > 0 && h > 0 && w <= maxPixels && h <= maxPixels);
}

// Choice keywords as a PPD can spell them: printable ASCII without blanks,
// colons, slashes or quotes. Choices come from the queue's PPD, not from
// the job; only user name, title and host name are free text.
inline std::string asKeyword(const std::string &s) {
  std::string k;
  for (unsigned char c : s)
    if (c > 0x20 && c < 0x7f && c != ':' && c != '/' && c != '"') k += static_cast<char>(c);
  return k;
}

}  // namespace kpxfuzz
