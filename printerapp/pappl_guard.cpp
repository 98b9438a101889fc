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
#include "pappl_guard.h"

#include <pthread.h>

#include <pappl/pappl.h>

#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <string>

#include "appcore.h"
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

int giveUp(http_t *, void *) { return 0; }

}  // namespace

const cups_page_header2_t *streamedPageHeader() { return t_streaming ? &t_header : nullptr; }

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
