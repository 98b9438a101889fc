// Recognising the interpreter's own job-control text at the start of its
// output, which our ticket replaces. Only that text may be dropped: never a
// byte of the PCL XL stream that follows "@PJL ENTER LANGUAGE".
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "geometry.h"

namespace {

using kpx::classifyPreamble;
using kpx::PreambleVerdict;
using Action = PreambleVerdict::Action;

const std::string kUel = "\x1b%-12345X";
const std::string kEnter = "@PJL ENTER LANGUAGE = PCLXL\n";

// The PCL XL stream header and a few binary operators, as the pxlmono
// device writes them (the header ends in a NUL byte).
std::string pclxlData() {
  std::string d = ") HP-PCL XL;1;1;Comment Copyright Artifex Sofware, Inc. 2005-2023";
  d += '\0';
  d += '\n';
  const unsigned char ops[] = {0xc0, 0x00, 0xf8, 0x86, 0xc0, 0x03, 0xf8, 0x8f, 0xd1, 0x58, 0x02,
                               0x58, 0x02, 0xf8, 0x89, 0x41, 0xc0, 0x00, 0xf8, 0x26, 0x43, 0x1b};
  for (int round = 0; round < 8; ++round)
    for (unsigned char c : ops) d += static_cast<char>(c);
  return d;
}

// Ghostscript's opening: no line end after the universal exit.
std::string gsOpening(const std::string &dpi) {
  return kUel + "@PJL SET RENDERMODE=GRAYSCALE\n@PJL SET RESOLUTION=" + dpi + "\n";
}

// Feeds the output in pieces of `step` bytes, as reads from a pipe would
// deliver it, until a verdict other than NeedMore; at the end of the output
// the last call is made with atEnd set.
PreambleVerdict feed(const std::string &output, size_t expected, size_t step) {
  size_t have = 0;
  for (;;) {
    have = std::min(output.size(), have + step);
    bool atEnd = have == output.size();
    PreambleVerdict v = classifyPreamble(std::string_view(output).substr(0, have), expected, atEnd);
    if (v.action != Action::NeedMore) return v;
    if (atEnd) {
      ADD_FAILURE() << "NeedMore at the end of the output";
      return v;
    }
  }
}

struct GsCase {
  const char *dpi;
  size_t expected;
};
std::ostream &operator<<(std::ostream &os, const GsCase &x) { return os << x.dpi << " dpi"; }

class RealOpening : public ::testing::TestWithParam<GsCase> {};

TEST_P(RealOpening, DiscardsExactlyTheOpening) {
  const GsCase &c = GetParam();
  const std::string opening = gsOpening(c.dpi);
  ASSERT_EQ(opening.size(), c.expected);
  const std::string output = opening + kEnter + pclxlData();
  for (bool atEnd : {false, true}) {
    PreambleVerdict v = classifyPreamble(output, c.expected, atEnd);
    EXPECT_EQ(v.action, Action::Discard);
    EXPECT_EQ(v.discard, c.expected);
    EXPECT_TRUE(v.expectedShape);
  }
}

TEST_P(RealOpening, NeedsMoreUntilTheOpeningIsComplete) {
  const GsCase &c = GetParam();
  const std::string output = gsOpening(c.dpi) + kEnter + pclxlData();
  for (size_t n = 0; n < c.expected; ++n) {
    PreambleVerdict v = classifyPreamble(std::string_view(output).substr(0, n), c.expected, false);
    EXPECT_EQ(v.action, Action::NeedMore) << n;
  }
  // At exactly the opening's length more job control could still follow:
  // the next byte decides.
  PreambleVerdict v = classifyPreamble(std::string_view(output).substr(0, c.expected), c.expected, false);
  EXPECT_EQ(v.action, Action::NeedMore);
  v = classifyPreamble(std::string_view(output).substr(0, c.expected + 1), c.expected, false);
  EXPECT_EQ(v.action, Action::NeedMore) << "an '@' may start another job-control line";
  v = classifyPreamble(std::string_view(output).substr(0, c.expected), c.expected, true);
  EXPECT_EQ(v.action, Action::Discard);
  EXPECT_EQ(v.discard, c.expected);
  for (size_t step : {1u, 2u, 5u, 13u, 64u, 4096u}) {
    PreambleVerdict f = feed(output, c.expected, step);
    EXPECT_EQ(f.action, Action::Discard) << step;
    EXPECT_EQ(f.discard, c.expected) << step;
  }
}

// An interpreter that stops within its opening sends no page data: all of
// what it wrote is job-control text and goes.
TEST_P(RealOpening, ShortOutputAtTheEndIsDiscardedWhole) {
  const GsCase &c = GetParam();
  const std::string opening = gsOpening(c.dpi);
  for (size_t n = 0; n <= opening.size(); ++n) {
    PreambleVerdict v = classifyPreamble(std::string_view(opening).substr(0, n), c.expected, true);
    EXPECT_EQ(v.action, Action::Discard) << n;
    EXPECT_EQ(v.discard, n) << n;
  }
}

INSTANTIATE_TEST_SUITE_P(Resolutions, RealOpening,
                         ::testing::Values(GsCase{"300", 63}, GsCase{"600", 63}, GsCase{"1200", 64}),
                         [](const ::testing::TestParamInfo<GsCase> &i) { return std::string("R") + i.param.dpi; });

// Openings of another shape: whatever job-control text comes before the
// language switch is dropped, and only that.
struct OtherOpening {
  const char *name;
  std::string opening;
};
std::ostream &operator<<(std::ostream &os, const OtherOpening &x) { return os << x.name; }

class DifferentOpening : public ::testing::TestWithParam<OtherOpening> {};

TEST_P(DifferentOpening, DiscardsUpToTheLanguageSwitch) {
  const std::string &opening = GetParam().opening;
  const std::string output = opening + kEnter + pclxlData();
  for (size_t expected : {63u, 64u}) {
    for (size_t step : {1u, 7u, 63u, 100u, 4096u}) {
      PreambleVerdict v = feed(output, expected, step);
      EXPECT_EQ(v.action, Action::Discard) << expected << "/" << step;
      EXPECT_EQ(v.discard, opening.size()) << expected << "/" << step;
    }
    PreambleVerdict whole = classifyPreamble(output, expected, false);
    EXPECT_EQ(whole.discard, opening.size()) << expected;
    EXPECT_EQ(output.compare(whole.discard, 19, "@PJL ENTER LANGUAGE"), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, DifferentOpening,
    ::testing::Values(
        OtherOpening{"ExtraLineAfter", gsOpening("600") + "@PJL SET BITSPERPIXEL=1\n"},
        OtherOpening{"ExtraLineBefore", kUel + "@PJL SET JOBATTR=\"gs\"\n" +
                                            "@PJL SET RENDERMODE=GRAYSCALE\n@PJL SET RESOLUTION=600\n"},
        OtherOpening{"BlanksAroundEquals", kUel + "@PJL SET RENDERMODE = GRAYSCALE\n@PJL SET RESOLUTION = 600\n"},
        OtherOpening{"ShorterRenderMode", kUel + "@PJL SET RENDERMODE=GRAY\n@PJL SET RESOLUTION=600\n"},
        OtherOpening{"LongerRenderMode", kUel + "@PJL SET RENDERMODE=GRAYSCALE8\n@PJL SET RESOLUTION=600\n"},
        OtherOpening{"CrLf", kUel + "@PJL SET RENDERMODE=GRAYSCALE\r\n@PJL SET RESOLUTION=600\r\n"},
        OtherOpening{"ResolutionOnly", kUel + "@PJL SET RESOLUTION=600\n"},
        OtherOpening{"OtherResolution", gsOpening("1200")},
        OtherOpening{"LowResolution", gsOpening("300")},
        OtherOpening{"BarePjlLine", kUel + "@PJL\n@PJL SET RENDERMODE=GRAYSCALE\n@PJL SET RESOLUTION=600\n"},
        OtherOpening{"UelOnly", kUel},
        OtherOpening{"NoUel", "@PJL SET RENDERMODE=GRAYSCALE\n@PJL SET RESOLUTION=600\n"},
        OtherOpening{"Nothing", ""}),
    [](const ::testing::TestParamInfo<OtherOpening> &i) { return std::string(i.param.name); });

// Output without any job-control text keeps every byte.
TEST(Preamble, BinaryWithoutPjlIsKept) {
  const std::string pcl = pclxlData();
  ASSERT_GT(pcl.size(), 64u);
  std::string pcl5 = "\x1b" "E\x1b&l0O\x1b*t600R";
  pcl5 += std::string(80, '\xff');
  std::string binary;
  for (int i = 0; i < 256; ++i) binary += static_cast<char>(255 - i);
  // PCL XL data whose later bytes happen to spell the language switch.
  const std::string spelled = pcl + kEnter + pcl;
  for (const std::string &out : {pcl, pcl5, binary, spelled}) {
    for (size_t expected : {63u, 64u}) {
      for (bool atEnd : {false, true}) {
        PreambleVerdict v = classifyPreamble(out, expected, atEnd);
        EXPECT_EQ(v.action, Action::Discard);
        EXPECT_EQ(v.discard, 0u);
        EXPECT_FALSE(v.expectedShape);
      }
      PreambleVerdict f = feed(out, expected, 16);
      EXPECT_EQ(f.discard, 0u);
    }
  }
  // Short binary output at the end: nothing of it is job-control text.
  for (const std::string &out : {std::string("\xc0\x00\xf8", 3), std::string(") HP-PCL XL;1;1;"), std::string(40, 'A')}) {
    PreambleVerdict v = classifyPreamble(out, 63, true);
    EXPECT_EQ(v.action, Action::Discard);
    EXPECT_EQ(v.discard, 0u) << out;
  }
}

// Whatever the shape, at the end of the output a decision is made, and the
// page data after the language switch is never touched.
TEST(Preamble, NeverDiscardsPastTheLanguageSwitch) {
  const std::vector<std::string> openings = {gsOpening("600"), gsOpening("1200"), kUel,
                                             kUel + "@PJL SET RENDERMODE=GRAYSCALE\n", ""};
  for (const std::string &o : openings) {
    const std::string output = o + kEnter + pclxlData();
    for (size_t n = 0; n <= output.size(); ++n) {
      std::string_view head = std::string_view(output).substr(0, n);
      for (size_t expected : {63u, 64u}) {
        PreambleVerdict v = classifyPreamble(head, expected, true);
        ASSERT_EQ(v.action, Action::Discard) << n;
        if (n >= o.size() + 19) {  // the language switch is in sight
          ASSERT_EQ(v.discard, o.size()) << o << " n=" << n << " expected=" << expected;
        } else {
          ASSERT_LE(v.discard, n) << o << " n=" << n << " expected=" << expected;
        }
        PreambleVerdict more = classifyPreamble(head, expected, false);
        if (more.action == Action::Discard) {
          ASSERT_LE(more.discard, o.size()) << n;
        }
      }
    }
  }
}

}  // namespace
