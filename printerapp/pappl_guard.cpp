// What the application does about faults of PAPPL 1.4.11 (the release it
// links statically) without changing PAPPL. Each defence sits on a call
// PAPPL makes, taken over with the linker's --wrap (printerapp/CMakeLists):
//
// 1. Streamed raster (PWG, Apple): PAPPL hands the driver its own page
//    header, made from the job's options, not the client's. A grey page
//    wider than that header overruns PAPPL's dither buffer (heap
//    corruption, the application aborts); a page of another resolution is
//    cropped or padded to it; a page claiming 4294967295 lines keeps the
//    job busy for hours. cupsRasterReadHeader2 keeps the client's header
//    for the driver, which checks it before PAPPL reads a line and has
//    PAPPL pass the lines on as they are (rasterpage.h).
// 2. Job threads: PAPPL marks a job processing only once its thread runs,
//    so a second look for work before that starts the same job again, or a
//    job cancelled meanwhile still runs. Its history then holds the job
//    twice (Get-Jobs lists it twice; trimming the history frees it and reads
//    it again). pthread_create starts one thread per job at a time, and a
//    job that is no longer pending when its thread runs is left alone.
//    Behind that, every run of a job passes its printer's gate
//    (devicegate.h): one job at a time prints, another run of the same job
//    sends nothing and ends as the run that printed it, and a job whose
//    document a cancel removed before it started ends cancelled without a
//    word to the printer (beginJobRun for documents; the raster callbacks
//    are installed behind it, setGuardedRasterCallbacks).
// 3. Requests: PAPPL reads any IPP request whole and answers it, however
//    many attributes it has (requested-attributes with "all" 2000 times
//    costs 49 s of CPU). ippRead refuses a request beyond the bounds in
//    pappl_guard.h (PAPPL answers 400 Bad Request). A custom size named
//    by its dimensions ("media=custom_..._100x150mm") is not in
//    media-supported, so PAPPL printed it on the default paper; ippRead
//    asks for it by its dimensions instead (appcore.h).
// 4. Stalled clients: a request whose body stops coming holds its thread
//    for minutes. httpAcceptConnection gives every connection a time limit
//    for each read and write.
// 5. Web forms: the printer's home page changes the printer (pause, hold
//    new jobs, ...) for anybody holding the page's form token, which the
//    page hands to every visitor. papplClientIsValidForm accepts a form only
//    from a client that is also authorized as an administrator.
// 6. Job history: trimmed from the wrong end; pappl_history.c.
// 7. Web pages: the printer's state lists its reasons with their texts,
//    which end in a period, and ends the list with one ("Paper jam., Toner
//    low.."). papplClientGetLocString gives the reasons' texts without it.
// 8. The supplies page shows a bar with neither figure nor words; the
//    application shows its own (webpages.h).
// 9. DNS-SD and printer attributes: PAPPL's TXT record says TLS=1.2 also
//    on loopback, where TLS is off, and both the record and the printer
//    attributes claim mopria-certified=1.3. avahi_entry_group_add_service_strlst
//    and ippAddString drop them (pappl_dnssd.cpp, dnssdtxt.h).
//
// Where they live: 1 to 5, 7 and 8 here (2 with devicegate.cpp, 8 showing
// webpages.cpp's page), 6 in pappl_history.c and 9 in pappl_dnssd.cpp, C
// or apart because they read PAPPL's private structures or avahi's.
// pappl_private.c, beside them, reads what PAPPL has no call for
// (job-media-sheets-completed, the spool directory).
#include "pappl_guard.h"

#include <pthread.h>

#include <pappl/pappl.h>

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "appcore.h"
#include "devicegate.h"
#include "webpages.h"

extern "C" {
// PAPPL's job thread (job-process.c).
void *_papplJobProcess(pappl_job_t *job);

int __real_cupsRasterReadHeader2(cups_raster_t *r, cups_page_header2_t *h);
int __real_cupsRasterClose(cups_raster_t *r);
int __real_pthread_create(pthread_t *thread, const pthread_attr_t *attr, void *(*start)(void *), void *arg);
ipp_state_t __real_ippRead(http_t *http, ipp_t *ipp);
http_t *__real_httpAcceptConnection(int fd, int blocking);
bool __real_papplClientIsValidForm(pappl_client_t *client, int num_form, cups_option_t *form);
const char *__real_papplClientGetLocString(pappl_client_t *client, const char *key);
}

