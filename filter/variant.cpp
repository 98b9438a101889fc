#include "variant.h"

#include <cups/sidechannel.h>

#include "printer_description.h"

namespace kpx {

const FilterVariant kUsbFilter = {
    "pstopxl_7720mw", "KPX7720MW", records::kUsbQueueDir,
    /*writesStateFile=*/true, /*catchesSigint=*/false, /*checksLock=*/false,
    /*copiesBackChannelStatus=*/true, /*ioErrorIsDrainFailure=*/false,
    /*trailerDrainSeconds=*/3, /*statusOverUdp=*/false,
};

const FilterVariant kNetFilter = {
    "pstopxl_7720mw_net", "KPX7720MW-net", records::kNetQueueDir,
    /*writesStateFile=*/false, /*catchesSigint=*/true, /*checksLock=*/true,
    /*copiesBackChannelStatus=*/false, /*ioErrorIsDrainFailure=*/true,
    /*trailerDrainSeconds=*/5, /*statusOverUdp=*/true,
};

bool isCountedDrainFailure(const FilterVariant &v, int status) {
  switch (status) {
    case CUPS_SC_STATUS_TIMEOUT:
    case CUPS_SC_STATUS_NO_RESPONSE:
      return true;
    case CUPS_SC_STATUS_IO_ERROR:
      return v.ioErrorIsDrainFailure;
    default:
      return false;
  }
}

}  // namespace kpx
