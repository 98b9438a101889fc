// lpstat's output (queue names and job titles come from other users): the
// queue counts and the decisions made on them.
#include "fuzz_util.h"
#include "monitor_core.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const QString out = QString::fromUtf8(reinterpret_cast<const char *>(data), int(size));
  const kpxmon::QueueCounts c = kpxmon::countQueues(out);
  FUZZ_CHECK(c.net >= 0 && c.usb >= c.net);  // every network-queue name is a USB-queue name too
  FUZZ_CHECK(qint64(c.usb) * 9 <= out.size());
  if (!out.contains(QLatin1String("kpx7720mw"), Qt::CaseInsensitive)) FUZZ_CHECK(c.usb == 0 && c.net == 0);
  if (c.usb == 0) FUZZ_CHECK(!kpxmon::usbQueueInstalled(c) && !kpxmon::usbJobQueued(c));
  if (c.net == 0) FUZZ_CHECK(!kpxmon::netJobQueued(c));
  return 0;
}
