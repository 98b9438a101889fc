// What each status code of the printer means to IPP clients: the closest
// registered printer-state-reasons keyword (with the suffix of the code's
// message level), a keyword of our own per code that the PPDs describe with
// the code's own title and text, an English text, and what the code says
// about the black toner.
#pragma once

#include <optional>
#include <string>

namespace kpx {

// What a status code says about the black toner.
enum class TonerState { NotSaid, Low, Empty };

struct StatusReasons {
  // Registered keyword with its suffix ("media-jam-error"), or "none" for
  // the codes of a printer that is simply ready or printing.
  std::string standard;
  // "com.zuva.kpx7720mw-44114-error"; empty where standard is "none".
  std::string vendor;
  std::string english;
  TonerState toner = TonerState::NotSaid;
};

// The reasons of a code of the status table; nothing for unknown codes.
std::optional<StatusReasons> statusReasons(int code);

// Every vendor keyword starts with this.
extern const char kVendorReasonPrefix[];

// The suffix of a message level: 3 "-error", 2 "-warning", 1 "-report".
const char *reasonSuffix(int level);

}  // namespace kpx
