#include "printer_media.h"

#include "printer_description.h"

namespace kpxsim {

std::vector<PclxlMediaSize> printerMediaSizes() {
  std::vector<PclxlMediaSize> sizes;
  const kpx::MediaSize &def = kpx::defaultMediaSize();
  auto add = [&](const kpx::MediaSize &m) {
    sizes.push_back({m.pclxlMedia, m.keyword, static_cast<double>(m.width), static_cast<double>(m.height)});
  };
  add(def);
  for (const kpx::MediaSize &m : kpx::mediaSizes())
    if (&m != &def) add(m);
  return sizes;
}

}  // namespace kpxsim
