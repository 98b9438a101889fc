// netmonitor: the shared monitor with the UDP status exchange; no USB link.
#include "variant.h"

namespace kpxmon {

const MonitorVariant &programVariant() {
  static const MonitorVariant variant = netVariant();
  return variant;
}

}  // namespace kpxmon
