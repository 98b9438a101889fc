// The start of the interpreter's output: only its job-control text may be
// dropped, never the language switch or page data behind it, and a
// decision comes within the search limit.
#include <string_view>

#include "fuzz_util.h"
#include "geometry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  const size_t expected = (data[0] & 1) ? 64 : 63;
  const bool atEnd = data[0] & 2;
  std::string_view head(reinterpret_cast<const char *>(data) + 1, size - 1);

  kpx::PreambleVerdict v = kpx::classifyPreamble(head, expected, atEnd);
  if (v.action == kpx::PreambleVerdict::Action::NeedMore) {
    FUZZ_CHECK(!atEnd && head.size() < kpx::kPreambleSearchLimit);
    FUZZ_CHECK(v.discard == 0);
    return 0;
  }
  FUZZ_CHECK(v.discard <= head.size());
  // The first language switch that starts a line (the only place a printer
  // takes it) and everything after it stay.
  const std::string_view uel = "\x1b%-12345X";
  size_t enter = head.find("@PJL ENTER LANGUAGE");
  while (enter != std::string_view::npos && enter != 0 && head[enter - 1] != '\n' &&
         !(enter == uel.size() && head.substr(0, uel.size()) == uel))
    enter = head.find("@PJL ENTER LANGUAGE", enter + 1);
  FUZZ_CHECK(enter == std::string_view::npos || v.discard <= enter);
  if (v.discard > 0) {
    std::string_view dropped = head.substr(0, v.discard);
    FUZZ_CHECK(dropped.substr(0, uel.size()) == uel.substr(0, dropped.size()) ||
               dropped.substr(0, 4) == std::string_view("@PJL").substr(0, dropped.size()));
  }
  FUZZ_CHECK(!v.expectedShape || v.discard == expected);
  return 0;
}
