// The printerState record as the USB monitor reads it, line by line: the
// line shown is one of the file's "CODE=" lines, or none.
#include "fuzz_util.h"
#include "monitor_core.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const QStringList lines =
      QString::fromUtf8(reinterpret_cast<const char *>(data), int(size)).split(QLatin1Char('\n'));
  int consumed = -1;
  const QString chosen = kpxmon::choosePrinterStateLine(lines, &consumed);
  FUZZ_CHECK(consumed >= 0 && consumed <= lines.size());
  FUZZ_CHECK(chosen.isEmpty() || (chosen.contains(QLatin1String("CODE=")) && lines.mid(0, consumed).contains(chosen)));
  const int level = kpxmon::execMessageLevel(chosen.isEmpty() ? QStringLiteral("CODE=0") : chosen);
  FUZZ_CHECK(level >= 1 && level <= 4);
  // Nothing before the chosen line is more severe.
  for (int i = 0; i < consumed && !chosen.isEmpty(); ++i)
    if (lines[i].contains(QLatin1String("CODE="))) FUZZ_CHECK(kpxmon::execMessageLevel(lines[i]) <= level);
  return 0;
}
