// CUPS filter for the KPX7720MW: PostScript in, PJL job ticket + PCL XL +
// PJL trailer out. Built as pstopxl_7720mw (USB queue) and
// pstopxl_7720mw_net (network queue); the executable's variant says which.
#include "filterflow.h"
#include "variant.h"

int main(int argc, char **argv) { return kpx::runFilter(kpx::thisFilter(), argc, argv); }
