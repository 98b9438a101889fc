#include "ppdchoices.h"

#include <cstdio>
#include <cstring>
#include <optional>

#include <cups/cups.h>

namespace kpx {

namespace {

const char *marked(ppd_file_t *ppd, const char *option) {
  ppd_choice_t *c = ppd != nullptr ? ppdFindMarkedChoice(ppd, option) : nullptr;
  return c != nullptr ? c->choice : nullptr;
}

void take(ppd_file_t *ppd, const char *option, std::string &field) {
  if (const char *c = marked(ppd, option)) field = c;
}

// Points per unit of the suffixes CUPS accepts in custom sizes.
bool pointsPerUnit(const char *unit, double *factor) {
  struct U { const char *name; double pts; };
  static const U units[] = {{"", 1.0}, {"pt", 1.0}, {"in", 72.0}, {"ft", 864.0},
                            {"cm", 72.0 / 2.54}, {"mm", 72.0 / 25.4}, {"m", 7200.0 / 2.54}};
  for (const U &u : units)
    if (std::strcmp(unit, u.name) == 0) {
      *factor = u.pts;
      return true;
    }
  return false;
}

}  // namespace

std::optional<CustomPageSize> customSizeInOptions(const std::string &options) {
  static const char kMarker[] = "PageSize=Custom.";
  size_t at = options.find(kMarker);
  if (at == std::string::npos) return std::nullopt;

  CustomPageSize size;
  std::string &word = size.text;
  for (size_t i = at + sizeof kMarker - 1; i < options.size() && word.size() < 13; ++i) {
    char c = options[i];
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f') break;
    word += c;
  }
  // Single precision, as the interpreter's geometry has always been worked
  // out from these numbers.
  float width = 0, height = 0;
  int consumed = 0;
  double factor = 1.0;
  if (std::sscanf(word.c_str(), "%fx%f%n", &width, &height, &consumed) != 2) {
    size.problem = "unreadable";
  } else if (!pointsPerUnit(word.c_str() + consumed, &factor)) {
    size.problem = "has an unknown unit";
  } else {
    size.width = width * factor;
    size.height = height * factor;
  }
  return size;
}

SecureKey applyPpdChoices(ppd_file_t *ppd, const std::string &options, JobSettings &s, CustomSizeRange *range) {
  cups_option_t *list = nullptr;
  int count = cupsParseOptions(options.c_str(), 0, &list);
  ppdMarkDefaults(ppd);
  cupsMarkOptions(ppd, count, list);
  const char *password = cupsGetOption("job-password", count, list);
  const std::optional<std::string> jobPassword =
      password != nullptr ? std::optional<std::string>(password) : std::nullopt;
  cupsFreeOptions(count, list);

  take(ppd, "PageSize", s.pageSize);
  s.customSize = customSizeInOptions(options);
  take(ppd, "MediaType", s.mediaType);
  take(ppd, "InputSlot", s.inputSlot);
  take(ppd, "Duplex", s.duplex);
  take(ppd, "Resolution", s.resolution);
  for (const PrinterOption &o : printerOptions())
    if (std::string *field = optionChoice(s, o.keyword)) take(ppd, o.keyword, *field);
  SecureKey key = assembleSecureKey(
      {marked(ppd, "Passwd1"), marked(ppd, "Passwd2"), marked(ppd, "Passwd3"), marked(ppd, "Passwd4")});
  key = withJobPassword(key, jobPassword ? jobPassword->c_str() : nullptr);
  if (ppd != nullptr && ppd->variable_sizes)
    *range = {ppd->custom_min[0], ppd->custom_min[1], ppd->custom_max[0], ppd->custom_max[1]};
  return key;
}

}  // namespace kpx
