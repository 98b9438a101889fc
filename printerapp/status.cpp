#include "status.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "appcore.h"
#include "devices.h"
#include "printer_protocol.h"
#include "statusmessage.h"

namespace kpxapp {

namespace {

std::string udpStatus(const char *uri) {
  char scheme[32], userpass[64], host[256], resource[256];
  int port = 0;
  if (httpSeparateURI(HTTP_URI_CODING_ALL, uri, scheme, sizeof scheme, userpass, sizeof userpass, host, sizeof host,
                      &port, resource, sizeof resource) < HTTP_URI_STATUS_OK)
    return "";
  kpx::protocol::UdpStatusQuery query;
  query.host = host;
  if (const char *p = std::getenv("KPX_PRINTER_UDP_PORT"); p != nullptr && *p) {
    char *end = nullptr;
    long n = std::strtol(p, &end, 10);
    if (*end != '\0' || n < 1 || n > 65535) return "";
    query.port = static_cast<int>(n);
  }
  query.waitMs = 2000;
  return kpx::protocol::exchangeUdpStatus(query).reply;
}

std::string usbStatus(pappl_device_t *device) {
  const std::string_view query = kpx::protocol::kStatusQuery;
  if (papplDeviceWrite(device, query.data(), query.size()) < 0) return "";
  papplDeviceFlush(device);
  char buf[512] = {};
  ssize_t n = papplDeviceRead(device, buf, sizeof buf - 1);
  return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

void applyCondition(pappl_printer_t *printer, const kpxapp::PrinterCondition &c) {
  // appcore's reasons, bit by bit, in PAPPL's terms.
  static const struct { unsigned ours; pappl_preason_t pappl; } kMap[] = {
      {kpxapp::kReasonOther, PAPPL_PREASON_OTHER},
      {kpxapp::kReasonCoverOpen, PAPPL_PREASON_COVER_OPEN},
      {kpxapp::kReasonInputTrayMissing, PAPPL_PREASON_INPUT_TRAY_MISSING},
      {kpxapp::kReasonTonerEmpty, PAPPL_PREASON_TONER_EMPTY},
      {kpxapp::kReasonTonerLow, PAPPL_PREASON_TONER_LOW},
      {kpxapp::kReasonMediaEmpty, PAPPL_PREASON_MEDIA_EMPTY},
      {kpxapp::kReasonMediaJam, PAPPL_PREASON_MEDIA_JAM},
      {kpxapp::kReasonMediaLow, PAPPL_PREASON_MEDIA_LOW},
      {kpxapp::kReasonOffline, PAPPL_PREASON_OFFLINE},
      {kpxapp::kReasonWasteFull, PAPPL_PREASON_MARKER_WASTE_FULL},
      {kpxapp::kReasonWasteAlmostFull, PAPPL_PREASON_MARKER_WASTE_ALMOST_FULL},
      {kpxapp::kReasonMediaNeeded, PAPPL_PREASON_MEDIA_NEEDED},
      {kpxapp::kReasonSpoolAreaFull, PAPPL_PREASON_SPOOL_AREA_FULL},
  };
  unsigned ours = c.answered ? c.reasons : kpxapp::kReasonOffline;
  pappl_preason_t add = PAPPL_PREASON_NONE, all = PAPPL_PREASON_NONE;
  for (const auto &m : kMap) {
    all |= m.pappl;
    if (ours & m.ours) add |= m.pappl;
  }
  papplPrinterSetReasons(printer, add, all & ~add);

  pappl_supply_t toner{};
  toner.color = PAPPL_SUPPLY_COLOR_BLACK;
  std::snprintf(toner.description, sizeof toner.description, "Black Toner");
  toner.is_consumed = true;
  toner.level = kpxapp::tonerPercent(c.toner);
  toner.type = PAPPL_SUPPLY_TYPE_TONER;
  papplPrinterSetSupplies(printer, 1, &toner);
}

}  // namespace

std::string queryStatus(pappl_printer_t *printer, pappl_device_t *openDevice) {
  const char *uri = papplPrinterGetDeviceURI(printer);
  if (isNetworkUri(uri)) return udpStatus(uri);
  if (!isUsbUri(uri)) return "";
  if (openDevice != nullptr) return usbStatus(openDevice);
  if (papplPrinterGetNumberOfActiveJobs(printer) > 0) return "";
  pappl_device_t *device = papplPrinterOpenDevice(printer);
  if (device == nullptr) return "";
  std::string reply = usbStatus(device);
  papplPrinterCloseDevice(printer);
  return reply;
}

bool statusCallback(pappl_printer_t *printer) {
  std::string reply = queryStatus(printer, nullptr);
  if (reply.empty() && papplPrinterGetNumberOfActiveJobs(printer) > 0) return true;  // keep what we know
  applyCondition(printer, kpxapp::conditionFromReply(reply));
  return true;
}

void logPrinterMessage(pappl_job_t *job, const std::string &reply) {
  kpxapp::PrinterCondition c = kpxapp::conditionFromReply(reply);
  applyCondition(papplJobGetPrinter(job), c);
  for (int code : c.codes) {
    std::string text = kpxapp::statusMessage(code);
    papplLogJob(job, PAPPL_LOGLEVEL_INFO, "Printer status CODE=%d: %s", code, text.c_str());
  }
}

}  // namespace kpxapp
