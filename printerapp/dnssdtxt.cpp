#include "dnssdtxt.h"

#include <strings.h>

#include <string>

namespace kpxapp {

namespace {

// DNS-SD keys compare without regard to case.
bool sameKey(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace

bool isUnheldCertification(std::string_view attribute) {
  // Mopria's: PAPPL claims version 1.3 for every printer in both the TXT
  // record and the printer attributes.
  return sameKey(attribute, "mopria-certified");
}

bool keepTxtEntry(std::string_view entry, bool tlsOffered) {
  std::string_view key = entry.substr(0, entry.find('='));
  if (isUnheldCertification(key)) return false;
  if (sameKey(key, "TLS")) return tlsOffered;
  return true;
}

}  // namespace kpxapp
