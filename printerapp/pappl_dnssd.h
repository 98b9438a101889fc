// The printer's DNS-SD record as PAPPL registers it with avahi, minus the
// claims PAPPL adds by itself (see dnssdtxt.h and pappl_guard.cpp).
#pragma once

namespace kpxapp {

// Whether the services registered from now on offer TLS (the application
// listens on the network); set before PAPPL registers a printer.
void setDnssdTlsOffered(bool offered);

}  // namespace kpxapp
