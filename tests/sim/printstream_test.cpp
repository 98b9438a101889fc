// The print-stream analyser on streams built from real Ghostscript output,
// wrapped the way the filter sends it, and on cut and corrupted copies.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "printstream.h"
#include "sim_test_util.h"

using kpxsim::analyzePrintStream;
using kpxsim::PrintStreamSummary;
using End = kpxsim::PrintStreamSummary::End;
using Pclxl = kpxsim::PrintStreamSummary::Pclxl;

namespace {

struct Sample {
  int pages;
  int dpi;
  bool duplex;
  std::string gs;  // raw Ghostscript output
};

class GsStreams : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new simtest::TempDir();
    samples_ = new std::map<std::string, Sample>();
    auto add = [](const std::string &name, const std::string &ps, int pages, int dpi, bool duplex) {
      (*samples_)[name] = Sample{pages, dpi, duplex, simtest::ghostscriptPxl(*dir_, ps, dpi, duplex)};
    };
    add("text1", simtest::textPages(1), 1, 600, false);
    add("text3", simtest::textPages(3), 3, 600, false);
    add("text20", simtest::textPages(20), 20, 600, false);
    add("text3-300", simtest::textPages(3), 3, 300, false);
    add("text3-1200", simtest::textPages(3), 3, 1200, false);
    add("duplex3", simtest::textPages(3), 3, 600, true);
    add("image", simtest::imagePage(), 1, 600, false);
  }
  static void TearDownTestSuite() {
    delete samples_;
    delete dir_;
  }
  static const Sample &sample(const std::string &name) { return samples_->at(name); }
  static std::string job(const std::string &name) {
    const Sample &s = sample(name);
    return simtest::filterStream(s.gs, s.dpi, simtest::typicalTicketLines());
  }
  static std::string trailer() { return std::string(kpxsim::kEojTrailer); }
  static std::string cancel() { return std::string(kpxsim::kCancelSequence); }

  static simtest::TempDir *dir_;
  static std::map<std::string, Sample> *samples_;
};

simtest::TempDir *GsStreams::dir_ = nullptr;
std::map<std::string, Sample> *GsStreams::samples_ = nullptr;

}  // namespace

TEST_F(GsStreams, GhostscriptOpeningIsWhatTheFilterDrops) {
  for (const auto &kv : *samples_) {
    const Sample &s = kv.second;
    size_t preamble = s.dpi >= 1000 ? 64 : 63;
    ASSERT_GT(s.gs.size(), preamble) << kv.first;
    EXPECT_EQ(s.gs.compare(preamble, 27, "@PJL ENTER LANGUAGE = PCLXL"), 0) << kv.first;
  }
}

TEST_F(GsStreams, CompleteJobsAtEveryResolutionAndDuplex) {
  for (const auto &kv : *samples_) {
    const Sample &smp = kv.second;
    std::string bytes = job(kv.first) + trailer();
    PrintStreamSummary s = analyzePrintStream(bytes, true);
    SCOPED_TRACE(kv.first);
    EXPECT_TRUE(s.hasTicket);
    EXPECT_EQ(s.lockQueries, 0);
    EXPECT_EQ(s.language, "PCLXL");
    EXPECT_EQ(s.pclxl, Pclxl::Ok) << s.pclxlError;
    EXPECT_TRUE(s.pclxlOk);
    EXPECT_TRUE(s.pclxlEndedByUel);
    EXPECT_EQ(s.pages, smp.pages);
    EXPECT_EQ(s.pagesBegun, smp.pages);
    EXPECT_EQ(s.sessions, 1);
    EXPECT_EQ(s.end, End::Trailer);
    EXPECT_EQ(s.endOffset, bytes.size() - kpxsim::kEojTrailer.size());
    EXPECT_EQ(s.extraBytes, 0u);
    EXPECT_EQ(s.totalBytes, bytes.size());
    // PCL XL runs from its header to the UEL Ghostscript ends with.
    EXPECT_EQ(bytes.compare(s.pclxlOffset, 12, ") HP-PCL XL;"), 0);
    EXPECT_EQ(s.pclxlOffset + s.pclxlBytes + kpxsim::kUel.size(), s.endOffset);
    EXPECT_TRUE(s.badPjlLines.empty());
  }
}

