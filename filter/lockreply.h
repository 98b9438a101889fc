// Reading the printer's answer to "LockPrinter?".
#pragma once

namespace kpx {

constexpr int kNoReplyCode = 255;

struct LockReplyScan {
  bool mayPrint = false;       // a "CODE=1" was found
  int lastCode = kNoReplyCode; // the last code read, 255 for none or not a number
};

// Scans a reply for "CODE=<digits>" items. The text is cut at every 'C',
// 'O' and 'D'; a piece starting "E=" carries a code of at most five digits.
// Scanning stops at the first code 1. lastCode is the code carried over
// from an earlier read.
LockReplyScan scanLockReply(const char *reply, int lastCode);

// What the check does after a reply: print, ask again after a pause, or
// read the back channel once more without a new query.
enum class LockOutcome { MayPrint = 0, ReadAgain = 1, NoAnswer = 2 };
LockOutcome lockOutcome(const LockReplyScan &scan);

}  // namespace kpx
