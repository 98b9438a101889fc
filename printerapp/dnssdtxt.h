// What the printer's DNS-SD record may say about it. PAPPL fills the TXT
// record of its IPP services by itself, with keys for features and
// certifications whatever the printer or the listeners are.
#pragma once

#include <string_view>

namespace kpxapp {

// Whether the TXT entry ("key=value", or a bare "key") stays in the
// record of the printer's _ipp._tcp and _ipps._tcp services: "TLS" only
// where the application offers TLS (shared with the network), and never
// a certification the printer does not hold.
bool keepTxtEntry(std::string_view entry, bool tlsOffered);

// Whether a printer attribute PAPPL adds to every printer claims a
// certification this printer does not hold.
bool isUnheldCertification(std::string_view attribute);

}  // namespace kpxapp
