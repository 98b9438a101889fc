// Contents of the record files the filter leaves for the desktop monitors.
#pragma once

#include <string>

#include "jobsettings.h"
#include "variant.h"

namespace kpx {

// printerState values.
extern const char *const kStatePrinting;     // "CODE=10023"
extern const char *const kStateReady;        // "CODE=10001"
extern const char *const kStatePasswdError;  // "CODE=99999"

// Closing texts of a job's log block.
extern const char kLogCompleted[];
extern const char kLogCancelled[];

// Printer-state reason set for a rejected secure-print key (and removed
// after every job).
extern const char kKeyReason[];

// Record paths under the variant's directory below the install root.
struct RecordPaths {
  std::string printerInfo;
  std::string printerState;  // empty when the variant keeps none
  std::string printLog;
  std::string interpreter;
};
RecordPaths recordPathsFor(const FilterVariant &v, const std::string &printersRoot);

// The five lines of printerInfo.
std::string formatPrinterInfo(const JobSettings &job);

// The job's block in print_log.
std::string formatLogBlock(const FilterVariant &v, const JobSettings &job, int copies, int pages);

}  // namespace kpx
