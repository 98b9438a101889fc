// A status reply as either monitor receives it (USB read or UDP datagram,
// the latter from anyone on the network): every code it carries maps to a
// row of the status table or to nothing, under both monitors' rules.
#include "fuzz_util.h"
#include "monitor_core.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 2) return 0;
  kpxmon::DecoderState state;
  state.bubbleLevel = data[0] % 5;
  state.windowHidden = (data[0] >> 3) & 1;
  state.jobPending = (data[0] >> 4) & 1;
  state.lastStatusCode = (data[0] & 0x80) ? 10001 : 0;
  const kpxmon::DecoderRules rules[] = {{true, false}, {false, true}};
  const QByteArray reply =
      kpxmon::untilNul(QByteArray::fromRawData(reinterpret_cast<const char *>(data) + 1, int(size - 1)));
  FUZZ_CHECK(!reply.contains('\0'));

  for (const QByteArray &line : kpxmon::statusLines(reply)) {
    FUZZ_CHECK(line.contains("CODE=") && !line.contains('\r'));
    const int code = kpxmon::statusCodeOf(line);
    const std::optional<kpxmon::StatusRow> row = kpxmon::statusRow(code);
    if (row) FUZZ_CHECK(row->level >= 1 && row->level <= 3 && !row->title.isEmpty());
    const int severity = kpxmon::severityOfCode(code);
    FUZZ_CHECK(severity >= 1 && severity <= 4);
    for (const kpxmon::DecoderRules &r : rules) {
      const kpxmon::CodeDecision d = kpxmon::decideCode(code, state, r);
      FUZZ_CHECK(!d.show || (row && d.show->level == row->level && d.show->title == row->title));
      FUZZ_CHECK(!d.repeat || (!d.show && !d.feedBackReady && !d.refreshJobInfo));
    }
    state.lastStatusCode = code;
  }
  return 0;
}
