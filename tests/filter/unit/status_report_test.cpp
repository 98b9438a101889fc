// What CUPS is told of the printer's status codes: the IPP meaning of every
// code, the codes read from a status text, and the STATE/ATTR lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "status_codes.h"
#include "status_report.h"

namespace {

// printer-state-reasons keywords registered with IANA (RFC 8011 5.4.12)
// that the mapping may use.
const std::set<std::string> kRegistered = {
    "none",         "other",           "media-needed",      "media-jam",         "media-empty",
    "media-low",    "toner-low",       "toner-empty",       "cover-open",        "door-open",
    "input-tray-missing", "marker-supply-low", "marker-supply-empty", "marker-waste-almost-full",
    "marker-waste-full", "opc-near-eol", "opc-life-over",  "spool-area-full",   "fuser-over-temp",
};

TEST(StatusReasons, EveryCodeMapsToARegisteredKeywordWithItsLevelsSuffixAndAVendorKeywordOfItsOwn) {
  std::set<std::string> vendors;
  ASSERT_EQ(kpx::statusCodes().size(), 286u);
  for (int code : kpx::statusCodes()) {
    std::optional<kpx::StatusReasons> r = kpx::statusReasons(code);
    ASSERT_TRUE(r.has_value()) << code;
    EXPECT_FALSE(r->english.empty()) << code;
    if (r->standard == "none") {
      EXPECT_TRUE(r->vendor.empty()) << code;
      continue;
    }
    const std::string suffix = kpx::reasonSuffix(kpx::statusCode(code)->level);
    ASSERT_GT(r->standard.size(), suffix.size()) << code;
    EXPECT_EQ(r->standard.substr(r->standard.size() - suffix.size()), suffix) << code;
    EXPECT_EQ(kRegistered.count(r->standard.substr(0, r->standard.size() - suffix.size())), 1u)
        << code << " " << r->standard;
    EXPECT_EQ(r->vendor, kpx::kVendorReasonPrefix + std::to_string(code) + suffix);
    // What the clients cannot place still gets the printer a warning or
    // error icon there.
    const bool needsUser = suffix != "-report";
    EXPECT_EQ(r->generic, needsUser && !kpx::clientsTranslate(r->standard) ? "other" + suffix : "")
        << code << " " << r->standard;
    EXPECT_TRUE(vendors.insert(r->vendor).second) << r->vendor;
  }
  EXPECT_FALSE(kpx::statusReasons(11201).has_value());  // a size the families do not have
  EXPECT_FALSE(kpx::statusReasons(0).has_value());
}

// The English texts go into the PPDs' Latin-1 text: a paper size whose
// name is not English needs its English name in the table.
TEST(StatusReasons, EnglishTextsAreAscii) {
  for (int code : kpx::statusCodes()) {
    const std::string english = kpx::statusReasons(code)->english;
    EXPECT_TRUE(std::all_of(english.begin(), english.end(), [](char c) { return c >= ' ' && c <= '~'; }))
        << code << " " << english;
  }
}

TEST(StatusText, CodesComeFromWellFormedLinesOnly) {
  struct Case {
    std::string text;
    std::vector<int> codes;
  } cases[] = {
      {"CODE=10001\r", {10001}},
      {"CODE=10023\rCODE=10209\r", {10023, 10209}},
      {"\nCODE=44114\r\n", {44114}},
      {"STATUS=1 CODE=44114", {44114}},
      {"CODE=\rCODE=abc\rCODE=-5\r", {}},
      {"CODE=12345678901234567890", {}},
      {"TONER=40\r", {}},
      {"CODE=44114\r" + std::string(5000, 'x'), {}},  // oversized: not a status text
  };
  for (const Case &c : cases) EXPECT_EQ(kpx::statusCodesIn(c.text), c.codes) << c.text.substr(0, 40);
}

std::string marker(int level) {
  return "ATTR: marker-colors=#000000 marker-names='Black Toner' marker-types=toner marker-levels=" +
         std::to_string(level) + " marker-low-levels=10 marker-high-levels=100\n";
}

TEST(StatusReporter, ReasonsAndMessageFollowThePrinterAndReadyClearsOursOnly) {
  // CUPS's current reasons: ours from an earlier job (a jam), one not ours.
  kpx::StatusReporter r("com.zuva.kpx7720mw-44114-error,media-jam-error,other-error,paused");
  EXPECT_EQ(r.reasons(),
            (std::set<std::string>{"com.zuva.kpx7720mw-44114-error", "media-jam-error", "other-error"}));
  EXPECT_EQ(r.problemTitle(), "纸盒1卡纸");

  using Lines = std::vector<std::string>;
  // A different jam replaces the old vendor keyword and keeps the shared ones.
  EXPECT_EQ(r.learn({44115}), (Lines{"STATE: -com.zuva.kpx7720mw-44114-error\n",
                                     "STATE: +com.zuva.kpx7720mw-44115-error\n", "INFO:内部卡纸\n", marker(-3)}));
  // Printing with toner low: the jam is gone, the warning is there; clients
  // know toner-low, so no generic keyword joins it.
  EXPECT_EQ(r.learn({10023, 10209}),
            (Lines{"STATE: -com.zuva.kpx7720mw-44115-error\n", "STATE: -media-jam-error\n", "STATE: -other-error\n",
                   "STATE: +com.zuva.kpx7720mw-10209-warning\n", "STATE: +toner-low-warning\n", "INFO:墨粉不足\n",
                   marker(5)}));
  // A tray pulled out while the toner is low: the error's title wins.
  EXPECT_EQ(r.learn({10209, 12201}),
            (Lines{"STATE: +com.zuva.kpx7720mw-12201-error\n", "STATE: +input-tray-missing-error\n",
                   "STATE: +other-error\n", "INFO:无纸盒1\n", marker(5)}));
  // Nothing known in a text: nothing changes.
  EXPECT_TRUE(r.learn({}).empty());
  EXPECT_TRUE(r.learn({12345, 0}).empty());
  // A rejected key joins the printer's state and leaves it again; the
  // printer's error came first and keeps the message.
  EXPECT_EQ(r.add(kpx::state::kKeyRejected), (Lines{"STATE: +com.zuva.kpx7720mw-99999-error\n"}));
  EXPECT_EQ(r.withdraw(kpx::state::kKeyRejected), (Lines{"STATE: -com.zuva.kpx7720mw-99999-error\n"}));
  EXPECT_TRUE(r.withdraw(kpx::state::kKeyRejected).empty());
  // Ready: every reason of ours goes, and so does the message.
  EXPECT_EQ(r.learn({10001}),
            (Lines{"STATE: -com.zuva.kpx7720mw-10209-warning\n", "STATE: -com.zuva.kpx7720mw-12201-error\n",
                   "STATE: -input-tray-missing-error\n", "STATE: -other-error\n", "STATE: -toner-low-warning\n",
                   "INFO:\n", marker(-3)}));
  EXPECT_TRUE(r.reasons().empty());
  EXPECT_EQ(r.problemTitle(), "");
}

}  // namespace
