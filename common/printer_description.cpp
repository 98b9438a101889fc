#include "printer_description.h"

#include <iterator>

namespace kpx {

namespace {

const MediaSize kMediaSizes[] = {
    {"A4", "-g2480x3508", "-g4961x7016", "-g9922x14032", "A4", "A4", "A4", 595, 842},
    {"Letter", "-g2550x3300", "-g5100x6600", "-g10200x13200", "Letter", "Letter", "信纸", 612, 792},
    {"Legal", "-g2550x4200", "-g5100x8400", "-g10200x16800", "Legal", "Legal", "法律专用纸", 612, 1008},
    {"MexicoLegal", "-g2550x4014", "-g5100x8028", "-g10200x16056", "墨西哥Legal", "Mexico Legal", "墨西哥法律专用纸", 612, 965},
    {"IndiaLegal", "-g2538x4074", "-g5076x8148", "-g10152x16296", "印度Legal", "India Legal", "印度法律专用纸", 609, 978},
    {"Executive", "-g2175x3150", "-g4350x6300", "-g8700x12600", "Executive", "Executive", "行政纸", 522, 756},
    {"Folio", "-g2550x3900", "-g5100x7800", "-g10200x15600", "Folio", "Folio", "对开纸", 612, 936},
    {"A5", "-g1752x2480", "-g3505x4960", "-g7010x9920", "A5", "A5", "A5", 420, 595},
    {"A5L", "-g2480x1748", "-g4960x3496", "-g9920x6992", "A5长边", "A5 (Landscape)", "A5（横向）", 595, 420},
    {"A6", "-g1240x1748", "-g2480x3496", "-g4960x6992", "A6", "A6", "A6", 298, 420},
    {"Env10", "-g1237x2850", "-g2475x5700", "-g4950x11400", "Com-10", "Envelope #10", "10号信封", 297, 684},
    {"EnvMonarch", "-g1162x2250", "-g2325x4500", "-g4650x9000", "Monarch", "Envelope Monarch", "Monarch信封", 279, 540},
    {"EnvDL", "-g1299x2598", "-g2599x5197", "-g5198x10394", "DL", "Envelope DL", "DL信封", 312, 624},
    {"EnvC5", "-g1917x2705", "-g3835x5410", "-g7670x10820", "C5", "Envelope C5", "C5信封", 459, 649},
    {"ISOB5", "-g2078x2950", "-g4157x5900", "-g8314x11800", "B5(ISO)", "B5 (ISO)", "B5（ISO）", 499, 709},
    {"B5", "-g2134x3020", "-g4268x6041", "-g8536x12082", "B5(JIS)", "B5 (JIS)", "B5（JIS）", 516, 729},
    {"ISOB6", "-g1476x2078", "-g2953x4157", "-g5906x8314", "B6(ISO)", "B6 (ISO)", "B6（ISO）", 354, 499},
    {"B6", "-g1512x2149", "-g3024x4299", "-g6048x8598", "B6(JIS)", "B6 (JIS)", "B6（JIS）", 363, 516},
    {"4x6", "-g1204x1795", "-g2409x3591", "-g4818x7182", "4x6", "4x6 in", "4x6英寸", 288, 432},
    {"Postcard", "-g1181x1748", "-g2362x3496", "-g4724x6992", "明信片", "Postcard", "明信片", 283, 420},
    {"DoublePostcardRotated", "-g2362x1748", "-g4724x3496", "-g9448x6992", "往返明信片", "Double Postcard (Landscape)", "往返明信片（横向）", 567, 420},
    {"EnvYou4", "-g1240x2775", "-g2480x5551", "-g4960x11102", "洋形4号", "Envelope You 4", "洋形4号信封", 298, 666},
    {"195x270mm", "-g2303x3189", "-g4606x6378", "-g9212x12756", "16K(195x270mm)", "16K 195x270mm", "16开 195x270mm", 553, 765},
    {"184x260mm", "-g2173x3070", "-g4346x6141", "-g8692x12282", "16K(184x260mm)", "16K 184x260mm", "16开 184x260mm", 522, 737},
    {"197x273mm", "-g2327x3224", "-g4654x6449", "-g9308x12898", "16K(197x273mm)", "16K 197x273mm", "16开 197x273mm", 558, 774},
    // Sizes the user defines on the printer, rendered on an A4 raster.
    {"CUSTOM1", "-g2479x3508", "-g4958x7016", "-g9916x14032", "自定义1", "Custom 1", "自定义1", 595, 842},
    {"CUSTOM2", "-g2479x3508", "-g4958x7016", "-g9916x14032", "自定义2", "Custom 2", "自定义2", 595, 842},
    {"CUSTOM3", "-g2479x3508", "-g4958x7016", "-g9916x14032", "自定义3", "Custom 3", "自定义3", 595, 842},
};

const MediaType kMediaTypes[] = {
    {"PLAIN", "@PJL SET MEDIATYPE=REGULAR\n", "普通纸", true, "Plain Paper", "普通纸"},
    {"THIN", "@PJL SET MEDIATYPE=THIN\n", "薄纸", true, "Thin Paper", "薄纸"},
    {"THICK", "@PJL SET MEDIATYPE=THICK\n", "厚纸", true, "Thick Paper", "厚纸"},
    {"THICKERPAPER2", "@PJL SET MEDIATYPE=THICK2\n", "特厚纸", true, "Thicker Paper", "加厚纸"},
    {"BOND", "@PJL SET MEDIATYPE=BOND\n", "证券纸", true, "Bond Paper", "证券纸"},
    {"ENV", "@PJL SET MEDIATYPE=ENVELOPES\n", "信封", true, "Envelope", "信封"},
    {"ENVTHICK", "@PJL SET MEDIATYPE=ENVTHICK\n", "厚信封", true, "Thick Envelope", "厚信封"},
    {"ENVTHIN", "@PJL SET MEDIATYPE=ENVTHIN\n", "薄信封", true, "Thin Envelope", "薄信封"},
    {"RECYCLED", "@PJL SET MEDIATYPE=RECYCLED\n", "再生纸", true, "Recycled Paper", "再生纸"},
    // The firmware expects this spelling.
    {"LABLE", "@PJL SET MEDIATYPE=LABEL\n", "标签纸", true, "Labels", "标签"},
    {"COLOR", "@PJL SET MEDIATYPE=COLOR\n", "彩色纸", true, "Colored Paper", "彩色纸"},
    {"LETTERHEAD", "@PJL SET MEDIATYPE=LETTERHEAD\n", "信头纸", true, "Letterhead", "信头纸"},
    {"HOLEPUNCHED", "@PJL SET MEDIATYPE=HOLEPUNCHED\n", "打孔纸", true, "Hole Punched Paper", "打孔纸"},
    {"Glossy", "", "光面纸", false, "", ""},
};

const InputSlot kInputSlots[] = {
    {"AUTO", "@PJL SET SOURCETRAY=AUTO\n", 1, "自动选择", "Auto Select", "自动选择"},
    {"MPTRAY", "@PJL SET SOURCETRAY=MPTRAY\n@PJL SET PCLMPFIX=ON\n", 3, "多功能纸盒", "Multi-Purpose Tray", "多功能进纸盒"},
    {"TRAY1", "@PJL SET SOURCETRAY=TRAY1\n@PJL SET PCLT1FIX=ON\n", 4, "纸盒1", "Tray 1", "纸盒1"},
    {"TRAY2", "@PJL SET SOURCETRAY=TRAY2\n@PJL SET PCLT2FIX=ON\n", 5, "纸盒2", "Tray 2", "纸盒2"},
    {"TRAY3", "@PJL SET SOURCETRAY=TRAY3\n@PJL SET PCLT3FIX=ON\n", 7, "纸盒3", "Tray 3", "纸盒3"},
};

const DuplexMode kDuplexModes[] = {
    {Duplex::Simplex, "None", "单面打印", "无", "Off", "关闭", "<</Duplex false>>setpagedevice"},
    {Duplex::LongEdge, "DuplexNoTumble", "长边翻转", "长边翻转", "Long-Edge Binding", "长边装订", "<</Duplex true/Tumble false>>setpagedevice"},
    {Duplex::ShortEdge, "DuplexTumble", "短边翻转", "短边翻转", "Short-Edge Binding", "短边装订", "<</Duplex true/Tumble true>>setpagedevice"},
};

const Resolution kResolutions[] = {
    {"300dpi", "@PJL SET RESOLUTION=300\n@PJL SET HQMMODE=OFF\n", "300 dpi", "300 dpi"},
    {"600dpi", "@PJL SET RESOLUTION=600\n@PJL SET HQMMODE=OFF\n", "600 dpi", "600 dpi"},
    {"1200dpi", "@PJL SET RESOLUTION=TR1200\n@PJL SET PAPERFEEDSPEED=FULL\n@PJL SET HQMMODE=OFF\n", "1200 dpi", "1200 dpi"},
    {"2400dpi", "@PJL SET RESOLUTION=HQ1200\n@PJL SET PAPERFEEDSPEED=FULL\n@PJL SET HQMMODE=OFF\n", "2400 dpi", "2400 dpi"},
};

template <typename T, size_t N>
Table<T> tableOf(const T (&rows)[N]) {
  return Table<T>{rows, N};
}

template <typename T, size_t N>
const T *find(const T (&rows)[N], std::string_view keyword) {
  for (const T &r : rows)
    if (keyword == r.keyword) return &r;
  return nullptr;
}

}  // namespace

const char kCustomSizeShownName[] = "用户自定义";

Table<MediaSize> mediaSizes() { return tableOf(kMediaSizes); }
Table<MediaType> mediaTypes() { return tableOf(kMediaTypes); }
Table<InputSlot> inputSlots() { return tableOf(kInputSlots); }
Table<DuplexMode> duplexModes() { return tableOf(kDuplexModes); }
Table<Resolution> resolutions() { return tableOf(kResolutions); }

const MediaSize *findMediaSize(std::string_view k) { return find(kMediaSizes, k); }
const MediaType *findMediaType(std::string_view k) { return find(kMediaTypes, k); }
const InputSlot *findInputSlot(std::string_view k) { return find(kInputSlots, k); }
const DuplexMode *findDuplexMode(std::string_view k) { return find(kDuplexModes, k); }
const Resolution *findResolution(std::string_view k) { return find(kResolutions, k); }

const MediaSize &defaultMediaSize() { return kMediaSizes[0]; }
const MediaType &defaultMediaType() { return kMediaTypes[0]; }
const InputSlot &autoInputSlot() { return kInputSlots[0]; }
const DuplexMode &defaultDuplexMode() { return kDuplexModes[0]; }
const Resolution &defaultResolution() { return kResolutions[1]; }

}  // namespace kpx
