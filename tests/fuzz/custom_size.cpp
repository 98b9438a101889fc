// Custom page sizes: any option text against any range a PPD may declare.
#include <cstring>

#include "fuzz_util.h"
#include "ppdchoices.h"
#include "ticket_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 4 * sizeof(double) + 1) return 0;
  kpx::CustomSizeRange range;
  std::memcpy(&range, data, sizeof range);
  static const char *const kResolutions[] = {"300dpi", "600dpi", "1200dpi", "2400dpi", "72dpi"};
  const char *resolution = kResolutions[data[sizeof range] % 5];
  std::string options(reinterpret_cast<const char *>(data) + sizeof range + 1, size - sizeof range - 1);

  kpx::RasterArgs r = kpx::rasterArgsFor("Custom", resolution, kpx::customSizeInOptions("PageSize=Custom." + options), range);
  kpxfuzz::checkRaster(r);
  FUZZ_CHECK(r.fallback.empty() || (r.resolution == "-r600x600" && r.geometry == "-g4961x7016"));
  return 0;
}