namespace kpxapp {
namespace {

// 1. The stream's current page header, per thread (PAPPL reads a stream
//    in the client's thread).
thread_local bool t_streaming = false;
thread_local cups_page_header2_t t_header;

// 2. Jobs with a thread.
std::mutex g_jobsMutex;
std::set<const void *> g_jobsWithThread;

void *nothing(void *) { return nullptr; }

void *runJob(void *arg) {
  auto *job = static_cast<pappl_job_t *>(arg);
  if (papplJobGetState(job) == IPP_JSTATE_PENDING)
    _papplJobProcess(job);
  else
    papplLogJob(job, PAPPL_LOGLEVEL_DEBUG, "Not started: the job is no longer pending.");
  std::lock_guard<std::mutex> lock(g_jobsMutex);
  g_jobsWithThread.erase(arg);
  return nullptr;
}

// 2. The gate of the job's printer: the job holds it from its first byte
//    towards the printer until the printer connection is closed.
DeviceGate &gateOf(pappl_job_t *job) {
  static std::mutex mutex;
  static std::map<int, std::unique_ptr<DeviceGate>> gates;
  std::lock_guard<std::mutex> lock(mutex);
  std::unique_ptr<DeviceGate> &gate = gates[papplPrinterGetID(papplJobGetPrinter(job))];
  if (!gate) gate = std::make_unique<DeviceGate>();
  return *gate;
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

// Takes the gate for this run; false, with how the printing run ended,
// when another run of the job holds or held it.
bool enterGate(pappl_job_t *job, bool &answer) {
  DeviceGate::Entry entry = gateOf(job).enter(papplJobGetID(job));
  if (entry.prints) return true;
  papplLogJob(job, PAPPL_LOGLEVEL_DEBUG, "The job was printed by another run of it.");
  answer = entry.ok;
  return false;
}

// The driver's raster callbacks (one driver: set once).
RasterCallbacks g_raster;
std::once_flag g_rasterSet;

// This thread's run of a raster job (PAPPL calls a job's raster callbacks
// in one thread, the job's or the streaming client's): the job, whether
// this run prints it, and otherwise how the run that printed it ended.
struct RasterRun {
  int job = 0;
  bool prints = false;
  bool answer = false;
};
thread_local RasterRun t_run;

bool printsHere(pappl_job_t *job) { return t_run.job == papplJobGetID(job) && t_run.prints; }

// What a raster callback answers in a run that does not print the job.
bool otherRunAnswer(pappl_job_t *job) { return t_run.job == papplJobGetID(job) && t_run.answer; }

bool guardedStartJob(pappl_job_t *job, pappl_pr_options_t *o, pappl_device_t *device) {
  t_run = RasterRun{papplJobGetID(job)};
  if (!enterGate(job, t_run.answer)) return t_run.answer;
  t_run.prints = true;
  return g_raster.startJob(job, o, device);
}

bool guardedStartPage(pappl_job_t *job, pappl_pr_options_t *o, pappl_device_t *device, unsigned page) {
  return printsHere(job) ? g_raster.startPage(job, o, device, page) : otherRunAnswer(job);
}

bool guardedWriteLine(pappl_job_t *job, pappl_pr_options_t *o, pappl_device_t *device, unsigned y,
                      const unsigned char *line) {
  return printsHere(job) ? g_raster.writeLine(job, o, device, y, line) : otherRunAnswer(job);
}

bool guardedEndPage(pappl_job_t *job, pappl_pr_options_t *o, pappl_device_t *device, unsigned page) {
  return printsHere(job) ? g_raster.endPage(job, o, device, page) : otherRunAnswer(job);
}

bool guardedEndJob(pappl_job_t *job, pappl_pr_options_t *o, pappl_device_t *device) {
  return printsHere(job) ? g_raster.endJob(job, o, device) : otherRunAnswer(job);
}

int giveUp(http_t *, void *) { return 0; }

}  // namespace

const cups_page_header2_t *streamedPageHeader() { return t_streaming ? &t_header : nullptr; }

bool beginJobRun(pappl_job_t *job, bool &answer) {
  if (startedAfterCancel(job)) {
    answer = true;
    return false;
  }
  return enterGate(job, answer);
}

void endJobRun(pappl_job_t *job, bool ok) { gateOf(job).leave(papplJobGetID(job), ok); }

void setGuardedRasterCallbacks(pappl_pr_driver_data_t *d, const RasterCallbacks &callbacks) {
  std::call_once(g_rasterSet, [&] { g_raster = callbacks; });
  d->rstartjob_cb = guardedStartJob;
  d->rstartpage_cb = guardedStartPage;
  d->rwriteline_cb = guardedWriteLine;
  d->rendpage_cb = guardedEndPage;
  d->rendjob_cb = guardedEndJob;
}

}  // namespace kpxapp

using namespace kpxapp;

extern "C" {

int __wrap_cupsRasterReadHeader2(cups_raster_t *r, cups_page_header2_t *h) {
  int ok = __real_cupsRasterReadHeader2(r, h);
  t_streaming = ok != 0;
  if (ok) t_header = *h;
  return ok;
}

int __wrap_cupsRasterClose(cups_raster_t *r) {
  t_streaming = false;
  return __real_cupsRasterClose(r);
}

int __wrap_pthread_create(pthread_t *thread, const pthread_attr_t *attr, void *(*start)(void *), void *arg) {
  if (start != reinterpret_cast<void *(*)(void *)>(_papplJobProcess))
    return __real_pthread_create(thread, attr, start, arg);
  {
    std::lock_guard<std::mutex> lock(g_jobsMutex);
    // PAPPL detaches whatever thread it is given: a second start of a job
    // still gets one, which does nothing.
    if (!g_jobsWithThread.insert(arg).second) return __real_pthread_create(thread, attr, nothing, nullptr);
  }
  int err = __real_pthread_create(thread, attr, runJob, arg);
  if (err != 0) {
    std::lock_guard<std::mutex> lock(g_jobsMutex);
    g_jobsWithThread.erase(arg);
  }
  return err;
}

ipp_state_t __wrap_ippRead(http_t *http, ipp_t *ipp) {
  ipp_state_t state = __real_ippRead(http, ipp);
  if (state != IPP_STATE_DATA) return state;
  if (!ippRequestWithinBounds(ipp, kMaxRequestAttributes, kMaxAttributeValues)) return IPP_STATE_ERROR;
  rewriteCustomMedia(ipp);
  return state;
}

http_t *__wrap_httpAcceptConnection(int fd, int blocking) {
  http_t *http = __real_httpAcceptConnection(fd, blocking);
  if (http != nullptr) httpSetTimeout(http, kStalledRequestSeconds, giveUp, nullptr);
  return http;
}

bool __wrap_papplClientIsValidForm(pappl_client_t *client, int num_form, cups_option_t *form) {
  return __real_papplClientIsValidForm(client, num_form, form) && papplClientIsAuthorized(client) == HTTP_STATUS_CONTINUE;
}

const char *__wrap_papplClientGetLocString(pappl_client_t *client, const char *key) {
  const char *text = __real_papplClientGetLocString(client, key);
  static const char kReasons[] = "printer-state-reasons.";
  if (key == nullptr || text == nullptr || std::strncmp(key, kReasons, sizeof kReasons - 1) != 0) return text;
  const size_t length = std::strlen(text);
  if (length == 0 || text[length - 1] != '.') return text;
  // Kept for the life of the program: a few dozen texts at most.
  static std::mutex mutex;
  static std::map<std::string, std::string> trimmed;
  std::lock_guard<std::mutex> lock(mutex);
  return trimmed.emplace(text, std::string(text, length - 1)).first->second.c_str();
}

void __wrap__papplPrinterWebSupplies(pappl_client_t *client, pappl_printer_t *printer) {
  showSuppliesPage(client, printer);
}

}  // extern "C"
