// The printer's status codes, every one in a single table: the message
// level, title and text the monitors show for it, the rank that decides
// which of several codes is shown, and what the code tells IPP clients (the
// closest registered printer-state-reasons keyword, a keyword of our own per
// code, an English text) and about the black toner. 286 codes; anything else
// is unknown.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kpx {

// Message levels, and the ranks of codes (a higher rank wins).
enum StatusLevel { NoLevel = 0, Information = 1, Warning = 2, Critical = 3, Quiet = 4 };

struct StatusCode {
  int level = 0;  // Information, Warning or Critical
  std::string title;  // UTF-8
  std::string text;   // UTF-8
};

// The row of a code, or nothing when the printer's code is not in the table.
std::optional<StatusCode> statusCode(int code);

// Number of codes in the table.
int statusCodeCount();

// Every code of the table, ascending.
const std::vector<int> &statusCodes();

// Name of a paper size of the paper-missing families by its size number
// (the last two digits of the code), or nullptr.
const char *familySizeName(int number);

// Rank of a code when several arrive together: its own rank for codes in the
// table; unknown codes rank as Critical, except those among the tray paper
// families that only warn (sizes the table does not name), which warn too.
int severityRank(int code);

// The codes the programs themselves write or act on.
namespace state {
constexpr int kReady = 10001;
constexpr int kInitialising = 10003;
constexpr int kCancelled = 10007;
constexpr int kPrinting = 10023;
constexpr int kNoConnection = 44444;
constexpr int kUnauthorisedLink = 88888;
constexpr int kKeyRejected = 99999;
}  // namespace state

// "CODE=<n>", the form a code takes in replies and in the printerState record.
std::string statusLine(int code);

// ---- what a code tells IPP clients

// What a status code says about the black toner.
enum class TonerState { NotSaid, Low, Empty };

// The black toner as a marker level in percent. The printer never tells a
// level, only that the toner is low or empty; the programs turn that into
// these.
constexpr int kTonerHighLevel = 100;  // marker-high-levels, and a toner not said to be low
constexpr int kTonerLowLevel = 10;    // marker-low-levels: a toner at or under it is low
constexpr int kTonerEmptyLevel = 0;

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
