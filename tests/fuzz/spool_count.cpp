// The spooled document as the page and copy count reads it: in pieces of
// at most kSpoolLineBuffer - 1 bytes, as fgets gives them.
#include <cstdio>
#include <cstring>

#include "fuzz_util.h"
#include "pagecount.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string doc(reinterpret_cast<const char *>(data), size);
  kpx::SpoolScan scan;
  if (FILE *f = fmemopen(doc.data(), doc.size(), "r")) {
    char line[kpx::kSpoolLineBuffer];
    while (std::fgets(line, sizeof line, f) != nullptr) kpx::scanSpoolLine(line, scan);
    std::fclose(f);
  }
  // A document that never mentions copies asks for one.
  if (doc.find("copies") == std::string::npos) FUZZ_CHECK(kpx::spoolCopies(scan) == 1);
  if (doc.find("Pages:") == std::string::npos) FUZZ_CHECK(scan.pages == 0);

  // The job id is text from the command line.
  const std::string path = kpx::spoolPath("/spool", doc.substr(0, doc.find('\0')));
  FUZZ_CHECK(path.rfind("/spool/d", 0) == 0 && path.size() >= 16 && path.size() <= 40);
  FUZZ_CHECK(path.compare(path.size() - 4, 4, "-001") == 0);
  return 0;
}
