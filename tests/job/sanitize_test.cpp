// User name, title and host name come from the network and end up inside
// PJL lines. They must not be able to end a line, leave their quotes, start
// a new job, or overflow the printer's line and ticket limits.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "jobsettings.h"
#include "text_lines.h"
#include "ticket.h"

namespace {

using kpx::buildTicket;
using kpx::JobSettings;

JobSettings baseJob() {
  JobSettings job;
  job.jobId = "7";
  job.user = "alice";
  job.title = "report";
  job.logTime = "Mon,30,Dec 2025 14:05:09";
  job.jobTime = "20251230140509";
  job.hostName = "ws1";
  return job;
}

// Length of the UTF-8 sequence that starts with this lead byte (0 if none).
size_t utf8Length(char lead) {
  unsigned char c = static_cast<unsigned char>(lead);
  return c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
}

// Well-formed UTF-8 (no truncated or stray sequences).
bool isValidUtf8(const std::string &s) {
  size_t i = 0;
  while (i < s.size()) {
    size_t len = utf8Length(s[i]);
    if (len == 0 || i + len > s.size()) return false;
    for (size_t k = 1; k < len; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += len;
  }
  return true;
}

// Every byte 0x00-0x1F, then DEL, then a double quote, between two letters.
std::string hostileValue() {
  std::string v = "x";
  for (int c = 0; c < 0x20; ++c) v += static_cast<char>(c);
  v += '\x7f';
  v += '"';
  v += 'y';
  return v;
}
// What it must look like inside a PJL line: 33 blanks and a single quote.
std::string hostileSanitized() { return "x" + std::string(33, ' ') + "'" + "y"; }

TEST(SanitizePjlValue, Table) {
  struct Case {
    std::string in, out;
  };
  const std::vector<Case> cases = {
      {"alice", "alice"},
      {"", ""},
      {"a\"b", "a'b"},
      {"\"\"", "''"},
      {"a\nb\rc\td", "a b c d"},
      {std::string("a\0b", 3), "a b"},
      {"\x1b%-12345X", " %-12345X"},
      {"del\x7f", "del "},
      {"it's", "it's"},
      {"年度报告.pdf", "年度报告.pdf"},
      {"\xc3\xa9t\xc3\xa9", "\xc3\xa9t\xc3\xa9"},  // é, 2-byte sequences stay whole
      {hostileValue(), hostileSanitized()},
  };
  for (const Case &c : cases) EXPECT_EQ(kpx::sanitizePjlValue(c.in), c.out) << c.in;
}

TEST(WithoutControlBytes, KeepsQuotesButNotControlBytes) {
  EXPECT_EQ(kpx::withoutControlBytes(hostileValue()), "x" + std::string(33, ' ') + "\"y");
  EXPECT_EQ(kpx::withoutControlBytes("报告\n第二行"), "报告 第二行");
}

// Each of the three outside values, hostile, in each line that carries it,
// with and without a secure key.
TEST(TicketSanitising, EveryCarryingLine) {
  const std::string s = hostileSanitized();
  for (const char *key : {static_cast<const char *>(nullptr), "4711"}) {  // null: no key
    SCOPED_TRACE(key);
    JobSettings job = baseJob();
    if (key) job.key = key;
    job.user = hostileValue();
    job.title = hostileValue();
    job.hostName = hostileValue();
    const std::string t = buildTicket(job).text;
    std::vector<std::string> want = {
        "@PJL SET USERNAME=\"" + s + "\"\n",
        "@PJL SET JOBNAME=\"" + s + "\"\n",
        "@PJL PRINTLOG ITEM = 3," + s + "\n",
        "@PJL PRINTLOG ITEM = 4," + s + "\n",
        "@PJL JOB NAME=\"" + s + "\"\n",
    };
    if (key) want.push_back("@PJL SET LOGINUSER=\"" + s + "\"\n");
    const std::vector<std::string> lines = linesOf(t);
    for (const std::string &w : want)
      EXPECT_EQ(std::count(lines.begin(), lines.end(), w), 1) << w;
    // Same number of lines as the plain job: nothing was split.
    JobSettings plain = baseJob();
    if (key) plain.key = key;
    EXPECT_EQ(lines.size(), linesOf(buildTicket(plain).text).size());
    // The only ESC bytes are the two of the opening.
    EXPECT_EQ(std::count(t.begin(), t.end(), '\x1b'), 2);
    EXPECT_EQ(t.find('\0'), std::string::npos);
    EXPECT_EQ(t.find('\r'), std::string::npos);
  }
}

TEST(TicketSanitising, InjectedHoldLineStaysInsideTheTitle) {
  JobSettings job = baseJob();
  job.key = "1234";  // held job: a HOLD=OFF line would release it
  job.title = "x\"\n@PJL SET HOLD=OFF\n\x1b%-12345X";
  job.user = "bob\"\n@PJL SET HOLD=OFF";
  const std::string t = buildTicket(job).text;

  JobSettings plain = baseJob();
  plain.key = "1234";
  const std::vector<std::string> lines = linesOf(t);
  EXPECT_EQ(lines.size(), linesOf(buildTicket(plain).text).size());
  EXPECT_EQ(std::count(t.begin(), t.end(), '\x1b'), 2);

  // Apart from the two framing lines every line is a PJL command of ours.
  ASSERT_GE(lines.size(), 3u);
  for (size_t i = 2; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i].compare(0, 5, "@PJL "), 0) << lines[i];
    EXPECT_NE(lines[i], "@PJL SET HOLD=OFF\n");
  }
  EXPECT_NE(std::find(lines.begin(), lines.end(), "@PJL SET HOLD=STORE\n"), lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      "@PJL SET JOBNAME=\"x' @PJL SET HOLD=OFF  %-12345X\"\n"),
            lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), "@PJL SET USERNAME=\"bob' @PJL SET HOLD=OFF\"\n"),
            lines.end());
}

