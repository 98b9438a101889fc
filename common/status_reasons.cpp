#include "status_reasons.h"

#include <algorithm>
#include <iterator>
#include <set>

#include "status_codes.h"

namespace kpx {

const char kVendorReasonPrefix[] = "com.zuva.kpx7720mw-";

namespace {

struct Meaning {
  int code;
  const char *keyword;  // registered keyword without its suffix
  const char *english;
  TonerState toner;
};

constexpr TonerState kNone = TonerState::NotSaid;

// The codes with a meaning of their own, sorted by code. The paper families
// and the trays running low follow rules below.
const Meaning kMeanings[] = {
    {10001, "none", "The printer is ready.", kNone},
    {10003, "other", "Please wait - the print engine is starting up.", kNone},
    {10007, "other", "Printing was cancelled from the computer.", kNone},
    {10023, "none", "The printer is printing.", kNone},
    {10205, "opc-near-eol", "The drum unit is near the end of its life; replace it soon.", kNone},
    {10209, "toner-low", "Toner is low; replace the toner cartridge soon.", TonerState::Low},
    {10210, "marker-supply-low", "Cyan toner is low.", kNone},
    {10211, "marker-supply-low", "Magenta toner is low.", kNone},
    {10212, "marker-supply-low", "Yellow toner is low.", kNone},
    {10215, "other", "The transfer belt is near the end of its life; replace it.", kNone},
    {10305, "opc-life-over", "The drum unit has reached the end of its life; replace it now.", kNone},
    {10315, "other", "The transfer belt has reached the end of its life; replace it now.", kNone},
    {10316, "other", "The fuser has reached the end of its life; replace it.", kNone},
    {12201, "input-tray-missing", "Tray 1 is pulled out; push it back in.", kNone},
    {12301, "input-tray-missing", "Tray 2 is pulled out; push it back in.", kNone},
    {12401, "input-tray-missing", "Tray 3 is pulled out; push it back in.", kNone},
    {12501, "input-tray-missing", "Tray 4 is pulled out; push it back in.", kNone},
    {30016, "other", "The printer ran out of memory while printing.", kNone},
    {40000, "other", "The printer is in power-saving sleep.", kNone},
    {40021, "cover-open", "Open the front cover and close it again.", kNone},
    {40026, "other", "The waste toner box is missing; install it.", kNone},
    {40121, "cover-open", "Duplex disabled - close the rear cover completely.", kNone},
    {40141, "marker-waste-full", "The waste toner box is full; replace it now.", kNone},
    {40305, "other", "Drum unit failure; replace the drum unit now.", kNone},
    {40309, "toner-empty", "Toner ran out while receiving data; replace the toner.", TonerState::Empty},
    {40310, "marker-supply-empty", "Cyan toner ran out while receiving data.", kNone},
    {40311, "marker-supply-empty", "Magenta toner ran out while receiving data.", kNone},
    {40312, "marker-supply-empty", "Yellow toner ran out while receiving data.", kNone},
    {40405, "other", "No drum unit - open the cover and install the drum unit.", kNone},
    {40409, "toner-empty", "No toner - open the cover and install the toner cartridge.", TonerState::Empty},
    {40410, "marker-supply-empty", "No cyan toner cartridge installed.", kNone},
    {40411, "marker-supply-empty", "No magenta toner cartridge installed.", kNone},
    {40412, "marker-supply-empty", "No yellow toner cartridge installed.", kNone},
    {40415, "other", "No transfer belt unit - open the cover and install it.", kNone},
    {44102, "media-jam", "Paper jam at the rear, near the output slot.", kNone},
    {44113, "media-jam", "Paper jam in the multi-purpose tray.", kNone},
    {44114, "media-jam", "Paper jam near tray 1; remove the jammed paper.", kNone},
    {44115, "media-jam", "Paper jam inside the printer; remove the jammed paper.", kNone},
    {44116, "media-jam", "Paper jam in the duplex unit; remove the jammed paper.", kNone},
    {44444, "other", "Cannot communicate with the printer; check the USB cable.", kNone},
    {50007, "other", "Colour calibration failed.", kNone},
    {50076, "other", "Self-diagnosis - fuser fault; restart the printer.", kNone},
    {60000, "spool-area-full", "The printer's memory is full; clear stored jobs and try again.", kNone},
    {60003, "fuser-over-temp", "Cooling down - the printer is too hot; wait and try again.", kNone},
    {60005, "other", "Drum error - clean the drum with the green slider.", kNone},
    {60021, "cover-open", "The fuser cover is open; open and close it again.", kNone},
    {60023, "other", "Duplex paper size error - the paper is too short or too long for duplex.", kNone},
    {60030, "other", "The printer cannot print.", kNone},
    {60129, "media-needed", "Wrong paper type in the tray; change the paper type.", kNone},
    {60142, "media-needed", "Wrong paper size in the tray; change the paper size.", kNone},
    {60144, "other", "The newly installed toner cartridge is not accepted; replace it.", kNone},
    {60147, "other", "Tray 2 fault; replace tray 2.", kNone},
    {60151, "other", "Toner cartridge fault; replace the toner cartridge.", kNone},
    {60153, "other", "Registration failed.", kNone},
    {60157, "media-needed", "The selected paper is too small; choose a suitable size.", kNone},
    {60159, "other", "Condensation inside the printer; let it dry.", kNone},
    {60168, "other", "Tray 3 fault; replace tray 3.", kNone},
    {60179, "other", "Too many trays; change the number of trays or the paper source.", kNone},
    {60182, "other", "Abnormal supply voltage; switch the printer off and on.", kNone},
    {60185, "other", "Self-diagnosis - fuser fault; the printer waits 15 minutes.", kNone},
    {62002, "other", "The laser unit has reached its replacement time.", kNone},
    {62102, "marker-waste-almost-full", "The waste toner box has reached its replacement time.", kNone},
    {62109, "other", "Replace the tray 1 feeder.", kNone},
    {62110, "other", "Replace the tray 2 feeder.", kNone},
    {62111, "other", "Replace the tray 3 feeder.", kNone},
    {62112, "other", "Replace the tray 4 feeder.", kNone},
    {62116, "other", "Replace the multi-purpose tray feeder.", kNone},
    {65003, "media-empty", "Tray 1 does not feed - load paper into tray 1.", kNone},
    {65004, "media-jam", "Paper jam near tray 2; remove the jammed paper.", kNone},
    {65005, "media-empty", "Tray 2 does not feed - load paper into tray 2.", kNone},
    {65008, "media-jam", "Paper jam near tray 3; remove the jammed paper.", kNone},
    {65009, "media-empty", "Tray 3 does not feed - load paper into tray 3.", kNone},
    {65012, "media-jam", "Paper jam near tray 4; remove the jammed paper.", kNone},
    {65013, "media-empty", "Tray 4 does not feed - load paper into tray 4.", kNone},
    {70004, "media-jam", "Document jam in the automatic document feeder.", kNone},
    {70007, "media-needed", "Paper size error - no paper of the right size for copying.", kNone},
    {70014, "cover-open", "The document feeder cover is open; close it.", kNone},
    {70100, "other", "Cannot scan - scanner home position error.", kNone},
    {70400, "other", "Cannot scan - scanner error.", kNone},
    {70420, "other", "Cannot scan both sides - the original is too long.", kNone},
    {88888, "other", "The printer made an unauthorised outside connection.", kNone},
    {99999, "other", "Wrong secure print key; delete the job in the queue and print again.", kNone},
};

// English names of the paper sizes in the paper families, by size number.
std::string paperName(int number) {
  switch (number) {
    case 19: return "B5 or JIS B5";
    case 26: return "B6 or JIS B6";
    case 36: return "custom";
    case 71: return "3x5";
    default: break;
  }
  // The other names are English already.
  const char *name = familySizeName(number);
  return name != nullptr ? name : "";
}

// The paper families: media of a size is needed in a tray.
std::optional<Meaning> familyMeaning(int code, std::string &english) {
  const int prefix = code / 100;
  const std::string paper = paperName(code % 100);
  switch (prefix) {
    case 112: case 113: case 114:
      english = "Tray " + std::to_string(prefix - 111) + " has no " + paper + " paper; load paper.";
      break;
    case 410: english = "The multi-purpose tray has no " + paper + " paper; load paper."; break;
    case 412: case 413: case 414:
      english = "Tray " + std::to_string(prefix - 411) + " only - tray " + std::to_string(prefix - 411) + " has no " +
                paper + " paper; load paper.";
      break;
    case 419: english = "Automatic tray selection - no tray has " + paper + " paper; load paper."; break;
    default: return std::nullopt;
  }
  return Meaning{code, "media-needed", nullptr, kNone};
}

// Registered keywords (without suffix) that GTK's print dialog and
// system-config-printer describe in their own words at warning and error
// level.
const char *const kKnownToClients[] = {"toner-low",   "toner-empty", "marker-supply-low", "marker-supply-empty",
                                       "cover-open",  "door-open",   "media-low",         "media-empty",
                                       "offline",     "other"};

// The texts of the registered keywords the clients do not know, by keyword
// without suffix: English, then a Chinese title and text in the status
// table's manner.
struct Words {
  const char *keyword;
  const char *english;
  const char *title;
  const char *text;
};
const Words kKeywordWords[] = {
    {"fuser-over-temp", "The printer is too hot and cooling down; wait and try again.", "正在冷却",
     "打印机内部温度过高，建议等待打印机错误消除后重试"},
    {"input-tray-missing", "A paper tray is pulled out; push it back in.", "无纸盒", "纸盒被抽出，请推入纸盒"},
    {"marker-waste-almost-full", "The waste toner box is almost full; replace it soon.", "废粉仓将满",
     "废粉仓即将装满，请准备更换废粉仓"},
    {"marker-waste-full", "The waste toner box is full; replace it now.", "更换废粉仓", "废粉仓已满，请立即更换"},
    {"media-jam", "Paper jam; remove the jammed paper.", "卡纸", "打印机发生卡纸，请取出卡住的纸张"},
    {"media-needed", "Load paper of the size and type the job needs.", "请加纸",
     "请在纸盒中装入打印任务所需尺寸和类型的纸张"},
    {"opc-life-over", "The drum unit has reached the end of its life; replace it.", "更换硒鼓",
     "已经达到硒鼓单元使用寿命，请更换硒鼓单元"},
    {"opc-near-eol", "The drum unit is near the end of its life; replace it soon.", "硒鼓即将用尽",
     "即将达到硒鼓单元使用寿命，请更换硒鼓单元"},
    {"other", "The printer reports its state; see the printer's message.", "打印机提示", "请查看打印机的状态信息"},
    {"spool-area-full", "The printer's memory is full; clear stored jobs and try again.", "打印数据已满",
     "打印机的内存已满，建议将打印机内部存储的内容处理之后重试"},
};

bool knownToClients(const std::string &base) {
  return std::find_if(std::begin(kKnownToClients), std::end(kKnownToClients),
                      [&](const char *k) { return base == k; }) != std::end(kKnownToClients);
}

// The keyword without its level suffix, and the suffix.
std::pair<std::string, std::string> splitSuffix(const std::string &keyword) {
  for (int level = 1; level <= 3; ++level) {
    const std::string suffix = reasonSuffix(level);
    if (keyword.size() > suffix.size() && keyword.compare(keyword.size() - suffix.size(), suffix.size(), suffix) == 0)
      return {keyword.substr(0, keyword.size() - suffix.size()), suffix};
  }
  return {keyword, ""};
}

// Every registered keyword some code sets (standard and generic), sorted.
std::set<std::string> registeredKeywordsSet() {
  std::set<std::string> all;
  for (int code : statusCodes()) {
    std::optional<StatusReasons> r = statusReasons(code);
    if (!r || r->standard == "none") continue;
    all.insert(r->standard);
    if (!r->generic.empty()) all.insert(r->generic);
  }
  return all;
}

}  // namespace

bool clientsTranslate(const std::string &keyword) {
  auto [base, suffix] = splitSuffix(keyword);
  return (suffix == "-warning" || suffix == "-error") && knownToClients(base);
}

const std::vector<KeywordText> &keywordTexts() {
  static const std::vector<KeywordText> texts = [] {
    std::vector<KeywordText> t;
    for (const std::string &keyword : registeredKeywordsSet()) {
      if (clientsTranslate(keyword)) continue;
      const std::string base = splitSuffix(keyword).first;
      for (const Words &w : kKeywordWords)
        if (base == w.keyword) t.push_back({keyword, w.english, w.title, w.text});
    }
    return t;
  }();
  return texts;
}

std::vector<std::string> missingKeywordTexts() {
  std::vector<std::string> missing;
  for (const std::string &keyword : registeredKeywordsSet()) {
    if (clientsTranslate(keyword)) continue;
    const std::string base = splitSuffix(keyword).first;
    if (std::none_of(std::begin(kKeywordWords), std::end(kKeywordWords),
                     [&](const Words &w) { return base == w.keyword; }))
      missing.push_back(keyword);
  }
  return missing;
}

const char *reasonSuffix(int level) {
  switch (level) {
    case 3: return "-error";
    case 2: return "-warning";
    default: return "-report";
  }
}

std::optional<StatusReasons> statusReasons(int code) {
  std::optional<StatusCode> row = statusCode(code);
  if (!row) return std::nullopt;

  std::string english;
  std::optional<Meaning> meaning;
  auto it = std::lower_bound(std::begin(kMeanings), std::end(kMeanings), code,
                             [](const Meaning &m, int c) { return m.code < c; });
  if (it != std::end(kMeanings) && it->code == code) {
    meaning = *it;
    english = it->english;
  } else if (code >= 62122 && code <= 62125) {
    meaning = Meaning{code, "media-low", nullptr, kNone};
    english = "Tray " + std::to_string(code - 62121) + " is low on paper; add paper.";
  } else {
    meaning = familyMeaning(code, english);
  }
  if (!meaning) return std::nullopt;

  StatusReasons r;
  r.english = english;
  r.toner = meaning->toner;
  if (std::string(meaning->keyword) == "none") {
    r.standard = "none";
    return r;
  }
  const char *suffix = reasonSuffix(row->level);
  r.standard = std::string(meaning->keyword) + suffix;
  if ((row->level == Warning || row->level == Critical) && !knownToClients(meaning->keyword))
    r.generic = std::string("other") + suffix;
  r.vendor = kVendorReasonPrefix + std::to_string(code) + suffix;
  return r;
}

}  // namespace kpx
