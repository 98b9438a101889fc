// The simulator's analysis of a whole print connection (lock queries, PJL
// ticket, PCL XL, trailer or cancel): offsets stay within the data, and
// the summary it files is one key=value line per item, with no raw control
// bytes from the stream.
#include "fuzz_util.h"
#include "pjl.h"
#include "printstream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  std::string_view bytes(reinterpret_cast<const char *>(data) + 1, size - 1);
  const kpxsim::PrintStreamSummary s = kpxsim::analyzePrintStream(bytes, data[0] & 1);
  FUZZ_CHECK(s.totalBytes == bytes.size());
  FUZZ_CHECK(s.endOffset <= s.totalBytes && s.extraBytes <= s.totalBytes);
  FUZZ_CHECK(s.pclxlOffset + s.pclxlBytes <= s.totalBytes && s.pclxlErrorOffset <= s.totalBytes);
  FUZZ_CHECK(s.pages <= s.pagesBegun);
  FUZZ_CHECK(s.badPjlLines.size() <= kpxsim::PrintStreamSummary::kMaxBadPjlLines);
  FUZZ_CHECK(s.badPjlLines.size() <= s.badPjlLineCount);
  FUZZ_CHECK(s.pclxlOk == (s.pclxl == kpxsim::PrintStreamSummary::Pclxl::Ok));
  FUZZ_CHECK(!s.hasTicket || bytes.find(kpxsim::kTicketOpening) != std::string_view::npos);
  FUZZ_CHECK(size_t(s.lockQueries) * kpxsim::kLockQuery.size() <= s.totalBytes);

  const std::string summary = kpxsim::formatSummary(s);
  for (size_t pos = 0, nl; pos < summary.size(); pos = nl + 1) {
    nl = summary.find('\n', pos);
    FUZZ_CHECK(nl != std::string::npos);
    std::string_view line(summary.data() + pos, nl - pos);
    FUZZ_CHECK(line.find('=') != std::string_view::npos);
    for (unsigned char c : line) FUZZ_CHECK(c >= 0x20 && c != 0x7f);
  }
  for (const std::string &l : s.pjlLines) {
    const kpxsim::PjlLine p = kpxsim::parsePjlLine(l);
    FUZZ_CHECK(p.kind != kpxsim::PjlLine::Kind::NotPjl || l.compare(0, 4, "@PJL") != 0);
  }
  return 0;
}