TEST(TicketSanitising, ChineseTitlePassesUnchanged) {
  JobSettings job = baseJob();
  job.title = "二〇二四年度报告（终稿）.pdf";
  job.user = "张三";
  const std::string t = buildTicket(job).text;
  EXPECT_NE(t.find("@PJL SET JOBNAME=\"二〇二四年度报告（终稿）.pdf\"\n"), std::string::npos);
  EXPECT_NE(t.find("@PJL JOB NAME=\"二〇二四年度报告（终稿）.pdf\"\n"), std::string::npos);
  EXPECT_NE(t.find("@PJL SET USERNAME=\"张三\"\n"), std::string::npos);
  EXPECT_NE(t.find("@PJL PRINTLOG ITEM = 3,张三\n"), std::string::npos);
}

// --- Overlong values -----------------------------------------------------------

struct LongCase {
  const char *name;
  std::string user, title, host;
};
std::ostream &operator<<(std::ostream &os, const LongCase &x) { return os << x.name; }

class TicketLimits : public ::testing::TestWithParam<LongCase> {};

TEST_P(TicketLimits, EveryLineFitsAndIsCutAtACharacter) {
  const LongCase &c = GetParam();
  for (const char *key : {static_cast<const char *>(nullptr), "9876"}) {  // null: no key
    SCOPED_TRACE(key);
    JobSettings job = baseJob();
    if (key) job.key = key;
    job.user = c.user;
    job.title = c.title;
    job.hostName = c.host;
    job.sleep = "60minutes";
    job.density = "3";
    job.resize = "5";
    const std::string t = buildTicket(job).text;
    EXPECT_LE(t.size(), kpx::kMaxTicket);
    EXPECT_TRUE(isValidUtf8(t));
    const std::vector<std::string> lines = linesOf(t);
    for (const std::string &l : lines) {
      EXPECT_LE(l.size(), kpx::kMaxTicketLine) << l.substr(0, 40);
      EXPECT_EQ(l.back(), '\n');
    }

    // No line was dropped: same line count as a job with short values.
    JobSettings shortJob = job;
    shortJob.user = "u";
    shortJob.title = "t";
    shortJob.hostName = "h";
    EXPECT_EQ(lines.size(), linesOf(buildTicket(shortJob).text).size());

    // Each carrying line starts with its keyword, keeps its closing quote,
    // holds a prefix of the value, and is cut no shorter than needed: the
    // next character of the value would not have fitted.
    struct Carrier {
      std::string keyword;
      const std::string *value;
      bool quoted;
    };
    std::vector<Carrier> carriers = {{"@PJL SET USERNAME=", &c.user, true},
                                     {"@PJL SET JOBNAME=", &c.title, true},
                                     {"@PJL PRINTLOG ITEM = 3,", &c.user, false},
                                     {"@PJL PRINTLOG ITEM = 4,", &c.host, false},
                                     {"@PJL JOB NAME=", &c.title, true}};
    if (key) carriers.push_back({"@PJL SET LOGINUSER=", &c.user, true});
    for (const Carrier &k : carriers) {
      auto it = std::find_if(lines.begin(), lines.end(),
                             [&](const std::string &l) { return l.compare(0, k.keyword.size(), k.keyword) == 0; });
      ASSERT_NE(it, lines.end()) << k.keyword;
      const std::string &l = *it;
      std::string body = l.substr(k.keyword.size(), l.size() - k.keyword.size() - 1);
      if (k.quoted) {
        ASSERT_GE(body.size(), 2u);
        EXPECT_EQ(body.front(), '"') << k.keyword;
        EXPECT_EQ(body.back(), '"') << k.keyword;
        body = body.substr(1, body.size() - 2);
      }
      EXPECT_EQ(k.value->compare(0, body.size(), body), 0) << k.keyword;
      if (body.size() < k.value->size()) {
        EXPECT_GT(l.size() + utf8Length((*k.value)[body.size()]), kpx::kMaxTicketLine) << k.keyword;
      }
    }
  }
}

