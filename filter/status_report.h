// Telling CUPS what the printer reports: printer-state-reasons through
// "STATE:" lines and the black toner through "ATTR: marker-..." lines.
#pragma once

#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace kpx {

// Longest status text that is looked at; anything longer is not a status.
constexpr size_t kMaxStatusText = 4096;

// The status codes in a printer's status text: lines separated by carriage
// returns, each "CODE=" followed by decimal digits giving one code. Texts
// longer than kMaxStatusText, and lines whose digits are missing or run on
// too long, give nothing.
std::vector<int> statusCodesIn(std::string_view text);

// Marker levels reported for the black toner.
constexpr int kTonerHighLevel = 100;
constexpr int kTonerLowLevel = 10;
constexpr int kTonerLevelLow = 5;       // below the low level: a low-supply notice
constexpr int kTonerLevelEmpty = 0;
constexpr int kTonerLevelUnknown = -3;  // IPP: unknown, some remaining

class StatusReporter {
 public:
  // Starts from the printer's reasons as CUPS gave them to the filter
  // (PRINTER_STATE_REASONS, comma-separated); of those it keeps the ones
  // that codes of ours set, so that it can take them back.
  explicit StatusReporter(std::string_view currentReasons);

  // The lines for CUPS once the printer reported these codes (all of one
  // status text): "STATE: -" for our reasons that no longer hold, "STATE: +"
  // for those that now do, and the toner's "ATTR:" line. Codes the printer
  // table does not know are passed over; with none known nothing changes.
  std::vector<std::string> learn(const std::vector<int> &codes);

  const std::set<std::string> &reasons() const { return ours_; }

 private:
  std::set<std::string> ours_;
};

}  // namespace kpx
