// kpx7720mw-printer-app: an IPP Everywhere printer application for the
// KPX7720MW on PAPPL. This file is the shell: PAPPL callbacks, devices,
// Ghostscript and the status queries. Every decision lives in appcore and
// in the classic filter's core.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <pappl/pappl.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "access.h"
#include "appcore.h"
#include "devices.h"
#include "geometry.h"
#include "interpreter.h"
#include "paths.h"
#include "printer_description.h"
#include "pappl_dnssd.h"
#include "printer_protocol.h"
#include "pappl_guard.h"
#include "pappl_private.h"
#include "webpages.h"
#include "pclxl_writer.h"
#include "rasterpage.h"
#include "ticket.h"
#include "statusmessage.h"
#include "usbowner.h"

// The printer's icon at 48, 128 and 512 pixels (icons.cmake).
extern "C" const unsigned char kpx_icon_48[], kpx_icon_128[], kpx_icon_512[];
extern "C" const size_t kpx_icon_48_size, kpx_icon_128_size, kpx_icon_512_size;

namespace {

constexpr const char *kDriverName = "kpx7720mw";
constexpr const char *kDeviceId = "MFG:ZUVA;MDL:KPX7720MW;CMD:PJL,PCLXL;";
constexpr const char *kVersion = KPX_APP_VERSION;  // from its package's changelog
constexpr const char *kUel = "\x1b%-12345X";

pappl_pr_driver_t g_drivers[] = {{kDriverName, "ZUVA KPX7720MW", kDeviceId, nullptr}};

// ---------------------------------------------------------------- helpers

std::string envOr(const char *name, const char *fallback) {
  const char *v = std::getenv(name);
  return v != nullptr && *v ? v : fallback;
}

bool isNetworkUri(const char *uri) { return uri != nullptr && std::strncmp(uri, "socket://", 9) == 0; }
bool isUsbUri(const char *uri) { return uri != nullptr && std::strncmp(uri, "usb://", 6) == 0; }

bool writeAll(pappl_device_t *device, const std::string &bytes) {
  return bytes.empty() || papplDeviceWrite(device, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

std::string localHostName() {
  char host[256] = "localhost.localdomain";
  if (gethostname(host, sizeof host - 1) != 0) std::strcpy(host, "localhost.localdomain");
  return host;
}

// Cancel-Job on a processing job may mark it cancelled without raising the
// flag papplJobIsCanceled reads (PAPPL 1.3.1), so the state counts too.
bool jobCancelled(pappl_job_t *job) {
  ipp_jstate_t state = papplJobGetState(job);
  return papplJobIsCanceled(job) || state == IPP_JSTATE_CANCELED || state == IPP_JSTATE_ABORTED;
}

// The gate of the job's printer: the job holds it from its first byte
// towards the printer until the printer connection is closed.
kpxapp::DeviceGate &gateOf(pappl_job_t *job) {
  static std::mutex mutex;
  static std::map<int, std::unique_ptr<kpxapp::DeviceGate>> gates;
  std::lock_guard<std::mutex> lock(mutex);
  std::unique_ptr<kpxapp::DeviceGate> &gate = gates[papplPrinterGetID(papplJobGetPrinter(job))];
  if (!gate) gate = std::make_unique<kpxapp::DeviceGate>();
  return *gate;
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

// Asks a network printer whether it may print now, as the network queue's
// filter does, until it says yes or the job is cancelled.
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

// The printer's own message about its state, for the job log.
void logPrinterMessage(pappl_job_t *job, const std::string &reply);
std::string queryStatus(pappl_printer_t *printer, pappl_device_t *openDevice);

// Closes the job towards the printer (when anything of it was sent) and
// logs what the printer says afterwards.
void finishJob(pappl_job_t *job, pappl_device_t *device, bool sent, bool cancelled) {
  if (sent) writeAll(device, std::string(cancelled ? kpx::kCancelSequence : kpx::kEndOfJobTrailer));
  papplDeviceFlush(device);
  pappl_printer_t *printer = papplJobGetPrinter(job);
  if (isNetworkUri(papplPrinterGetDeviceURI(printer))) kpxapp::endNetworkJob(device);
  logPrinterMessage(job, queryStatus(printer, device));
}

// The sheets of paper that many printed sides take.
int sheetsFor(int impressions, bool duplex) { return duplex ? (impressions + 1) / 2 : impressions; }

// ---------------------------------------------------------------- PDF / PostScript

// The longest one document may take to convert (-o job-time-limit=SECONDS).
int g_interpreterTimeLimit = 300;

std::string interpreterPath() {
  // The interpreter the classic queues use, else the system's.
  std::string own = kpx::printersRoot() + "/" + kpx::records::kInterpreter;
  if (access(own.c_str(), X_OK) == 0) return own;
  return envOr("KPX_GHOSTSCRIPT", "/usr/bin/gs");
}

// Runs the interpreter on the document and streams its output behind the
// ticket. Returns false when the conversion failed or the job was cancelled.
bool renderDocument(pappl_job_t *job, pappl_device_t *device, const kpxapp::JobPlan &plan, bool &cancelled,
                    bool &sent) {
  const kpx::JobSettings &s = plan.settings;
  kpx::RasterArgs raster = kpx::rasterArgsFor(s.pageSize, s.resolution, s.customSize, kpx::kDefaultCustomRange);
  if (!raster.fallback.empty()) papplLogJob(job, PAPPL_LOGLEVEL_WARN, "%s; printing A4 at 600 dpi", raster.fallback.c_str());
  kpx::Ticket ticket = kpx::buildTicket(s);
  std::vector<std::string> args = kpxapp::documentArgs(plan, raster, ticket.mediaPosition);
  // The spooled file by name, not on standard input: Ghostscript copies a
  // PDF it reads from a pipe into a temporary file, which a cancelled job
  // (the interpreter ended by a signal) would leave behind.
  const char *document = papplJobGetFilename(job);
  if (document == nullptr || access(document, R_OK) != 0) {
    papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Unable to open the document: %s",
                document == nullptr ? "it is gone" : std::strerror(errno));
    return false;
  }
  // The interpreter's complaints go to the job log.
  FILE *errors = std::tmpfile();

  kpx::InterpreterRun run;
  run.program = interpreterPath();
  run.args = std::move(args);
  run.document = document;
  run.errorFd = errors != nullptr ? fileno(errors) : -1;
  run.resolutionArg = raster.resolution;
  run.timeLimitSeconds = g_interpreterTimeLimit;
  run.wholeChunks = false;
  run.cancelled = [job] { return jobCancelled(job); };
  // The ticket goes ahead of the first page data.
  run.sink = [&](const char *data, size_t length) {
    const bool first = !sent;
    sent = true;
    if (jobCancelled(job)) return kpx::SinkResult{0, false};  // not a byte more once cancelled
    if (first && papplDeviceWrite(device, ticket.text.data(), ticket.text.size()) !=
                     static_cast<ssize_t>(ticket.text.size()))
      return kpx::SinkResult{0, false};
    if (papplDeviceWrite(device, data, length) != static_cast<ssize_t>(length)) return kpx::SinkResult{0, false};
    return kpx::SinkResult{length, true};
  };
  // The pages as they leave for the printer, for the job's page count.
  int impressions = 0;
  const bool duplex = plan.duplex != kpx::Duplex::Simplex;
  run.pageSent = [&](int copies) {
    impressions += copies;
    papplJobSetImpressionsCompleted(job, copies);
    kpx_job_set_media_sheets_completed(job, sheetsFor(impressions, duplex));
  };
  const kpx::InterpreterResult result = kpx::runInterpreter(run);
  if (result.end == kpx::InterpreterResult::End::NotStarted) {
    if (std::strcmp(result.failedStep, "fork") == 0)
      papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Unable to start %s: %s", run.program.c_str(),
                  std::strerror(result.error));
    if (errors != nullptr) std::fclose(errors);
    return false;
  }
  cancelled = result.end == kpx::InterpreterResult::End::Cancelled ||
              (result.end == kpx::InterpreterResult::End::Refused && jobCancelled(job));
  const bool ok = result.end == kpx::InterpreterResult::End::Finished;
  const bool timedOut = result.end == kpx::InterpreterResult::End::TimedOut;
  const int status = result.waitStatus;
  const int pagesSent = result.pages;
  if (errors != nullptr) {
    std::rewind(errors);
    char line[512];
    for (int lines = 0; lines < 50 && std::fgets(line, sizeof line, errors) != nullptr; ++lines) {
      line[std::strcspn(line, "\r\n")] = '\0';
      if (line[0] != '\0') papplLogJob(job, PAPPL_LOGLEVEL_WARN, "Ghostscript: %s", line);
    }
    std::fclose(errors);
  }
  if (cancelled) return false;
  if (timedOut) {
    papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "The document took longer than %d seconds to convert; it was stopped.",
                g_interpreterTimeLimit);
    papplJobSetMessage(job, "The document took too long to convert for the printer.");
    papplJobSetReasons(job, PAPPL_JREASON_DOCUMENT_UNPRINTABLE_ERROR, PAPPL_JREASON_NONE);
    return false;
  }
  if (!ok) {
    papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "The printer stopped taking data.");
    return false;
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Ghostscript could not convert the document (status %d).", status);
    papplJobSetMessage(job, "The document could not be converted for the printer.");
    papplJobSetReasons(job, PAPPL_JREASON_DOCUMENT_FORMAT_ERROR, PAPPL_JREASON_NONE);
    return false;
  }
  if (!sent || pagesSent == 0) {
    // Ghostscript ends some broken documents with success and no page.
    papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "The document has no page that could be printed.");
    papplJobSetReasons(job, PAPPL_JREASON_DOCUMENT_FORMAT_ERROR, PAPPL_JREASON_NONE);
    papplJobSetMessage(job, "The document has no printable page.");
    return false;
  }
  return true;
}

