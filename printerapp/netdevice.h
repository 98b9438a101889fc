// The printer's raw print port as a PAPPL device ("socket://HOST[:PORT]").
// The printer takes one job per connection, so every job gets a connection
// of its own: endJob() closes it and the next job's first byte reconnects.
// (PAPPL keeps a device open while more jobs wait.)
#pragma once

#include <pappl/pappl.h>

namespace kpxapp {

void registerNetworkDevice();

// Starts a job on a connection nothing was sent on yet (a job that failed
// half-way may have left its connection open).
void beginNetworkJob(pappl_device_t *device);

// Ends the job's connection (after the trailer or cancel sequence).
void endNetworkJob(pappl_device_t *device);

}  // namespace kpxapp
