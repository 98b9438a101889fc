#include "status_codes.h"

#include <algorithm>
#include <iterator>
#include <set>

#include "printer_protocol.h"

namespace kpx {

const char kVendorReasonPrefix[] = "com.zuva.kpx7720mw-";

namespace {

constexpr TonerState kNoToner = TonerState::NotSaid;
constexpr TonerState kLow = TonerState::Low;
constexpr TonerState kEmpty = TonerState::Empty;

// A code with a row of its own: what the monitors show (level, title,
// text), then what IPP clients are told (the registered keyword without its
// level's suffix, or "none"; an English text) and what it says about the
// toner.
struct Single {
  int code;
  int level;
  const char *title;
  const char *text;
  const char *keyword;
  const char *english;
  TonerState toner = kNoToner;
  int rank = 0;  // 0: the level
};

// Codes with a row of their own, sorted by code. The paper-missing families
// and the trays running low on paper follow the rules further down.
const Single kSingles[] = {
    {10001, 1, "打印机准备就绪", "打印机准备就绪，等待打印任务",
     "none", "The printer is ready."},
    {10003, 1, "请等待", "打印引擎正在初始化",
     "other", "Please wait - the print engine is starting up."},
    {10007, 1, "取消打印", "PC端取消打印作业",
     "other", "Printing was cancelled from the computer."},
    {10023, 1, "正在打印", "打印机正在打印",
     "none", "The printer is printing."},
    {10205, 2, "硒鼓即将用尽", "即将达到硒鼓单元使用寿命，请更换硒鼓单元",
     "opc-near-eol", "The drum unit is near the end of its life; replace it soon."},
    {10209, 2, "墨粉不足", "墨盒墨粉即将用完，请更换墨盒",
     "toner-low", "Toner is low; replace the toner cartridge soon.", kLow},
    {10210, 2, "蓝色墨粉不足", "蓝色墨盒墨粉即将用完，请更换墨盒",
     "marker-supply-low", "Cyan toner is low."},
    {10211, 2, "红色墨粉不足", "红色墨盒墨粉即将用完，请更换墨盒",
     "marker-supply-low", "Magenta toner is low."},
    {10212, 2, "黄色墨粉不足", "黄色墨盒墨粉即将用完，请更换墨盒",
     "marker-supply-low", "Yellow toner is low."},
    {10215, 2, "转印带将用尽", "转印带接近规定的寿命\n请立刻更换转印带组件",
     "other", "The transfer belt is near the end of its life; replace it."},
    {10305, 2, "更换硒鼓", "已经达到硒鼓单元使用寿命\n请立刻更换硒鼓单元",
     "opc-life-over", "The drum unit has reached the end of its life; replace it now."},
    {10315, 2, "更换转印带", "转印带组件寿命已经用尽\n请立刻更换转印带组件",
     "other", "The transfer belt has reached the end of its life; replace it now."},
    {10316, 2, "更换定影单元", "定影单元打印页数达到规定的寿命\n请更换定影单元",
     "other", "The fuser has reached the end of its life; replace it."},
    {12201, 3, "无纸盒1", "纸盒1被抽出，请推入纸盒1",
     "input-tray-missing", "Tray 1 is pulled out; push it back in."},
    {12301, 3, "无纸盒2", "纸盒2被抽出，请推入纸盒2",
     "input-tray-missing", "Tray 2 is pulled out; push it back in."},
    {12401, 3, "无纸盒3", "纸盒3被抽出，请推入纸盒3",
     "input-tray-missing", "Tray 3 is pulled out; push it back in."},
    {12501, 3, "无纸盒4", "纸盒4被抽出，请推入纸盒4",
     "input-tray-missing", "Tray 4 is pulled out; push it back in."},
    {30016, 3, "内存已满", "打印机在打印时，内存不足",
     "other", "The printer ran out of memory while printing."},
    {40000, 1, "休眠", "长时间没有收到数据\n打印机进入省电休眠状态",
     "other", "The printer is in power-saving sleep."},
    {40021, 3, "盖子未合上", "打开前盖板后，重新关闭前盖板",
     "cover-open", "Open the front cover and close it again."},
    {40026, 3, "无废粉仓", "没有安装废粉仓，请安装废粉仓",
     "other", "The waste toner box is missing; install it."},
    {40121, 3, "禁用双面", "请完全关闭产品背面的盖板",
     "cover-open", "Duplex disabled - close the rear cover completely."},
    {40141, 3, "更换废粉仓", "废粉仓已满，请立即更换",
     "marker-waste-full", "The waste toner box is full; replace it now."},
    {40305, 3, "硒鼓停止", "硒鼓故障，请立即更换",
     "other", "Drum unit failure; replace the drum unit now."},
    {40309, 3, "更换墨粉", "接收数据时墨粉用尽",
     "toner-empty", "Toner ran out while receiving data; replace the toner.", kEmpty},
    {40310, 3, "更换蓝色墨粉", "接收数据时蓝色墨粉用尽",
     "marker-supply-empty", "Cyan toner ran out while receiving data."},
    {40311, 3, "更换红色墨粉", "接收数据时红色墨粉用尽",
     "marker-supply-empty", "Magenta toner ran out while receiving data."},
    {40312, 3, "更换黄色墨粉", "接收数据时黄色墨粉用尽",
     "marker-supply-empty", "Yellow toner ran out while receiving data."},
    {40405, 3, "无硒鼓单元", "请打开盖板并安装硒鼓单元",
     "other", "No drum unit - open the cover and install the drum unit."},
    {40409, 3, "无墨粉", "请打开盖板并安装墨粉单元",
     "toner-empty", "No toner - open the cover and install the toner cartridge.", kEmpty},
    {40410, 3, "未安装蓝色墨粉单元", "请打开盖板并安装蓝色墨粉单元",
     "marker-supply-empty", "No cyan toner cartridge installed."},
    {40411, 3, "未安装红色墨粉单元", "请打开盖板并安装红色墨粉单元",
     "marker-supply-empty", "No magenta toner cartridge installed."},
    {40412, 3, "未安装黄色墨粉单元", "请打开盖板并安装黄色墨粉单元",
     "marker-supply-empty", "No yellow toner cartridge installed."},
    {40415, 3, "无转印带单元", "请打开盖板并安装转印带单元",
     "other", "No transfer belt unit - open the cover and install it."},
    {44102, 3, "后部卡纸", "打印机排纸槽附近发生卡纸",
     "media-jam", "Paper jam at the rear, near the output slot."},
    {44113, 3, "多功能进纸板卡纸", "多功能进纸板送纸时出现卡纸",
     "media-jam", "Paper jam in the multi-purpose tray."},
    {44114, 3, "纸盒1卡纸", "纸盒1附近发生送纸卡纸\n请取出纸盒1附近卡住的纸张",
     "media-jam", "Paper jam near tray 1; remove the jammed paper."},
    {44115, 3, "内部卡纸", "请取出打印机内部卡住的纸\n请确认滚筒部件里是否安装纸盒",
     "media-jam", "Paper jam inside the printer; remove the jammed paper."},
    {44116, 3, "双面卡纸", "双面打印纸盒发生卡纸\n请取出双面翻转纸盒中卡住的纸张",
     "media-jam", "Paper jam in the duplex unit; remove the jammed paper."},
    {44444, 3, "打印机通信失败", "无法和打印机通信，请检查USB线连接",
     "other", "Cannot communicate with the printer; check the USB cable."},
    {50007, 3, "校准失败", "颜色校准过程中故障",
     "other", "Colour calibration failed."},
    {50076, 3, "自我诊断", "打印机定影器状态异常\n建议重新启动打印机",
     "other", "Self-diagnosis - fuser fault; restart the printer."},
    {60000, 3, "打印数据已满", "打印机的内存已满\n建议将打印机内部存储的内容处理之后重试",
     "spool-area-full", "The printer's memory is full; clear stored jobs and try again."},
    {60003, 3, "正在冷却", "打印机内部温度过高\n建议等待打印机错误消除后重试",
     "fuser-over-temp", "Cooling down - the printer is too hot; wait and try again."},
    {60005, 3, "硒鼓错误", "硒鼓状态异常\n请滑动硒鼓上绿色滑块清洗硒鼓\n清洗后将滑块恢复到初始位置",
     "other", "Drum error - clean the drum with the green slider."},
    {60021, 3, "盖子未合上", "定影器盖打开状态\n建议重新开合定影器盖",
     "cover-open", "The fuser cover is open; open and close it again."},
    {60023, 3, "双面纸张尺寸错误", "强制排出双面打印\n提供的纸张太短或太长\n无法向打印机进行双面送纸",
     "other", "Duplex paper size error - the paper is too short or too long for duplex."},
    {60030, 3, "无法打印", "打印机处于不可打印状态",
     "other", "The printer cannot print."},
    {60129, 3, "介质不匹配", "向打印机送纸的纸盒中纸张类型错误\n请修改对应的纸张类型",
     "media-needed", "Wrong paper type in the tray; change the paper type."},
    {60142, 3, "尺寸匹配错误", "向打印机送纸的纸盒中纸张尺寸错误\n请修改对应的纸张尺寸",
     "media-needed", "Wrong paper size in the tray; change the paper size."},
    {60144, 3, "墨粉盒错误", "检测出新安装的墨粉盒不合格\n建议更换合格的墨粉盒",
     "other", "The newly installed toner cartridge is not accepted; replace it."},
    {60147, 3, "纸盒2错误", "纸盒2故障错误\n建议更换纸盒2",
     "other", "Tray 2 fault; replace tray 2."},
    {60151, 3, "墨粉盒错误", "检测出墨粉盒故障\n建议更换墨粉盒",
     "other", "Toner cartridge fault; replace the toner cartridge."},
    {60153, 3, "配准失败", "颜色校准故障\n",
     "other", "Registration failed."},
    {60157, 3, "短纸张错误", "所选纸张太小，印刷出错\n建议选择合适纸张大小",
     "media-needed", "The selected paper is too small; choose a suitable size."},
    {60159, 3, "凝露", "发生结露故障\n建议清理机器",
     "other", "Condensation inside the printer; let it dry."},
    {60168, 3, "纸盒3错误", "纸盒3故障错误\n建议更换纸盒3",
     "other", "Tray 3 fault; replace tray 3."},
    {60179, 3, "纸盒过多", "打印机检测出可能超过支持的数量\n请更改纸盒数量或修改取纸纸盒",
     "other", "Too many trays; change the number of trays or the paper source."},
    {60182, 3, "无法打印ZC", "打印机输入电源的电压波形异常\n通过打印机电源OFF/ON后该清除该错误",
     "other", "Abnormal supply voltage; switch the printer off and on."},
    {60185, 3, "自我诊断", "打印机检测出定影器异常\n定影器异常导致待机15分钟",
     "other", "Self-diagnosis - fuser fault; the printer waits 15 minutes."},
    {62002, 2, "更换激光单元", "打印机激光单元寿命达到更换状态\n请更换打印激光单元",
     "other", "The laser unit has reached its replacement time."},
    {62102, 2, "废粉仓寿命用尽", "打印机废粉仓寿命达到更换状态\n请更换废粉仓",
     "marker-waste-almost-full", "The waste toner box has reached its replacement time."},
    {62109, 2, "更换进纸器1", "打印机纸盒1部件的打印页数到达规定寿命需要更换\n请更换纸盒1单元",
     "other", "Replace the tray 1 feeder."},
    {62110, 2, "更换进纸器2", "打印机纸盒2部件的打印页数到达规定寿命需要更换\n请更换纸盒2单元",
     "other", "Replace the tray 2 feeder."},
    {62111, 2, "更换进纸器3", "打印机纸盒3部件的打印页数到达规定寿命需要更换\n请更换纸盒3单元",
     "other", "Replace the tray 3 feeder."},
    {62112, 2, "更换进纸器4", "打印机纸盒4部件的打印页数到达规定寿命需要更换\n请更换纸盒4单元",
     "other", "Replace the tray 4 feeder.", kNoToner, Critical},
    {62116, 2, "更换MP纸盒进纸器", "打印机多功能进纸板部件的打印页数到达规定寿命需要更换\n请更换多功能进纸板单元",
     "other", "Replace the multi-purpose tray feeder."},
    {65003, 3, "纸盒1无进纸", "请在纸盒1中放入纸张\n问题仍然无法解决，请清扫取纸滚轮",
     "media-empty", "Tray 1 does not feed - load paper into tray 1."},
    {65004, 3, "纸盒2卡纸", "纸盒2附近发生送纸卡纸\n请取出纸盒2附近卡住的纸张",
     "media-jam", "Paper jam near tray 2; remove the jammed paper."},
    {65005, 3, "纸盒2无进纸", "请在纸盒2中放入纸张\n问题仍然无法解决，请清扫取纸滚轮",
     "media-empty", "Tray 2 does not feed - load paper into tray 2."},
    {65008, 3, "纸盒3卡纸", "纸盒3附近发生送纸卡纸\n请取出纸盒3附近卡住的纸张",
     "media-jam", "Paper jam near tray 3; remove the jammed paper."},
    {65009, 3, "纸盒3无进纸", "请在纸盒3中放入纸张\n问题仍然无法解决，请清扫取纸滚轮",
     "media-empty", "Tray 3 does not feed - load paper into tray 3."},
    {65012, 3, "纸盒4卡纸", "纸盒4附近发生送纸卡纸\n请取出纸盒4附近卡住的纸张",
     "media-jam", "Paper jam near tray 4; remove the jammed paper."},
    {65013, 3, "纸盒4无进纸", "请在纸盒4中放入纸张\n问题仍然无法解决，请清扫取纸滚轮",
     "media-empty", "Tray 4 does not feed - load paper into tray 4."},
    {70004, 3, "原稿卡纸", "ADF原稿卡纸\nADF读取原稿时发生卡纸",
     "media-jam", "Document jam in the automatic document feeder."},
    {70007, 3, "纸张尺寸错误", "复印时优先级最高纸盒无纸，次优先级纸盒尺寸不符",
     "media-needed", "Paper size error - no paper of the right size for copying."},
    {70014, 3, "盖子未合上", "ADF盖子被打开，请合上ADF盖子",
     "cover-open", "The document feeder cover is open; close it."},
    {70100, 3, "无法扫描AF", "扫描元件起始位置错误",
     "other", "Cannot scan - scanner home position error."},
    {70400, 3, "无法扫描A9", "扫描特殊错误",
     "other", "Cannot scan - scanner error."},
    {70420, 3, "无法扫描", "ADF双面无法扫描\n原稿长度太长，不能双面扫描",
     "other", "Cannot scan both sides - the original is too long."},
    {88888, 3, "打印机违规外联！", "",
     "other", "The printer made an unauthorised outside connection.", kNoToner, Quiet},
    {99999, 3, "安全打印密码错误", "电脑端设置安全打印密码错误，\n请在电脑端打印队列删除打印任务，并重新打印",
     "other", "Wrong secure print key; delete the job in the queue and print again."},
};

// The paper sizes of the paper-missing families: the last two digits of a
// code, the size name inserted into the title and the one inserted into the
// English text (nullptr: the same).
struct PaperSize {
  int number;
  const char *name;
  const char *english = nullptr;
};

const PaperSize kPaperSizes[] = {
    {2, "Letter"},
    {4, "Legal"},
    {5, "Executive"},
    {13, "A4"},
    {15, "A5"},
    {17, "A6"},
    {19, "B5或JIS B5", "B5 or JIS B5"},
    {26, "B6或JIS B6", "B6 or JIS B6"},
    {28, "Hagaki"},
    {31, "Com-10"},
    {32, "Monarch"},
    {34, "C5"},
    {35, "DL"},
    {36, "自定义", "custom"},
    {64, "Organizer J"},
    {65, "Organizer K"},
    {66, "Organizer L"},
    {67, "Organizer M"},
    {68, "Folio"},
    {69, "DL L"},
    {71, "3×5", "3x5"},
    {72, "Envelope You #4"},
    {73, "Envelope You #3"},
    {74, "A4 Long"},
    {80, "A5 L"},
};

// The paper-missing families: a code is the family's three-digit prefix
// followed by a size number of kPaperSizes. Where the paper is missing
// decides the title and English text; every family asks to add paper
// ("media-needed"). The trays' own families only warn; a missing size
// elsewhere stops the job.
enum class Where { Tray, MultiPurposeTray, OnlyTray, AnyTray };

struct Family {
  int prefix;
  Where where;
  int tray;  // 1 to 3 for Tray and OnlyTray
  int level;
};

const Family kFamilies[] = {
    {112, Where::Tray, 1, Warning},        {113, Where::Tray, 2, Warning},
    {114, Where::Tray, 3, Warning},        {410, Where::MultiPurposeTray, 0, Critical},
    {412, Where::OnlyTray, 1, Critical},   {413, Where::OnlyTray, 2, Critical},
    {414, Where::OnlyTray, 3, Critical},   {419, Where::AnyTray, 0, Critical},
};

const char kAddPaper[] = "请加纸";
const char kFamilyKeyword[] = "media-needed";

std::string familyTitle(const Family &f, const std::string &size) {
  const std::string tray = std::to_string(f.tray);
  switch (f.where) {
    case Where::Tray: return "纸盒" + tray + "无" + size + "尺寸纸张";
    case Where::MultiPurposeTray: return "多功能进纸板无" + size + "尺寸纸张";
    case Where::OnlyTray: return "纸盒用途为仅纸盒" + tray + "时,纸盒" + tray + "无" + size + "尺寸纸张";
    case Where::AnyTray: break;
  }
  return "纸盒用途为自动选择时,所有进纸槽无" + size + "尺寸纸张";
}

std::string familyEnglish(const Family &f, const std::string &paper) {
  const std::string tray = std::to_string(f.tray);
  switch (f.where) {
    case Where::Tray: return "Tray " + tray + " has no " + paper + " paper; load paper.";
    case Where::MultiPurposeTray: return "The multi-purpose tray has no " + paper + " paper; load paper.";
    case Where::OnlyTray: return "Tray " + tray + " only - tray " + tray + " has no " + paper + " paper; load paper.";
    case Where::AnyTray: break;
  }
  return "Automatic tray selection - no tray has " + paper + " paper; load paper.";
}

// Size numbers are the last two digits of a family's code, 01 to 99.
constexpr int kFirstSizeNumber = 1, kLastSizeNumber = 99;

// Trays 1 to 4 running low on paper: one rule for four codes. The fourth
// tray ranks as critical.
constexpr int kLowPaperFirst = 62122, kLowPaperLast = 62125;
const char kLowPaperKeyword[] = "media-low";

// Everything the table says of one code, whichever row or rule it comes from.
struct Entry {
  int level;
  std::string title;
  std::string text;
  int rank;
  const char *keyword;  // registered keyword without its suffix, or "none"
  std::string english;
  TonerState toner;
};

const Single *findSingle(int code) {
  auto single = std::lower_bound(std::begin(kSingles), std::end(kSingles), code,
                                 [](const Single &s, int c) { return s.code < c; });
  return single != std::end(kSingles) && single->code == code ? &*single : nullptr;
}

const Family *findFamily(int prefix) {
  auto family = std::find_if(std::begin(kFamilies), std::end(kFamilies),
                             [prefix](const Family &f) { return f.prefix == prefix; });
  return family != std::end(kFamilies) ? &*family : nullptr;
}

const PaperSize *findSize(int number) {
  auto size = std::find_if(std::begin(kPaperSizes), std::end(kPaperSizes),
                           [number](const PaperSize &p) { return p.number == number; });
  return size != std::end(kPaperSizes) ? &*size : nullptr;
}

std::optional<Entry> entry(int code) {
  if (code >= kLowPaperFirst && code <= kLowPaperLast) {
    const std::string tray = std::to_string(code - (kLowPaperFirst - 1));
    return Entry{Warning,
                 "纸盒" + tray + "纸张不足",
                 "打印机纸盒" + tray + "剩余纸张较少\n请向纸盒" + tray + "中添加纸张",
                 code == kLowPaperLast ? Critical : Warning,
                 kLowPaperKeyword,
                 "Tray " + tray + " is low on paper; add paper.",
                 kNoToner};
  }
  if (const Single *s = findSingle(code))
    return Entry{s->level, s->title, s->text, s->rank != 0 ? s->rank : s->level, s->keyword, s->english, s->toner};

  if (code < 10000 || code > 99999) return std::nullopt;
  const Family *family = findFamily(code / 100);
  const PaperSize *size = findSize(code % 100);
  if (family == nullptr || size == nullptr) return std::nullopt;
  return Entry{family->level,
               familyTitle(*family, size->name),
               kAddPaper,
               family->level,
               kFamilyKeyword,
               familyEnglish(*family, size->english != nullptr ? size->english : size->name),
               kNoToner};
}

// The codes of the families that only warn, from the first one's first
// size number to the last one's last, sizes the table does not name
// included: a tray's paper problem, whatever its size.
bool inWarningFamilies(int code) {
  int first = 0, last = 0;
  for (const Family &f : kFamilies) {
    if (f.level != Warning) continue;
    first = first == 0 ? f.prefix : std::min(first, f.prefix);
    last = std::max(last, f.prefix);
  }
  return first != 0 && code >= first * 100 + kFirstSizeNumber && code <= last * 100 + kLastSizeNumber;
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

std::optional<StatusCode> statusCode(int code) {
  std::optional<Entry> e = entry(code);
  if (!e) return std::nullopt;
  return StatusCode{e->level, std::move(e->title), std::move(e->text)};
}

int statusCodeCount() { return int(statusCodes().size()); }

const std::vector<int> &statusCodes() {
  static const std::vector<int> codes = [] {
    std::vector<int> all;
    for (const Single &s : kSingles) all.push_back(s.code);
    for (int c = kLowPaperFirst; c <= kLowPaperLast; ++c) all.push_back(c);
    for (const Family &f : kFamilies)
      for (const PaperSize &p : kPaperSizes) all.push_back(f.prefix * 100 + p.number);
    std::sort(all.begin(), all.end());
    return all;
  }();
  return codes;
}

const char *familySizeName(int number) {
  const PaperSize *size = findSize(number);
  return size != nullptr ? size->name : nullptr;
}

int severityRank(int code) {
  if (std::optional<Entry> e = entry(code)) return e->rank;
  return inWarningFamilies(code) ? Warning : Critical;
}

std::string statusLine(int code) { return std::string(protocol::kCodeMark) + std::to_string(code); }

const char *reasonSuffix(int level) {
  switch (level) {
    case 3: return "-error";
    case 2: return "-warning";
    default: return "-report";
  }
}

std::optional<StatusReasons> statusReasons(int code) {
  std::optional<Entry> e = entry(code);
  if (!e) return std::nullopt;
  StatusReasons r;
  r.english = std::move(e->english);
  r.toner = e->toner;
  const std::string keyword = e->keyword;
  if (keyword == "none") {
    r.standard = "none";
    return r;
  }
  const char *suffix = reasonSuffix(e->level);
  r.standard = keyword + suffix;
  if ((e->level == Warning || e->level == Critical) && !knownToClients(keyword)) r.generic = std::string("other") + suffix;
  r.vendor = kVendorReasonPrefix + std::to_string(code) + suffix;
  return r;
}

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

}  // namespace kpx
