// Page and copy counting from the spooled PostScript document.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "pagecount.h"

namespace {

struct ScanCase {
  const char *name;
  std::vector<std::string> lines;  // as read, line ends included
  int pages;
  int copies;
};
std::ostream &operator<<(std::ostream &os, const ScanCase &x) { return os << x.name; }

class SpoolScanCases : public ::testing::TestWithParam<ScanCase> {};

TEST_P(SpoolScanCases, PagesAndCopies) {
  kpx::SpoolScan scan;
  for (const std::string &l : GetParam().lines) kpx::scanSpoolLine(l.c_str(), scan);
  EXPECT_EQ(scan.pages, GetParam().pages);
  EXPECT_EQ(kpx::spoolCopies(scan), GetParam().copies);
}

INSTANTIATE_TEST_SUITE_P(
    Documents, SpoolScanCases,
    ::testing::Values(
        ScanCase{"DeferredCount",
                 {"%!PS-Adobe-3.0\n", "%%Pages: (atend)\n", "%%EndComments\n", "%%Page: 1 1\n", "showpage\n",
                  "%%Trailer\n", "%%Pages: 7\n", "%%EOF\n"},
                 7, 1},
        ScanCase{"LaterCountWins", {"%!PS-Adobe-3.0\n", "%%Pages: 3\n", "%%Page: 1 1\n", "%%Pages: 5\n"}, 5, 1},
        ScanCase{"EarlierCountKeptWhenLaterIsDeferred", {"%%Pages: 4\n", "%%Pages: (atend)\n"}, 4, 1},
        ScanCase{"NoCopies", {"%!PS-Adobe-3.0\n", "%%Pages: 2\n", "%%EOF\n"}, 2, 1},
        ScanCase{"HashCopiesBeatsNumcopies",
                 {"%!PS-Adobe-3.0\n", "/#copies 4 def\n", "%%Requirements: numcopies(2)\n", "%%Pages: 1\n"}, 1, 4},
        ScanCase{"HashCopiesBeatsEarlierNumcopies",
                 {"%%Requirements: numcopies(2)\n", "/#copies 4 def\n"}, 0, 4},
        ScanCase{"OnlyNumcopies", {"%!PS-Adobe-3.0\n", "%%Requirements: numcopies(3)\n", "%%Pages: 9\n"}, 9, 3},
        ScanCase{"LaterNumcopiesWins",
                 {"%%Requirements: numcopies(3)\n", "%%Requirements: numcopies(6)\n"}, 0, 6},
        ScanCase{"LaterHashCopiesWins", {"/#copies 2 def\n", "/#copies 8 def\n"}, 0, 8},
        ScanCase{"NoPageComment", {"%!PS-Adobe-3.0\n", "%%Page: 1 1\n", "showpage\n"}, 0, 1},
        ScanCase{"NotPostScript", {"%PDF-1.7\n", "1 0 obj << /Type /Catalog >>\n", "\x89PNG\r\n"}, 0, 1},
        ScanCase{"Empty", {}, 0, 1},
        // Comments count only at the start of a line.
        ScanCase{"NotAtLineStart", {"x /#copies 4\n", "x%%Pages: 3\n", "x%%Requirements: numcopies(5)\n"}, 0, 1},
        ScanCase{"OneLeadingPercent", {"%Pages: 3\n"}, 0, 1},
        ScanCase{"NoLineEnd", {"%%Pages: 12"}, 12, 1}),
    [](const ::testing::TestParamInfo<ScanCase> &i) { return std::string(i.param.name); });

TEST(SpoolPath, FiveDigitsAtLeast) {
  struct Case {
    const char *jobId;
    const char *path;
  };
  const Case cases[] = {
      {"42", "/var/spool/cups/d00042-001"},
      {"1", "/var/spool/cups/d00001-001"},
      {"12345", "/var/spool/cups/d12345-001"},
      {"123456", "/var/spool/cups/d123456-001"},
      {"1234567", "/var/spool/cups/d1234567-001"},
      {"123456789", "/var/spool/cups/d123456789-001"},
      {"2147483647", "/var/spool/cups/d2147483647-001"},
  };
  for (const Case &c : cases) EXPECT_EQ(kpx::spoolPath("/var/spool/cups", c.jobId), c.path) << c.jobId;
  EXPECT_EQ(kpx::spoolPath("/tmp/spool", "42"), "/tmp/spool/d00042-001");
}

}  // namespace
