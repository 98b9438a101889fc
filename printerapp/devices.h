// The printer's two ways in, as PAPPL devices (they replace PAPPL's own
// schemes, which register only when nobody registered any):
//  - "socket://HOST[:PORT]", the raw print port. The printer takes one job
//    per connection, so every job gets a connection of its own:
//    endNetworkJob() closes it and the next job's first byte reconnects
//    (PAPPL keeps a device open while more jobs wait);
//  - "usb://ZUVA/KPX7720MW", the printer on USB through the project's USB
//    link (vendor 0x7B4F, product 0x005C), listed for "autoadd" with the
//    model's IEEE 1284 device ID.
#pragma once

#include <pappl/pappl.h>

namespace kpxapp {

inline constexpr const char *kUsbUri = "usb://ZUVA/KPX7720MW";

void registerDevices(const char *deviceId);

// Starts a job on a connection nothing was sent on yet (a job that failed
// half-way may have left its connection open).
void beginNetworkJob(pappl_device_t *device);

// Ends the job's connection (after the trailer or cancel sequence).
void endNetworkJob(pappl_device_t *device);

}  // namespace kpxapp