std::string repeat(const std::string &unit, size_t times) {
  std::string s;
  for (size_t i = 0; i < times; ++i) s += unit;
  return s;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TicketLimits,
    ::testing::Values(
        // 300 bytes of three-byte characters in every value.
        LongCase{"Chinese300", repeat("报", 100), repeat("告", 100), repeat("机", 100)},
        // Just at and just past the room in the longest quoted lines.
        LongCase{"Ascii234", std::string(234, 'u'), std::string(235, 't'), std::string(231, 'h')},
        LongCase{"Ascii236", std::string(236, 'u'), std::string(236, 't'), std::string(233, 'h')},
        // Mixed widths, so that cuts land inside 2-, 3- and 4-byte sequences.
        LongCase{"Mixed", repeat("a\xc3\xa9\xf0\x9f\x98\x80", 90), repeat("\xe6\x96\x87\xc3\xa9", 90),
                 repeat("\xf0\x9f\x98\x80", 90)},
        LongCase{"Huge", std::string(10000, 'u'), repeat("题", 4000), std::string(10000, 'h')}),
    [](const ::testing::TestParamInfo<LongCase> &i) { return std::string(i.param.name); });

TEST(TicketLimits, ChineseTitleOf300BytesIsCutToWholeCharacters) {
  JobSettings job = baseJob();
  job.title = repeat("文", 100);  // 300 bytes
  const std::string t = buildTicket(job).text;
  // "@PJL SET JOBNAME=" + quotes + line end leave 235 bytes: 78 characters.
  EXPECT_NE(t.find("@PJL SET JOBNAME=\"" + repeat("文", 78) + "\"\n"), std::string::npos);
  EXPECT_NE(t.find("@PJL JOB NAME=\"" + repeat("文", 79) + "\"\n"), std::string::npos);
}

TEST(TicketLimits, ValuesThatFitAreNotCut) {
  JobSettings job = baseJob();
  job.user = std::string(234, 'u');   // 19 + 234 + 2 = 255 bytes
  job.title = std::string(235, 't');  // 18 + 235 + 2 = 255 bytes
  const std::string t = buildTicket(job).text;
  EXPECT_NE(t.find("@PJL SET USERNAME=\"" + job.user + "\"\n"), std::string::npos);
  EXPECT_NE(t.find("@PJL SET JOBNAME=\"" + job.title + "\"\n"), std::string::npos);
}

// --- utf8Prefix --------------------------------------------------------------------

TEST(Utf8Prefix, Table) {
  struct Case {
    std::string value;
    size_t max;
    std::string out;
  };
  const std::string zhong = "\xe4\xb8\xad";  // 中
  const std::string smile = "\xf0\x9f\x98\x80";
  const std::vector<Case> cases = {
      {"", 0, ""},
      {"", 5, ""},
      {"abc", 0, ""},
      {"abc", 2, "ab"},
      {"abc", 3, "abc"},
      {"abc", 100, "abc"},
      {zhong + zhong, 6, zhong + zhong},
      {zhong + zhong, 5, zhong},
      {zhong + zhong, 4, zhong},
      {zhong + zhong, 3, zhong},
      {zhong + zhong, 2, ""},
      {zhong + zhong, 1, ""},
      {"a" + smile, 4, "a"},
      {"a" + smile, 5, "a" + smile},
      {smile, 3, ""},
      {"a\xc3\xa9", 2, "a"},
      {"a\xc3\xa9" "b", 3, "a\xc3\xa9"},
      {"ab" + zhong, 2, "ab"},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(kpx::utf8Prefix(c.value, c.max), c.out) << c.value << " / " << c.max;
  }
}

}  // namespace
