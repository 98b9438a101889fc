// Where the driver's files live. Every program asks here, so that the
// environment variable ZUVA_PRINTERS_ROOT can move the whole tree (private
// installs, tests, the demo) away from the packaged root.
#pragma once

#include <string>

namespace kpx {

// The packaged install root, "/opt/zuva/Printers".
const char *defaultPrintersRoot();

// The root to use given the value of ZUVA_PRINTERS_ROOT (null or empty: the
// packaged root). A trailing slash is dropped.
std::string resolvePrintersRoot(const char *envValue);

// resolvePrintersRoot(getenv("ZUVA_PRINTERS_ROOT")).
std::string printersRoot();

// "<root>/KPX7720MW" and "<root>/KPX7720MW_net".
std::string usbQueueDir();
std::string netQueueDir();

// The spool directory of CUPS: CUPS_REQUESTROOT, else "/var/spool/cups".
std::string resolveRequestRoot(const char *envValue);
std::string cupsRequestRoot();

}  // namespace kpx