TEST_F(GsStreams, TicketFieldsAreParsed) {
  std::vector<std::string> lines = simtest::typicalTicketLines();
  lines[1] = "@PJL SET HOLD=STORE";
  lines.insert(lines.begin() + 2, "@PJL SET HOLDTYPE=PRIVATE");
  lines.insert(lines.begin() + 3, "@PJL SET HOLDKEY=0427");
  lines.push_back("@PJL SET DENSITY=3");
  lines.push_back("@PJL DEFAULT AUTOSLEEP=ON");
  lines.push_back("@PJL DEFAULT TIMEOUTSLEEP=60minutes");
  lines.push_back("@PJL SET AUTOSLEEP=ON");
  lines.push_back("@PJL SET TIMEOUTSLEEP=60minutes");
  std::string bytes = simtest::filterStream(sample("text3").gs, 600, lines) + trailer();
  PrintStreamSummary s = analyzePrintStream(bytes, true);

  ASSERT_FALSE(s.setVars.empty());
  EXPECT_EQ(s.setVars.front(), (std::pair<std::string, std::string>("RENDERMODE", "GRAYSCALE")));
  EXPECT_EQ(s.setVars[1].first, "REPRINT");
  EXPECT_TRUE(s.held);
  EXPECT_EQ(s.holdKey, "0427");
  ASSERT_NE(s.setValue("USERNAME"), nullptr);
  EXPECT_EQ(*s.setValue("USERNAME"), "alice");
  EXPECT_EQ(*s.setValue("JOBNAME"), "report");
  EXPECT_EQ(*s.setValue("DENSITY"), "3");
  EXPECT_EQ(*s.setValue("TIMEOUTSLEEP"), "60minutes");
  EXPECT_EQ(s.setValue("PAPER"), nullptr);
  EXPECT_EQ(s.jobTime, "20250106101112");
  EXPECT_EQ(s.jobName, "report");
  ASSERT_EQ(s.printLog.size(), 4u);
  EXPECT_EQ(s.printLog.at(1), "PRINTER");
  EXPECT_EQ(s.printLog.at(2), "Mon,06,Jan 2025 10:11:12");
  EXPECT_EQ(s.printLog.at(3), "alice");
  EXPECT_EQ(s.printLog.at(4), "host1");
  ASSERT_EQ(s.defaultVars.size(), 2u);
  EXPECT_EQ(*s.defaultValue("TIMEOUTSLEEP"), "60minutes");
  // Every line of the ticket, the opening's bare "@PJL", and the language switch.
  EXPECT_EQ(s.pjlLines.size(), lines.size() + 3);
  EXPECT_EQ(s.pjlLines.front(), "@PJL");
  EXPECT_EQ(s.pjlLines.back(), "@PJL ENTER LANGUAGE = PCLXL");
  EXPECT_EQ(s.pages, 3);
}

TEST_F(GsStreams, OddValuesInTheTicket) {
  // Values go into the ticket unescaped: a quote stays, a line end splits.
  std::vector<std::string> lines = {"@PJL SET USERNAME=\"o\"brien\"",
                                    "@PJL SET JOBNAME=\"two\nlines\"", "@PJL JOB NAME=\"x = y\""};
  PrintStreamSummary s =
      analyzePrintStream(simtest::filterStream(sample("text1").gs, 600, lines) + trailer(), true);
  EXPECT_EQ(*s.setValue("USERNAME"), "o\"brien");
  EXPECT_EQ(*s.setValue("JOBNAME"), "\"two");
  ASSERT_EQ(s.badPjlLines.size(), 1u);
  EXPECT_EQ(s.badPjlLines[0], "lines\"");
  EXPECT_EQ(s.jobName, "x = y");
  EXPECT_EQ(s.pages, 1);
  EXPECT_EQ(s.pclxl, Pclxl::Ok);

  // Plain text where the ticket should be: counted, only the first kept.
  std::string text;
  for (int i = 0; i < 1000; ++i) text += "line " + std::to_string(i) + "\n";
  PrintStreamSummary t = analyzePrintStream(text, true);
  EXPECT_EQ(t.badPjlLineCount, 1000u);
  EXPECT_EQ(t.badPjlLines.size(), PrintStreamSummary::kMaxBadPjlLines);
  EXPECT_EQ(t.badPjlLines[0], "line 0");
  EXPECT_EQ(t.pclxl, Pclxl::None);
  EXPECT_NE(kpxsim::formatSummary(t).find("bad_pjl_lines=1000\n"), std::string::npos);
}

