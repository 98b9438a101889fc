// Defences against faults of PAPPL 1.4.11 that the application cannot
// change in PAPPL itself; pappl_guard.cpp lists them.
#pragma once

#include <cups/raster.h>
#include <pappl/pappl.h>

namespace kpxapp {

// The header of the raster page a client streams to this thread now, as
// the client sent it, or null when this thread reads no raster stream (a
// PNG or JPEG job, a PDF job).
const cups_page_header2_t *streamedPageHeader();

// The longest a client may keep a request waiting for its next bytes, and
// the most attributes, and values of one attribute, a request may have.
inline constexpr double kStalledRequestSeconds = 30.0;
inline constexpr int kMaxRequestAttributes = 1000;
inline constexpr int kMaxAttributeValues = 500;

// 2. Runs of a job: one job at a time prints on a printer, and each job
//    once (devicegate.h).

// For the filter callback of a PDF or PostScript job: true when this run
// prints the job, which it then ends with endJobRun. Otherwise the callback
// returns `answer` at once: the job was cancelled before it started (it
// ends as cancelled, without a word to the printer), or another run of the
// job printed it (how that run ended).
bool beginJobRun(pappl_job_t *job, bool &answer);

// Ends the run that prints the job, which frees its printer for the next
// job; ok: how the run ended. Nothing for any other run.
void endJobRun(pappl_job_t *job, bool ok);

// The driver's raster callbacks, installed behind the same gate: the
// start of a job begins its run, and a run that does not print the job
// reaches none of them (each answers as the run that printed it ended).
// The callbacks end their run with endJobRun.
struct RasterCallbacks {
  pappl_pr_rstartjob_cb_t startJob;
  pappl_pr_rstartpage_cb_t startPage;
  pappl_pr_rwriteline_cb_t writeLine;
  pappl_pr_rendpage_cb_t endPage;
  pappl_pr_rendjob_cb_t endJob;
};
void setGuardedRasterCallbacks(pappl_pr_driver_data_t *d, const RasterCallbacks &callbacks);

}  // namespace kpxapp
