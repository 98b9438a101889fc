#include "variant.h"

const kpx::FilterVariant &kpx::thisFilter() { return kNetFilter; }
