// The netIpInfo record as the network monitor reads it: the address taken
// is one of its lines, and a datagram counts only when it comes from that
// address.
#include <QHostAddress>

#include "fuzz_util.h"
#include "monitor_core.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const QStringList lines =
      QString::fromUtf8(reinterpret_cast<const char *>(data), int(size)).split(QLatin1Char('\n'));
  const QString address = kpxmon::netIpInfoAddress(lines);
  FUZZ_CHECK(lines.contains(address));
  const QHostAddress printer(address);
  const QHostAddress stranger(QStringLiteral("192.0.2.77"));
  if (!printer.isNull()) {
    FUZZ_CHECK(kpxmon::datagramFromPrinter(printer, address));
    if (printer.protocol() == QAbstractSocket::IPv4Protocol)
      FUZZ_CHECK(kpxmon::datagramFromPrinter(QHostAddress(QStringLiteral("::ffff:") + printer.toString()), address));
  }
  FUZZ_CHECK(!kpxmon::datagramFromPrinter(stranger, address) || printer.isEqual(stranger, QHostAddress::TolerantConversion));
  FUZZ_CHECK(!kpxmon::datagramFromPrinter(QHostAddress(), address));
  return 0;
}
