#include "appcore.h"

#include <cups/cups.h>

#include <algorithm>
#include <array>
#include <map>
#include <mutex>
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

const std::vector<kpx::MediaSize> &mediaSizes() {
  static const std::vector<kpx::MediaSize> kSizes = [] {
    std::vector<kpx::MediaSize> sizes;
    for (const kpx::MediaSize &m : kpx::mediaSizes())
      if (m.pwg != nullptr) sizes.push_back(m);
    return sizes;
  }();
  return kSizes;
}

const kpx::MediaSize *mediaByPwg(std::string_view pwg) { return kpx::findMediaSizeByPwg(pwg); }

const kpx::MediaSize &defaultMedia() { return kpx::defaultMediaSize(); }

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

const std::vector<int> &rasterResolutions() {
  static const std::vector<int> kDpis = [] {
    std::vector<int> dpis;
    for (const kpx::Resolution &r : kpx::resolutions())
      if (std::find(dpis.begin(), dpis.end(), r.dpi) == dpis.end()) dpis.push_back(r.dpi);
    return dpis;
  }();
  return kDpis;
}

int defaultDpi() { return kpx::defaultResolution().dpi; }

namespace {

template <typename Row>
std::vector<KeywordPair> keywordPairs(kpx::Table<Row> rows) {
  std::vector<KeywordPair> pairs;
  for (const Row &r : rows)
    if (r.ipp != nullptr) pairs.push_back({r.ipp, r.keyword});
  return pairs;
}

// The option a vendor attribute stands for, or null.
const kpx::PrinterOption *optionOfAttr(std::string_view attr) {
  for (const kpx::PrinterOption &o : kpx::printerOptions())
    if (o.ippAttribute != nullptr && attr == o.ippAttribute) return &o;
  return nullptr;
}

}  // namespace

const std::vector<KeywordPair> &mediaSources() {
  static const std::vector<KeywordPair> kSources = keywordPairs(kpx::inputSlots());
  return kSources;
}

const std::vector<KeywordPair> &mediaTypes() {
  static const std::vector<KeywordPair> kTypes = keywordPairs(kpx::mediaTypes());
  return kTypes;
}

const std::vector<const char *> &vendorValues(std::string_view attr) {
  static std::map<std::string, std::vector<const char *>, std::less<>> cache;
  static std::mutex mutex;
  std::lock_guard<std::mutex> lock(mutex);
  auto it = cache.find(attr);
  if (it != cache.end()) return it->second;
  std::vector<const char *> values;
  if (const kpx::PrinterOption *o = optionOfAttr(attr))
    for (const kpx::OptionChoice &c : o->choices)
      if (c.ipp != nullptr) values.push_back(c.ipp);
  return cache.emplace(std::string(attr), std::move(values)).first->second;
}

const char *vendorDefault(std::string_view attr) {
  const kpx::PrinterOption *o = optionOfAttr(attr);
  const kpx::OptionChoice *c = o != nullptr ? kpx::findChoice(*o, o->defaultChoice) : nullptr;
  return c != nullptr ? c->ipp : nullptr;
}

const std::vector<std::string> &densityLevels() {
  static const std::vector<std::string> kLevels(vendorValues(kDensityAttr).begin(), vendorValues(kDensityAttr).end());
  return kLevels;
}

kpx::CustomPageSize customPageSize(int widthHmm, int heightHmm) {
  // CUPS writes such a size as "WxH" in points to two decimals, and the
  // classic filter reads 13 characters of it in single precision: next to
  // a three-digit width (every width the printer takes) a height of 1000
  // points or more keeps one decimal, cut off.
  const double width = widthHmm * 72.0 / 2540.0, height = heightHmm * 72.0 / 2540.0;
  char text[64];
  std::snprintf(text, sizeof text, "%.2fx%.2f", width, height);
  kpx::CustomPageSize c;
  c.text = std::string(text).substr(0, 13);
  const long long w = std::llround(width * 100), h = std::llround(height * 100);
  c.width = static_cast<float>(w / 100.0);
  c.height = static_cast<float>(h >= 100000 ? (h / 10) / 10.0 : h / 100.0);
  return c;
}

namespace {

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

  if (const kpx::MediaSize *m = mediaByPwg(job.media)) {
    s.pageSize = m->keyword;
  } else if (job.mediaWidth > 0 && job.mediaHeight > 0) {
    // Any other size goes as a custom size, as CUPS would send it.
    s.pageSize = kpx::kCustomSizeKeyword;
    s.customSize = customPageSize(job.mediaWidth, job.mediaHeight);
  }
  const kpx::InputSlot *slot = kpx::findInputSlotByIpp(job.source);
  s.inputSlot = (slot != nullptr ? *slot : kpx::autoInputSlot()).keyword;
  const kpx::MediaType *type = kpx::findMediaTypeByIpp(job.type);
  s.mediaType = (type != nullptr ? *type : kpx::defaultMediaType()).keyword;
  const kpx::DuplexMode *sides = kpx::findDuplexModeBySides(job.sides);
  const kpx::DuplexMode &duplex = sides != nullptr ? *sides : kpx::defaultDuplexMode();
  plan.duplex = duplex.mode;
  s.duplex = duplex.keyword;
  const kpx::Resolution *resolution = kpx::findResolutionByDpi(job.dpi);
  s.resolution = (resolution != nullptr ? *resolution : kpx::defaultResolution()).keyword;

  const kpx::PrinterOption &tonerSave = *kpx::findPrinterOption("TonerSaveMode");
  if (const kpx::OptionChoice *c = kpx::findChoiceByIpp(tonerSave, vendorValue(job, kTonerSaveAttr)))
    s.tonerSave = c->keyword;
  const std::string density = vendorValue(job, kDensityAttr);
  if (!density.empty()) {
    const kpx::OptionChoice *c = kpx::findChoiceByIpp(*kpx::findPrinterOption("PrintDensity"), density);
    if (c == nullptr) {
      plan.error = "print-density-level must be one of -3 to 3";
      return plan;
    }
    s.density = c->keyword;
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