// PAPPL 1.3.1 may still start a job that was cancelled while it waited
// (the cancel removed its document), as "processing" again: it ends as
// cancelled, without a word to the printer.
bool startedAfterCancel(pappl_job_t *job) {
  if (papplJobGetFilename(job) != nullptr || gateOf(job).knows(papplJobGetID(job))) return false;
  papplLogJob(job, PAPPL_LOGLEVEL_INFO, "The job was cancelled before it started.");
  papplJobCancel(job);
  return true;
}

bool printDocument(pappl_job_t *job, pappl_device_t *device, void *) {
  if (startedAfterCancel(job)) return true;
  const int id = papplJobGetID(job);
  kpxapp::DeviceGate &gate = gateOf(job);
  kpxapp::DeviceGate::Entry entry = gate.enter(id);
  if (!entry.prints) {
    papplLogJob(job, PAPPL_LOGLEVEL_DEBUG, "The job was printed by another run of it.");
    return entry.ok;
  }
  pappl_pr_options_t *o = papplJobCreatePrintOptions(job, 1, false);
  kpxapp::JobPlan plan;
  bool ok = planOrFail(job, o, plan) && !jobCancelled(job) && waitForLock(job, device);
  papplJobDeletePrintOptions(o);
  if (ok) {
    bool cancelled = false, sent = false;
    ok = renderDocument(job, device, plan, cancelled, sent);
    finishJob(job, device, sent, cancelled || !ok);
  }
  gate.leave(id, ok);
  return ok;
}

