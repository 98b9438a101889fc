#include "ppdchoices.h"

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

}  // namespace

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
  take(ppd, "MediaType", s.mediaType);
  take(ppd, "InputSlot", s.inputSlot);
  take(ppd, "Duplex", s.duplex);
  take(ppd, "Resolution", s.resolution);
  take(ppd, "ResizePage", s.resize);
  SecureKey key = assembleSecureKey(
      {marked(ppd, "Passwd1"), marked(ppd, "Passwd2"), marked(ppd, "Passwd3"), marked(ppd, "Passwd4")});
  key = withJobPassword(key, jobPassword ? jobPassword->c_str() : nullptr);
  take(ppd, "TonerSaveMode", s.tonerSave);
  take(ppd, "ImprovePrintOutput", s.improveOutput);
  take(ppd, "PrintDensity", s.density);
  take(ppd, "Sleep", s.sleep);
  take(ppd, "QuiteMode", s.quietMode);
  if (ppd != nullptr && ppd->variable_sizes)
    *range = {ppd->custom_min[0], ppd->custom_min[1], ppd->custom_max[0], ppd->custom_max[1]};
  return key;
}

}  // namespace kpx
