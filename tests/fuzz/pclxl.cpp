// The simulator's PCL XL scanner on any bytes: its account of the stream
// stays within the data and adds up.
#include "fuzz_util.h"
#include "pclxl.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char *>(data), size);
  const kpxsim::PclxlScan s = kpxsim::scanPclxl(bytes);
  FUZZ_CHECK(s.length <= size && s.errorOffset <= size);
  FUZZ_CHECK(s.embeddedBytes <= size);
  FUZZ_CHECK(s.pages <= s.pagesBegun && s.sessionsEnded <= s.sessions);
  FUZZ_CHECK(uint64_t(s.pagesBegun) + s.sessions <= s.operators);
  FUZZ_CHECK((s.status == kpxsim::PclxlScan::Status::Ok) == s.error.empty());
  FUZZ_CHECK(s.status != kpxsim::PclxlScan::Status::Ok || (s.sessions > 0 && s.sessionsEnded == s.sessions));
  FUZZ_CHECK(!s.endedByUel || bytes.substr(s.length, 9) == "\x1b%-12345X");
  FUZZ_CHECK(kpxsim::pclxlStatusName(s.status) != nullptr);
  return 0;
}
