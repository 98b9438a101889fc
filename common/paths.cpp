#include "paths.h"

#include <cstdlib>

#include "printer_description.h"

namespace kpx {

namespace {
std::string withoutTrailingSlash(std::string s) {
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}
}  // namespace

const char *defaultPrintersRoot() { return KPX_INSTALL_ROOT; }

std::string resolvePrintersRoot(const char *envValue) {
  if (envValue == nullptr || *envValue == '\0') return defaultPrintersRoot();
  return withoutTrailingSlash(envValue);
}

std::string printersRoot() { return resolvePrintersRoot(std::getenv("ZUVA_PRINTERS_ROOT")); }

std::string usbQueueDir() { return printersRoot() + "/" + records::kUsbQueueDir; }

std::string netQueueDir() { return printersRoot() + "/" + records::kNetQueueDir; }

std::string resolveRequestRoot(const char *envValue) {
  if (envValue == nullptr || *envValue == '\0') return "/var/spool/cups";
  return withoutTrailingSlash(envValue);
}

std::string cupsRequestRoot() { return resolveRequestRoot(std::getenv("CUPS_REQUESTROOT")); }

}  // namespace kpx
