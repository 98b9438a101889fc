/*
 * What the application needs of PAPPL 1.4.11 where PAPPL has no call for
 * it. Written against PAPPL's private structures of the one release the
 * application links.
 */
#include "job-private.h"
#include "system-private.h"

#include "pappl_private.h"

void kpx_job_set_media_sheets_completed(pappl_job_t *job, int sheets) {
  /* Get-Job-Attributes answers with the job's own attributes plus the ones
     PAPPL keeps itself: one added to the job's set reaches every client. */
  _papplRWLockWrite(job);
  ipp_attribute_t *attr = ippFindAttribute(job->attrs, "job-media-sheets-completed", IPP_TAG_INTEGER);
  if (attr)
    ippSetInteger(job->attrs, &attr, 0, sheets);
  else
    ippAddInteger(job->attrs, IPP_TAG_JOB, IPP_TAG_INTEGER, "job-media-sheets-completed", sheets);
  _papplRWUnlock(job);
}

const char *kpx_system_spool_directory(pappl_system_t *system) {
  /* Set once when the system is made. */
  return system->directory;
}
