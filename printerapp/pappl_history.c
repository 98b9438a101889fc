/*
 * The completed-job history of PAPPL 1.4.11, trimmed from its oldest end.
 *
 * PAPPL keeps a printer's completed jobs newest first and trims them from
 * the front: once the history is over its limit and the newest job is more
 * than a minute old, it drops the newest jobs and keeps the oldest 100.
 * These replace its two trimming functions (the linker's --wrap, see
 * printerapp/CMakeLists.txt); they read PAPPL's private structures, which is
 * why they are written against the one release the application links.
 */
#include "job-private.h"
#include "printer-private.h"
#include "system-private.h"

void __wrap__papplPrinterCleanJobsNoLock(pappl_printer_t *printer);
void __wrap_papplSystemCleanJobs(pappl_system_t *system);

/* Trims the printer's history (its write lock held); returns when a job
   beyond the limit that still had its minute may go, or 0. */
static time_t trim_history(pappl_printer_t *printer) {
  cups_array_t *jobs = printer->completed_jobs;
  int preserved = 0;
  time_t now = time(NULL);

  /* Spooled documents kept for reprinting: the newest ones only. */
  if (printer->max_preserved_jobs > 0) {
    for (cups_len_t i = 0; i < cupsArrayGetCount(jobs); i++) {
      pappl_job_t *job = (pappl_job_t *)cupsArrayGetElement(jobs, i);
      if (!job->filename) continue;
      if (preserved + 1 > printer->max_preserved_jobs || (job->retain_until && now > job->retain_until))
        _papplJobRemoveFile(job);
      else
        preserved++;
    }
  }

  /* Jobs beyond the limit, oldest first, once a minute has passed since
     they ended (a client may still ask about a job it just sent). */
  time_t next = 0;
  if (printer->max_completed_jobs <= 0) return next;
  for (cups_len_t i = cupsArrayGetCount(jobs); i-- > (cups_len_t)printer->max_completed_jobs;) {
    if (i >= cupsArrayGetCount(jobs)) continue;
    pappl_job_t *job = (pappl_job_t *)cupsArrayGetElement(jobs, i);
    if (!job->completed) continue;
    if (job->completed >= now - 60) {
      if (!next || job->completed + 61 < next) next = job->completed + 61;
      continue;
    }
    while (cupsArrayRemove(jobs, job)) {
      /* every entry of it, so that none is left behind once it is freed */
    }
    cupsArrayRemove(printer->all_jobs, job); /* frees the job */
  }
  return next;
}

void __wrap__papplPrinterCleanJobsNoLock(pappl_printer_t *printer) { trim_history(printer); }

/* The system's run loop calls this when its clean time has come. PAPPL
   then forgot the time, so that jobs still in their minute were never
   trimmed unless more jobs came: the next time is kept here. */
void __wrap_papplSystemCleanJobs(pappl_system_t *system) {
  time_t next = 0;
  _papplRWLockRead(system);
  for (cups_len_t i = 0, count = cupsArrayGetCount(system->printers); i < count; i++) {
    pappl_printer_t *printer = (pappl_printer_t *)cupsArrayGetElement(system->printers, i);
    _papplRWLockWrite(printer);
    time_t t = trim_history(printer);
    _papplRWUnlock(printer);
    if (t && (!next || t < next)) next = t;
  }
  system->clean_time = next;
  _papplRWUnlock(system);
}
