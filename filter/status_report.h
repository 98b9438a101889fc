// Telling CUPS what the printer reports: printer-state-reasons through
// "STATE:" lines, printer-state-message through "INFO:" lines and the black
// toner through "ATTR: marker-..." lines.
#pragma once

#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "status_codes.h"

namespace kpx {

// The status codes in a printer's status text, read the filter's way
// (protocol::kFilterDialect): lines separated by carriage returns, each
// mark followed by up to six decimal digits giving one code. Texts longer
// than protocol::kMaxStatusReply, and lines whose digits are missing or run
// on too long, give nothing.
std::vector<int> statusCodesIn(std::string_view text);

// Marker levels the filter reports for the black toner, besides the status
// table's high, low and empty levels (status_codes.h).
// A toner the printer calls low: under the low level, not on it, so that it
// is a low-supply notice however a client compares the two.
constexpr int kTonerLevelLow = 5;
static_assert(kTonerLevelLow < kTonerLowLevel && kTonerLevelLow > kTonerEmptyLevel);
constexpr int kTonerLevelUnknown = -3;  // IPP: unknown, some remaining

class StatusReporter {
 public:
  // Starts from the printer's reasons as CUPS gave them to the filter
  // (PRINTER_STATE_REASONS, comma-separated); of those it keeps the ones
  // that codes of ours set, so that it can take them back, and the codes
  // our own keywords name, so that a problem the printer reported before
  // this job is still known.
  explicit StatusReporter(std::string_view currentReasons);

  // The lines for CUPS once the printer reported these codes (all of one
  // status text): "STATE: -" for our reasons that no longer hold, "STATE: +"
  // for those that now do, the message ("INFO:" with the title of the most
  // severe problem; an empty "INFO:" once a problem is over) and the toner's
  // "ATTR:" line. Codes the printer table does not know are passed over;
  // with none known nothing changes.
  std::vector<std::string> learn(const std::vector<int> &codes);

  // A state of the job rather than of the printer (the rejected secure-print
  // key) joins the printer's codes, or leaves them.
  std::vector<std::string> add(int code);
  std::vector<std::string> withdraw(int code);

  // The title of the most severe warning or error among the current codes,
  // empty when there is none.
  std::string problemTitle() const;

  const std::set<std::string> &reasons() const { return ours_; }

 private:
  std::vector<std::string> become(std::vector<int> codes);

  std::set<std::string> ours_;
  std::vector<int> codes_;
};

// The lines that keep a message after the job ends. CUPS clears the
// printer's message when a job ends unless the job reported an error;
// an "ERROR:" line without text is not logged but counts as that, after the
// message was set once so that the empty one differs from it.
std::vector<std::string> heldMessage(const std::string &text);

}  // namespace kpx