// ---------------------------------------------------------------- raster

struct RasterJob {
  kpxapp::JobPlan plan;
  std::string out;
  kpxapp::PclxlRasterWriter writer{out};
  bool sessionOpen = false;
  bool failed = false;  // a page could not be printed or sent
  kpxapp::RasterFormat page;      // the page being printed, as its lines come
  std::vector<uint8_t> row;       // one line as the printer takes it
  pthread_t thread = pthread_self();  // the run that prints the job
};

// In a run of a raster job that another run printed: that job, when its
// printing run succeeded (this run then goes through the pages idly).
thread_local int t_printedByTwin = 0;

// What a raster callback answers in a run that does not print the job.
bool twinAnswer(pappl_job_t *job) { return t_printedByTwin == papplJobGetID(job); }

// The job's raster data, for the run that owns it only (a second run of
// the same job gets none).
RasterJob *rasterJobOf(pappl_job_t *job) {
  auto *rj = static_cast<RasterJob *>(papplJobGetData(job));
  return rj != nullptr && pthread_equal(rj->thread, pthread_self()) ? rj : nullptr;
}

// Sends what the writer made; nothing more of a job once it is cancelled.
bool flushOut(pappl_job_t *job, pappl_device_t *device, RasterJob *rj) {
  bool ok = !jobCancelled(job) && writeAll(device, rj->out);
  rj->out.clear();
  if (!ok) rj->failed = true;
  return ok;
}

// A page as PAPPL describes it: the client's own header for streamed
// raster, else the job's page PAPPL renders PNG and JPEG into.
kpxapp::RasterFormat formatOf(const cups_page_header2_t &h) {
  kpxapp::RasterFormat f;
  f.width = h.cupsWidth;
  f.height = h.cupsHeight;
  f.bitsPerColor = h.cupsBitsPerColor;
  f.bitsPerPixel = h.cupsBitsPerPixel;
  f.bytesPerLine = h.cupsBytesPerLine;
  f.colorSpace = h.cupsColorSpace;
  f.colorOrder = h.cupsColorOrder;
  f.xdpi = h.HWResolution[0];
  f.ydpi = h.HWResolution[1];
  f.pageWidthPt = h.PageSize[0];
  f.pageHeightPt = h.PageSize[1];
  return f;
}

