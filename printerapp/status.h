// The printer's state: its status asked over UDP on the network and over
// USB, shown as printer-state-reasons and printer-supply, and its own
// message in the job log.
#pragma once

#include <pappl/pappl.h>

#include <string>

namespace kpxapp {

// Asks the printer for its status: over UDP on the network, over USB while
// no job holds the device (openDevice: the job's device, or null).
std::string queryStatus(pappl_printer_t *printer, pappl_device_t *openDevice);

// PAPPL's status callback.
bool statusCallback(pappl_printer_t *printer);

// The printer's own message about its state, for the job log.
void logPrinterMessage(pappl_job_t *job, const std::string &reply);

}  // namespace kpxapp
