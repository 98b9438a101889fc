// The printer's answer to "LockPrinter?", read from the back channel into
// a terminated buffer; from anyone on the network for the network queue.
#include <cstdlib>
#include <cstring>
#include <memory>

#include "fuzz_util.h"
#include "printer_protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  // The first byte picks the code carried over from an earlier read.
  static const int kCarried[] = {kpx::protocol::kNoReplyCode, 0, 2, 10001};
  const int carried = kCarried[data[0] % 4];
  // Exactly the bytes read plus the terminator: a scan past it is caught.
  std::unique_ptr<char[]> reply(new char[size]);
  std::memcpy(reply.get(), data + 1, size - 1);
  reply[size - 1] = '\0';

  kpx::protocol::LockReplyScan scan = kpx::protocol::scanLockReply(reply.get(), carried);
  FUZZ_CHECK(scan.lastCode == kpx::protocol::kNoReplyCode || scan.lastCode == carried ||
             (scan.lastCode >= 0 && scan.lastCode <= 99999));
  FUZZ_CHECK(scan.mayPrint == (scan.lastCode == 1));
  FUZZ_CHECK(!scan.mayPrint || std::strstr(reply.get(), "E=") != nullptr);
  const kpx::protocol::LockOutcome outcome = kpx::protocol::lockOutcome(scan);
  FUZZ_CHECK((outcome == kpx::protocol::LockOutcome::MayPrint) == scan.mayPrint);
  return 0;
}
