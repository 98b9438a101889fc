// The paper sizes the printer takes, for the PCL XL renderer: the printer
// description's sizes (common/printer_description.h) with the PCL XL
// MediaSize values it gives them.
#pragma once

#include <vector>

#include "pclxl_render.h"

namespace kpxsim {

// The default size (A4) first, then every other size of the description.
std::vector<PclxlMediaSize> printerMediaSizes();

}  // namespace kpxsim
