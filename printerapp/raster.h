// Raster jobs: PWG and Apple raster as the client streams it, and the PNG
// and JPEG pages PAPPL renders; each page checked, made 1-bit and sent as
// PCL XL raster behind the job's ticket.
#pragma once

#include <pappl/pappl.h>

namespace kpxapp {

// Sets the driver's raster callbacks (behind pappl_guard.h's job-run gate).
void setRasterCallbacks(pappl_pr_driver_data_t *d);

}  // namespace kpxapp
