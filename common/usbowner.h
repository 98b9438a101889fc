// One owner of the USB printer. While the printer application serves the
// printer on USB it keeps a marker file holding its process id; the USB
// status monitor does not open the device while that process lives, so the
// two never claim the interface at the same time.
#pragma once

#include <sys/types.h>

#include <string>

namespace kpx {

// "<dir>/usb-owner", dir from KPX_PRINTER_APP_RUNDIR, else
// "/run/kpx7720mw-printer-app".
std::string usbOwnerMarkerPath();

// The marker names a process that still runs (content: a decimal pid).
bool markerNamesLiveProcess(const std::string &content, bool (*alive)(pid_t));

// Reads the marker: the printer application holds the USB printer now.
bool printerAppOwnsUsb();

// For the printer application: claim (write the marker with our pid) or
// give back (remove it). False when the marker cannot be written.
bool claimUsbOwnership();
void releaseUsbOwnership();

}  // namespace kpx