TEST_F(GsStreams, CutAtManyOffsetsNeverCrashesNorPasses) {
  for (const char *name : {"text3", "image"}) {
    std::string full = job(name);
    PrintStreamSummary whole = analyzePrintStream(full, true);
    ASSERT_EQ(whole.pclxl, Pclxl::Ok);
    size_t pclEnd = whole.pclxlOffset + whole.pclxlBytes;  // the UEL
    size_t step = 1;
    for (size_t cut = 0; cut < pclEnd; cut += step) {
      // Every byte around the start, then sparser.
      step = cut < whole.pclxlOffset + 3000 ? 1 : 61;
      PrintStreamSummary s = analyzePrintStream(std::string_view(full).substr(0, cut), true);
      ASSERT_NE(s.pclxl, Pclxl::Ok) << name << " cut at " << cut;
      EXPECT_FALSE(s.pclxlOk);
      EXPECT_EQ(s.end, End::Disconnect) << name << " cut at " << cut;
      EXPECT_LE(s.pages, sample(name).pages);
      EXPECT_EQ(s.totalBytes, cut);
      if (s.pclxl == Pclxl::Malformed) {
        EXPECT_GE(s.pclxlErrorOffset, whole.pclxlOffset);
        EXPECT_LE(s.pclxlErrorOffset, cut);
        EXPECT_FALSE(s.pclxlError.empty());
      }
    }
  }
}

TEST_F(GsStreams, PageCountGrowsWithTheCut) {
  std::string full = job("text20");
  PrintStreamSummary whole = analyzePrintStream(full, true);
  int last = 0;
  for (size_t cut = whole.pclxlOffset; cut < whole.pclxlOffset + whole.pclxlBytes; cut += 997) {
    PrintStreamSummary s = analyzePrintStream(std::string_view(full).substr(0, cut), false);
    EXPECT_EQ(s.end, End::Open);
    EXPECT_GE(s.pages, last);
    last = s.pages;
  }
  EXPECT_GE(last, 18);
  EXPECT_LT(last, 20);
}

TEST_F(GsStreams, CorruptedStreamsAreMalformedAtTheRightPlace) {
  std::string full = job("text3");
  PrintStreamSummary whole = analyzePrintStream(full, true);
  size_t firstToken = full.find('\n', whole.pclxlOffset) + 1;
  size_t uelAt = whole.pclxlOffset + whole.pclxlBytes;

  std::string early = full;
  early.insert(firstToken, 1, '\xc7');
  PrintStreamSummary a = analyzePrintStream(early + trailer(), true);
  EXPECT_EQ(a.pclxl, Pclxl::Malformed);
  EXPECT_EQ(a.pclxlErrorOffset, firstToken);
  EXPECT_NE(a.pclxlError.find("unknown tag 0xC7"), std::string::npos) << a.pclxlError;
  EXPECT_EQ(a.pages, 0);
  EXPECT_EQ(a.end, End::Trailer);  // the trailer still arrived

  std::string late = full;
  late.insert(uelAt, 1, '\xff');
  PrintStreamSummary b = analyzePrintStream(late + trailer(), true);
  EXPECT_EQ(b.pclxl, Pclxl::Malformed);
  EXPECT_EQ(b.pclxlErrorOffset, uelAt);
  EXPECT_EQ(b.pages, 3);
  EXPECT_EQ(b.end, End::Trailer);

  std::string header = full;
  header[whole.pclxlOffset + 3] = 'X';  // ") HX-PCL XL"
  PrintStreamSummary c = analyzePrintStream(header + trailer(), true);
  EXPECT_EQ(c.pclxl, Pclxl::Malformed);
  EXPECT_EQ(c.pclxlErrorOffset, whole.pclxlOffset);
}

TEST_F(GsStreams, CancelAfterPartialPageData) {
  std::string full = job("text20");
  PrintStreamSummary whole = analyzePrintStream(full, true);
  size_t pclEnd = whole.pclxlOffset + whole.pclxlBytes;
  int pagesBefore = -1;
  for (size_t cut = whole.pclxlOffset + 100; cut < pclEnd; cut += 1231) {
    std::string bytes = full.substr(0, cut) + cancel();
    PrintStreamSummary s = analyzePrintStream(bytes, true);
    ASSERT_EQ(s.end, End::Cancel) << "cut at " << cut;
    EXPECT_EQ(s.endOffset, cut);
    EXPECT_EQ(s.extraBytes, 0u);
    EXPECT_NE(s.pclxl, Pclxl::Ok);
    EXPECT_LE(s.pclxlOffset + s.pclxlBytes, cut);
    EXPECT_GE(s.pages, pagesBefore);
    EXPECT_LT(s.pages, 20);
    pagesBefore = s.pages;
    EXPECT_TRUE(s.hasTicket);
  }
  // Cut right after Ghostscript's last operator: complete PCL XL, then cancel.
  PrintStreamSummary s = analyzePrintStream(full.substr(0, pclEnd) + cancel(), true);
  EXPECT_EQ(s.end, End::Cancel);
  EXPECT_EQ(s.pclxl, Pclxl::Ok);
  EXPECT_EQ(s.pages, 20);
  // Cancelled before any page data: ticket, then the cancel sequence.
  size_t ticketEnd = full.find("@PJL ENTER LANGUAGE");
  PrintStreamSummary t = analyzePrintStream(full.substr(0, ticketEnd) + cancel(), true);
  EXPECT_EQ(t.end, End::Cancel);
  EXPECT_EQ(t.pclxl, Pclxl::None);
  EXPECT_EQ(t.pages, 0);
  EXPECT_EQ(*t.setValue("USERNAME"), "alice");
}

