// Defences against faults of PAPPL 1.4.11 that the application cannot
// change in PAPPL itself; pappl_guard.cpp lists them.
#pragma once

#include <cups/raster.h>

namespace kpxapp {

// The header of the raster page a client streams to this thread now, as
// the client sent it, or null when this thread reads no raster stream (a
// PNG or JPEG job, a PDF job).
const cups_page_header2_t *streamedPageHeader();

// The longest a client may keep a request waiting for its next bytes, and
// the most attributes, and values of one attribute, a request may have.
inline constexpr double kStalledRequestSeconds = 30.0;
inline constexpr int kMaxRequestAttributes = 1000;
inline constexpr int kMaxAttributeValues = 500;

}  // namespace kpxapp
