// A PPD of any content (as an administrator or a broken install may leave
// it) with a job's options marked on it: the settings read back, the
// ticket and the interpreter's page geometry stay within their limits.
#include <cups/ppd.h>

#include <sys/mman.h>
#include <unistd.h>

#include "fuzz_util.h"
#include "ppdchoices.h"
#include "ticket_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const auto f = kpxfuzz::fields(data, size, 2);  // options, then the PPD text
  // libcups reads a PPD through a file descriptor.
  int fd = memfd_create("ppd", MFD_CLOEXEC);
  if (fd < 0) return 0;
  if (write(fd, f[1].data(), f[1].size()) != ssize_t(f[1].size()) || lseek(fd, 0, SEEK_SET) != 0) {
    close(fd);
    return 0;
  }
  ppd_file_t *ppd = ppdOpenFd(fd);
  close(fd);
  if (ppd == nullptr) return 0;

  kpx::JobSettings s;
  s.options = f[0];
  kpx::CustomSizeRange range = kpx::kDefaultCustomRange;
  kpx::SecureKey key = kpx::applyPpdChoices(ppd, s.options, s, &range);
  ppdClose(ppd);
  if (key.verdict == kpx::SecureKey::Verdict::Accepted) s.key = key.key;

  const kpx::Ticket t = kpx::buildTicket(s);
  FUZZ_CHECK(t.text.size() <= kpx::kMaxTicket);
  for (size_t pos = 0, nl; pos < t.text.size(); pos = nl + 1) {
    nl = t.text.find('\n', pos);
    FUZZ_CHECK(nl != std::string::npos && nl - pos + 1 <= kpx::kMaxTicketLine);
  }
  kpxfuzz::checkRaster(kpx::rasterArgsFor(s.pageSize, s.resolution, s.customSize, range));
  return 0;
}
