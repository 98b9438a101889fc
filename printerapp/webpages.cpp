#include "webpages.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <ctime>
#include <string>

#include "appcore.h"
#include "pappl_private.h"
#include "testpage.h"

namespace kpxapp {

namespace {

// The labels in PAPPL's strings format ("key" = "text";), for English; in
// other languages the labels fall back to these keys.
std::string webStrings() {
  std::string s;
  auto add = [&](const std::string &key, const std::string &text) { s += "\"" + key + "\" = \"" + text + "\";\n"; };
  add(kTonerSaveAttr, "Toner saving");
  add(std::string(kTonerSaveAttr) + ".off", "Off");
  add(std::string(kTonerSaveAttr) + ".on", "On (lighter print, less toner)");
  add(kDensityAttr, "Print density");
  for (const std::string &level : densityLevels()) {
    std::string text = level == "0" ? "0 (normal)" : level.front() == '-' ? level + " (lighter)" : "+" + level + " (darker)";
    add(std::string(kDensityAttr) + "." + level, text);
  }
  add(kSecureKeyAttr, "Secure print key (per job only, none kept here)");
  return s;
}

}  // namespace

void addWebStrings(pappl_system_t *system) {
  static const std::string kStrings = webStrings();
  papplSystemAddStringsData(system, "/kpx7720mw/en.strings", "en", kStrings.c_str());
}

void showSuppliesPage(pappl_client_t *client, pappl_printer_t *printer) {
  pappl_supply_t supply[8];
  int count = papplPrinterGetSupplies(printer, 8, supply);
  papplClientHTMLPrinterHeader(client, printer, "Supplies", 0, nullptr, nullptr);
  if (count <= 0)
    papplClientHTMLPuts(client, "          <p>The printer has not told its supplies yet.</p>\n");
  papplClientHTMLPuts(client, "          <table class=\"list\" summary=\"Supplies\">\n            <tbody>\n");
  for (int i = 0; i < count; ++i) {
    const int level = supply[i].level;
    papplClientHTMLPrintf(client,
                          "              <tr><th>%s</th><td><meter min=\"0\" max=\"100\" low=\"11\" optimum=\"100\" "
                          "value=\"%d\" title=\"%s\"></meter></td><td>%s</td></tr>\n",
                          supply[i].description, level < 0 ? 0 : level, tonerLevelText(level), tonerLevelText(level));
  }
  papplClientHTMLPuts(client, "            </tbody>\n          </table>\n");
  papplClientHTMLPrinterFooter(client);
}

const char *testPageFile(pappl_printer_t *printer, char *buffer, size_t size) {
  pappl_pr_driver_data_t data;
  papplPrinterGetDriverData(printer, &data);
  TestPageInfo info;
  info.printerName = papplPrinterGetName(printer);
  info.makeAndModel = data.make_and_model;
  const pappl_media_col_t &media = data.media_default;
  info.widthPt = media.size_width * 72.0 / 2540.0;
  info.heightPt = media.size_length * 72.0 / 2540.0;
  const kpx::MediaSize *named = mediaByPwg(media.size_name);
  info.paperName = named != nullptr ? named->keyword : media.size_name;
  info.dpi = data.x_default;
  info.marginPt = media.left_margin * 72.0 / 2540.0;
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char when[64];
  std::strftime(when, sizeof when, "%Y-%m-%d %H:%M", &local);
  info.printed = when;
  const std::string page = testPagePostScript(info);

  static std::atomic<unsigned> serial{0};
  std::snprintf(buffer, size, "%s/test-page-%d-%ld-%u.ps", kpx_system_spool_directory(papplPrinterGetSystem(printer)),
                papplPrinterGetID(printer), static_cast<long>(now), serial++);
  int fd = open(buffer, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return nullptr;
  bool ok = write(fd, page.data(), page.size()) == static_cast<ssize_t>(page.size());
  ok = close(fd) == 0 && ok;
  if (!ok) {
    unlink(buffer);
    return nullptr;
  }
  return buffer;
}

}  // namespace kpxapp
