#include "appcore.h"

#include <cups/cups.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>
#include <cmath>
#include <cstring>

#include "geometry.h"
#include "printer_description.h"
#include "printer_protocol.h"
#include "status_codes.h"
#include "ticket.h"

#include <cstdlib>

namespace kpxapp {

namespace {

// IPP (PWG) names of the printer's paper sizes. A5L and
// DoublePostcardRotated are fed landscape, so their names give the width
// first. The CUSTOMn sizes are the printer's own A4 variants and have no
// IPP name.
const MediaSize kPwgNames[] = {
    {"A4", "iso_a4_210x297mm", 2},
    {"Letter", "na_letter_8.5x11in", 0},
    {"Legal", "na_legal_8.5x14in", 1},
    {"MexicoLegal", "na_oficio_8.5x13.4in", -1},
    {"IndiaLegal", "om_india-legal_215x345mm", -1},
    {"Executive", "na_executive_7.25x10.5in", 3},
    {"Folio", "na_foolscap_8.5x13in", -1},
    {"A5", "iso_a5_148x210mm", -1},
    {"A5L", "om_a5-landscape_210x148mm", -1},
    {"A6", "iso_a6_105x148mm", -1},
    {"Env10", "na_number-10_4.125x9.5in", -1},
    {"EnvMonarch", "na_monarch_3.875x7.5in", -1},
    {"EnvDL", "iso_dl_110x220mm", -1},
    {"EnvC5", "iso_c5_162x229mm", -1},
    {"ISOB5", "iso_b5_176x250mm", -1},
    {"B5", "jis_b5_182x257mm", -1},
    {"ISOB6", "iso_b6_125x176mm", -1},
    {"B6", "jis_b6_128x182mm", -1},
    {"4x6", "na_index-4x6_4x6in", -1},
    {"Postcard", "jpn_hagaki_100x148mm", -1},
    {"DoublePostcardRotated", "om_double-postcard-rotated_200x148mm", -1},
    {"EnvYou4", "jpn_you4_105x235mm", -1},
    {"195x270mm", "om_195x270mm_195x270mm", -1},
    {"184x260mm", "om_16k_184x260mm", -1},
    {"197x273mm", "roc_16k_7.75x10.75in", -1},
};

}  // namespace

const std::vector<MediaSize> &mediaSizes() {
  // The printer description's sizes, in its order, that IPP can name.
  static const std::vector<MediaSize> kSizes = [] {
    std::vector<MediaSize> sizes;
    for (const kpx::MediaSize &m : kpx::mediaSizes())
      for (const MediaSize &named : kPwgNames)
        if (std::string_view(m.keyword) == named.pageSize) sizes.push_back(named);
    return sizes;
  }();
  return kSizes;
}

const MediaSize *mediaByPwg(std::string_view pwg) {
  for (const MediaSize &m : mediaSizes())
    if (pwg == m.pwg) return &m;
  return nullptr;
}

const MediaSize &defaultMedia() {
  static const MediaSize *kDefault = [] {
    for (const MediaSize &m : mediaSizes())
      if (std::string_view(m.pageSize) == kpx::defaultMediaSize().keyword) return &m;
    return &mediaSizes().front();
  }();
  return *kDefault;
}

namespace {

// A PWG self-describing name for a size in points, in inches.
std::string customSizeName(const char *which, double widthPt, double heightPt) {
  char name[64];
  std::snprintf(name, sizeof name, "custom_%s_%gx%gin", which, widthPt / 72.0, heightPt / 72.0);
  return name;
}

}  // namespace

const std::string &customSizeMinName() {
  static const std::string kName =
      customSizeName("min", kpx::kDefaultCustomRange.minWidth, kpx::kDefaultCustomRange.minHeight);
  return kName;
}

const std::string &customSizeMaxName() {
  static const std::string kName =
      customSizeName("max", kpx::kDefaultCustomRange.maxWidth, kpx::kDefaultCustomRange.maxHeight);
  return kName;
}

int marginHundredthsMm() { return kpx::kMarginPoints * 2540 / 72; }

const std::vector<KeywordPair> &mediaSources() {
  static const std::vector<KeywordPair> kSources = {
      {"auto", "AUTO"}, {"by-pass-tray", "MPTRAY"}, {"tray-1", "TRAY1"}, {"tray-2", "TRAY2"}, {"tray-3", "TRAY3"},
  };
  return kSources;
}

const std::vector<KeywordPair> &mediaTypes() {
  static const std::vector<KeywordPair> kTypes = {
      {"stationery", "PLAIN"},
      {"stationery-lightweight", "THIN"},
      {"stationery-heavyweight", "THICK"},
      {"cardstock", "THICKERPAPER2"},
      {"stationery-bond", "BOND"},
      {"envelope", "ENV"},
      {"envelope-heavyweight", "ENVTHICK"},
      {"envelope-lightweight", "ENVTHIN"},
      {"stationery-recycled", "RECYCLED"},
      {"labels", "LABLE"},
      {"stationery-colored", "COLOR"},
      {"stationery-letterhead", "LETTERHEAD"},
      {"stationery-prepunched", "HOLEPUNCHED"},
  };
  return kTypes;
}

const std::vector<std::string> &densityLevels() {
  static const std::vector<std::string> kLevels = {"-3", "-2", "-1", "0", "1", "2", "3"};
  return kLevels;
}

namespace {

const char *printerKeyword(const std::vector<KeywordPair> &pairs, const std::string &ipp, const char *fallback) {
  for (const KeywordPair &p : pairs)
    if (ipp == p.ipp) return p.printer;
  return fallback;
}

std::string vendorValue(const IppJob &job, const char *name) {
  auto it = job.vendor.find(name);
  return it == job.vendor.end() ? std::string() : it->second;
}

}  // namespace

JobPlan planJob(const IppJob &job, const std::tm &local) {
  JobPlan plan;
  kpx::JobSettings &s = plan.settings;
  s.printerName = "KPX7720MW";
  s.jobId = job.id;
  s.user = job.user;
  s.title = job.title;
  s.copies = std::to_string(std::max(1, job.copies));
  if (!job.host.empty()) s.hostName = job.host;
  plan.copies = std::max(1, job.copies);
  plan.firstPage = job.firstPage;
  plan.lastPage = job.lastPage;
  kpx::JobTimes times = kpx::formatJobTimes(local);
  s.logTime = times.logTime;
  s.jobTime = times.jobTime;
  s.logDate = times.logDate;

  if (const MediaSize *m = mediaByPwg(job.media)) {
    s.pageSize = m->pageSize;
  } else if (job.mediaWidth > 0 && job.mediaHeight > 0) {
    // Any other size goes as a custom size in points, as CUPS names it.
    char custom[64];
    std::snprintf(custom, sizeof custom, "PageSize=Custom.%.2fx%.2f", job.mediaWidth * 72.0 / 2540.0,
                  job.mediaHeight * 72.0 / 2540.0);
    s.pageSize = "Custom";
    s.options = custom;
  }
  s.inputSlot = printerKeyword(mediaSources(), job.source, "AUTO");
  s.mediaType = printerKeyword(mediaTypes(), job.type, "PLAIN");
  if (job.sides == "two-sided-long-edge")
    plan.duplex = kpx::Duplex::LongEdge;
  else if (job.sides == "two-sided-short-edge")
    plan.duplex = kpx::Duplex::ShortEdge;
  for (const kpx::DuplexMode &m : kpx::duplexModes())
    if (m.mode == plan.duplex) s.duplex = m.keyword;
  switch (job.dpi) {
    case 300: s.resolution = "300dpi"; break;
    case 1200: s.resolution = "1200dpi"; break;
    default: s.resolution = "600dpi"; break;
  }

  const std::string toner = vendorValue(job, kTonerSaveAttr);
  if (toner == "on") s.tonerSave = "ON";
  const std::string density = vendorValue(job, kDensityAttr);
  if (!density.empty()) {
    const auto &levels = densityLevels();
    if (std::find(levels.begin(), levels.end(), density) == levels.end()) {
      plan.error = "print-density-level must be one of -3 to 3";
      return plan;
    }
    s.density = density;
  }

  const std::string key = vendorValue(job, kSecureKeyAttr);
  if (!key.empty()) {
    // The same rule as the print dialog's four digit options.
    std::array<std::string, 4> digits;
    std::array<const char *, 4> choices{};
    if (key.size() == 4)
      for (size_t i = 0; i < 4; ++i) {
        digits[i] = std::string(1, key[i]);
        choices[i] = digits[i].c_str();
      }
    kpx::SecureKey k = kpx::assembleSecureKey(choices);
    if (key.size() != 4 || k.verdict != kpx::SecureKey::Verdict::Accepted) {
      plan.error = "secure-print-key must be exactly four digits";
      return plan;
    }
    s.key = k.key;
  }
  return plan;
}

std::vector<std::string> documentArgs(const JobPlan &plan, const kpx::RasterArgs &raster,
                                      const std::string &mediaPosition) {
  std::vector<std::string> args = kpx::interpreterArgs(plan.duplex, raster, mediaPosition);
  kpx::addDocumentRequests(args, plan.copies, plan.firstPage, plan.lastPage);
  return args;
}

int pclxlMediaSource(const std::string &inputSlot) {
  // The same trays the interpreter's MediaPosition selects.
  return kpx::mediaPositionNumber(inputSlot);
}

std::vector<int> statusCodes(std::string_view reply) { return kpx::protocol::codesIn(reply, kpx::protocol::kAppDialect); }

unsigned reasonsForCode(int code) {
  // The shared meaning of the code, in the reasons PAPPL can show.
  static const struct {
    const char *keyword;
    unsigned reason;
  } kKeywords[] = {
      {"other", kReasonOther},
      {"cover-open", kReasonCoverOpen},
      {"input-tray-missing", kReasonInputTrayMissing},
      {"toner-empty", kReasonTonerEmpty},
      {"toner-low", kReasonTonerLow},
      {"media-empty", kReasonMediaEmpty},
      {"media-jam", kReasonMediaJam},
      {"media-low", kReasonMediaLow},
      {"media-needed", kReasonMediaNeeded},
      {"marker-waste-full", kReasonWasteFull},
      {"marker-waste-almost-full", kReasonWasteAlmostFull},
      {"spool-area-full", kReasonSpoolAreaFull},
  };
  std::optional<kpx::StatusReasons> r = kpx::statusReasons(code);
  if (!r || r->standard == "none") return kReasonNone;
  // "media-jam-error": the keyword, then the level.
  const size_t dash = r->standard.rfind('-');
  const std::string keyword = r->standard.substr(0, dash);
  for (const auto &k : kKeywords)
    if (keyword == k.keyword) return k.reason;
  // Whatever else stops the printer.
  return r->standard.compare(dash, std::string::npos, "-error") == 0 ? kReasonOther : kReasonNone;
}

PrinterCondition conditionFromReply(std::string_view reply) {
  PrinterCondition c;
  c.codes = statusCodes(reply);
  c.answered = !c.codes.empty();
  if (!c.answered) return c;
  c.toner = TonerState::Ok;
  for (int code : c.codes) {
    c.reasons |= reasonsForCode(code);
    std::optional<kpx::StatusReasons> r = kpx::statusReasons(code);
    if (!r || r->toner == kpx::TonerState::NotSaid) continue;
    if (r->toner == kpx::TonerState::Empty)
      c.toner = TonerState::Empty;
    else if (c.toner != TonerState::Empty)
      c.toner = TonerState::Low;
  }
  return c;
}

int tonerPercent(TonerState t) {
  // A low toner is shown at the low level itself.
  switch (t) {
    case TonerState::Ok: return kpx::kTonerHighLevel;
    case TonerState::Low: return kpx::kTonerLowLevel;
    case TonerState::Empty: return kpx::kTonerEmptyLevel;
    default: return -1;
  }
}

const char *tonerLevelText(int percent) {
  if (percent < 0) return "Not known until the printer answers";
  if (percent == kpx::kTonerEmptyLevel) return "Empty: replace the toner cartridge";
  if (percent <= kpx::kTonerLowLevel) return "Low: have a new cartridge ready";
  return "OK";
}

bool ippRequestWithinBounds(ipp_t *request, int maxAttributes, int maxValues) {
  int attributes = 0;
  for (ipp_attribute_t *a = ippFirstAttribute(request); a != nullptr; a = ippNextAttribute(request)) {
    if (++attributes > maxAttributes || ippGetCount(a) > maxValues) return false;
  }
  return true;
}

CustomMediaRequest rewriteCustomMedia(ipp_t *request) {
  const ipp_op_t op = ippGetOperation(request);
  if (op != IPP_OP_PRINT_JOB && op != IPP_OP_CREATE_JOB && op != IPP_OP_VALIDATE_JOB && op != IPP_OP_PRINT_URI)
    return CustomMediaRequest::Untouched;
  ipp_attribute_t *media = ippFindAttribute(request, "media", IPP_TAG_ZERO);
  if (media == nullptr || ippGetCount(media) != 1 || ippGetGroupTag(media) != IPP_TAG_JOB ||
      ippFindAttribute(request, "media-col", IPP_TAG_ZERO) != nullptr)
    return CustomMediaRequest::Untouched;
  const char *name = ippGetString(media, 0, nullptr);
  if (name == nullptr || std::strncmp(name, "custom_", 7) != 0 || name == customSizeMinName() ||
      name == customSizeMaxName())
    return CustomMediaRequest::Untouched;
  pwg_media_t *size = pwgMediaForPWG(name);
  if (size == nullptr || size->width <= 0 || size->length <= 0) return CustomMediaRequest::Untouched;
  // The range in hundredths of millimetres, with a hundredth of slack for
  // sizes given in other units.
  const auto hmm = [](double points) { return static_cast<int>(std::lround(points * 2540.0 / 72.0)); };
  const kpx::CustomSizeRange &r = kpx::kDefaultCustomRange;
  const bool fits = size->width >= hmm(r.minWidth) - 1 && size->width <= hmm(r.maxWidth) + 1 &&
                    size->length >= hmm(r.minHeight) - 1 && size->length <= hmm(r.maxHeight) + 1;
  if (!fits) {
    if (ipp_attribute_t *fidelity = ippFindAttribute(request, "ipp-attribute-fidelity", IPP_TAG_ZERO)) {
      ippSetValueTag(request, &fidelity, IPP_TAG_BOOLEAN);
      ippSetBoolean(request, &fidelity, 0, 1);
    } else {
      // Added among the operation attributes: the groups keep their order.
      ipp_t *copy = ippNew();
      ippCopyAttributes(copy, request, 0, nullptr, nullptr);
      while (ipp_attribute_t *first = ippFirstAttribute(request)) ippDeleteAttribute(request, first);
      bool added = false;
      for (ipp_attribute_t *a = ippFirstAttribute(copy); a != nullptr; a = ippNextAttribute(copy)) {
        if (!added && ippGetGroupTag(a) != IPP_TAG_OPERATION) {
          ippAddBoolean(request, IPP_TAG_OPERATION, "ipp-attribute-fidelity", 1);
          added = true;
        }
        if (ippGetName(a) == nullptr) ippAddSeparator(request);
        else ippCopyAttribute(request, a, 0);
      }
      if (!added) ippAddBoolean(request, IPP_TAG_OPERATION, "ipp-attribute-fidelity", 1);
      ippDelete(copy);
    }
    return CustomMediaRequest::Refused;
  }
  const int width = size->width, length = size->length;
  ippDeleteAttribute(request, media);
  ipp_t *dims = ippNew();
  ippAddInteger(dims, IPP_TAG_ZERO, IPP_TAG_INTEGER, "x-dimension", width);
  ippAddInteger(dims, IPP_TAG_ZERO, IPP_TAG_INTEGER, "y-dimension", length);
  ipp_t *col = ippNew();
  ippAddCollection(col, IPP_TAG_ZERO, "media-size", dims);
  ippDelete(dims);
  ippAddCollection(request, IPP_TAG_JOB, "media-col", col);
  ippDelete(col);
  return CustomMediaRequest::AsDimensions;
}

}  // namespace kpxapp
