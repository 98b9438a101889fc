#include "pagecount.h"

#include <cups/cups.h>
#include <strings.h>

#include <cstdio>
#include <cstdlib>

namespace kpx {

void scanSpoolLine(const char *line, SpoolScan &scan) {
  int value = 0;
  bool matched = false;
  if (std::sscanf(line, "/#copies %d", &value) == 1) {
    scan.lastCopies = value;
    matched = true;
  }
  if (std::sscanf(line, "%%%%Requirements: numcopies(%d)", &value) == 1) {
    scan.lastNumCopies = value;
    matched = true;
  }
  if (matched) {
    scan.copiesFound = true;
    scan.copies = scan.lastCopies != 0 ? scan.lastCopies : scan.lastNumCopies;
  }
  if (std::sscanf(line, "%%%%Pages: %d", &value) == 1) scan.pages = value;
}

int spoolCopies(const SpoolScan &scan) { return scan.copiesFound ? scan.copies : 1; }

std::string spoolPath(const std::string &requestRoot, const std::string &jobId) {
  long long id = std::strtoll(jobId.c_str(), nullptr, 10);
  char name[40];
  std::snprintf(name, sizeof name, "/d%05lld-001", id);
  return requestRoot + name;
}

namespace {

bool isTrue(const char *value) {
  return value != nullptr && (strcasecmp(value, "true") == 0 || strcasecmp(value, "on") == 0 ||
                              strcasecmp(value, "yes") == 0);
}

}  // namespace

int printerCopiesAfterPdftopdf(int copies, const std::string &options) {
  if (copies <= 1) return 1;
  cups_option_t *parsed = nullptr;
  const int count = cupsParseOptions(options.c_str(), 0, &parsed);
  const char *handling = cupsGetOption("multiple-document-handling", count, parsed);
  const bool collated = isTrue(cupsGetOption("Collate", count, parsed)) ||
                        (handling != nullptr && strcasecmp(handling, "separate-documents-uncollated-copies") != 0);
  cupsFreeOptions(count, parsed);
  return collated ? 1 : copies;
}

}  // namespace kpx
