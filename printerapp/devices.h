// The printer's two ways in, as PAPPL devices (they replace PAPPL's own
// schemes, which register only when nobody registered any):
//  - "socket://HOST[:PORT]", the raw print port. The printer takes one job
//    per connection, so every job gets a connection of its own:
//    endNetworkJob() closes it and the next job's first byte reconnects
//    (PAPPL keeps a device open while more jobs wait);
//  - "usb://ZUVA/KPX7720MW", the printer on USB through the project's USB
//    link (vendor 0x7B4F, product 0x005C), listed for "autoadd" with the
//    model's IEEE 1284 device ID.
// While one of the printers is on USB, the application owns the USB printer
// (usbowner.h): the USB status monitor leaves it alone.
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

// Which of the two ways in a printer's device URI names.
bool isNetworkUri(const char *uri);
bool isUsbUri(const char *uri);

// Keeps the USB owner's marker while a printer is on USB: called with the
// printer made or deleted (present), or with none for the printers PAPPL
// loaded from its state.
void updateUsbOwner(pappl_system_t *system, pappl_printer_t *printer, bool present);

// PAPPL's printer creation and deletion callbacks: updateUsbOwner.
void printerCreated(pappl_printer_t *printer, void *);
void printerDeleted(pappl_printer_t *printer, pappl_pr_driver_data_t *);

}  // namespace kpxapp