// Ends the job on a page it cannot print, with the reason in the job's
// state (document-format-error or document-unprintable-error).
bool refusePage(pappl_job_t *job, const kpxapp::PageCheck &check) {
  papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "%s", check.reason.c_str());
  papplJobSetMessage(job, "%s", check.reason.c_str());
  papplJobSetReasons(job,
                     check.verdict == kpxapp::PageVerdict::FormatError ? PAPPL_JREASON_DOCUMENT_FORMAT_ERROR
                                                                       : PAPPL_JREASON_DOCUMENT_UNPRINTABLE_ERROR,
                     PAPPL_JREASON_NONE);
  return false;
}

// Closes the session and the connection, and frees the job's data and
// its printer's gate.
bool endRasterJob(pappl_job_t *job, pappl_device_t *device) {
  RasterJob *rj = rasterJobOf(job);
  if (rj == nullptr) return twinAnswer(job);
  papplJobSetData(job, nullptr);
  bool ok = true;
  if (rj->sessionOpen) {
    bool cancelled = jobCancelled(job);
    if (!cancelled) {
      rj->writer.endSession();
      rj->out += kUel;
      ok = flushOut(job, device, rj);
    }
    finishJob(job, device, true, cancelled || rj->failed);
  }
  ok = ok && !rj->failed;
  delete rj;
  gateOf(job).leave(papplJobGetID(job), ok);
  return ok;
}

bool rStartJob(pappl_job_t *job, pappl_pr_options_t *o, pappl_device_t *device) {
  const int id = papplJobGetID(job);
  t_printedByTwin = 0;
  kpxapp::DeviceGate::Entry entry = gateOf(job).enter(id);
  if (!entry.prints) {
    papplLogJob(job, PAPPL_LOGLEVEL_DEBUG, "The job was printed by another run of it.");
    if (entry.ok) t_printedByTwin = id;
    return entry.ok;
  }
  // A streamed page is checked before anything goes to the printer; its
  // resolution is the session's.
  const cups_page_header2_t *streamed = kpxapp::streamedPageHeader();
  kpxapp::RasterFormat first = formatOf(streamed != nullptr ? *streamed : o->header);
  kpxapp::PageCheck check = kpxapp::checkRasterPage(first);
  // The ticket names the resolution the pages come in.
  if (streamed != nullptr) o->printer_resolution[0] = o->printer_resolution[1] = static_cast<int>(first.xdpi);
  auto *rj = new RasterJob;
  if (check.verdict != kpxapp::PageVerdict::Printable) {
    refusePage(job, check);
  } else if (!jobCancelled(job) && planOrFail(job, o, rj->plan) && waitForLock(job, device)) {
    papplJobSetData(job, rj);
    rj->out = kpx::buildTicket(rj->plan.settings).text;
    rj->writer.beginSession(static_cast<int>(first.xdpi));
    rj->sessionOpen = true;
    return flushOut(job, device, rj);
  }
  gateOf(job).leave(id, false);
  delete rj;
  return false;
}

bool rStartPage(pappl_job_t *job, pappl_pr_options_t *o, pappl_device_t *device, unsigned page) {
  RasterJob *rj = rasterJobOf(job);
  if (rj == nullptr) return twinAnswer(job);
  if (!rj->sessionOpen) return false;
  const cups_page_header2_t *streamed = kpxapp::streamedPageHeader();
  kpxapp::RasterFormat f = formatOf(streamed != nullptr ? *streamed : o->header);
  kpxapp::PageCheck check = kpxapp::checkRasterPage(f);
  if (check.verdict == kpxapp::PageVerdict::Printable && static_cast<int>(f.xdpi) != rj->writer.sessionDpi())
    check = {kpxapp::PageVerdict::Unprintable, "The document's pages do not all have the same resolution."};
  if (check.verdict != kpxapp::PageVerdict::Printable) {
    rj->failed = true;
    return refusePage(job, check);
  }
  // PAPPL then reads the client's lines as they are and hands them on
  // unchanged: no cropping, padding or dithering of its own.
  if (streamed != nullptr) o->header = *streamed;
  rj->page = f;
  rj->row.assign((f.width + 7) / 8, 0);

  kpxapp::RasterPage p;
  p.dpi = static_cast<int>(f.xdpi);
  p.width = f.width;
  p.height = f.height;
  // The paper: the size the client's raster page says it is, else the job's.
  int widthHmm = o->media.size_width, lengthHmm = o->media.size_length;
  const char *mediaName = o->media.size_name;
  if (streamed != nullptr && f.pageWidthPt > 0 && f.pageHeightPt > 0) {
    widthHmm = static_cast<int>(f.pageWidthPt * 2540 / 72);
    lengthHmm = static_cast<int>(f.pageHeightPt * 2540 / 72);
    pwg_media_t *named = pwgMediaForSize(widthHmm, lengthHmm);
    mediaName = named != nullptr ? named->pwg : "";
  }
  const kpx::MediaSize *m = kpxapp::mediaByPwg(mediaName);
  p.mediaSizeEnum = m != nullptr ? m->pclxlMedia : kpx::kPclxlCustomMedia;
  p.mediaWidthIn = widthHmm / 2540.0;
  p.mediaHeightIn = lengthHmm / 2540.0;
  p.mediaSource = kpxapp::pclxlMediaSource(rj->plan.settings.inputSlot);
  p.duplex = rj->plan.duplex;
  p.backSide = rj->plan.duplex != kpx::Duplex::Simplex && (page % 2) == 0;
  if (!rj->writer.beginPage(p)) {
    rj->failed = true;
    return refusePage(job, {kpxapp::PageVerdict::Unprintable, "The page is too large for the printer."});
  }
  return flushOut(job, device, rj);
}

