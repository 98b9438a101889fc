// The PJL job ticket, trailer and cancel sequence, byte for byte.
//
// Each row test changes one setting of an otherwise default job and expects
// the default ticket with exactly that block changed, so both the lines of
// the row and their place in the ticket are checked.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "printer_protocol.h"
#include "ticket.h"

namespace {

using kpx::buildTicket;
using kpx::JobSettings;

const std::string kOpening =
    "\x1b%-12345X\n"
    "\x1b#+54321X_ZUVA@PJL\n"
    "@PJL SET RENDERMODE=GRAYSCALE\n";

const std::string kIdentityNoKey =
    "@PJL SET REPRINT=OFF\n"
    "@PJL SET HOLD=OFF\n"
    "@PJL SET USERNAME=\"alice\"\n"
    "@PJL SET JOBNAME=\"report\"\n";

const std::string kPrintLog =
    "@PJL PRINTLOG ITEM = 1,PRINTER\n"
    "@PJL PRINTLOG ITEM = 2,Mon,30,Dec 2025 14:05:09\n"
    "@PJL PRINTLOG ITEM = 3,alice\n"
    "@PJL PRINTLOG ITEM = 4,ws1.example\n"
    "@PJL SET JOBTIME = 20251230140509\n"
    "@PJL JOB NAME=\"report\"\n";

const std::string kRes600 = "@PJL SET RESOLUTION=600\n@PJL SET HQMMODE=OFF\n";
const std::string kTonerOff = "@PJL SET ECONOMODE=OFF\n";
const std::string kSlotAuto = "@PJL SET SOURCETRAY=AUTO\n";
const std::string kMediaPlain = "@PJL SET MEDIATYPE=REGULAR\n";
const std::string kImproveNone = "@PJL SET LESSPAPERCURL=OFF\n@PJL SET FIXINTENSITYUP=OFF\n";

// The ticket of a job with every option at its default.
const std::string kDefaultTicket = kOpening + kIdentityNoKey + kPrintLog + kRes600 + kTonerOff +
                                   kSlotAuto + kMediaPlain + kImproveNone;

JobSettings defaultJob() {
  JobSettings job;
  job.printerName = "KPX7720MW";
  job.jobId = "42";
  job.user = "alice";
  job.title = "report";
  job.copies = "1";
  job.logTime = "Mon,30,Dec 2025 14:05:09";
  job.jobTime = "20251230140509";
  job.logDate = "2025年12月30日14:05:09 Monday";
  job.hostName = "ws1.example";
  return job;
}

// kDefaultTicket with `from` (which must occur exactly once) replaced.
std::string defaultWith(const std::string &from, const std::string &to) {
  std::string t = kDefaultTicket;
  size_t at = t.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  EXPECT_EQ(t.find(from, at + 1), std::string::npos) << from;
  if (at != std::string::npos) t.replace(at, from.size(), to);
  return t;
}

TEST(TicketConstants, FramingBytes) {
  EXPECT_EQ(kpx::kTicketOpening.size(), 59u);
  EXPECT_EQ(std::string(kpx::kTicketOpening), kOpening);

  const std::string trailer = "\x1b%-12345X\n\x1b#+54321X_ZUVA@PJL EOJ\n\x1b%-12345X";
  EXPECT_EQ(kpx::kEndOfJobTrailer.size(), 42u);
  EXPECT_EQ(std::string(kpx::kEndOfJobTrailer), trailer);
  EXPECT_NE(kpx::kEndOfJobTrailer.back(), '\n');

  const std::string cancel = "\x1b%-12345X\n\x1b#+54321X_ZUVA@PJL CANCEL\n\x1b%-12345X";
  EXPECT_EQ(kpx::kCancelSequence.size(), 45u);
  EXPECT_EQ(std::string(kpx::kCancelSequence), cancel);

  EXPECT_EQ(kpx::protocol::kLockQuery.size(), 12u);
  EXPECT_EQ(std::string(kpx::protocol::kLockQuery), "LockPrinter?");
}

TEST(Ticket, DefaultJobIsExact) {
  kpx::Ticket t = buildTicket(defaultJob());
  EXPECT_EQ(t.text, kDefaultTicket);
  EXPECT_EQ(t.mediaPosition, "-dMediaPosition=1");
  EXPECT_EQ(t.text.compare(0, 59, kOpening), 0);
}

TEST(Ticket, UserQuotedInIdentityButBareInPrintLog) {
  std::string t = buildTicket(defaultJob()).text;
  EXPECT_NE(t.find("@PJL SET USERNAME=\"alice\"\n"), std::string::npos);
  EXPECT_NE(t.find("@PJL SET JOBNAME=\"report\"\n"), std::string::npos);
  EXPECT_NE(t.find("@PJL PRINTLOG ITEM = 3,alice\n"), std::string::npos);
  EXPECT_EQ(t.find("ITEM = 3,\"alice\""), std::string::npos);
}

TEST(Ticket, SecureKeyGivesSevenHoldLinesInOrder) {
  JobSettings job = defaultJob();
  job.key = "0815";
  const std::string held =
      "@PJL SET REPRINT=OFF\n"
      "@PJL SET HOLD=STORE\n"
      "@PJL SET HOLDTYPE=PRIVATE\n"
      "@PJL SET HOLDKEY=0815\n"
      "@PJL SET USERNAME=\"alice\"\n"
      "@PJL SET LOGINUSER=\"alice\"\n"
      "@PJL SET JOBNAME=\"report\"\n";
  EXPECT_EQ(buildTicket(job).text, defaultWith(kIdentityNoKey, held));
}

struct Row {
  const char *value;
  const char *lines;
};
std::ostream &operator<<(std::ostream &os, const Row &x) { return os << "\"" << x.value << "\""; }

// --- Resolution -----------------------------------------------------------
class TicketResolution : public ::testing::TestWithParam<Row> {};
TEST_P(TicketResolution, Lines) {
  JobSettings job = defaultJob();
  job.resolution = GetParam().value;
  EXPECT_EQ(buildTicket(job).text, defaultWith(kRes600, GetParam().lines));
}
INSTANTIATE_TEST_SUITE_P(
    AllRows, TicketResolution,
    ::testing::Values(
        Row{"300dpi", "@PJL SET RESOLUTION=300\n@PJL SET HQMMODE=OFF\n"},
        Row{"600dpi", "@PJL SET RESOLUTION=600\n@PJL SET HQMMODE=OFF\n"},
        Row{"1200dpi", "@PJL SET RESOLUTION=TR1200\n@PJL SET PAPERFEEDSPEED=FULL\n@PJL SET HQMMODE=OFF\n"},
        Row{"2400dpi", "@PJL SET RESOLUTION=HQ1200\n@PJL SET PAPERFEEDSPEED=FULL\n@PJL SET HQMMODE=OFF\n"},
        Row{"9600dpi", ""}));

// --- Scaling: placed between the resolution and toner-save blocks ----------
class TicketScaling : public ::testing::TestWithParam<Row> {};
TEST_P(TicketScaling, Lines) {
  JobSettings job = defaultJob();
  job.resize = GetParam().value;
  EXPECT_EQ(buildTicket(job).text, defaultWith(kRes600 + kTonerOff, kRes600 + GetParam().lines + kTonerOff));
}
INSTANTIATE_TEST_SUITE_P(
    AllRows, TicketScaling,
    ::testing::Values(Row{"10", ""},
                      Row{"5", "@PJL SET PRINTSCALINGRATE=500\n"},
                      Row{"1", "@PJL SET PRINTSCALINGRATE=100\n"},
                      Row{"15", "@PJL SET PRINTSCALINGRATE=1500\n"},
                      Row{"20", "@PJL SET PRINTSCALINGRATE=2000\n"}));

// --- Toner save -------------------------------------------------------------
class TicketTonerSave : public ::testing::TestWithParam<Row> {};
TEST_P(TicketTonerSave, Lines) {
  JobSettings job = defaultJob();
  job.tonerSave = GetParam().value;
  EXPECT_EQ(buildTicket(job).text, defaultWith(kTonerOff, GetParam().lines));
}
INSTANTIATE_TEST_SUITE_P(AllRows, TicketTonerSave,
                         ::testing::Values(Row{"ON", "@PJL SET ECONOMODE=ON\n"},
                                           Row{"OFF", "@PJL SET ECONOMODE=OFF\n"},
                                           Row{"on", ""}, Row{"Auto", ""}));

// --- Input slot and media position ------------------------------------------
struct SlotRow {
  const char *slot;
  const char *lines;
  const char *mediaPosition;
};
std::ostream &operator<<(std::ostream &os, const SlotRow &x) { return os << "\"" << x.slot << "\""; }
class TicketInputSlot : public ::testing::TestWithParam<SlotRow> {};
TEST_P(TicketInputSlot, LinesAndMediaPosition) {
  JobSettings job = defaultJob();
  job.inputSlot = GetParam().slot;
  kpx::Ticket t = buildTicket(job);
  EXPECT_EQ(t.text, defaultWith(kSlotAuto, GetParam().lines));
  EXPECT_EQ(t.mediaPosition, GetParam().mediaPosition);
  EXPECT_EQ(kpx::mediaPositionFor(GetParam().slot), GetParam().mediaPosition);
}
INSTANTIATE_TEST_SUITE_P(
    AllRows, TicketInputSlot,
    ::testing::Values(
        SlotRow{"MPTRAY", "@PJL SET SOURCETRAY=MPTRAY\n@PJL SET PCLMPFIX=ON\n", "-dMediaPosition=3"},
        SlotRow{"TRAY1", "@PJL SET SOURCETRAY=TRAY1\n@PJL SET PCLT1FIX=ON\n", "-dMediaPosition=4"},
        SlotRow{"TRAY2", "@PJL SET SOURCETRAY=TRAY2\n@PJL SET PCLT2FIX=ON\n", "-dMediaPosition=5"},
        SlotRow{"TRAY3", "@PJL SET SOURCETRAY=TRAY3\n@PJL SET PCLT3FIX=ON\n", "-dMediaPosition=7"},
        SlotRow{"AUTO", "@PJL SET SOURCETRAY=AUTO\n", "-dMediaPosition=1"},
        SlotRow{"TRAY4", "@PJL SET SOURCETRAY=AUTO\n", "-dMediaPosition=1"},
        SlotRow{"tray1", "@PJL SET SOURCETRAY=AUTO\n", "-dMediaPosition=1"},
        SlotRow{"", "@PJL SET SOURCETRAY=AUTO\n", "-dMediaPosition=1"}));

// --- Paper: only "B5" adds a line, right before the media type -----------
class TicketPaper : public ::testing::TestWithParam<Row> {};
TEST_P(TicketPaper, Lines) {
  JobSettings job = defaultJob();
  job.pageSize = GetParam().value;
  EXPECT_EQ(buildTicket(job).text, defaultWith(kSlotAuto + kMediaPlain, kSlotAuto + GetParam().lines + kMediaPlain));
}
INSTANTIATE_TEST_SUITE_P(AllRows, TicketPaper,
                         ::testing::Values(Row{"B5", "@PJL SET PAPER=JISB5\n"}, Row{"ISOB5", ""},
                                           Row{"A4", ""}, Row{"Letter", ""}, Row{"b5", ""}));

// --- Media type ---------------------------------------------------------------
class TicketMediaType : public ::testing::TestWithParam<Row> {};
TEST_P(TicketMediaType, Lines) {
  JobSettings job = defaultJob();
  job.mediaType = GetParam().value;
  EXPECT_EQ(buildTicket(job).text, defaultWith(kMediaPlain, GetParam().lines));
}
INSTANTIATE_TEST_SUITE_P(
    AllRows, TicketMediaType,
    ::testing::Values(Row{"PLAIN", "@PJL SET MEDIATYPE=REGULAR\n"},
                      Row{"THIN", "@PJL SET MEDIATYPE=THIN\n"},
                      Row{"THICK", "@PJL SET MEDIATYPE=THICK\n"},
                      Row{"THICKERPAPER2", "@PJL SET MEDIATYPE=THICK2\n"},
                      Row{"BOND", "@PJL SET MEDIATYPE=BOND\n"},
                      Row{"ENV", "@PJL SET MEDIATYPE=ENVELOPES\n"},
                      Row{"ENVTHICK", "@PJL SET MEDIATYPE=ENVTHICK\n"},
                      Row{"ENVTHIN", "@PJL SET MEDIATYPE=ENVTHIN\n"},
                      Row{"RECYCLED", "@PJL SET MEDIATYPE=RECYCLED\n"},
                      Row{"LABLE", "@PJL SET MEDIATYPE=LABEL\n"},
                      Row{"COLOR", "@PJL SET MEDIATYPE=COLOR\n"},
                      Row{"LETTERHEAD", "@PJL SET MEDIATYPE=LETTERHEAD\n"},
                      Row{"HOLEPUNCHED", "@PJL SET MEDIATYPE=HOLEPUNCHED\n"},
                      Row{"LABEL", ""},
                      Row{"REGULAR", ""},
                      Row{"plain", ""},
                      Row{"TRANSPARENCY", ""}));

// --- Density: after the media type, before the output improvement -----------
class TicketDensity : public ::testing::TestWithParam<Row> {};
TEST_P(TicketDensity, Lines) {
  JobSettings job = defaultJob();
  job.density = GetParam().value;
  EXPECT_EQ(buildTicket(job).text,
            defaultWith(kMediaPlain + kImproveNone, kMediaPlain + GetParam().lines + kImproveNone));
}
INSTANTIATE_TEST_SUITE_P(
    AllRows, TicketDensity,
    ::testing::Values(Row{"0", ""},
                      Row{"3", "@PJL SET DENSITY=3\n@PJL SET DEVBIASADJUST=3\n"},
                      Row{"-2", "@PJL SET DENSITY=-2\n@PJL SET DEVBIASADJUST=-2\n"},
                      Row{"1", "@PJL SET DENSITY=1\n@PJL SET DEVBIASADJUST=1\n"}));

// --- Print output improvement ----------------------------------------------
class TicketImproveOutput : public ::testing::TestWithParam<Row> {};
TEST_P(TicketImproveOutput, Lines) {
  JobSettings job = defaultJob();
  job.improveOutput = GetParam().value;
  EXPECT_EQ(buildTicket(job).text, defaultWith(kImproveNone, GetParam().lines));
}
INSTANTIATE_TEST_SUITE_P(
    AllRows, TicketImproveOutput,
    ::testing::Values(Row{"None", "@PJL SET LESSPAPERCURL=OFF\n@PJL SET FIXINTENSITYUP=OFF\n"},
                      Row{"ReducePaperCurl", "@PJL SET LESSPAPERCURL=ON\n@PJL SET FIXINTENSITYUP=OFF\n"},
                      Row{"ImproveTonerFixing", "@PJL SET LESSPAPERCURL=OFF\n@PJL SET FIXINTENSITYUP=ON\n"},
                      Row{"Both", ""}));

// --- Quiet mode and sleep come last, in that order -------------------------
class TicketQuiet : public ::testing::TestWithParam<Row> {};
TEST_P(TicketQuiet, Lines) {
  JobSettings job = defaultJob();
  job.quietMode = GetParam().value;
  EXPECT_EQ(buildTicket(job).text, kDefaultTicket + GetParam().lines);
}
INSTANTIATE_TEST_SUITE_P(AllRows, TicketQuiet,
                         ::testing::Values(Row{"ON", "@PJL SET QUIETMODE=ON\n"}, Row{"OFF", ""},
                                           Row{"Yes", ""}));

class TicketSleep : public ::testing::TestWithParam<Row> {};
TEST_P(TicketSleep, Lines) {
  JobSettings job = defaultJob();
  job.sleep = GetParam().value;
  EXPECT_EQ(buildTicket(job).text, kDefaultTicket + GetParam().lines);
}
INSTANTIATE_TEST_SUITE_P(
    AllRows, TicketSleep,
    ::testing::Values(
        Row{"PrinterDefault", ""},
        Row{"2minutes", "@PJL DEFAULT AUTOSLEEP=ON\n@PJL DEFAULT TIMEOUTSLEEP=2\n@PJL SET AUTOSLEEP=ON\n@PJL SET TIMEOUTSLEEP=2\n"},
        Row{"5minutes", "@PJL DEFAULT AUTOSLEEP=ON\n@PJL DEFAULT TIMEOUTSLEEP=5\n@PJL SET AUTOSLEEP=ON\n@PJL SET TIMEOUTSLEEP=5\n"},
        Row{"10minutes", "@PJL DEFAULT AUTOSLEEP=ON\n@PJL DEFAULT TIMEOUTSLEEP=10\n@PJL SET AUTOSLEEP=ON\n@PJL SET TIMEOUTSLEEP=10\n"},
        Row{"30minutes", "@PJL DEFAULT AUTOSLEEP=ON\n@PJL DEFAULT TIMEOUTSLEEP=30\n@PJL SET AUTOSLEEP=ON\n@PJL SET TIMEOUTSLEEP=30\n"},
        Row{"60minutes",
            "@PJL DEFAULT AUTOSLEEP=ON\n@PJL DEFAULT TIMEOUTSLEEP=60minutes\n@PJL SET AUTOSLEEP=ON\n@PJL SET TIMEOUTSLEEP=60minutes\n"}));

TEST(Ticket, QuietModeComesBeforeSleep) {
  JobSettings job = defaultJob();
  job.quietMode = "ON";
  job.sleep = "5minutes";
  EXPECT_EQ(buildTicket(job).text,
            kDefaultTicket + "@PJL SET QUIETMODE=ON\n" +
                "@PJL DEFAULT AUTOSLEEP=ON\n@PJL DEFAULT TIMEOUTSLEEP=5\n@PJL SET AUTOSLEEP=ON\n@PJL SET TIMEOUTSLEEP=5\n");
}

// Every block away from its default at once: the blocks keep the order
// opening, identity, print log, resolution, scaling, toner, slot, paper,
// media, density, improvement, quiet, sleep.
TEST(Ticket, AllBlocksInOrder) {
  JobSettings job = defaultJob();
  job.key = "1234";
  job.resolution = "1200dpi";
  job.resize = "7";
  job.tonerSave = "ON";
  job.inputSlot = "TRAY2";
  job.pageSize = "B5";
  job.mediaType = "ENV";
  job.density = "2";
  job.improveOutput = "ReducePaperCurl";
  job.quietMode = "ON";
  job.sleep = "10minutes";
  job.duplex = "DuplexTumble";  // no duplex line in the ticket
  const std::string expected = kOpening +
      "@PJL SET REPRINT=OFF\n@PJL SET HOLD=STORE\n@PJL SET HOLDTYPE=PRIVATE\n@PJL SET HOLDKEY=1234\n"
      "@PJL SET USERNAME=\"alice\"\n@PJL SET LOGINUSER=\"alice\"\n@PJL SET JOBNAME=\"report\"\n" +
      kPrintLog +
      "@PJL SET RESOLUTION=TR1200\n@PJL SET PAPERFEEDSPEED=FULL\n@PJL SET HQMMODE=OFF\n"
      "@PJL SET PRINTSCALINGRATE=700\n"
      "@PJL SET ECONOMODE=ON\n"
      "@PJL SET SOURCETRAY=TRAY2\n@PJL SET PCLT2FIX=ON\n"
      "@PJL SET PAPER=JISB5\n"
      "@PJL SET MEDIATYPE=ENVELOPES\n"
      "@PJL SET DENSITY=2\n@PJL SET DEVBIASADJUST=2\n"
      "@PJL SET LESSPAPERCURL=ON\n@PJL SET FIXINTENSITYUP=OFF\n"
      "@PJL SET QUIETMODE=ON\n"
      "@PJL DEFAULT AUTOSLEEP=ON\n@PJL DEFAULT TIMEOUTSLEEP=10\n@PJL SET AUTOSLEEP=ON\n@PJL SET TIMEOUTSLEEP=10\n";
  kpx::Ticket t = buildTicket(job);
  EXPECT_EQ(t.text, expected);
  EXPECT_EQ(t.mediaPosition, "-dMediaPosition=5");
}

// A job with no PPD and empty command-line text fields still yields the
// default blocks; the empty values sit in their lines.
TEST(Ticket, EmptyUserAndTitle) {
  JobSettings job = defaultJob();
  job.user.clear();
  job.title.clear();
  std::string t = buildTicket(job).text;
  EXPECT_NE(t.find("@PJL SET USERNAME=\"\"\n@PJL SET JOBNAME=\"\"\n"), std::string::npos);
  EXPECT_NE(t.find("@PJL PRINTLOG ITEM = 3,\n"), std::string::npos);
  EXPECT_NE(t.find("@PJL JOB NAME=\"\"\n"), std::string::npos);
}

}  // namespace
