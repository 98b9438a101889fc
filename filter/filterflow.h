// The job flow of the print filter, from the CUPS command line to exit.
#pragma once

#include "variant.h"

namespace kpx {

// Runs one job as CUPS starts it and returns its exit status, whichever way
// it ends (printed, cancelled, not convertible, rejected key).
int runFilter(const FilterVariant &variant, int argc, char **argv);

}  // namespace kpx