bool rWriteLine(pappl_job_t *job, pappl_pr_options_t *, pappl_device_t *device, unsigned y, const unsigned char *line) {
  RasterJob *rj = rasterJobOf(job);
  if (rj == nullptr) return twinAnswer(job);
  if (y >= rj->page.height) return true;
  kpxapp::toPrinterRow(rj->page, line, y, rj->row.data());
  rj->writer.writeLine(rj->row.data());
  return rj->out.size() < 65536 || flushOut(job, device, rj);
}

bool rEndPage(pappl_job_t *job, pappl_pr_options_t *, pappl_device_t *device, unsigned) {
  RasterJob *rj = rasterJobOf(job);
  if (rj == nullptr) return twinAnswer(job);
  rj->writer.endPage();
  kpx_job_set_media_sheets_completed(job, sheetsFor(rj->writer.pagesWritten(), rj->plan.duplex != kpx::Duplex::Simplex));
  return flushOut(job, device, rj);
}

bool rEndJob(pappl_job_t *job, pappl_pr_options_t *, pappl_device_t *device) { return endRasterJob(job, device); }

// ---------------------------------------------------------------- state

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

// Asks the printer for its status: over UDP on the network, over USB while
// no job holds the device (openDevice: the job's device, or null).
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

// ---------------------------------------------------------------- USB owner

// The marker that keeps the USB status monitor off the device is there
// exactly while one of our printers is on USB. The printers on USB are
// counted here, not by asking PAPPL, which may call the creation and
// deletion callbacks with its locks held (asking it for its printers there
// never returned: the server hung after Delete-Printer).
std::mutex g_usbMutex;
std::set<int> g_usbPrinters;

void updateUsbOwner(pappl_system_t *system, pappl_printer_t *printer, bool present) {
  std::lock_guard<std::mutex> lock(g_usbMutex);
  if (printer != nullptr && isUsbUri(papplPrinterGetDeviceURI(printer))) {
    if (present)
      g_usbPrinters.insert(papplPrinterGetID(printer));
    else
      g_usbPrinters.erase(papplPrinterGetID(printer));
  }
  if (g_usbPrinters.empty())
    kpx::releaseUsbOwnership();
  else if (!kpx::claimUsbOwnership())
    papplLog(system, PAPPL_LOGLEVEL_WARN, "Unable to write %s: the USB status monitor may open the printer too.",
             kpx::usbOwnerMarkerPath().c_str());
}

void printerCreated(pappl_printer_t *printer, void *) {
  updateUsbOwner(papplPrinterGetSystem(printer), printer, true);
}

void printerDeleted(pappl_printer_t *printer, pappl_pr_driver_data_t *) {
  updateUsbOwner(papplPrinterGetSystem(printer), printer, false);
}

// ---------------------------------------------------------------- driver

const char *autoAdd(const char *, const char *, const char *device_id, void *) {
  if (device_id == nullptr) return nullptr;
  cups_option_t *pairs = nullptr;
  int n = papplDeviceParseID(device_id, &pairs);
  const char *mfg = cupsGetOption("MFG", n, pairs);
  if (mfg == nullptr) mfg = cupsGetOption("MANUFACTURER", n, pairs);
  const char *mdl = cupsGetOption("MDL", n, pairs);
  if (mdl == nullptr) mdl = cupsGetOption("MODEL", n, pairs);
  bool ours = mfg != nullptr && mdl != nullptr && !strcasecmp(mfg, "ZUVA") && !strcasecmp(mdl, "KPX7720MW");
  cupsFreeOptions(n, pairs);
  return ours ? kDriverName : nullptr;
}

