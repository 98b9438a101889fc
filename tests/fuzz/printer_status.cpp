// What the printer tells the filter about itself (back-channel text, lock
// and UDP status replies) on its way into "STATE:" and "ATTR:" lines for
// CUPS, and the page ends counted in the stream the filter sends.
//
// Input: the reasons CUPS already holds, a NUL, the printer's status text,
// a NUL, then bytes taken as a piece of printer stream.
#include <string>
#include <vector>

#include "fuzz_util.h"
#include "pclxl_pages.h"
#include "status_codes.h"
#include "printer_protocol.h"
#include "status_report.h"

namespace {

bool isKeywordByte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_';
}

// A line for the scheduler: one of the four forms, nothing from the
// printer's own text (a message is the title of one of its codes), one
// newline at its end and no other byte that could start another line.
void checkLine(const std::string &whole, const std::vector<int> &codes) {
  FUZZ_CHECK(!whole.empty() && whole.back() == '\n');
  const std::string line = whole.substr(0, whole.size() - 1);
  for (char c : line) FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != 0x7f);
  if (line.rfind("ATTR: ", 0) == 0) return;
  if (line.rfind("INFO:", 0) == 0) {
    const std::string title = line.substr(5);
    bool known = title.empty();
    for (int code : codes) known |= kpx::statusCode(code) && kpx::statusCode(code)->title == title;
    FUZZ_CHECK(known);
    return;
  }
  const bool add = line.rfind("STATE: +", 0) == 0;
  FUZZ_CHECK(add || line.rfind("STATE: -", 0) == 0);
  const std::string reasons = line.substr(8);
  FUZZ_CHECK(!reasons.empty());
  for (char c : reasons) FUZZ_CHECK(isKeywordByte(c) || c == ',');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::vector<std::string> f = kpxfuzz::fields(data, size, 3);

  kpx::StatusReporter reporter(f[0]);
  const std::vector<int> codes = kpx::statusCodesIn(f[1]);
  for (int code : codes) FUZZ_CHECK(code >= 0);
  if (f[1].size() > kpx::protocol::kMaxStatusReply) FUZZ_CHECK(codes.empty());

  const std::vector<std::string> first = reporter.learn(codes);
  for (const std::string &line : first) checkLine(line, codes);
  if (codes.empty()) FUZZ_CHECK(first.empty());
  for (const std::string &reason : reporter.reasons()) {
    FUZZ_CHECK(!reason.empty());
    for (char c : reason) FUZZ_CHECK(isKeywordByte(c));
  }
  // The same status told twice changes no reason the second time.
  for (const std::string &line : reporter.learn(codes)) FUZZ_CHECK(line.rfind("STATE:", 0) != 0);

  // Page ends: the count does not depend on how the stream is cut.
  const std::string &stream = f[2];
  kpx::PclXlPageCounter whole, pieces;
  const std::vector<int> all = whole.feed(stream.data(), stream.size());
  std::vector<int> cut;
  const size_t step = 1 + (size % 7);
  for (size_t at = 0; at < stream.size(); at += step) {
    const size_t n = std::min(step, stream.size() - at);
    for (int copies : pieces.feed(stream.data() + at, n)) cut.push_back(copies);
  }
  FUZZ_CHECK(all == cut);
  for (int copies : all) FUZZ_CHECK(copies >= 1);
  return 0;
}
