#include "geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "printer_description.h"

namespace kpx {

namespace {

std::string resolutionArg(int dpi) { return "-r" + std::to_string(dpi) + "x" + std::to_string(dpi); }

const char *rowGeometry(const MediaSize &r, int dpi) {
  switch (dpi) {
    case 300: return r.g300;
    case 1200: return r.g1200;
    default: return r.g600;
  }
}

// Device pixels per point of a custom size at 600 dpi: the scale of the A4
// raster (4960 x 7016 pixels for 595 x 842 points), not 600/72.
constexpr double kPixelsPerPointAcross = 4960.0 / 595.0;
constexpr double kPixelsPerPointDown = 7016.0 / 842.0;

RasterArgs a4At600(std::string why) {
  return RasterArgs{"-r600x600", "-g4961x7016", std::move(why)};
}

}  // namespace

RasterArgs rasterArgsFor(const std::string &pageSize, const std::string &resolution,
                         const std::optional<CustomPageSize> &custom, const CustomSizeRange &range) {
  const Resolution *res = findResolution(resolution);
  if (res == nullptr) return a4At600("unknown resolution " + resolution);
  const int dpi = res->dpi;

  if (pageSize != kCustomSizeKeyword) {
    const MediaSize *row = findMediaSize(pageSize);
    if (row == nullptr) return a4At600("unknown page size " + pageSize);
    return RasterArgs{resolutionArg(dpi), rowGeometry(*row, dpi), ""};
  }

  if (!custom) return RasterArgs{resolutionArg(dpi), rowGeometry(defaultMediaSize(), dpi), ""};
  const std::string &word = custom->text;
  if (!custom->problem.empty()) return a4At600("custom size '" + word + "' " + custom->problem);

  const double w = custom->width, h = custom->height;
  const double slack = 0.5;  // rounding of sizes given in other units
  const CustomSizeRange &p = kPhysicalSizeLimits;
  const double minW = std::max(range.minWidth, p.minWidth), maxW = std::min(range.maxWidth, p.maxWidth);
  const double minH = std::max(range.minHeight, p.minHeight), maxH = std::min(range.maxHeight, p.maxHeight);
  // Written so that NaN (in the size or in the range) fails every test.
  if (!(w >= minW - slack && w <= maxW + slack && h >= minH - slack && h <= maxH + slack &&
        w >= p.minWidth && w <= p.maxWidth && h >= p.minHeight && h <= p.maxHeight))
    return a4At600("custom size '" + word + "' outside the printable range");

  const double wf = kPixelsPerPointAcross, hf = kPixelsPerPointDown;
  double px, py;
  switch (dpi) {
    case 300: px = w * wf / 2; py = h * hf / 2; break;
    case 1200: px = (w * wf) * 2; py = (h * hf) * 2; break;
    default: px = w * wf; py = h * hf; break;
  }
  char g[48];
  std::snprintf(g, sizeof g, "-g%dx%d", static_cast<int>(std::trunc(px)), static_cast<int>(std::trunc(py)));
  return RasterArgs{resolutionArg(dpi), g, ""};
}

std::vector<std::string> interpreterArgs(Duplex duplex, const RasterArgs &r, const std::string &media) {
  switch (duplex) {
    case Duplex::LongEdge:
      return {"gs", "-dBATCH", "-dPARANOIDSAFER", "-dNOMEDIAATTRS", "-dDuplex", "-dNOINTERPOLATE",
              "-sDEVICE=pxlmono", "-dNumRenderingThreads=4", r.resolution, r.geometry, "-q", media,
              "-dNOPAUSE", "-dSAFER", "-sOutputFile=-", "-"};
    case Duplex::ShortEdge:
      return {"gs", "-dBATCH", "-dPARANOIDSAFER", "-dNOMEDIAATTRS", "-dDuplex", "-dTumble",
              "-dNOINTERPOLATE", "-sDEVICE=pxlmono", "-dNumRenderingThreads=4", r.resolution, media,
              r.geometry, "-q", "-dNOPAUSE", "-dSAFER", "-sOutputFile=-", "-"};
    case Duplex::Simplex:
      break;
  }
  return {"gs", "-dBATCH", "-dPARANOIDSAFER", "-dNOMEDIAATTRS", "-dNOINTERPOLATE",
          "-sDEVICE=pxlmono", "-dNumRenderingThreads=4", r.resolution, r.geometry, "-q", media,
          "-dNOPAUSE", "-dSAFER", "-sOutputFile=-", "-"};
}

void addDocumentRequests(std::vector<std::string> &args, int copies, int firstPage, int lastPage) {
  std::vector<std::string> extra;
  if (copies > 1) extra.push_back("-dNumCopies=" + std::to_string(copies));
  if (firstPage > 0) extra.push_back("-dFirstPage=" + std::to_string(firstPage));
  if (lastPage > 0) extra.push_back("-dLastPage=" + std::to_string(lastPage));
  args.insert(args.empty() ? args.end() : args.end() - 1, extra.begin(), extra.end());
}

size_t preambleLength(const std::string &resolutionArg) {
  return (resolutionArg == "-r1200x1200" || resolutionArg == "-r2400x2400") ? 64 : 63;
}

namespace {

constexpr std::string_view kUel = "\x1b%-12345X";
constexpr std::string_view kEnterLanguage = "@PJL ENTER LANGUAGE";

bool startsWith(std::string_view s, std::string_view p) { return s.substr(0, p.size()) == p; }

// Length of the job-control text at the start of s: an optional universal
// exit, then complete "@PJL" lines other than the language switch.
// *partial tells whether s ends in what could still become more of it.
size_t jobControlPrefix(std::string_view s, bool *partial) {
  *partial = false;
  size_t pos = 0;
  if (startsWith(s, kUel)) {
    pos = kUel.size();
  } else if (s.size() < kUel.size() && kUel.substr(0, s.size()) == s) {
    *partial = true;
    return s.size();
  }
  while (pos < s.size()) {
    std::string_view rest = s.substr(pos);
    if (startsWith(rest, kEnterLanguage)) return pos;
    if (rest.size() < 4) {
      *partial = std::string_view("@PJL").substr(0, rest.size()) == rest;
      return *partial ? s.size() : pos;
    }
    if (!startsWith(rest, "@PJL")) return pos;
    size_t nl = rest.find('\n');
    if (nl == std::string_view::npos) {
      *partial = true;
      return s.size();
    }
    pos += nl + 1;
  }
  return pos;
}

bool hasExpectedShape(std::string_view head, size_t expected) {
  if (head.size() < expected) return false;
  std::string_view p = head.substr(0, expected);
  if (!startsWith(p, kUel)) return false;
  p.remove_prefix(kUel.size());
  static const std::string_view lines[] = {"@PJL SET RENDERMODE=", "@PJL SET RESOLUTION="};
  for (std::string_view want : lines) {
    if (!startsWith(p, want)) return false;
    size_t nl = p.find('\n');
    if (nl == std::string_view::npos) return false;
    p.remove_prefix(nl + 1);
  }
  return p.empty();
}

}  // namespace

PreambleVerdict classifyPreamble(std::string_view head, size_t expected, bool atEnd) {
  PreambleVerdict v;
  if (head.size() < expected && !atEnd) return v;  // keep reading

  bool partial = false;
  size_t control = jobControlPrefix(head, &partial);
  size_t enter = head.find(kEnterLanguage);
  if (enter != std::string_view::npos && control == enter) {
    // The usual case: the opening lines, then the language switch.
    v.action = PreambleVerdict::Action::Discard;
    v.discard = enter;
    v.expectedShape = enter == expected && hasExpectedShape(head, expected);
    return v;
  }
  // Job-control text that may still go on: wait for more of it.
  bool mayGoOn = partial || control == head.size();
  if (mayGoOn && !atEnd && head.size() < kPreambleSearchLimit) return v;

  v.action = PreambleVerdict::Action::Discard;
  if (!partial && control == expected && hasExpectedShape(head, expected)) {
    // The usual opening, followed by something that is not job control.
    v.discard = expected;
    v.expectedShape = true;
    return v;
  }
  // No language switch in sight: drop only complete job-control text (all
  // of it when the output ends inside it), keep everything else.
  v.discard = partial ? (atEnd ? head.size() : 0) : control;
  return v;
}

}  // namespace kpx
