// How the interpreter is asked to render: resolution, page geometry in
// device pixels and the full argument list, plus recognising the
// interpreter's own job-control text at the start of its output.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "printer_description.h"

namespace kpx {

// Whatever a PPD declares, a custom side outside 1 to 50 inches is no paper
// this printer can take (and would not fit the pixel arithmetic): such a
// range is narrowed to these limits.
constexpr CustomSizeRange kPhysicalSizeLimits = {72.0, 72.0, 3600.0, 3600.0};

struct RasterArgs {
  std::string resolution;  // "-r600x600"
  std::string geometry;    // "-g4961x7016"
  std::string fallback;    // why A4 at 600 dpi was chosen instead, empty normally
};

// Resolution and geometry arguments for a page size and resolution choice.
// A "Custom" size is printed at `custom`'s dimensions when they lie within
// range, on an A4 raster when the job gave none.
RasterArgs rasterArgsFor(const std::string &pageSize, const std::string &resolution,
                         const std::optional<CustomPageSize> &custom, const CustomSizeRange &range);

// The interpreter's argument list (argv[0] is "gs") for a duplex mode.
std::vector<std::string> interpreterArgs(Duplex duplex, const RasterArgs &raster,
                                         const std::string &mediaPosition);

// Adds what the interpreter applies itself to a document nothing applied
// it to before: copies (each page repeated, as the printer's own copies
// are) and a page range; 0 leaves the range open. They go before the input.
void addDocumentRequests(std::vector<std::string> &args, int copies, int firstPage, int lastPage);

// Bytes of job-control text the interpreter writes before its PCL XL data
// at this resolution argument: 63, or 64 at a four-digit resolution.
size_t preambleLength(const std::string &resolutionArg);

// What to drop from the start of the interpreter's output.
struct PreambleVerdict {
  enum class Action { NeedMore, Discard } action = Action::NeedMore;
  size_t discard = 0;
  bool expectedShape = false;  // the usual UEL + RENDERMODE + RESOLUTION lines
};
// head: the output so far; expected: preambleLength(); atEnd: no more output
// will come. Only job-control text (the universal exit and @PJL lines before
// "@PJL ENTER LANGUAGE") is ever discarded, never page data.
PreambleVerdict classifyPreamble(std::string_view head, size_t expected, bool atEnd);

// How much output classifyPreamble may ask for before it must decide.
constexpr size_t kPreambleSearchLimit = 4096;

}  // namespace kpx
