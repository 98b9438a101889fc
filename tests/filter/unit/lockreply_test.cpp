// The printer's answer to "LockPrinter?" and what the check does with it.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "printer_protocol.h"

namespace {

using kpx::protocol::LockOutcome;

struct ReplyCase {
  const char *name;
  std::string reply;
  int lastCodeBefore;
  bool mayPrint;
  int lastCode;
  LockOutcome outcome;
};
std::ostream &operator<<(std::ostream &os, const ReplyCase &x) { return os << x.name; }

class LockReply : public ::testing::TestWithParam<ReplyCase> {};

TEST_P(LockReply, CodeAndOutcome) {
  const ReplyCase &c = GetParam();
  kpx::protocol::LockReplyScan s = kpx::protocol::scanLockReply(c.reply.c_str(), c.lastCodeBefore);
  EXPECT_EQ(s.mayPrint, c.mayPrint);
  EXPECT_EQ(s.lastCode, c.lastCode);
  EXPECT_EQ(kpx::protocol::lockOutcome(s), c.outcome);
}

const int kNone = kpx::protocol::kNoReplyCode;

INSTANTIATE_TEST_SUITE_P(
    Replies, LockReply,
    ::testing::Values(
        ReplyCase{"MayPrint", "CODE=1\r", kNone, true, 1, LockOutcome::MayPrint},
        ReplyCase{"MayPrintNoLineEnd", "CODE=1", kNone, true, 1, LockOutcome::MayPrint},
        ReplyCase{"Locked", "CODE=2\r", kNone, false, 2, LockOutcome::NoAnswer},
        ReplyCase{"Silence", "", kNone, false, kNone, LockOutcome::NoAnswer},
        ReplyCase{"Zero", "CODE=0\r", kNone, false, 0, LockOutcome::ReadAgain},
        ReplyCase{"Ready", "CODE=10001\r", kNone, false, 10001, LockOutcome::ReadAgain},
        ReplyCase{"NotANumber", "CODE=abc", kNone, false, kNone, LockOutcome::NoAnswer},
        ReplyCase{"NotANumberAfterACode", "CODE=abc", 0, false, kNone, LockOutcome::NoAnswer},
        ReplyCase{"DigitsThenLetters", "CODE=1x\r", kNone, false, kNone, LockOutcome::NoAnswer},
        ReplyCase{"EmptyCode", "CODE=\r", kNone, false, kNone, LockOutcome::NoAnswer},
        ReplyCase{"LaterLineMayPrint", "CODE=10023\rCODE=2\rCODE=1\r", kNone, true, 1, LockOutcome::MayPrint},
        ReplyCase{"StopsAtFirstOne", "CODE=1\rCODE=2\r", kNone, true, 1, LockOutcome::MayPrint},
        ReplyCase{"LastCodeCounts", "CODE=1x\rCODE=0\r", kNone, false, 0, LockOutcome::ReadAgain},
        ReplyCase{"LastCodeIsLocked", "CODE=0\rCODE=2\r", kNone, false, 2, LockOutcome::NoAnswer},
        // At most five digits are read.
        ReplyCase{"SixDigits", "CODE=123456\r", kNone, false, 12345, LockOutcome::ReadAgain},
        ReplyCase{"LeadingZeros", "CODE=000001\r", kNone, false, 0, LockOutcome::ReadAgain},
        ReplyCase{"FiveDigitOne", "CODE=00001\r", kNone, true, 1, LockOutcome::MayPrint},
        ReplyCase{"SixDigitsEndingInTwo", "CODE=000002\r", kNone, false, 0, LockOutcome::ReadAgain},
        // Other text around the code.
        ReplyCase{"WithStatusText", "STATUS=READY\rCODE=1\rEND\r", kNone, true, 1, LockOutcome::MayPrint},
        ReplyCase{"BlankAfterEquals", "CODE= 1\r", kNone, true, 1, LockOutcome::MayPrint},
        ReplyCase{"NoCodeAtAll", "READY\r", kNone, false, kNone, LockOutcome::NoAnswer},
        // A reply without any code keeps the code of the earlier read.
        ReplyCase{"CarriedOverZero", "", 0, false, 0, LockOutcome::ReadAgain},
        ReplyCase{"CarriedOverReady", "BUSY\r", 10001, false, 10001, LockOutcome::ReadAgain},
        ReplyCase{"CarriedOverLocked", "\r\n", 2, false, 2, LockOutcome::NoAnswer},
        ReplyCase{"NewCodeReplacesCarried", "CODE=2\r", 0, false, 2, LockOutcome::NoAnswer}),
    [](const ::testing::TestParamInfo<ReplyCase> &i) { return std::string(i.param.name); });

}  // namespace
