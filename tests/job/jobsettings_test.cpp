// Job settings helpers: the secure-print key, the three time stamps and the
// duplex mode.
#include <gtest/gtest.h>

#include <array>
#include <ctime>
#include <ostream>
#include <string>
#include <vector>

#include "jobsettings.h"

namespace {

using kpx::SecureKey;
using Verdict = SecureKey::Verdict;

struct KeyCase {
  const char *name;
  std::array<const char *, 4> choices;
  Verdict verdict;
  const char *key;
  int digitsSet;
};
std::ostream &operator<<(std::ostream &os, const KeyCase &x) { return os << x.name; }

class SecureKeyAssembly : public ::testing::TestWithParam<KeyCase> {};

TEST_P(SecureKeyAssembly, Verdict) {
  const KeyCase &c = GetParam();
  SecureKey k = kpx::assembleSecureKey(c.choices);
  EXPECT_EQ(k.verdict, c.verdict);
  EXPECT_EQ(k.key.value_or("False"), c.key);  // "False": no key
  EXPECT_EQ(k.digitsSet, c.digitsSet);
}

// "٣" is ARABIC-INDIC DIGIT THREE (two bytes in UTF-8).
INSTANTIATE_TEST_SUITE_P(
    Cases, SecureKeyAssembly,
    ::testing::Values(
        KeyCase{"AllFalse", {"False", "False", "False", "False"}, Verdict::None, "False", 0},
        KeyCase{"NoneMarked", {nullptr, nullptr, nullptr, nullptr}, Verdict::None, "False", 0},
        KeyCase{"MixedUnset", {nullptr, "False", nullptr, "False"}, Verdict::None, "False", 0},
        KeyCase{"FourDigits", {"1", "2", "3", "4"}, Verdict::Accepted, "1234", 4},
        KeyCase{"OptionOrder", {"9", "0", "0", "7"}, Verdict::Accepted, "9007", 4},
        KeyCase{"Zeros", {"0", "0", "0", "0"}, Verdict::Accepted, "0000", 4},
        KeyCase{"OnlyFirst", {"1", "False", "False", "False"}, Verdict::Incomplete, "False", 1},
        KeyCase{"OnlyLast", {"False", "False", "False", "8"}, Verdict::Incomplete, "False", 1},
        KeyCase{"FirstTwo", {"1", "2", "False", "False"}, Verdict::Incomplete, "False", 2},
        KeyCase{"Three", {"1", "2", "3", "False"}, Verdict::Incomplete, "False", 3},
        KeyCase{"ThreeWithGap", {"1", nullptr, "3", "4"}, Verdict::Incomplete, "False", 3},
        KeyCase{"TwoDigitChoice", {"12", "3", "4", "5"}, Verdict::Incomplete, "False", 4},
        KeyCase{"TwoDigitAndEmpty", {"12", "", "3", "4"}, Verdict::Incomplete, "False", 4},
        KeyCase{"Letter", {"a", "1", "2", "3"}, Verdict::Incomplete, "False", 4},
        KeyCase{"ArabicIndicDigit", {"\xd9\xa3", "1", "2", "3"}, Verdict::Incomplete, "False", 4},
        KeyCase{"AllEmpty", {"", "", "", ""}, Verdict::Incomplete, "False", 4},
        KeyCase{"Blank", {" ", "1", "2", "3"}, Verdict::Incomplete, "False", 4},
        KeyCase{"LowercaseFalse", {"false", "1", "2", "3"}, Verdict::Incomplete, "False", 4}),
    [](const ::testing::TestParamInfo<KeyCase> &i) { return std::string(i.param.name); });

// IPP job-password: four ASCII digits hold the job, anything else is an
// incomplete key; a key from Passwd1..Passwd4 wins whatever the password.
TEST(JobPassword, HoldsOnlyFourAsciiDigitsAndYieldsToThePasswdOptions) {
  const SecureKey none = kpx::assembleSecureKey({nullptr, nullptr, nullptr, nullptr});
  const SecureKey options = kpx::assembleSecureKey({"9", "3", "0", "5"});
  const SecureKey partial = kpx::assembleSecureKey({"9", "False", "False", "False"});
  struct Case {
    const SecureKey &from;
    const char *password;
    Verdict verdict;
    const char *key;
  } cases[] = {
      {none, nullptr, Verdict::None, "False"},   {none, "2026", Verdict::Accepted, "2026"},
      {none, "12a4", Verdict::Incomplete, "False"}, {none, "123", Verdict::Incomplete, "False"},
      {none, "12345", Verdict::Incomplete, "False"}, {none, "", Verdict::Incomplete, "False"},
      {none, "\xd9\xa3" "123", Verdict::Incomplete, "False"}, {options, "2026", Verdict::Accepted, "9305"},
      {options, "12a4", Verdict::Accepted, "9305"}, {partial, "2026", Verdict::Incomplete, "False"},
  };
  for (const Case &c : cases) {
    SecureKey k = kpx::withJobPassword(c.from, c.password);
    EXPECT_EQ(k.verdict, c.verdict) << (c.password ? c.password : "(none)");
    EXPECT_EQ(k.key.value_or("False"), c.key) << (c.password ? c.password : "(none)");
  }
}

// --- Time stamps ---------------------------------------------------------------

std::tm civil(int year, int month, int day, int hour, int minute, int second) {
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  // Fill in the weekday and day of the year, as localtime would.
  std::time_t t = timegm(&tm);
  std::tm out{};
  gmtime_r(&t, &out);
  return out;
}

struct TimeCase {
  const char *name;
  int y, mo, d, h, mi, s;
  const char *logTime, *jobTime, *logDate;
};
std::ostream &operator<<(std::ostream &os, const TimeCase &x) { return os << x.name; }

class JobTimes : public ::testing::TestWithParam<TimeCase> {};

TEST_P(JobTimes, ThreeStrings) {
  const TimeCase &c = GetParam();
  kpx::JobTimes t = kpx::formatJobTimes(civil(c.y, c.mo, c.d, c.h, c.mi, c.s));
  EXPECT_EQ(t.logTime, c.logTime);
  EXPECT_EQ(t.jobTime, c.jobTime);
  EXPECT_EQ(t.logDate, c.logDate);
}

INSTANTIATE_TEST_SUITE_P(
    Dates, JobTimes,
    ::testing::Values(
        // Monday 30 December 2024 lies in ISO week 1 of 2025.
        TimeCase{"WeekYearAhead", 2024, 12, 30, 14, 5, 9, "Mon,30,Dec 2025 14:05:09", "20251230140509",
                 "2025年12月30日14:05:09 Monday"},
        TimeCase{"Ordinary", 2023, 6, 15, 9, 8, 7, "Thu,15,Jun 2023 09:08:07", "20230615090807",
                 "2023年06月15日09:08:07 Thursday"},
        // Friday 1 January 2021 still belongs to week 53 of 2020.
        TimeCase{"WeekYearBehind", 2021, 1, 1, 0, 0, 0, "Fri,01,Jan 2020 00:00:00", "20200101000000",
                 "2020年01月01日00:00:00 Friday"},
        // The longest weekday name still fits.
        TimeCase{"Wednesday", 2024, 9, 18, 23, 59, 59, "Wed,18,Sep 2024 23:59:59", "20240918235959",
                 "2024年09月18日23:59:59 Wednesday"},
        // Sunday 29 December 2024 is still in week 52 of 2024.
        TimeCase{"DayBeforeWeekYearChange", 2024, 12, 29, 12, 0, 0, "Sun,29,Dec 2024 12:00:00",
                 "20241229120000", "2024年12月29日12:00:00 Sunday"}),
    [](const ::testing::TestParamInfo<TimeCase> &i) { return std::string(i.param.name); });

// --- Duplex mode ------------------------------------------------------------------

TEST(DuplexMode, Rows) {
  struct Case {
    const char *duplex;
    kpx::Duplex mode;
  };
  using kpx::Duplex;
  const Case cases[] = {{"None", Duplex::Simplex},         {"DuplexNoTumble", Duplex::LongEdge},
                        {"DuplexTumble", Duplex::ShortEdge}, {"", Duplex::Simplex},
                        {"duplextumble", Duplex::Simplex}, {"DuplexTumble ", Duplex::Simplex},
                        {"TwoSidedLong", Duplex::Simplex}, {"Tumble", Duplex::Simplex}};
  for (const Case &c : cases) EXPECT_TRUE(kpx::duplexModeFor(c.duplex) == c.mode) << c.duplex;
}

}  // namespace
