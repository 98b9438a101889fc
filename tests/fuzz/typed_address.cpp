// Addresses typed into the IP setup tool's forms: what the forms accept
// goes onto the wire as exactly those numbers, and what they refuse gets a
// complaint.
#include "fuzz_util.h"
#include "monitor_core.h"
#include "netipset_core.h"

namespace {

QString normalised(const QString &dotted) {
  QStringList parts;
  for (const QString &p : dotted.split(QLatin1Char('.'))) parts << QString::number(p.toInt());
  return parts.join(QLatin1Char('.'));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const auto f = kpxfuzz::fields(data, size, 3);
  const QString address = QString::fromUtf8(f[0].data(), int(f[0].size()));
  const QString mask = QString::fromUtf8(f[1].data(), int(f[1].size()));
  const QString gateway = QString::fromUtf8(f[2].data(), int(f[2].size()));

  const bool valid[] = {kpxnip::checkIp(address), kpxnip::checkIp(mask), kpxnip::checkIp(gateway)};
  FUZZ_CHECK(kpxnip::addressComplaint(address).isEmpty() == valid[0]);
  FUZZ_CHECK(kpxnip::settingsComplaint(address, mask, gateway).isEmpty() == (valid[0] && valid[1] && valid[2]));

  const QByteArray block = kpxnip::encodeSettings(address, mask, gateway);
  FUZZ_CHECK(block.size() == kpxnip::kBlockSize);
  if (valid[0] && valid[1] && valid[2]) {
    const kpxnip::Settings back = kpxnip::decodeSettings(block);
    FUZZ_CHECK(back.address == normalised(address));
    FUZZ_CHECK(back.mask == normalised(mask));
    FUZZ_CHECK(back.gateway == normalised(gateway));
  }
  // An accepted address written to netIpInfo is the one the network
  // monitor reads back.
  if (valid[0])
    FUZZ_CHECK(kpxmon::netIpInfoAddress(kpxnip::netIpInfoContent(address).split(QLatin1Char('\n'))) == address);
  return 0;
}
