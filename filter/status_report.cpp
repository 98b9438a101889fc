#include "status_report.h"

#include "status_codes.h"
#include "status_reasons.h"

namespace kpx {

namespace {

constexpr std::string_view kCodeMark = "CODE=";
constexpr size_t kMaxCodeDigits = 6;

// Whether a reason keyword is one that some code of ours sets. Only the
// table's own keywords count: whatever else the scheduler's list holds is
// never echoed back to it.
bool isOurs(const std::string &reason) {
  static const std::set<std::string> ours = [] {
    std::set<std::string> all;
    for (int code : statusCodes()) {
      std::optional<StatusReasons> r = statusReasons(code);
      if (!r) continue;
      if (r->standard != "none") all.insert(r->standard);
      if (!r->vendor.empty()) all.insert(r->vendor);
    }
    return all;
  }();
  return ours.count(reason) > 0;
}

std::string markerLine(int level) {
  return "ATTR: marker-colors=#000000 marker-names='Black Toner' marker-types=toner marker-levels=" +
         std::to_string(level) + " marker-low-levels=" + std::to_string(kTonerLowLevel) +
         " marker-high-levels=" + std::to_string(kTonerHighLevel) + "\n";
}

}  // namespace

std::vector<int> statusCodesIn(std::string_view text) {
  std::vector<int> codes;
  if (text.size() > kMaxStatusText) return codes;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\r', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    size_t at = line.find(kCodeMark);
    if (at != std::string_view::npos) {
      size_t from = at + kCodeMark.size(), to = from;
      while (to < line.size() && line[to] >= '0' && line[to] <= '9') ++to;
      if (to > from && to - from <= kMaxCodeDigits) codes.push_back(std::stoi(std::string(line.substr(from, to - from))));
    }
    start = end + 1;
  }
  return codes;
}

StatusReporter::StatusReporter(std::string_view currentReasons) {
  size_t start = 0;
  while (start < currentReasons.size()) {
    size_t end = currentReasons.find(',', start);
    if (end == std::string_view::npos) end = currentReasons.size();
    std::string reason(currentReasons.substr(start, end - start));
    if (isOurs(reason)) ours_.insert(reason);
    start = end + 1;
  }
}

std::vector<std::string> StatusReporter::learn(const std::vector<int> &codes) {
  std::vector<std::string> lines;
  std::set<std::string> now;
  bool known = false, low = false, empty = false;
  for (int code : codes) {
    std::optional<StatusReasons> r = statusReasons(code);
    if (!r) continue;
    known = true;
    if (r->standard != "none") now.insert(r->standard);
    if (!r->vendor.empty()) now.insert(r->vendor);
    low |= r->toner == TonerState::Low;
    empty |= r->toner == TonerState::Empty;
  }
  if (!known) return lines;
  for (const std::string &r : ours_)
    if (now.count(r) == 0) lines.push_back("STATE: -" + r + "\n");
  for (const std::string &r : now)
    if (ours_.count(r) == 0) lines.push_back("STATE: +" + r + "\n");
  lines.push_back(markerLine(empty ? kTonerLevelEmpty : low ? kTonerLevelLow : kTonerLevelUnknown));
  ours_ = std::move(now);
  return lines;
}

}  // namespace kpx
