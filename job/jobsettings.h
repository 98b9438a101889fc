// The settings of one job: what CUPS passed on the command line, the PPD
// choices (or their defaults), the time stamps and the host name. Collected
// once at start; everything after reads them.
#pragma once

#include <array>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "printer_description.h"

namespace kpx {

struct JobSettings {
  std::string printerName;
  std::string jobId;
  std::string user;
  std::string title;
  std::string copies;
  std::string options;

  // The choices by their PPD keywords; each starts as the description's
  // default.
  std::string pageSize = defaultMediaSize().keyword;
  // The dimensions of a "Custom" page size as the layer that received the
  // job read them; none when the job gave none (an A4 raster is used then).
  std::optional<CustomPageSize> customSize;
  std::string mediaType = defaultMediaType().keyword;
  std::string inputSlot = autoInputSlot().keyword;
  std::string duplex = defaultDuplexMode().keyword;
  std::string resolution = defaultResolution().keyword;
  std::string resize = defaultChoiceOf("ResizePage");
  std::optional<std::string> key;  // secure-print key once accepted
  std::string tonerSave = defaultChoiceOf("TonerSaveMode");
  std::string improveOutput = defaultChoiceOf("ImprovePrintOutput");
  std::string density = defaultChoiceOf("PrintDensity");
  std::string sleep = defaultChoiceOf("Sleep");
  std::string quietMode = defaultChoiceOf("QuiteMode");

  std::string logTime;   // "%a,%d,%b %G %H:%M:%S"
  std::string jobTime;   // "%G%m%d%H%M%S"
  std::string logDate;   // "%G年%m月%d日%T %A"
  std::string hostName = "localhost.localdomain";
};

// The three time stamps of a job, from one broken-down local time. The year
// is the ISO week-based year, as the printer's job log expects.
struct JobTimes {
  std::string logTime;
  std::string jobTime;
  std::string logDate;
};
JobTimes formatJobTimes(const std::tm &local);

// The field holding the choice of one of the description's printerOptions(),
// null for the Passwd options (their digits make up `key`).
std::string *optionChoice(JobSettings &job, std::string_view option);
const std::string *optionChoice(const JobSettings &job, std::string_view option);

// The duplex mode of a Duplex choice; anything unknown prints one-sided.
Duplex duplexModeFor(const std::string &duplex);

// The choice of a Passwd option that is not set.
constexpr char kKeyDigitUnset[] = "False";

// Secure print. The key comes from four single-digit options, each "False"
// when unset. A key is accepted only when all four are set and together form
// exactly four ASCII digits; setting none means no key.
struct SecureKey {
  enum class Verdict { None, Accepted, Incomplete };
  Verdict verdict = Verdict::None;
  std::optional<std::string> key;  // the four digits when accepted
  int digitsSet = 0;          // how many of the four options were set
};
// choices: the marked choice of Passwd1..Passwd4, null when not marked.
SecureKey assembleSecureKey(const std::array<const char *, 4> &choices);

// The job's IPP job-password (null when it has none) as a key: exactly four
// ASCII digits hold the job under them, anything else is an incomplete
// key. A key set through Passwd1..Passwd4 (fromOptions) wins.
SecureKey withJobPassword(const SecureKey &fromOptions, const char *jobPassword);

// Values that come from outside (user name, title, host name) go into PJL
// lines. Control bytes (0x00-0x1F, 0x7F) become spaces so that nobody can
// end a line or start a new job from a title; double quotes become single
// quotes so a value cannot leave its quoted string. UTF-8 passes unchanged.
std::string sanitizePjlValue(const std::string &value);

// Control bytes become spaces; everything else unchanged. For the job log,
// whose lines a title must not break.
std::string withoutControlBytes(const std::string &value);

// The longest prefix of value that is at most maxBytes long and does not end
// inside a UTF-8 sequence.
std::string utf8Prefix(const std::string &value, size_t maxBytes);

}  // namespace kpx