bool driverCallback(pappl_system_t *, const char *driver_name, const char *, const char *,
                    pappl_pr_driver_data_t *d, ipp_t **attrs, void *) {
  if (std::strcmp(driver_name, kDriverName) != 0) return false;
  d->printfile_cb = nullptr;
  d->rstartjob_cb = rStartJob;
  d->rstartpage_cb = rStartPage;
  d->rwriteline_cb = rWriteLine;
  d->rendpage_cb = rEndPage;
  d->rendjob_cb = rEndJob;
  d->status_cb = statusCallback;
  d->delete_cb = printerDeleted;
  d->format = nullptr;  // no raw data: every document goes through the ticket
  d->testpage_cb = kpxapp::testPageFile;
  const struct { const unsigned char *png; size_t size; } icons[3] = {
      {kpx_icon_48, kpx_icon_48_size}, {kpx_icon_128, kpx_icon_128_size}, {kpx_icon_512, kpx_icon_512_size}};
  for (int i = 0; i < 3; ++i) {
    d->icons[i].data = icons[i].png;
    d->icons[i].datalen = icons[i].size;
  }
  std::snprintf(d->make_and_model, sizeof d->make_and_model, "ZUVA KPX7720MW");
  d->ppm = 30;
  d->kind = PAPPL_KIND_DOCUMENT;
  d->has_supplies = true;
  d->color_supported = PAPPL_COLOR_MODE_MONOCHROME | PAPPL_COLOR_MODE_AUTO | PAPPL_COLOR_MODE_AUTO_MONOCHROME;
  d->color_default = PAPPL_COLOR_MODE_MONOCHROME;
  d->content_default = PAPPL_CONTENT_AUTO;
  d->quality_default = IPP_QUALITY_NORMAL;
  d->scaling_default = PAPPL_SCALING_AUTO;
  // Grey pages are made 1-bit here (rasterpage.h), at their own width.
  d->raster_types = PAPPL_PWG_RASTER_TYPE_NONE;
  for (const kpxapp::RasterType &t : kpxapp::listedRasterTypes()) {
    if (!std::strcmp(t.pwgName, "black_1")) d->raster_types |= PAPPL_PWG_RASTER_TYPE_BLACK_1;
    else if (!std::strcmp(t.pwgName, "black_8")) d->raster_types |= PAPPL_PWG_RASTER_TYPE_BLACK_8;
    else if (!std::strcmp(t.pwgName, "sgray_8")) d->raster_types |= PAPPL_PWG_RASTER_TYPE_SGRAY_8;
  }
  d->duplex = PAPPL_DUPLEX_NORMAL;
  d->sides_supported = PAPPL_SIDES_ONE_SIDED | PAPPL_SIDES_TWO_SIDED_LONG_EDGE | PAPPL_SIDES_TWO_SIDED_SHORT_EDGE;
  d->sides_default = PAPPL_SIDES_ONE_SIDED;
  // Raster resolutions: the queues' "2400dpi" is the printer's enhanced
  // mode of a 1200-dpi raster, not a raster of its own.
  const std::vector<int> &dpis = kpxapp::rasterResolutions();
  d->num_resolution = static_cast<int>(dpis.size());
  for (int i = 0; i < d->num_resolution; ++i) d->x_resolution[i] = d->y_resolution[i] = dpis[static_cast<size_t>(i)];
  d->x_default = d->y_default = kpxapp::defaultDpi();
  const int margin = kpxapp::marginHundredthsMm();
  d->left_right = d->bottom_top = margin;

  const auto &sizes = kpxapp::mediaSizes();
  d->num_media = 0;
  for (const auto &m : sizes) d->media[d->num_media++] = m.pwg;
  d->media[d->num_media++] = kpxapp::customSizeMinName().c_str();
  d->media[d->num_media++] = kpxapp::customSizeMaxName().c_str();

  const auto &sources = kpxapp::mediaSources();
  d->num_source = static_cast<int>(sources.size());
  for (int i = 0; i < d->num_source; ++i) d->source[i] = sources[static_cast<size_t>(i)].ipp;
  const auto &types = kpxapp::mediaTypes();
  d->num_type = static_cast<int>(types.size());
  for (int i = 0; i < d->num_type; ++i) d->type[i] = types[static_cast<size_t>(i)].ipp;

  pappl_media_col_t media{};
  const char *defaultSize = kpxapp::defaultMedia().pwg;
  pwg_media_t *pwg = pwgMediaForPWG(defaultSize);
  std::snprintf(media.size_name, sizeof media.size_name, "%s", defaultSize);
  media.size_width = pwg ? pwg->width : 21000;
  media.size_length = pwg ? pwg->length : 29700;
  media.left_margin = media.right_margin = media.top_margin = media.bottom_margin = margin;
  std::snprintf(media.source, sizeof media.source, "%s", kpx::autoInputSlot().ipp);
  std::snprintf(media.type, sizeof media.type, "%s", kpx::defaultMediaType().ipp);
  d->media_default = media;
  for (int i = 0; i < d->num_source; ++i) {
    d->media_ready[i] = media;
    std::snprintf(d->media_ready[i].source, sizeof d->media_ready[i].source, "%s", d->source[i]);
  }

  d->orient_default = IPP_ORIENT_PORTRAIT;
  d->identify_supported = PAPPL_IDENTIFY_ACTIONS_DISPLAY;
  d->identify_default = PAPPL_IDENTIFY_ACTIONS_DISPLAY;

  // Vendor attributes where IPP has none. Deliberately no job-password:
  // PAPPL would accept it and never hand it to us.
  d->num_vendor = 3;
  d->vendor[0] = kpxapp::kTonerSaveAttr;
  d->vendor[1] = kpxapp::kDensityAttr;
  d->vendor[2] = kpxapp::kSecureKeyAttr;
  *attrs = ippNew();
  const std::vector<const char *> &toner = kpxapp::vendorValues(kpxapp::kTonerSaveAttr);
  ippAddStrings(*attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "toner-save-supported", static_cast<int>(toner.size()),
                nullptr, toner.data());
  ippAddString(*attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "toner-save-default", nullptr,
               kpxapp::vendorDefault(kpxapp::kTonerSaveAttr));
  std::vector<const char *> levels;
  for (const std::string &l : kpxapp::densityLevels()) levels.push_back(l.c_str());
  ippAddStrings(*attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "print-density-level-supported",
                static_cast<int>(levels.size()), nullptr, levels.data());
  ippAddString(*attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "print-density-level-default", nullptr,
               kpxapp::vendorDefault(kpxapp::kDensityAttr));
  // Attributes PAPPL 1.3.1 leaves out although IPP Everywhere asks for
  // them; the values say what this printer really does.
  ippAddBoolean(*attrs, IPP_TAG_PRINTER, "preferred-attributes-supported", 0);
  ippAddString(*attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "print-rendering-intent-supported", nullptr, "auto");
  ippAddString(*attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "print-rendering-intent-default", nullptr, "auto");
  ippAddString(*attrs, IPP_TAG_PRINTER, IPP_TAG_TEXT, "secure-print-key-default", nullptr, "");
  return true;
}

