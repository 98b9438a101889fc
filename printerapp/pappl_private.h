// What the application needs of PAPPL where PAPPL has no call for it
// (pappl_private.c).
#pragma once

#include <pappl/pappl.h>

#ifdef __cplusplus
extern "C" {
#endif

// Sets job-media-sheets-completed, the sheets of paper the job used so far.
void kpx_job_set_media_sheets_completed(pappl_job_t *job, int sheets);

// The system's spool directory, where documents of jobs live until PAPPL
// removes them with their job.
const char *kpx_system_spool_directory(pappl_system_t *system);

#ifdef __cplusplus
}
#endif
