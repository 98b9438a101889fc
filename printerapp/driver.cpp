#include "driver.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "appcore.h"
#include "devices.h"
#include "raster.h"
#include "rasterpage.h"
#include "status.h"
#include "webpages.h"

namespace kpxapp {

namespace {

constexpr const char *kDriverName = "kpx7720mw";

}  // namespace

pappl_pr_driver_t g_drivers[1] = {{kDriverName, "ZUVA KPX7720MW", kDeviceId, nullptr}};

const char *autoAdd(const char *, const char *, const char *device_id, void *) {
  if (device_id == nullptr) return nullptr;
  cups_option_t *pairs = nullptr;
  int n = papplDeviceParseID(device_id, &pairs);
  const char *mfg = cupsGetOption("MFG", n, pairs);
  if (mfg == nullptr) mfg = cupsGetOption("MANUFACTURER", n, pairs);
  const char *mdl = cupsGetOption("MDL", n, pairs);
  if (mdl == nullptr) mdl = cupsGetOption("MODEL", n, pairs);
  bool ours = mfg != nullptr && mdl != nullptr && !strcasecmp(mfg, "ZUVA") && !strcasecmp(mdl, "KPX7720MW");
  cupsFreeOptions(n, pairs);
  return ours ? kDriverName : nullptr;
}

bool driverCallback(pappl_system_t *, const char *driver_name, const char *, const char *,
                    pappl_pr_driver_data_t *d, ipp_t **attrs, void *) {
  if (std::strcmp(driver_name, kDriverName) != 0) return false;
  d->printfile_cb = nullptr;
  kpxapp::setRasterCallbacks(d);
  d->status_cb = statusCallback;
  d->delete_cb = printerDeleted;
  d->format = nullptr;  // no raw data: every document goes through the ticket
  d->testpage_cb = kpxapp::testPageFile;
  const struct { const unsigned char *png; size_t size; } icons[3] = {
      {kpx_icon_48, kpx_icon_48_size}, {kpx_icon_128, kpx_icon_128_size}, {kpx_icon_512, kpx_icon_512_size}};
  for (int i = 0; i < 3; ++i) {
    d->icons[i].data = icons[i].png;
    d->icons[i].datalen = icons[i].size;
  }
  std::snprintf(d->make_and_model, sizeof d->make_and_model, "ZUVA KPX7720MW");
  d->ppm = 30;
  d->kind = PAPPL_KIND_DOCUMENT;
  d->has_supplies = true;
  d->color_supported = PAPPL_COLOR_MODE_MONOCHROME | PAPPL_COLOR_MODE_AUTO | PAPPL_COLOR_MODE_AUTO_MONOCHROME;
  d->color_default = PAPPL_COLOR_MODE_MONOCHROME;
  d->content_default = PAPPL_CONTENT_AUTO;
  d->quality_default = IPP_QUALITY_NORMAL;
  d->scaling_default = PAPPL_SCALING_AUTO;
  // Grey pages are made 1-bit here (rasterpage.h), at their own width.
  d->raster_types = PAPPL_PWG_RASTER_TYPE_NONE;
  for (const kpxapp::RasterType &t : kpxapp::listedRasterTypes()) {
    if (!std::strcmp(t.pwgName, "black_1")) d->raster_types |= PAPPL_PWG_RASTER_TYPE_BLACK_1;
    else if (!std::strcmp(t.pwgName, "black_8")) d->raster_types |= PAPPL_PWG_RASTER_TYPE_BLACK_8;
    else if (!std::strcmp(t.pwgName, "sgray_8")) d->raster_types |= PAPPL_PWG_RASTER_TYPE_SGRAY_8;
  }
  d->duplex = PAPPL_DUPLEX_NORMAL;
  d->sides_supported = PAPPL_SIDES_ONE_SIDED | PAPPL_SIDES_TWO_SIDED_LONG_EDGE | PAPPL_SIDES_TWO_SIDED_SHORT_EDGE;
  d->sides_default = PAPPL_SIDES_ONE_SIDED;
  // Raster resolutions: the queues' "2400dpi" is the printer's enhanced
  // mode of a 1200-dpi raster, not a raster of its own.
  const std::vector<int> &dpis = kpxapp::rasterResolutions();
  d->num_resolution = static_cast<int>(dpis.size());
  for (int i = 0; i < d->num_resolution; ++i) d->x_resolution[i] = d->y_resolution[i] = dpis[static_cast<size_t>(i)];
  d->x_default = d->y_default = kpxapp::defaultDpi();
  const int margin = kpxapp::marginHundredthsMm();
  d->left_right = d->bottom_top = margin;

  const auto &sizes = kpxapp::mediaSizes();
  d->num_media = 0;
  for (const auto &m : sizes) d->media[d->num_media++] = m.pwg;
  d->media[d->num_media++] = kpxapp::customSizeMinName().c_str();
  d->media[d->num_media++] = kpxapp::customSizeMaxName().c_str();

  const auto &sources = kpxapp::mediaSources();
  d->num_source = static_cast<int>(sources.size());
  for (int i = 0; i < d->num_source; ++i) d->source[i] = sources[static_cast<size_t>(i)].ipp;
  const auto &types = kpxapp::mediaTypes();
  d->num_type = static_cast<int>(types.size());
  for (int i = 0; i < d->num_type; ++i) d->type[i] = types[static_cast<size_t>(i)].ipp;

  pappl_media_col_t media{};
  const char *defaultSize = kpxapp::defaultMedia().pwg;
  pwg_media_t *pwg = pwgMediaForPWG(defaultSize);
  std::snprintf(media.size_name, sizeof media.size_name, "%s", defaultSize);
  media.size_width = pwg ? pwg->width : 21000;
  media.size_length = pwg ? pwg->length : 29700;
  media.left_margin = media.right_margin = media.top_margin = media.bottom_margin = margin;
  std::snprintf(media.source, sizeof media.source, "%s", kpx::autoInputSlot().ipp);
  std::snprintf(media.type, sizeof media.type, "%s", kpx::defaultMediaType().ipp);
  d->media_default = media;
  for (int i = 0; i < d->num_source; ++i) {
    d->media_ready[i] = media;
    std::snprintf(d->media_ready[i].source, sizeof d->media_ready[i].source, "%s", d->source[i]);
  }

  d->orient_default = IPP_ORIENT_PORTRAIT;
  d->identify_supported = PAPPL_IDENTIFY_ACTIONS_DISPLAY;
  d->identify_default = PAPPL_IDENTIFY_ACTIONS_DISPLAY;

  // Vendor attributes where IPP has none. Deliberately no job-password:
  // PAPPL would accept it and never hand it to us.
  d->num_vendor = 3;
  d->vendor[0] = kpxapp::kTonerSaveAttr;
  d->vendor[1] = kpxapp::kDensityAttr;
  d->vendor[2] = kpxapp::kSecureKeyAttr;
  *attrs = ippNew();
  const std::vector<const char *> &toner = kpxapp::vendorValues(kpxapp::kTonerSaveAttr);
  ippAddStrings(*attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "toner-save-supported", static_cast<int>(toner.size()),
                nullptr, toner.data());
  ippAddString(*attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "toner-save-default", nullptr,
               kpxapp::vendorDefault(kpxapp::kTonerSaveAttr));
  std::vector<const char *> levels;
  for (const std::string &l : kpxapp::densityLevels()) levels.push_back(l.c_str());
  ippAddStrings(*attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "print-density-level-supported",
                static_cast<int>(levels.size()), nullptr, levels.data());
  ippAddString(*attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "print-density-level-default", nullptr,
               kpxapp::vendorDefault(kpxapp::kDensityAttr));
  // Attributes PAPPL 1.3.1 leaves out although IPP Everywhere asks for
  // them; the values say what this printer really does.
  ippAddBoolean(*attrs, IPP_TAG_PRINTER, "preferred-attributes-supported", 0);
  ippAddString(*attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "print-rendering-intent-supported", nullptr, "auto");
  ippAddString(*attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "print-rendering-intent-default", nullptr, "auto");
  ippAddString(*attrs, IPP_TAG_PRINTER, IPP_TAG_TEXT, "secure-print-key-default", nullptr, "");
  return true;
}

}  // namespace kpxapp
