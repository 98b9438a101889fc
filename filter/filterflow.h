// The job flow of the print filter, from the CUPS command line to exit.
#pragma once

#include "variant.h"

namespace kpx {

// Runs one job as CUPS starts it; returns the exit status (most endings
// exit from inside, as a cancellation does).
int runFilter(const FilterVariant &variant, int argc, char **argv);

}  // namespace kpx
