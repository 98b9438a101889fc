// CUPS filter for the KPX7720MW: PostScript in, PJL job ticket + PCL XL +
// PJL trailer out. Built as pstopxl_7720mw (USB queue) and
// pstopxl_7720mw_net (network queue); the executable's variant says which.
// The same programs run the queues' command jobs (supply and status refresh).
#include "filterflow.h"
#include "filterio.h"
#include "printerstatus.h"
#include "variant.h"

int main(int argc, char **argv) {
  if (kpx::isCommandJob()) {
    kpx::io::installCancelHandlers(kpx::thisFilter());
    return kpx::runCommandJob(kpx::thisFilter(), argc > 1 ? argv[1] : "", argc > 6 ? argv[6] : nullptr);
  }
  return kpx::runFilter(kpx::thisFilter(), argc, argv);
}
