#include "jobsettings.h"

#include <algorithm>

#include <cstring>

namespace kpx {

namespace {
std::string formatTime(const char *pattern, const std::tm &tm, size_t bufferSize) {
  char buf[64] = {};
  if (bufferSize > sizeof buf) bufferSize = sizeof buf;
  size_t n = std::strftime(buf, bufferSize, pattern, &tm);
  return std::string(buf, n);
}

bool isControl(unsigned char c) { return c < 0x20 || c == 0x7F; }
}  // namespace

JobTimes formatJobTimes(const std::tm &local) {
  JobTimes t;
  t.logTime = formatTime("%a,%d,%b %G %H:%M:%S", local, 25);
  t.jobTime = formatTime("%G%m%d%H%M%S", local, 30);
  t.logDate = formatTime("%G年%m月%d日%T %A", local, 50);
  return t;
}

std::string *optionChoice(JobSettings &job, std::string_view option) {
  static const struct {
    const char *option;
    std::string JobSettings::*field;
  } kFields[] = {
      {"ResizePage", &JobSettings::resize},         {"TonerSaveMode", &JobSettings::tonerSave},
      {"PrintDensity", &JobSettings::density},      {"ImprovePrintOutput", &JobSettings::improveOutput},
      {"Sleep", &JobSettings::sleep},               {"QuiteMode", &JobSettings::quietMode},
  };
  for (const auto &f : kFields)
    if (option == f.option) return &(job.*f.field);
  return nullptr;
}

const std::string *optionChoice(const JobSettings &job, std::string_view option) {
  return optionChoice(const_cast<JobSettings &>(job), option);
}

Duplex duplexModeFor(const std::string &duplex) {
  const DuplexMode *row = findDuplexMode(duplex);
  return row != nullptr ? row->mode : Duplex::Simplex;
}

SecureKey assembleSecureKey(const std::array<const char *, 4> &choices) {
  SecureKey k;
  std::string joined;
  bool allDigits = true;  // every set option holds exactly one ASCII digit
  for (const char *c : choices) {
    if (c != nullptr && std::strcmp(c, kKeyDigitUnset) != 0) {
      joined += c;
      ++k.digitsSet;
      allDigits = allDigits && c[0] >= '0' && c[0] <= '9' && c[1] == '\0';
    }
  }
  if (k.digitsSet == 0) return k;  // no key: print without hold

  if (k.digitsSet == 4 && allDigits) {
    k.verdict = SecureKey::Verdict::Accepted;
    k.key = joined;
  } else {
    k.verdict = SecureKey::Verdict::Incomplete;
  }
  return k;
}

SecureKey withJobPassword(const SecureKey &fromOptions, const char *jobPassword) {
  if (fromOptions.verdict != SecureKey::Verdict::None || jobPassword == nullptr) return fromOptions;
  SecureKey k;
  const bool fourDigits = std::strlen(jobPassword) == 4 &&
                          std::all_of(jobPassword, jobPassword + 4, [](char c) { return c >= '0' && c <= '9'; });
  k.verdict = fourDigits ? SecureKey::Verdict::Accepted : SecureKey::Verdict::Incomplete;
  if (fourDigits) k.key = jobPassword;
  return k;
}

std::string sanitizePjlValue(const std::string &value) {
  std::string out = value;
  for (char &c : out) {
    if (isControl(static_cast<unsigned char>(c)))
      c = ' ';
    else if (c == '"')
      c = '\'';
  }
  return out;
}

std::string withoutControlBytes(const std::string &value) {
  std::string out = value;
  for (char &c : out)
    if (isControl(static_cast<unsigned char>(c))) c = ' ';
  return out;
}

std::string utf8Prefix(const std::string &value, size_t maxBytes) {
  if (value.size() <= maxBytes) return value;
  size_t cut = maxBytes;
  // Step back over continuation bytes so that the cut falls before the lead
  // byte of the sequence it would split.
  while (cut > 0 && (static_cast<unsigned char>(value[cut]) & 0xC0) == 0x80) --cut;
  return value.substr(0, cut);
}

}  // namespace kpx
