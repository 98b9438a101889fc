// /proc as the USB monitor walks it: entry names and stat lines of other
// users' processes (whose names they choose).
#include "fuzz_util.h"
#include "monitor_core.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  // Entries and their stat lines alternate, one per line.
  const QStringList lines =
      QString::fromUtf8(reinterpret_cast<const char *>(data), int(size)).split(QLatin1Char('\n'));
  QStringList entries;
  QHash<QString, QString> stat;
  for (int i = 0; i + 1 < lines.size(); i += 2) {
    entries << lines[i];
    stat.insert(lines[i], lines[i + 1]);
    const QString name = kpxmon::processNameOfStat(lines[i + 1]);
    FUZZ_CHECK(name.isEmpty() || lines[i + 1].contains(QLatin1Char('(') + name + QLatin1Char(')')));
  }
  int asked = 0;
  const bool found = kpxmon::findProcess(
      entries,
      [&](const QString &entry) {
        ++asked;
        FUZZ_CHECK(!entry.isEmpty() && entry != QLatin1String(".") && entry != QLatin1String(".."));
        return stat.value(entry);
      },
      QLatin1String(kpxmon::kUsbFilterProcess));
  FUZZ_CHECK(asked <= entries.size());
  FUZZ_CHECK(!found || QString::fromUtf8(reinterpret_cast<const char *>(data), int(size))
                           .contains(QStringLiteral("(pstopxl_7720mw)")));
  return 0;
}
