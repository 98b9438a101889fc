// What each status code of the printer means to IPP clients: the closest
// registered printer-state-reasons keyword (with the suffix of the code's
// message level), the generic "other" keyword beside it where desktop
// clients do not know that one, a keyword of our own per code that the PPDs
// describe with the code's own title and text, an English text, and what the
// code says about the black toner.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kpx {

// What a status code says about the black toner.
enum class TonerState { NotSaid, Low, Empty };

struct StatusReasons {
  // Registered keyword with its suffix ("media-jam-error"), or "none" for
  // the codes of a printer that is simply ready or printing.
  std::string standard;
  // "other-error" or "other-warning" where the desktop clients (GTK's print
  // dialog, system-config-printer) have neither words nor an icon for the
  // registered keyword (a jam, a missing tray, the drum, the waste toner
  // box, ...): they then still show that the printer needs the user.
  // Empty otherwise.
  std::string generic;
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

// Whether the desktop clients put a registered keyword (with its suffix) in
// words of their own: GTK's print dialog and system-config-printer know a
// handful of warnings and errors (toner, cover and door, paper low or out,
// offline, other); for any other keyword they show the PPD's text.
bool clientsTranslate(const std::string &keyword);

// The PPDs' texts of a registered keyword that some code sets and that the
// clients do not translate.
struct KeywordText {
  std::string keyword;  // with its suffix: "media-jam-error"
  std::string english;
  std::string title;    // Chinese, as short as the status table's titles
  std::string text;     // Chinese
};
// Every such keyword, sorted; a keyword without a text of its own is left
// out here and reported by missingKeywordTexts.
const std::vector<KeywordText> &keywordTexts();
std::vector<std::string> missingKeywordTexts();

}  // namespace kpx