TEST_F(GsStreams, LockQueriesInFront) {
  std::string q(kpxsim::kLockQuery);
  PrintStreamSummary s = analyzePrintStream(q + q + q + job("text3") + trailer(), true);
  EXPECT_EQ(s.lockQueries, 3);
  EXPECT_FALSE(s.lockOnly);
  EXPECT_TRUE(s.hasTicket);
  EXPECT_EQ(s.pages, 3);
  EXPECT_EQ(s.end, End::Trailer);

  PrintStreamSummary only = analyzePrintStream(q + q, true);
  EXPECT_TRUE(only.lockOnly);
  EXPECT_EQ(only.lockQueries, 2);
  EXPECT_EQ(only.end, End::Disconnect);
  EXPECT_FALSE(only.hasTicket);

  // A lock query after the job started is job data, not a query.
  PrintStreamSummary late = analyzePrintStream(job("text1") + q + trailer(), true);
  EXPECT_EQ(late.lockQueries, 0);
  EXPECT_EQ(late.end, End::Trailer);
  EXPECT_EQ(late.extraBytes, q.size());
}

TEST_F(GsStreams, StreamWithoutTicket) {
  // Ghostscript's output as it stands: its own PJL lines, no ticket opening.
  PrintStreamSummary s = analyzePrintStream(sample("text3").gs + trailer(), true);
  EXPECT_FALSE(s.hasTicket);
  EXPECT_EQ(s.pclxl, Pclxl::Ok);
  EXPECT_EQ(s.pages, 3);
  EXPECT_EQ(s.end, End::Trailer);
  ASSERT_NE(s.setValue("RESOLUTION"), nullptr);
  EXPECT_EQ(*s.setValue("RESOLUTION"), "600");
  EXPECT_EQ(s.printLog.size(), 0u);

  PrintStreamSummary bare = analyzePrintStream(sample("text1").gs, true);
  EXPECT_EQ(bare.end, End::Disconnect);
  EXPECT_EQ(bare.pages, 1);
}

TEST_F(GsStreams, TicketWithoutPageData) {
  // What the printer gets when Ghostscript produced nothing past its opening.
  std::string bytes = simtest::filterStream("", 600, simtest::typicalTicketLines()) + trailer();
  PrintStreamSummary s = analyzePrintStream(bytes, true);
  EXPECT_TRUE(s.hasTicket);
  EXPECT_EQ(s.pclxl, Pclxl::None);
  EXPECT_EQ(s.pages, 0);
  EXPECT_EQ(s.end, End::Trailer);
  EXPECT_EQ(analyzePrintStream(trailer(), true).end, End::Trailer);
}

TEST_F(GsStreams, StillOpenConnection) {
  PrintStreamSummary s = analyzePrintStream(job("text3"), false);
  EXPECT_EQ(s.end, End::Open);
  EXPECT_EQ(s.pclxl, Pclxl::Ok);
  PrintStreamSummary closed = analyzePrintStream(job("text3"), true);
  EXPECT_EQ(closed.end, End::Disconnect);
}

TEST_F(GsStreams, SummaryText) {
  std::vector<std::string> lines = simtest::typicalTicketLines();
  lines.push_back("@PJL SET USERNAME=\"a\rb\"");
  std::string bytes = std::string(kpxsim::kLockQuery) +
                      simtest::filterStream(sample("text3").gs, 600, lines) + trailer();
  std::string text = kpxsim::formatSummary(analyzePrintStream(bytes, true));
  for (const char *want : {"bytes=" , "lock_queries=1\n", "ticket=yes\n", "end=trailer\n",
                           "pclxl=ok\n", "pclxl_error=\n", "pages=3\n", "held=no\n",
                           "jobname=report\n", "jobtime=20250106101112\n", "language=PCLXL\n",
                           "set.RENDERMODE=GRAYSCALE\n", "set.USERNAME=alice\n",
                           "set.USERNAME=a\\rb\n", "printlog.2=Mon,06,Jan 2025 10:11:12\n"})
    EXPECT_NE(text.find(want), std::string::npos) << want << "\n" << text;
  EXPECT_NE(text.find("bytes=" + std::to_string(bytes.size()) + "\n"), std::string::npos);
  // One key per line: the CR inside the value was escaped.
  EXPECT_EQ(text.find('\r'), std::string::npos);
}
