#include "variant.h"

const kpx::FilterVariant &kpx::thisFilter() { return kUsbFilter; }
