#include "jobcommon.h"

#include <unistd.h>

#include <cstring>
#include <ctime>

#include "devices.h"
#include "printer_protocol.h"
#include "status.h"
#include "ticket.h"

namespace kpxapp {

namespace {

std::string localHostName() {
  char host[256] = "localhost.localdomain";
  if (gethostname(host, sizeof host - 1) != 0) std::strcpy(host, "localhost.localdomain");
  return host;
}

// The job's IPP options in the shape appcore takes.
kpxapp::IppJob ippJobOf(pappl_job_t *job, const pappl_pr_options_t *o) {
  kpxapp::IppJob j;
  j.id = std::to_string(papplJobGetID(job));
  j.user = papplJobGetUsername(job) ? papplJobGetUsername(job) : "";
  j.title = papplJobGetName(job) ? papplJobGetName(job) : "";
  j.host = localHostName();
  j.copies = o->copies;
  j.media = o->media.size_name;
  j.mediaWidth = o->media.size_width;
  j.mediaHeight = o->media.size_length;
  j.source = o->media.source;
  j.type = o->media.type;
  switch (o->sides) {
    case PAPPL_SIDES_TWO_SIDED_LONG_EDGE: j.sides = "two-sided-long-edge"; break;
    case PAPPL_SIDES_TWO_SIDED_SHORT_EDGE: j.sides = "two-sided-short-edge"; break;
    default: j.sides = "one-sided"; break;
  }
  j.dpi = o->printer_resolution[0];
  for (int i = 0; i < o->num_vendor; ++i) j.vendor[o->vendor[i].name] = o->vendor[i].value;
  // A secure-print key is the job's own or none: PAPPL would hand every
  // job a key saved as the printer's default.
  if (papplJobGetAttribute(job, kpxapp::kSecureKeyAttr) == nullptr) j.vendor.erase(kpxapp::kSecureKeyAttr);
  if (ipp_attribute_t *ranges = papplJobGetAttribute(job, "page-ranges")) {
    int upper = 0;
    j.firstPage = ippGetRange(ranges, 0, &upper);
    j.lastPage = upper;
  }
  return j;
}

}  // namespace

bool jobCancelled(pappl_job_t *job) {
  ipp_jstate_t state = papplJobGetState(job);
  return papplJobIsCanceled(job) || state == IPP_JSTATE_CANCELED || state == IPP_JSTATE_ABORTED;
}

bool writeAll(pappl_device_t *device, const std::string &bytes) {
  return bytes.empty() || papplDeviceWrite(device, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

bool planOrFail(pappl_job_t *job, const pappl_pr_options_t *o, kpxapp::JobPlan &plan) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  plan = kpxapp::planJob(ippJobOf(job, o), local);
  if (plan.error.empty()) return true;
  papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "%s", plan.error.c_str());
  papplJobSetMessage(job, "%s", plan.error.c_str());
  return false;
}

bool waitForLock(pappl_job_t *job, pappl_device_t *device) {
  const char *uri = papplPrinterGetDeviceURI(papplJobGetPrinter(job));
  if (!isNetworkUri(uri)) return true;
  kpxapp::beginNetworkJob(device);
  for (int attempt = 0; !jobCancelled(job); ++attempt) {
    papplDeviceWrite(device, kpx::protocol::kLockQuery.data(), kpx::protocol::kLockQuery.size());
    papplDeviceFlush(device);
    int lastCode = kpx::protocol::kNoReplyCode;
    for (int reads = 0; reads < 4; ++reads) {
      char reply[1024] = {};
      ssize_t n = papplDeviceRead(device, reply, sizeof reply - 1);
      if (n <= 0) break;
      kpx::protocol::LockReplyScan scan = kpx::protocol::scanLockReply(reply, lastCode);
      lastCode = scan.lastCode;
      kpx::protocol::LockOutcome outcome = kpx::protocol::lockOutcome(scan);
      if (outcome == kpx::protocol::LockOutcome::MayPrint) return true;
      if (outcome == kpx::protocol::LockOutcome::NoAnswer) break;
    }
    papplJobSetMessage(job, "正在连接打印机，请稍后");
    papplLogJob(job, PAPPL_LOGLEVEL_INFO, "Printer not ready to print (lock query %d), asking again.", attempt + 1);
    sleep(1);
  }
  return false;
}

void finishJob(pappl_job_t *job, pappl_device_t *device, bool sent, bool cancelled) {
  if (sent) writeAll(device, std::string(cancelled ? kpx::kCancelSequence : kpx::kEndOfJobTrailer));
  papplDeviceFlush(device);
  pappl_printer_t *printer = papplJobGetPrinter(job);
  if (isNetworkUri(papplPrinterGetDeviceURI(printer))) kpxapp::endNetworkJob(device);
  logPrinterMessage(job, queryStatus(printer, device));
}

int sheetsFor(int impressions, bool duplex) { return duplex ? (impressions + 1) / 2 : impressions; }

}  // namespace kpxapp
