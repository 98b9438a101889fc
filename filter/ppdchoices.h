// The job's settings from the queue's PPD: the option string marked over the
// PPD's defaults, every setting read back as its marked choice keyword.
#pragma once

#include <cups/ppd.h>

#include <optional>
#include <string>

#include "geometry.h"
#include "jobsettings.h"

namespace kpx {

// Marks `options` (the CUPS option string) over the PPD's defaults and fills
// the choice fields of s, keeping s's defaults where the PPD marks nothing
// (or ppd is null), and s.customSize from the options' custom size. *range
// gets the PPD's custom size range when it declares one. Returns the
// secure-print key assembled from Passwd1..Passwd4, or else from the job's
// IPP job-password.
SecureKey applyPpdChoices(ppd_file_t *ppd, const std::string &options, JobSettings &s, CustomSizeRange *range);

// The custom size "PageSize=Custom.WxH[unit]" the CUPS option string names
// (points unless a unit follows: pt, in, ft, cm, mm, m), none when it names
// none. The first such option counts; its value is the word of at most 13
// characters after the dot.
std::optional<CustomPageSize> customSizeInOptions(const std::string &options);

}  // namespace kpx