// ---------------------------------------------------------------- system

void addFilters(pappl_system_t *system) {
  papplSystemAddMIMEFilter(system, "application/pdf", "image/pwg-raster", printDocument, nullptr);
  papplSystemAddMIMEFilter(system, "application/postscript", "image/pwg-raster", printDocument, nullptr);
}

bool saveState(pappl_system_t *system, void *file) {
  return papplSystemSaveState(system, static_cast<const char *>(file));
}

bool g_serving = false;  // this process runs the server (not a client sub-command)
std::string g_baseName = "kpx7720mw-printer-app";  // the program's name, as PAPPL names its socket

// Decoded PNG and JPEG: a Legal page at 1200 dpi, one byte a pixel.
constexpr size_t kMaxImageBytes = size_t{10200} * 16800;
constexpr int kMaxImageSide = 16800;

// Where PAPPL's main loop puts the server's local socket.
std::string localSocketPath() {
  if (getuid() != 0) return std::string(papplGetTempDir()) + "/" + g_baseName + std::to_string(getuid()) + ".sock";
  if (const char *snap = std::getenv("SNAP_COMMON")) return std::string(snap) + "/" + g_baseName + ".sock";
  return std::string(KPX_PAPPL_SOCKDIR) + "/" + g_baseName + ".sock";
}

