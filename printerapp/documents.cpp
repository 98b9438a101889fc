#include "documents.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "appcore.h"
#include "geometry.h"
#include "interpreter.h"
#include "jobcommon.h"
#include "pappl_guard.h"
#include "pappl_private.h"
#include "paths.h"
#include "printer_description.h"
#include "ticket.h"

namespace kpxapp {

namespace {

// The longest one document may take to convert.
int g_interpreterTimeLimit = 300;

std::string envOr(const char *name, const char *fallback) {
  const char *v = std::getenv(name);
  return v != nullptr && *v ? v : fallback;
}

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

bool printDocument(pappl_job_t *job, pappl_device_t *device, void *) {
  bool answer = false;
  if (!kpxapp::beginJobRun(job, answer)) return answer;
  pappl_pr_options_t *o = papplJobCreatePrintOptions(job, 1, false);
  kpxapp::JobPlan plan;
  bool ok = planOrFail(job, o, plan) && !jobCancelled(job) && waitForLock(job, device);
  papplJobDeletePrintOptions(o);
  if (ok) {
    bool cancelled = false, sent = false;
    ok = renderDocument(job, device, plan, cancelled, sent);
    finishJob(job, device, sent, cancelled || !ok);
  }
  kpxapp::endJobRun(job, ok);
  return ok;
}

}  // namespace

void addDocumentFilters(pappl_system_t *system) {
  papplSystemAddMIMEFilter(system, "application/pdf", "image/pwg-raster", printDocument, nullptr);
  papplSystemAddMIMEFilter(system, "application/postscript", "image/pwg-raster", printDocument, nullptr);
}

void setInterpreterTimeLimit(int seconds) { g_interpreterTimeLimit = seconds; }

}  // namespace kpxapp
