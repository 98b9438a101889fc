// What the KPX7720MW is: the paper sizes, media types, input slots, duplex
// modes, resolutions and options its queues offer, each with every name a
// layer knows it by (PPD keyword, IPP name, job-ticket lines, PCL XL value,
// the monitor's name, the dialog's texts), the record files the filter leaves
// for the monitors, and its USB identity. Every program reads these tables;
// adding a choice starts here. The status codes are in status_codes.h.
#pragma once

#include <string>
#include <string_view>

namespace kpx {

// The PCL XL MediaSize of a size the printer has no enumeration for: it is
// sent as a custom size in inches.
constexpr int kPclxlCustomMedia = -1;

// A paper size: the PPD keyword, the interpreter's page geometry at each
// resolution ("-gWxH" in device pixels), the name the monitor shows, the
// print dialog's English and Chinese texts, the size in points, the IPP
// (PWG) name, the PCL XL MediaSize and the job-ticket lines it adds.
struct MediaSize {
  const char *keyword;
  const char *g300, *g600, *g1200;
  const char *shownName;
  const char *textEn, *textZh;
  int width, height;
  const char *pwg;  // null for the printer's own sizes, which IPP cannot name
  int pclxlMedia;   // enumeration value, or kPclxlCustomMedia
  const char *ticketLines;  // empty for most: the interpreter's geometry is the size
};

// A media type: the PPD keyword, its job-ticket line, the monitor's name,
// the dialog's texts and the IPP media-type keyword. Types the PPDs do not
// offer may still be shown when a record names them.
struct MediaType {
  const char *keyword;
  const char *ticketLine;
  const char *shownName;
  bool offered;
  const char *textEn, *textZh;
  const char *ipp;  // null for a type that is not offered
};

// An input slot: PPD keyword, job-ticket lines, the interpreter's media
// position, the monitor's name, the dialog's texts and the IPP media-source
// keyword.
struct InputSlot {
  const char *keyword;
  const char *ticketLines;
  int mediaPosition;  // the tray number the interpreter and PCL XL select
  const char *shownName;
  const char *textEn, *textZh;
  const char *ipp;
};

enum class Duplex { Simplex, LongEdge, ShortEdge };

// A duplex mode: PPD keyword, the job log's text, the monitor's name, the
// dialog's texts, the PostScript the PPD gives it and the IPP sides keyword.
struct DuplexMode {
  Duplex mode;
  const char *keyword;
  const char *logText;
  const char *shownName;
  const char *textEn, *textZh;
  const char *postScript;
  const char *sides;
};

// A resolution choice: PPD keyword, its job-ticket lines, the dialog's texts
// and the raster resolution the interpreter renders at.
struct Resolution {
  const char *keyword;
  const char *ticketLines;
  const char *textEn, *textZh;
  int dpi;  // "2400dpi" is the printer's enhanced mode of a 1200-dpi raster
};

template <typename T>
struct Table {
  const T *rows;
  size_t count;
  const T *begin() const { return rows; }
  const T *end() const { return rows + count; }
};

// Vendor attributes of the printer application, where IPP has none.
namespace ipp {
constexpr char kTonerSave[] = "toner-save";
constexpr char kDensity[] = "print-density-level";
// The secure-print key: the four Passwd options' digits as one value.
constexpr char kSecureKey[] = "secure-print-key";
}  // namespace ipp

// A choice of one of the printer's own options: the PPD keyword, the
// dialog's texts, the job-ticket lines it adds (empty: none) and its value
// in the printer application's vendor attribute (null: not offered there).
struct OptionChoice {
  const char *keyword;
  const char *textEn, *textZh;
  const char *ticketLines;
  const char *ipp;
};

// One of the printer's own options, in the order the PPDs list them: the
// PPD keyword (which the filter reads as is), the PPD group, the dialog's
// texts, the default choice (also the filter's when the PPD gives none), the
// choices, and the vendor attribute the printer application offers it as.
struct PrinterOption {
  const char *keyword;
  const char *group;
  const char *textEn, *textZh;
  const char *defaultChoice;
  Table<OptionChoice> choices;
  const char *ippAttribute;  // null when the application does not offer it
};

Table<MediaSize> mediaSizes();
Table<MediaType> mediaTypes();
Table<InputSlot> inputSlots();
Table<DuplexMode> duplexModes();
Table<Resolution> resolutions();
Table<PrinterOption> printerOptions();

// The row with this keyword, or null.
const MediaSize *findMediaSize(std::string_view keyword);
const MediaType *findMediaType(std::string_view keyword);
const InputSlot *findInputSlot(std::string_view keyword);
const DuplexMode *findDuplexMode(std::string_view keyword);
const Resolution *findResolution(std::string_view keyword);
const PrinterOption *findPrinterOption(std::string_view keyword);
const OptionChoice *findChoice(const PrinterOption &option, std::string_view keyword);

// The row with this IPP name, or null.
const MediaSize *findMediaSizeByPwg(std::string_view pwg);
const MediaType *findMediaTypeByIpp(std::string_view ipp);
const InputSlot *findInputSlotByIpp(std::string_view ipp);
const DuplexMode *findDuplexModeBySides(std::string_view sides);
const OptionChoice *findChoiceByIpp(const PrinterOption &option, std::string_view ipp);
// The first resolution rendered at dpi, or null.
const Resolution *findResolutionByDpi(int dpi);

// The defaults of the PPDs (and the size printed when the job names none
// the filter knows, the slot used for an unknown slot keyword).
const MediaSize &defaultMediaSize();    // A4
const MediaType &defaultMediaType();    // PLAIN
const InputSlot &autoInputSlot();       // AUTO
const DuplexMode &defaultDuplexMode();  // None
const Resolution &defaultResolution();  // 600dpi
// The default choice of one of printerOptions(); the option must exist.
const char *defaultChoiceOf(std::string_view option);

// The keyword of a user-entered size ("PageSize=Custom.WxH") and the name
// the monitor shows for it.
constexpr char kCustomSizeKeyword[] = "Custom";
extern const char kCustomSizeShownName[];

// A user-entered size as the layer that received it read it: width and
// height in points, with the job's own words for it, which messages quote.
// `problem` says why the words give no size ("unreadable", "has an unknown
// unit"); width and height are then 0.
struct CustomPageSize {
  double width = 0, height = 0;
  std::string text;
  std::string problem;
};

// Custom page sizes a queue accepts, in points.
struct CustomSizeRange {
  double minWidth, minHeight, maxWidth, maxHeight;
};
// The printer's: 3x5 in up to 8.5x14 in. The PPDs declare it, the printer
// application offers it, and the filter uses it when no PPD is at hand.
constexpr CustomSizeRange kDefaultCustomRange = {216.0, 360.0, 612.0, 1008.0};

// The unprintable margin on every edge of every size, in points (1/6 in).
constexpr int kMarginPoints = 12;

// Record files, below a queue's directory (<root>/KPX7720MW or
// <root>/KPX7720MW_net).
namespace records {
// The queues' directories below the install root.
constexpr const char kUsbQueueDir[] = "KPX7720MW";
constexpr const char kNetQueueDir[] = "KPX7720MW_net";
constexpr const char kPrinterInfo[] = "config/printerInfo";    // "key:value;" lines of the last job
constexpr const char kPrinterState[] = "config/printerState";  // "CODE=<n>" (USB queue only)
constexpr const char kNetIpInfo[] = "config/netIpInfo";        // network queue's printer address
constexpr const char kPrintLog[] = "print_log";                // one block per job
// The interpreter both queues run, below the install root.
constexpr const char kInterpreter[] = "KPX7720MW/kpx7720mw/bin/gs";

// The keys of printerInfo, in the order the filter writes them.
constexpr const char *kJobInfoKeys[] = {"resolution", "papersize", "inputslot", "mediatype", "duplex"};
}  // namespace records

// The printer on USB.
namespace usb {
constexpr unsigned kVendorId = 0x7B4F;
constexpr unsigned kProductId = 0x005C;
constexpr int kInterface = 0;
constexpr unsigned char kEndpointOut = 0x01;
constexpr unsigned char kEndpointIn = 0x82;
}  // namespace usb

}  // namespace kpx
