// What the PDF/PostScript path (documents.cpp) and the raster path
// (raster.cpp) of a job share: its cancellation, its plan from the IPP
// options, the network printer's lock, and the end towards the printer.
#pragma once

#include <pappl/pappl.h>

#include <string>

#include "appcore.h"

namespace kpxapp {

// Cancel-Job on a processing job may mark it cancelled without raising the
// flag papplJobIsCanceled reads (PAPPL 1.3.1), so the state counts too.
bool jobCancelled(pappl_job_t *job);

bool writeAll(pappl_device_t *device, const std::string &bytes);

// The job's plan from its IPP options; false, with the reason in the job's
// log and message, when it cannot print.
bool planOrFail(pappl_job_t *job, const pappl_pr_options_t *o, JobPlan &plan);

// Asks a network printer whether it may print now, as the network queue's
// filter does, until it says yes or the job is cancelled.
bool waitForLock(pappl_job_t *job, pappl_device_t *device);

// Closes the job towards the printer (when anything of it was sent) and
// logs what the printer says afterwards.
void finishJob(pappl_job_t *job, pappl_device_t *device, bool sent, bool cancelled);

// The sheets of paper that many printed sides take.
int sheetsFor(int impressions, bool duplex);

}  // namespace kpxapp
