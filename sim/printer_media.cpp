#include "printer_media.h"

#include <string_view>

#include "appcore.h"
#include "printer_description.h"

namespace kpxsim {

std::vector<PclxlMediaSize> printerMediaSizes() {
  std::vector<PclxlMediaSize> sizes;
  const kpx::MediaSize &def = kpx::defaultMediaSize();
  auto add = [&](const kpx::MediaSize &m) {
    int value = -1;
    for (const kpxapp::MediaSize &a : kpxapp::mediaSizes())
      if (std::string_view(a.pageSize) == m.keyword) value = a.pclxlEnum;
    sizes.push_back({value, m.keyword, static_cast<double>(m.width), static_cast<double>(m.height)});
  };
  add(def);
  for (const kpx::MediaSize &m : kpx::mediaSizes())
    if (&m != &def) add(m);
  return sizes;
}

}  // namespace kpxsim
