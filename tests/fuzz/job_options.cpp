// The job as CUPS hands it over: user, title, option string (and the host
// name), marked on the queue's own PPD, into the ticket, the records and
// the interpreter's arguments.
#include <cups/ppd.h>

#include <ctime>

#include "fuzz_util.h"
#include "ppdchoices.h"
#include "ticket_checks.h"
#include "variant.h"

namespace {

ppd_file_t *openPpd(const char *name) {
  ppd_file_t *p = ppdOpenFile((std::string(KPX_PPD_DIR) + "/" + name).c_str());
  if (p == nullptr) __builtin_trap();  // the fuzz build must find the project's PPDs
  return p;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static ppd_file_t *ppds[2] = {openPpd("KPX7720MW.ppd"), openPpd("KPX7720MW-net.ppd")};
  const auto f = kpxfuzz::fields(data, size, 5);
  const bool net = !f[4].empty() && (f[4][0] & 1);

  kpx::JobSettings s;
  s.jobId = "42";
  s.user = f[0];
  s.title = f[1];
  s.hostName = f[2];
  s.options = f[3];
  std::tm t{};
  std::time_t when = 1700000000;
  gmtime_r(&when, &t);
  kpx::JobTimes times = kpx::formatJobTimes(t);
  s.logTime = times.logTime;
  s.jobTime = times.jobTime;
  s.logDate = times.logDate;

  ppd_file_t *ppd = ppds[net];
  kpx::CustomSizeRange range = kpx::kDefaultCustomRange;
  kpx::SecureKey key = kpx::applyPpdChoices(ppd, s.options, s, &range);

  // Every setting is one of the PPD's own choices (or the default when the
  // PPD marks none): nothing of the option string gets through verbatim.
  const std::pair<const char *, const std::string *> chosen[] = {
      {"PageSize", &s.pageSize},       {"MediaType", &s.mediaType},       {"InputSlot", &s.inputSlot},
      {"Duplex", &s.duplex},           {"Resolution", &s.resolution},     {"ResizePage", &s.resize},
      {"TonerSaveMode", &s.tonerSave}, {"ImprovePrintOutput", &s.improveOutput},
      {"PrintDensity", &s.density},    {"Sleep", &s.sleep},               {"QuiteMode", &s.quietMode}};
  for (const auto &[option, value] : chosen) {
    ppd_option_t *o = ppdFindOption(ppd, option);
    FUZZ_CHECK(o == nullptr || ppdFindChoice(o, value->c_str()) != nullptr);
  }
  if (key.verdict == kpx::SecureKey::Verdict::Accepted) {
    FUZZ_CHECK(key.key && key.key->size() == 4);
    for (char c : *key.key) FUZZ_CHECK(c >= '0' && c <= '9');
    s.key = key.key;
  }

  kpxfuzz::checkTicket(kpx::buildTicket(s));
  kpxfuzz::checkRecords(net ? kpx::kNetFilter : kpx::kUsbFilter, s);
  kpxfuzz::checkRaster(kpx::rasterArgsFor(s.pageSize, s.resolution, s.customSize, range));
  return 0;
}