pappl_system_t *systemCallback(int num_options, cups_option_t *options, void *) {
  if (!g_serving) std::atexit(kpx::releaseUsbOwnership);
  g_serving = true;
  const char *value;
  pappl_loglevel_t loglevel = PAPPL_LOGLEVEL_WARN;
  if ((value = cupsGetOption("log-level", num_options, options)) != nullptr) {
    if (!std::strcmp(value, "debug")) loglevel = PAPPL_LOGLEVEL_DEBUG;
    else if (!std::strcmp(value, "info")) loglevel = PAPPL_LOGLEVEL_INFO;
    else if (!std::strcmp(value, "error")) loglevel = PAPPL_LOGLEVEL_ERROR;
  }
  const char *logfile = cupsGetOption("log-file", num_options, options);
  const char *spool = cupsGetOption("spool-directory", num_options, options);
  const char *state = cupsGetOption("state-file", num_options, options);
  int port = 0;
  if ((value = cupsGetOption("server-port", num_options, options)) != nullptr) port = std::atoi(value);
  // Sharing with the network is the administrator's choice: -o listen=any.
  const char *listen = cupsGetOption("listen", num_options, options);
  const bool shared = listen != nullptr && std::strcmp(listen, "localhost") != 0;
  // Logins (administration from a user who is not root or an
  // administrator by the kernel's word, from other computers, the web
  // pages) are checked with PAM; there is no web password page.
  kpxapp::AccessPolicy access;
  const char *auth = cupsGetOption("auth-service", num_options, options);
  access.pamService = auth == nullptr ? "login" : std::strcmp(auth, "none") ? auth : "";
  const char *adminGroup = cupsGetOption("admin-group", num_options, options);
  access.adminGroup = adminGroup != nullptr ? adminGroup : "lpadmin";
  if ((value = cupsGetOption("job-time-limit", num_options, options)) != nullptr && std::atoi(value) > 0)
    g_interpreterTimeLimit = std::atoi(value);

  pappl_soptions_t soptions = PAPPL_SOPTIONS_MULTI_QUEUE | PAPPL_SOPTIONS_WEB_INTERFACE | PAPPL_SOPTIONS_WEB_LOG;
  // On loopback TLS protects nothing, and PAPPL 1.3.1 would list "tls" in
  // uri-security-supported without an ipps: URI beside it.
  if (!shared) soptions |= PAPPL_SOPTIONS_NO_TLS;
  kpxapp::setDnssdTlsOffered(shared);
  pappl_system_t *system = papplSystemCreate(soptions, "KPX7720MW Printer Application", port, "_print,_universal",
                                             spool, logfile ? logfile : "-", loglevel, nullptr, false);
  if (system == nullptr) return nullptr;
  kpxapp::setUpAccess(system, access);
  kpxapp::addWebStrings(system);
  // The printer's icon in the pages' bar and the browser's tab (PAPPL adds
  // its own only where none is set).
  papplSystemAddResourceData(system, "/favicon.png", "image/png", kpx_icon_128, kpx_icon_128_size);
  papplSystemAddResourceData(system, "/navicon.png", "image/png", kpx_icon_48, kpx_icon_48_size);
  // The local socket PAPPL adds next: root's in a directory of root and the
  // administrators only, and the socket itself as soon as it is there.
  static std::string socketPath = localSocketPath();
  if (getuid() == 0 && std::getenv("SNAP_COMMON") == nullptr)
    kpxapp::prepareSocketDirectory(KPX_PAPPL_SOCKDIR, access.adminGroup);
  static std::string socketGroup = access.adminGroup;
  papplSystemAddTimerCallback(
      system, 0, 0,
      [](pappl_system_t *, void *) {
        kpxapp::restrictLocalSocket(socketPath, socketGroup);
        return false;
      },
      nullptr);
  // Bounds: clients served at once (more wait), decoded PNG and JPEG (a
  // Legal page at 1200 dpi in grey; PAPPL's own limit is a gigabyte).
  papplSystemSetMaxClients(system, 64);
  if (!shared) papplSystemSetHostName(system, "localhost");
  if (!papplSystemAddListeners(system, shared ? (std::strcmp(listen, "any") ? listen : nullptr) : "localhost")) {
    papplSystemDelete(system);
    return nullptr;
  }
  papplSystemSetPrinterDrivers(system, 1, g_drivers, autoAdd, printerCreated, driverCallback, nullptr);
  addFilters(system);
  static pappl_version_t version{};
  std::snprintf(version.name, sizeof version.name, "kpx7720mw-printer-app");
  std::snprintf(version.sversion, sizeof version.sversion, "%s", kVersion);
  version.version[0] = 1;
  papplSystemSetVersions(system, 1, &version);
  papplSystemSetFooterHTML(system, "KPX7720MW Printer Application");
  if (state != nullptr) {
    static std::string stateFile = state;
    papplSystemLoadState(system, stateFile.c_str());
    papplSystemSetSaveCallback(system, saveState, const_cast<char *>(stateFile.c_str()));
  }
  // After the state, which keeps PAPPL's image limits too.
  papplSystemSetMaxImageSize(system, kMaxImageBytes, kMaxImageSide, kMaxImageSide);
  updateUsbOwner(system, nullptr, false);
  return system;
}

}  // namespace

int main(int argc, char *argv[]) {
  signal(SIGPIPE, SIG_IGN);
  if (const char *slash = std::strrchr(argv[0], '/')) g_baseName = slash + 1;
  else g_baseName = argv[0];
  kpxapp::registerDevices(kDeviceId);
  return papplMainloop(argc, argv, kVersion, nullptr, 1, g_drivers, autoAdd, driverCallback, nullptr, nullptr,
                       systemCallback, nullptr, nullptr);
}
