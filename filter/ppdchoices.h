// The job's settings from the queue's PPD: the option string marked over the
// PPD's defaults, every setting read back as its marked choice keyword.
#pragma once

#include <cups/ppd.h>

#include <string>

#include "geometry.h"
#include "jobsettings.h"

namespace kpx {

// Marks `options` (the CUPS option string) over the PPD's defaults and fills
// the choice fields of s, keeping s's defaults where the PPD marks nothing
// (or ppd is null). *range gets the PPD's custom size range when it declares
// one. Returns the secure-print key assembled from Passwd1..Passwd4, or else
// from the job's IPP job-password.
SecureKey applyPpdChoices(ppd_file_t *ppd, const std::string &options, JobSettings &s, CustomSizeRange *range);

}  // namespace kpx
