// The printerInfo record as both monitors read it into the job pane: every
// value shown comes from the file or is the default, and every text
// lookup answers.
#include "fuzz_util.h"
#include "monitor_core.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), int(size));
  const QStringList lines = text.split(QLatin1Char('\n'));
  const kpxmon::JobRecord r = kpxmon::parseJobRecord(lines);
  // What the pane shows for a field the record lacks: the printer's default.
  const kpxmon::JobRecord defaults = kpxmon::parseJobRecord(QStringList());
  const std::pair<const QString *, const QString *> values[] = {{&r.resolution, &defaults.resolution},
                                                                {&r.papersize, &defaults.papersize},
                                                                {&r.inputslot, &defaults.inputslot},
                                                                {&r.mediatype, &defaults.mediatype},
                                                                {&r.duplex, &defaults.duplex}};
  for (const auto &[value, fallback] : values)
    FUZZ_CHECK(*value == *fallback || (text.contains(*value) && !value->contains(QLatin1Char('\n'))));
  // The pane's texts: whatever the record holds, each lookup gives a text.
  (void)kpxmon::qualityText(r.resolution).size();
  (void)kpxmon::mediaTypeText(r.mediatype).size();
  (void)kpxmon::paperSizeText(r.papersize).size();
  (void)kpxmon::inputSlotText(r.inputslot).size();
  (void)kpxmon::duplexText(r.duplex).size();
  return 0;
}
