// The printer's driver for PAPPL: what the printer takes (media, sizes,
// trays, types, sides, raster types, resolutions), its own options, its
// callbacks, and which printer "autoadd" takes as ours.
#pragma once

#include <cstddef>

#include <pappl/pappl.h>

// The printer's icon at 48, 128 and 512 pixels (icons.cmake).
extern "C" const unsigned char kpx_icon_48[], kpx_icon_128[], kpx_icon_512[];
extern "C" const size_t kpx_icon_48_size, kpx_icon_128_size, kpx_icon_512_size;

namespace kpxapp {

inline constexpr const char *kDeviceId = "MFG:ZUVA;MDL:KPX7720MW;CMD:PJL,PCLXL;";

// The application's one driver.
extern pappl_pr_driver_t g_drivers[1];

// PAPPL's auto-add callback: our driver for the printer's device ID.
const char *autoAdd(const char *, const char *, const char *device_id, void *);

// PAPPL's driver callback.
bool driverCallback(pappl_system_t *, const char *driver_name, const char *, const char *,
                    pappl_pr_driver_data_t *d, ipp_t **attrs, void *);

}  // namespace kpxapp
