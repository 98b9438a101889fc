// What the KPX7720MW is: the paper sizes, media types, input slots, duplex
// modes and resolutions its queues offer, the record files the filter leaves
// for the monitors, and its USB identity. Every program reads these tables;
// adding a choice starts here. The status codes are in status_codes.h.
#pragma once

#include <string>
#include <string_view>

namespace kpx {

// A paper size: the PPD keyword, the interpreter's page geometry at each
// resolution ("-gWxH" in device pixels), the name the monitor shows, the
// print dialog's English and Chinese texts and the size in points.
struct MediaSize {
  const char *keyword;
  const char *g300, *g600, *g1200;
  const char *shownName;
  const char *textEn, *textZh;
  int width, height;
};

// A media type: the PPD keyword, its job-ticket line, the monitor's name
// and the dialog's texts. Types the PPDs do not offer may still be shown
// when a record names them.
struct MediaType {
  const char *keyword;
  const char *ticketLine;
  const char *shownName;
  bool offered;
  const char *textEn, *textZh;
};

// An input slot: PPD keyword, job-ticket lines, the interpreter's media
// position, the monitor's name and the dialog's texts.
struct InputSlot {
  const char *keyword;
  const char *ticketLines;
  int mediaPosition;  // the tray number the interpreter and PCL XL select
  const char *shownName;
  const char *textEn, *textZh;
};

enum class Duplex { Simplex, LongEdge, ShortEdge };

// A duplex mode: PPD keyword, the job log's text, the monitor's name, the
// dialog's texts and the PostScript the PPD gives it.
struct DuplexMode {
  Duplex mode;
  const char *keyword;
  const char *logText;
  const char *shownName;
  const char *textEn, *textZh;
  const char *postScript;
};

// A resolution choice: PPD keyword, its job-ticket lines and the dialog's texts.
struct Resolution {
  const char *keyword;
  const char *ticketLines;
  const char *textEn, *textZh;
};

template <typename T>
struct Table {
  const T *rows;
  size_t count;
  const T *begin() const { return rows; }
  const T *end() const { return rows + count; }
};

Table<MediaSize> mediaSizes();
Table<MediaType> mediaTypes();
Table<InputSlot> inputSlots();
Table<DuplexMode> duplexModes();
Table<Resolution> resolutions();

// The row with this keyword, or null.
const MediaSize *findMediaSize(std::string_view keyword);
const MediaType *findMediaType(std::string_view keyword);
const InputSlot *findInputSlot(std::string_view keyword);
const DuplexMode *findDuplexMode(std::string_view keyword);
const Resolution *findResolution(std::string_view keyword);

// The defaults of the PPDs (and the size printed when the job names none
// the filter knows, the slot used for an unknown slot keyword).
const MediaSize &defaultMediaSize();    // A4
const MediaType &defaultMediaType();    // PLAIN
const InputSlot &autoInputSlot();       // AUTO
const DuplexMode &defaultDuplexMode();  // None
const Resolution &defaultResolution();  // 600dpi

// The keyword of a user-entered size ("PageSize=Custom.WxH") and the name
// the monitor shows for it.
constexpr char kCustomSizeKeyword[] = "Custom";
extern const char kCustomSizeShownName[];

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
