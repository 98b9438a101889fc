// The two filters are one program built twice: once for the USB queue and
// once for the network queue. Everything that differs between them is in
// this description; the job flow asks it instead of being compiled twice.
#pragma once

#include <string>

namespace kpx {

struct FilterVariant {
  const char *programName;      // "pstopxl_7720mw" or "pstopxl_7720mw_net"
  const char *queueName;        // queue the filter serves, as named in the job log
  const char *installSubdir;    // directory under the install root for the records
  bool writesStateFile;         // keeps config/printerState up to date
  bool catchesSigint;           // SIGINT cancels the job as SIGTERM and SIGPIPE do
  bool checksLock;              // asks "LockPrinter?" before sending a job
  bool copiesBackChannelStatus; // printer status texts go into printerState
  bool ioErrorIsDrainFailure;   // a drain I/O error counts towards cancelling
  int trailerDrainSeconds;      // drain timeout after the end-of-job trailer
  bool statusOverUdp;           // asks the printer's status with "GetStatus;" over UDP
};

extern const FilterVariant kUsbFilter;
extern const FilterVariant kNetFilter;

// The variant this executable was built as (one definition per executable).
const FilterVariant &thisFilter();

// Whether a side-channel drain status counts as a failure of the printer to
// take data (timeouts and missing answers; on the network queue also I/O
// errors). Other results neither count nor reset the failure counter.
bool isCountedDrainFailure(const FilterVariant &v, int status);

}  // namespace kpx
