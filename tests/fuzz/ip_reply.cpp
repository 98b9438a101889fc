// The printer's replies to "CheckIP?" over USB, each read into the reply
// buffer with the count ReadCmd returned: the reader stays inside the
// buffer, ends with a 12-byte block or "read ip error", and a block always
// decodes into three dotted addresses the form would accept.
#include <cstring>
#include <memory>

#include "fuzz_util.h"
#include "netipset_core.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  kpxnip::ReplyReader reader(500);
  qint64 elapsedMs = 0;
  // Exactly the reply buffer: a read past it is caught.
  std::unique_ptr<unsigned char[]> buffer(new unsigned char[kpxnip::kReplyBufferSize]);
  size_t pos = 0;
  while (pos + 2 <= size) {
    // Two bytes of count (ReadCmd's result, sometimes out of range), then
    // that many bytes of reply (what is left, if fewer).
    const int result = int(int16_t(data[pos] | data[pos + 1] << 8));
    pos += 2;
    std::memset(buffer.get(), 0, kpxnip::kReplyBufferSize);
    const size_t take = std::min<size_t>({size - pos, size_t(std::max(result, 0)), size_t(kpxnip::kReplyBufferSize)});
    std::memcpy(buffer.get(), data + pos, take);
    pos += take;

    const kpxnip::ReplyStep step = reader.feed(result, buffer.get(), elapsedMs);
    if (step.kind == kpxnip::ReplyStep::ReadAgain) {
      // Another read only when it can end within the query's time limit.
      FUZZ_CHECK(step.result.isEmpty() && elapsedMs + 500 <= kpxnip::kQueryTimeLimitMs);
      elapsedMs += 40;
      continue;
    }
    if (step.result == kpxnip::kReadIpError) break;
    FUZZ_CHECK(step.result.size() == kpxnip::kBlockSize);
    const kpxnip::Settings s = kpxnip::decodeSettings(step.result);
    FUZZ_CHECK(kpxnip::checkIp(s.address) && kpxnip::checkIp(s.mask) && kpxnip::checkIp(s.gateway));
    FUZZ_CHECK(kpxnip::encodeSettings(s.address, s.mask, s.gateway) == step.result);
    break;
  }
  return 0;
}
