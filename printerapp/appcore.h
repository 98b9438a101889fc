// What the printer application decides, without any I/O: IPP job options
// become the job settings the classic filter uses (so both send the same
// ticket), media names become the printer's page sizes, and the printer's
// status replies become IPP printer state.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include <cups/ipp.h>

#include "geometry.h"
#include "jobsettings.h"

namespace kpxapp {

// The printer's paper sizes that IPP can name, in the printer description's
// order (its own CUSTOMn sizes have no IPP name).
const std::vector<kpx::MediaSize> &mediaSizes();
const kpx::MediaSize *mediaByPwg(std::string_view pwg);

// The printer description's default size (A4).
const kpx::MediaSize &defaultMedia();

// The IPP names bounding the custom sizes the printer takes, from the
// printer description's range ("custom_min_3x5in", "custom_max_8.5x14in").
const std::string &customSizeMinName();
const std::string &customSizeMaxName();

// The printer's unprintable edge, in hundredths of millimetres.
int marginHundredthsMm();

// The raster resolutions the printer renders at, in the description's
// order, and the default one.
const std::vector<int> &rasterResolutions();
int defaultDpi();

// Input slots and media types: IPP keyword <-> the printer's keyword, as
// the printer description names them.
struct KeywordPair {
  const char *ipp;
  const char *printer;
};
const std::vector<KeywordPair> &mediaSources();
const std::vector<KeywordPair> &mediaTypes();

// Vendor attributes (IPP has none for these), named in the printer
// description with the option each stands for.
inline constexpr const char *kTonerSaveAttr = kpx::ipp::kTonerSave;  // "on" / "off"
inline constexpr const char *kDensityAttr = kpx::ipp::kDensity;      // "-3" .. "3"
inline constexpr const char *kSecureKeyAttr = kpx::ipp::kSecureKey;  // four digits, "" for none
// The values a vendor attribute offers and its default, from its option's
// choices (empty, or null, for an attribute no option has).
const std::vector<const char *> &vendorValues(std::string_view attr);
const char *vendorDefault(std::string_view attr);
const std::vector<std::string> &densityLevels();

// The options of one IPP job as the application receives them.
struct IppJob {
  std::string id, user, title, host;
  int copies = 1;
  std::string media;   // PWG name ("iso_a4_210x297mm", "custom_..._WxHmm")
  int mediaWidth = 0, mediaHeight = 0;  // hundredths of millimetres
  std::string source, type, sides;
  int dpi = 600;
  std::map<std::string, std::string> vendor;
  int firstPage = 0, lastPage = 0;  // page-ranges (first range), 0 when none
};

struct JobPlan {
  kpx::JobSettings settings;
  kpx::Duplex duplex = kpx::Duplex::Simplex;  // the job's sides; settings.duplex is its keyword
  int copies = 1;
  int firstPage = 0, lastPage = 0;
  std::string error;  // why the job cannot print, empty when it can
};

// The interpreter's arguments for a PDF or PostScript document: the classic
// filter's, plus what the classic queue gets from CUPS inside the
// PostScript and an IPP job asks for itself (copies, a page range).
std::vector<std::string> documentArgs(const JobPlan &plan, const kpx::RasterArgs &raster,
                                      const std::string &mediaPosition);

// The job settings for the ticket and the interpreter; times are filled in
// from `local`.
JobPlan planJob(const IppJob &job, const std::tm &local);

// PCL XL media source for an input slot keyword ("AUTO", "TRAY1", ...).
int pclxlMediaSource(const std::string &inputSlot);

// A size IPP gives in hundredths of millimetres as a custom page size in
// points, the numbers the classic queue prints such a size from.
kpx::CustomPageSize customPageSize(int widthHmm, int heightHmm);

// Whether an IPP request stays within bounds: at most maxAttributes
// attributes, none with more than maxValues values.
bool ippRequestWithinBounds(ipp_t *request, int maxAttributes, int maxValues);

// A job request that names a custom size by its own dimensions
// ("media=custom_NAME_WxHunit"): within the printer's custom range it is
// asked for as media-col by those dimensions (PAPPL knows custom sizes only
// that way and would print the named size on the default paper); outside
// the range the request asks for fidelity, so that it fails on the size
// instead of printing on other paper. Other requests stay as they are.
enum class CustomMediaRequest { Untouched, AsDimensions, Refused };
CustomMediaRequest rewriteCustomMedia(ipp_t *request);

// ---- printer state

// IPP printer-state-reasons this application reports.
enum Reason : unsigned {
  kReasonNone = 0,
  kReasonOther = 1u << 0,
  kReasonCoverOpen = 1u << 1,
  kReasonInputTrayMissing = 1u << 2,
  kReasonTonerEmpty = 1u << 3,
  kReasonTonerLow = 1u << 4,
  kReasonMediaEmpty = 1u << 5,
  kReasonMediaJam = 1u << 6,
  kReasonMediaLow = 1u << 7,
  kReasonOffline = 1u << 8,
  kReasonWasteFull = 1u << 9,
  kReasonWasteAlmostFull = 1u << 10,
  kReasonMediaNeeded = 1u << 11,
  kReasonSpoolAreaFull = 1u << 12,
};

enum class TonerState { Unknown, Ok, Low, Empty };

struct PrinterCondition {
  bool answered = false;    // the printer gave at least one status code
  std::vector<int> codes;   // in reply order
  unsigned reasons = kReasonNone;
  TonerState toner = TonerState::Unknown;
};

// Status codes in a reply, read the application's way
// (kpx::protocol::kAppDialect): lines separated by carriage returns (or line
// feeds); a line holding the mark and up to five digits carries one. The
// reply is untrusted: anything else is skipped.
std::vector<int> statusCodes(std::string_view reply);

// The reasons and toner state for a reply, from the printer's shared
// meaning of each code (kpx::statusReasons).
unsigned reasonsForCode(int code);
PrinterCondition conditionFromReply(std::string_view reply);

// Toner level shown in printer-supply: a laser printer tells only ok, low
// and empty, shown at the status table's levels (kpx::kTonerHighLevel, ...).
int tonerPercent(TonerState t);
// What a toner level of tonerPercent means, in words for the web page.
const char *tonerLevelText(int percent);

}  // namespace kpxapp
