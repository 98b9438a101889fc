#include "printer_description.h"

#include <iterator>

namespace kpx {

namespace {

// PCL XL MediaSize enumeration values of the sizes it names.
enum : int { kPclxlLetter = 0, kPclxlLegal = 1, kPclxlA4 = 2, kPclxlExecutive = 3 };

// The IPP (PWG) names: A5L and DoublePostcardRotated are fed landscape, so
// their names give the width first.
const MediaSize kMediaSizes[] = {
    {"A4", "-g2480x3508", "-g4961x7016", "-g9922x14032", "A4", "A4", "A4", 595, 842, "iso_a4_210x297mm", kPclxlA4, ""},
    {"Letter", "-g2550x3300", "-g5100x6600", "-g10200x13200", "Letter", "Letter", "信纸", 612, 792, "na_letter_8.5x11in", kPclxlLetter, ""},
    {"Legal", "-g2550x4200", "-g5100x8400", "-g10200x16800", "Legal", "Legal", "法律专用纸", 612, 1008, "na_legal_8.5x14in", kPclxlLegal, ""},
    {"MexicoLegal", "-g2550x4014", "-g5100x8028", "-g10200x16056", "墨西哥Legal", "Mexico Legal", "墨西哥法律专用纸", 612, 965, "na_oficio_8.5x13.4in", kPclxlCustomMedia, ""},
    {"IndiaLegal", "-g2538x4074", "-g5076x8148", "-g10152x16296", "印度Legal", "India Legal", "印度法律专用纸", 609, 978, "om_india-legal_215x345mm", kPclxlCustomMedia, ""},
    {"Executive", "-g2175x3150", "-g4350x6300", "-g8700x12600", "Executive", "Executive", "行政纸", 522, 756, "na_executive_7.25x10.5in", kPclxlExecutive, ""},
    {"Folio", "-g2550x3900", "-g5100x7800", "-g10200x15600", "Folio", "Folio", "对开纸", 612, 936, "na_foolscap_8.5x13in", kPclxlCustomMedia, ""},
    {"A5", "-g1752x2480", "-g3505x4960", "-g7010x9920", "A5", "A5", "A5", 420, 595, "iso_a5_148x210mm", kPclxlCustomMedia, ""},
    {"A5L", "-g2480x1748", "-g4960x3496", "-g9920x6992", "A5长边", "A5 (Landscape)", "A5（横向）", 595, 420, "om_a5-landscape_210x148mm", kPclxlCustomMedia, ""},
    {"A6", "-g1240x1748", "-g2480x3496", "-g4960x6992", "A6", "A6", "A6", 298, 420, "iso_a6_105x148mm", kPclxlCustomMedia, ""},
    {"Env10", "-g1237x2850", "-g2475x5700", "-g4950x11400", "Com-10", "Envelope #10", "10号信封", 297, 684, "na_number-10_4.125x9.5in", kPclxlCustomMedia, ""},
    {"EnvMonarch", "-g1162x2250", "-g2325x4500", "-g4650x9000", "Monarch", "Envelope Monarch", "Monarch信封", 279, 540, "na_monarch_3.875x7.5in", kPclxlCustomMedia, ""},
    {"EnvDL", "-g1299x2598", "-g2599x5197", "-g5198x10394", "DL", "Envelope DL", "DL信封", 312, 624, "iso_dl_110x220mm", kPclxlCustomMedia, ""},
    {"EnvC5", "-g1917x2705", "-g3835x5410", "-g7670x10820", "C5", "Envelope C5", "C5信封", 459, 649, "iso_c5_162x229mm", kPclxlCustomMedia, ""},
    {"ISOB5", "-g2078x2950", "-g4157x5900", "-g8314x11800", "B5(ISO)", "B5 (ISO)", "B5（ISO）", 499, 709, "iso_b5_176x250mm", kPclxlCustomMedia, ""},
    {"B5", "-g2134x3020", "-g4268x6041", "-g8536x12082", "B5(JIS)", "B5 (JIS)", "B5（JIS）", 516, 729, "jis_b5_182x257mm", kPclxlCustomMedia, "@PJL SET PAPER=JISB5\n"},
    {"ISOB6", "-g1476x2078", "-g2953x4157", "-g5906x8314", "B6(ISO)", "B6 (ISO)", "B6（ISO）", 354, 499, "iso_b6_125x176mm", kPclxlCustomMedia, ""},
    {"B6", "-g1512x2149", "-g3024x4299", "-g6048x8598", "B6(JIS)", "B6 (JIS)", "B6（JIS）", 363, 516, "jis_b6_128x182mm", kPclxlCustomMedia, ""},
    {"4x6", "-g1204x1795", "-g2409x3591", "-g4818x7182", "4x6", "4x6 in", "4x6英寸", 288, 432, "na_index-4x6_4x6in", kPclxlCustomMedia, ""},
    {"Postcard", "-g1181x1748", "-g2362x3496", "-g4724x6992", "明信片", "Postcard", "明信片", 283, 420, "jpn_hagaki_100x148mm", kPclxlCustomMedia, ""},
    {"DoublePostcardRotated", "-g2362x1748", "-g4724x3496", "-g9448x6992", "往返明信片", "Double Postcard (Landscape)", "往返明信片（横向）", 567, 420, "om_double-postcard-rotated_200x148mm", kPclxlCustomMedia, ""},
    {"EnvYou4", "-g1240x2775", "-g2480x5551", "-g4960x11102", "洋形4号", "Envelope You 4", "洋形4号信封", 298, 666, "jpn_you4_105x235mm", kPclxlCustomMedia, ""},
    {"195x270mm", "-g2303x3189", "-g4606x6378", "-g9212x12756", "16K(195x270mm)", "16K 195x270mm", "16开 195x270mm", 553, 765, "om_195x270mm_195x270mm", kPclxlCustomMedia, ""},
    {"184x260mm", "-g2173x3070", "-g4346x6141", "-g8692x12282", "16K(184x260mm)", "16K 184x260mm", "16开 184x260mm", 522, 737, "om_16k_184x260mm", kPclxlCustomMedia, ""},
    {"197x273mm", "-g2327x3224", "-g4654x6449", "-g9308x12898", "16K(197x273mm)", "16K 197x273mm", "16开 197x273mm", 558, 774, "roc_16k_7.75x10.75in", kPclxlCustomMedia, ""},
    // Sizes the user defines on the printer, rendered on an A4 raster.
    {"CUSTOM1", "-g2479x3508", "-g4958x7016", "-g9916x14032", "自定义1", "Custom 1", "自定义1", 595, 842, nullptr, kPclxlCustomMedia, ""},
    {"CUSTOM2", "-g2479x3508", "-g4958x7016", "-g9916x14032", "自定义2", "Custom 2", "自定义2", 595, 842, nullptr, kPclxlCustomMedia, ""},
    {"CUSTOM3", "-g2479x3508", "-g4958x7016", "-g9916x14032", "自定义3", "Custom 3", "自定义3", 595, 842, nullptr, kPclxlCustomMedia, ""},
};

const MediaType kMediaTypes[] = {
    {"PLAIN", "@PJL SET MEDIATYPE=REGULAR\n", "普通纸", true, "Plain Paper", "普通纸", "stationery"},
    {"THIN", "@PJL SET MEDIATYPE=THIN\n", "薄纸", true, "Thin Paper", "薄纸", "stationery-lightweight"},
    {"THICK", "@PJL SET MEDIATYPE=THICK\n", "厚纸", true, "Thick Paper", "厚纸", "stationery-heavyweight"},
    {"THICKERPAPER2", "@PJL SET MEDIATYPE=THICK2\n", "特厚纸", true, "Thicker Paper", "加厚纸", "cardstock"},
    {"BOND", "@PJL SET MEDIATYPE=BOND\n", "证券纸", true, "Bond Paper", "证券纸", "stationery-bond"},
    {"ENV", "@PJL SET MEDIATYPE=ENVELOPES\n", "信封", true, "Envelope", "信封", "envelope"},
    {"ENVTHICK", "@PJL SET MEDIATYPE=ENVTHICK\n", "厚信封", true, "Thick Envelope", "厚信封", "envelope-heavyweight"},
    {"ENVTHIN", "@PJL SET MEDIATYPE=ENVTHIN\n", "薄信封", true, "Thin Envelope", "薄信封", "envelope-lightweight"},
    {"RECYCLED", "@PJL SET MEDIATYPE=RECYCLED\n", "再生纸", true, "Recycled Paper", "再生纸", "stationery-recycled"},
    // The firmware expects this spelling.
    {"LABLE", "@PJL SET MEDIATYPE=LABEL\n", "标签纸", true, "Labels", "标签", "labels"},
    {"COLOR", "@PJL SET MEDIATYPE=COLOR\n", "彩色纸", true, "Colored Paper", "彩色纸", "stationery-colored"},
    {"LETTERHEAD", "@PJL SET MEDIATYPE=LETTERHEAD\n", "信头纸", true, "Letterhead", "信头纸", "stationery-letterhead"},
    {"HOLEPUNCHED", "@PJL SET MEDIATYPE=HOLEPUNCHED\n", "打孔纸", true, "Hole Punched Paper", "打孔纸", "stationery-prepunched"},
    {"Glossy", "", "光面纸", false, "", "", nullptr},
};

const InputSlot kInputSlots[] = {
    {"AUTO", "@PJL SET SOURCETRAY=AUTO\n", 1, "自动选择", "Auto Select", "自动选择", "auto"},
    {"MPTRAY", "@PJL SET SOURCETRAY=MPTRAY\n@PJL SET PCLMPFIX=ON\n", 3, "多功能纸盒", "Multi-Purpose Tray", "多功能进纸盒", "by-pass-tray"},
    {"TRAY1", "@PJL SET SOURCETRAY=TRAY1\n@PJL SET PCLT1FIX=ON\n", 4, "纸盒1", "Tray 1", "纸盒1", "tray-1"},
    {"TRAY2", "@PJL SET SOURCETRAY=TRAY2\n@PJL SET PCLT2FIX=ON\n", 5, "纸盒2", "Tray 2", "纸盒2", "tray-2"},
    {"TRAY3", "@PJL SET SOURCETRAY=TRAY3\n@PJL SET PCLT3FIX=ON\n", 7, "纸盒3", "Tray 3", "纸盒3", "tray-3"},
};

const DuplexMode kDuplexModes[] = {
    {Duplex::Simplex, "None", "单面打印", "无", "Off", "关闭", "<</Duplex false>>setpagedevice", "one-sided"},
    {Duplex::LongEdge, "DuplexNoTumble", "长边翻转", "长边翻转", "Long-Edge Binding", "长边装订", "<</Duplex true/Tumble false>>setpagedevice", "two-sided-long-edge"},
    {Duplex::ShortEdge, "DuplexTumble", "短边翻转", "短边翻转", "Short-Edge Binding", "短边装订", "<</Duplex true/Tumble true>>setpagedevice", "two-sided-short-edge"},
};

const Resolution kResolutions[] = {
    {"300dpi", "@PJL SET RESOLUTION=300\n@PJL SET HQMMODE=OFF\n", "300 dpi", "300 dpi", 300},
    {"600dpi", "@PJL SET RESOLUTION=600\n@PJL SET HQMMODE=OFF\n", "600 dpi", "600 dpi", 600},
    {"1200dpi", "@PJL SET RESOLUTION=TR1200\n@PJL SET PAPERFEEDSPEED=FULL\n@PJL SET HQMMODE=OFF\n", "1200 dpi", "1200 dpi", 1200},
    {"2400dpi", "@PJL SET RESOLUTION=HQ1200\n@PJL SET PAPERFEEDSPEED=FULL\n@PJL SET HQMMODE=OFF\n", "2400 dpi", "2400 dpi", 1200},
};

// The printer's own options. Each choice's ticket lines are what the filter
// has always sent for it; a value no PPD of ours offers is handled in
// job/ticket.cpp.
// The printer's scaling rate is in tenths of a percent: 10 is 100 %, no scaling.
const OptionChoice kResizeChoices[] = {
    {"5", "50%", "50%", "@PJL SET PRINTSCALINGRATE=500\n", nullptr},
    {"6", "60%", "60%", "@PJL SET PRINTSCALINGRATE=600\n", nullptr},
    {"7", "70%", "70%", "@PJL SET PRINTSCALINGRATE=700\n", nullptr},
    {"8", "80%", "80%", "@PJL SET PRINTSCALINGRATE=800\n", nullptr},
    {"9", "90%", "90%", "@PJL SET PRINTSCALINGRATE=900\n", nullptr},
    {"10", "100% (No Scaling)", "100%（不缩放）", "", nullptr},
    {"11", "110%", "110%", "@PJL SET PRINTSCALINGRATE=1100\n", nullptr},
    {"12", "120%", "120%", "@PJL SET PRINTSCALINGRATE=1200\n", nullptr},
    {"15", "150%", "150%", "@PJL SET PRINTSCALINGRATE=1500\n", nullptr},
    {"20", "200%", "200%", "@PJL SET PRINTSCALINGRATE=2000\n", nullptr},
};

const OptionChoice kTonerSaveChoices[] = {
    {"OFF", "Off", "关闭", "@PJL SET ECONOMODE=OFF\n", "off"},
    {"ON", "On", "开启", "@PJL SET ECONOMODE=ON\n", "on"},
};

// 0 leaves the printer's own density.
const OptionChoice kDensityChoices[] = {
    {"-3", "-3 (Lightest)", "-3（最浅）", "@PJL SET DENSITY=-3\n@PJL SET DEVBIASADJUST=-3\n", "-3"},
    {"-2", "-2", "-2", "@PJL SET DENSITY=-2\n@PJL SET DEVBIASADJUST=-2\n", "-2"},
    {"-1", "-1", "-1", "@PJL SET DENSITY=-1\n@PJL SET DEVBIASADJUST=-1\n", "-1"},
    {"0", "Printer Default", "打印机默认", "", "0"},
    {"1", "+1", "+1", "@PJL SET DENSITY=1\n@PJL SET DEVBIASADJUST=1\n", "1"},
    {"2", "+2", "+2", "@PJL SET DENSITY=2\n@PJL SET DEVBIASADJUST=2\n", "2"},
    {"3", "+3 (Darkest)", "+3（最深）", "@PJL SET DENSITY=3\n@PJL SET DEVBIASADJUST=3\n", "3"},
};

const OptionChoice kImproveOutputChoices[] = {
    {"None", "Off", "关闭", "@PJL SET LESSPAPERCURL=OFF\n@PJL SET FIXINTENSITYUP=OFF\n", nullptr},
    {"ReducePaperCurl", "Reduce Paper Curl", "减少纸张卷曲", "@PJL SET LESSPAPERCURL=ON\n@PJL SET FIXINTENSITYUP=OFF\n", nullptr},
    {"ImproveTonerFixing", "Improve Toner Fixing", "改善碳粉定影", "@PJL SET LESSPAPERCURL=OFF\n@PJL SET FIXINTENSITYUP=ON\n", nullptr},
};

// One digit of the secure-print key each; the key goes into the ticket as a
// whole (HOLDKEY), so the digits carry no lines of their own.
const OptionChoice kKeyDigitChoices[] = {
    {"False", "Not Set", "未设置", "", nullptr},
    {"0", "0", "0", "", nullptr}, {"1", "1", "1", "", nullptr}, {"2", "2", "2", "", nullptr},
    {"3", "3", "3", "", nullptr}, {"4", "4", "4", "", nullptr}, {"5", "5", "5", "", nullptr},
    {"6", "6", "6", "", nullptr}, {"7", "7", "7", "", nullptr}, {"8", "8", "8", "", nullptr},
    {"9", "9", "9", "", nullptr},
};

#define KPX_SLEEP_LINES(m) \
  "@PJL DEFAULT AUTOSLEEP=ON\n@PJL DEFAULT TIMEOUTSLEEP=" m "\n@PJL SET AUTOSLEEP=ON\n@PJL SET TIMEOUTSLEEP=" m "\n"
const OptionChoice kSleepChoices[] = {
    {"PrinterDefault", "Printer Default", "打印机默认", "", nullptr},
    {"2minutes", "2 Minutes", "2分钟", KPX_SLEEP_LINES("2"), nullptr},
    {"5minutes", "5 Minutes", "5分钟", KPX_SLEEP_LINES("5"), nullptr},
    {"10minutes", "10 Minutes", "10分钟", KPX_SLEEP_LINES("10"), nullptr},
    {"30minutes", "30 Minutes", "30分钟", KPX_SLEEP_LINES("30"), nullptr},
};
#undef KPX_SLEEP_LINES

const OptionChoice kQuietChoices[] = {
    {"OFF", "Off", "关闭", "", nullptr},
    {"ON", "On", "开启", "@PJL SET QUIETMODE=ON\n", nullptr},
};

template <typename T, size_t N>
constexpr Table<T> tableOf(const T (&rows)[N]) {
  return Table<T>{rows, N};
}

const PrinterOption kPrinterOptions[] = {
    {"ResizePage", "General", "Scaling", "缩放", "10", tableOf(kResizeChoices), nullptr},
    {"TonerSaveMode", "Quality", "Toner Save Mode", "省墨模式", "OFF", tableOf(kTonerSaveChoices), ipp::kTonerSave},
    {"PrintDensity", "Quality", "Print Density", "打印浓度", "0", tableOf(kDensityChoices), ipp::kDensity},
    {"ImprovePrintOutput", "Quality", "Improve Print Output", "改善打印输出", "None", tableOf(kImproveOutputChoices), nullptr},
    {"Passwd1", "SecurePrint", "Secure Print Key Digit 1", "密码第1位", "False", tableOf(kKeyDigitChoices), nullptr},
    {"Passwd2", "SecurePrint", "Secure Print Key Digit 2", "密码第2位", "False", tableOf(kKeyDigitChoices), nullptr},
    {"Passwd3", "SecurePrint", "Secure Print Key Digit 3", "密码第3位", "False", tableOf(kKeyDigitChoices), nullptr},
    {"Passwd4", "SecurePrint", "Secure Print Key Digit 4", "密码第4位", "False", tableOf(kKeyDigitChoices), nullptr},
    {"Sleep", "PrinterSettings", "Sleep Time", "休眠时间", "PrinterDefault", tableOf(kSleepChoices), nullptr},
    // The filter reads the option under this spelling.
    {"QuiteMode", "PrinterSettings", "Quiet Mode", "静音模式", "OFF", tableOf(kQuietChoices), nullptr},
};

template <typename T, size_t N>
const T *find(const T (&rows)[N], std::string_view keyword) {
  for (const T &r : rows)
    if (keyword == r.keyword) return &r;
  return nullptr;
}

// The row whose IPP name (member) is ipp; rows without one never match.
template <typename T, size_t N>
const T *findByIpp(const T (&rows)[N], const char *T::*name, std::string_view ipp) {
  for (const T &r : rows)
    if (r.*name != nullptr && ipp == r.*name) return &r;
  return nullptr;
}

}  // namespace

const char kCustomSizeShownName[] = "用户自定义";

Table<MediaSize> mediaSizes() { return tableOf(kMediaSizes); }
Table<MediaType> mediaTypes() { return tableOf(kMediaTypes); }
Table<InputSlot> inputSlots() { return tableOf(kInputSlots); }
Table<DuplexMode> duplexModes() { return tableOf(kDuplexModes); }
Table<Resolution> resolutions() { return tableOf(kResolutions); }
Table<PrinterOption> printerOptions() { return tableOf(kPrinterOptions); }

const MediaSize *findMediaSize(std::string_view k) { return find(kMediaSizes, k); }
const MediaType *findMediaType(std::string_view k) { return find(kMediaTypes, k); }
const InputSlot *findInputSlot(std::string_view k) { return find(kInputSlots, k); }
const DuplexMode *findDuplexMode(std::string_view k) { return find(kDuplexModes, k); }
const Resolution *findResolution(std::string_view k) { return find(kResolutions, k); }
const PrinterOption *findPrinterOption(std::string_view k) { return find(kPrinterOptions, k); }

const OptionChoice *findChoice(const PrinterOption &option, std::string_view k) {
  for (const OptionChoice &c : option.choices)
    if (k == c.keyword) return &c;
  return nullptr;
}

const MediaSize *findMediaSizeByPwg(std::string_view n) { return findByIpp(kMediaSizes, &MediaSize::pwg, n); }
const MediaType *findMediaTypeByIpp(std::string_view n) { return findByIpp(kMediaTypes, &MediaType::ipp, n); }
const InputSlot *findInputSlotByIpp(std::string_view n) { return findByIpp(kInputSlots, &InputSlot::ipp, n); }
const DuplexMode *findDuplexModeBySides(std::string_view n) { return findByIpp(kDuplexModes, &DuplexMode::sides, n); }

const OptionChoice *findChoiceByIpp(const PrinterOption &option, std::string_view ipp) {
  for (const OptionChoice &c : option.choices)
    if (c.ipp != nullptr && ipp == c.ipp) return &c;
  return nullptr;
}

const Resolution *findResolutionByDpi(int dpi) {
  for (const Resolution &r : kResolutions)
    if (r.dpi == dpi) return &r;
  return nullptr;
}

const MediaSize &defaultMediaSize() { return kMediaSizes[0]; }
const MediaType &defaultMediaType() { return kMediaTypes[0]; }
const InputSlot &autoInputSlot() { return kInputSlots[0]; }
const DuplexMode &defaultDuplexMode() { return kDuplexModes[0]; }
const Resolution &defaultResolution() { return kResolutions[1]; }

const char *defaultChoiceOf(std::string_view option) { return findPrinterOption(option)->defaultChoice; }

}  // namespace kpx
