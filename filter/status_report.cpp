#include "status_report.h"

#include <algorithm>

#include "printer_protocol.h"
#include "status_codes.h"

namespace kpx {

namespace {

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
      if (!r->generic.empty()) all.insert(r->generic);
      if (!r->vendor.empty()) all.insert(r->vendor);
    }
    return all;
  }();
  return ours.count(reason) > 0;
}

// The code one of our vendor keywords stands for, 0 for other keywords.
int codeOfVendorReason(const std::string &reason) {
  const std::string prefix = kVendorReasonPrefix;
  if (reason.compare(0, prefix.size(), prefix) != 0) return 0;
  size_t end = prefix.size();
  while (end < reason.size() && end - prefix.size() < kMaxCodeDigits && reason[end] >= '0' && reason[end] <= '9')
    ++end;
  if (end == prefix.size()) return 0;
  const int code = std::stoi(reason.substr(prefix.size(), end - prefix.size()));
  std::optional<StatusReasons> r = statusReasons(code);
  return r && r->vendor == reason ? code : 0;
}

// The most severe warning or error among codes (the first of equals), 0
// when there is none.
int problemOf(const std::vector<int> &codes) {
  int worst = 0;
  for (int code : codes) {
    std::optional<StatusCode> row = statusCode(code);
    if (!row || (row->level != Warning && row->level != Critical)) continue;
    if (worst == 0 || severityRank(code) > severityRank(worst)) worst = code;
  }
  return worst;
}

std::string markerLine(int level) {
  return "ATTR: marker-colors=#000000 marker-names='Black Toner' marker-types=toner marker-levels=" +
         std::to_string(level) + " marker-low-levels=" + std::to_string(kTonerLowLevel) +
         " marker-high-levels=" + std::to_string(kTonerHighLevel) + "\n";
}

}  // namespace

std::vector<int> statusCodesIn(std::string_view text) { return protocol::codesIn(text, protocol::kFilterDialect); }

StatusReporter::StatusReporter(std::string_view currentReasons) {
  size_t start = 0;
  while (start < currentReasons.size()) {
    size_t end = currentReasons.find(',', start);
    if (end == std::string_view::npos) end = currentReasons.size();
    std::string reason(currentReasons.substr(start, end - start));
    if (isOurs(reason)) ours_.insert(reason);
    if (int code = codeOfVendorReason(reason)) codes_.push_back(code);
    start = end + 1;
  }
}

std::vector<std::string> StatusReporter::become(std::vector<int> codes) {
  std::vector<std::string> lines;
  std::set<std::string> now;
  for (int code : codes) {
    std::optional<StatusReasons> r = statusReasons(code);
    if (r->standard != "none") now.insert(r->standard);
    if (!r->generic.empty()) now.insert(r->generic);
    if (!r->vendor.empty()) now.insert(r->vendor);
  }
  for (const std::string &r : ours_)
    if (now.count(r) == 0) lines.push_back("STATE: -" + r + "\n");
  for (const std::string &r : now)
    if (ours_.count(r) == 0) lines.push_back("STATE: +" + r + "\n");
  const std::string before = problemTitle();
  ours_ = std::move(now);
  codes_ = std::move(codes);
  const std::string after = problemTitle();
  if (after != before) lines.push_back("INFO:" + after + "\n");
  return lines;
}

std::vector<std::string> StatusReporter::learn(const std::vector<int> &codes) {
  std::vector<int> known;
  bool low = false, empty = false;
  for (int code : codes) {
    std::optional<StatusReasons> r = statusReasons(code);
    if (!r) continue;
    known.push_back(code);
    low |= r->toner == TonerState::Low;
    empty |= r->toner == TonerState::Empty;
  }
  if (known.empty()) return {};
  std::vector<std::string> lines = become(std::move(known));
  lines.push_back(markerLine(empty ? kTonerEmptyLevel : low ? kTonerLevelLow : kTonerLevelUnknown));
  return lines;
}

std::vector<std::string> StatusReporter::add(int code) {
  if (!statusReasons(code) || std::find(codes_.begin(), codes_.end(), code) != codes_.end()) return {};
  std::vector<int> codes = codes_;
  codes.push_back(code);
  return become(std::move(codes));
}

std::vector<std::string> StatusReporter::withdraw(int code) {
  std::vector<int> codes = codes_;
  codes.erase(std::remove(codes.begin(), codes.end(), code), codes.end());
  if (codes.size() == codes_.size()) return {};
  return become(std::move(codes));
}

std::string StatusReporter::problemTitle() const {
  const int problem = problemOf(codes_);
  return problem != 0 ? statusCode(problem)->title : std::string();
}

std::vector<std::string> heldMessage(const std::string &text) {
  return {"INFO:" + text + "\n", "ERROR:\n", "INFO:" + text + "\n"};
}

}  // namespace kpx
