#include "status_codes.h"

#include <algorithm>
#include <iterator>

#include "printer_protocol.h"

namespace kpx {

namespace {

struct Single {
  int code;
  int level;
  const char *title;
  const char *text;
  int rank = 0;  // 0: the level
};

// Codes with a row of their own, sorted by code.
const Single kSingles[] = {
    {10001, 1, "打印机准备就绪", "打印机准备就绪，等待打印任务"},
    {10003, 1, "请等待", "打印引擎正在初始化"},
    {10007, 1, "取消打印", "PC端取消打印作业"},
    {10023, 1, "正在打印", "打印机正在打印"},
    {10205, 2, "硒鼓即将用尽", "即将达到硒鼓单元使用寿命，请更换硒鼓单元"},
    {10209, 2, "墨粉不足", "墨盒墨粉即将用完，请更换墨盒"},
    {10210, 2, "蓝色墨粉不足", "蓝色墨盒墨粉即将用完，请更换墨盒"},
    {10211, 2, "红色墨粉不足", "红色墨盒墨粉即将用完，请更换墨盒"},
    {10212, 2, "黄色墨粉不足", "黄色墨盒墨粉即将用完，请更换墨盒"},
    {10215, 2, "转印带将用尽", "转印带接近规定的寿命\n请立刻更换转印带组件"},
    {10305, 2, "更换硒鼓", "已经达到硒鼓单元使用寿命\n请立刻更换硒鼓单元"},
    {10315, 2, "更换转印带", "转印带组件寿命已经用尽\n请立刻更换转印带组件"},
    {10316, 2, "更换定影单元", "定影单元打印页数达到规定的寿命\n请更换定影单元"},
    {12201, 3, "无纸盒1", "纸盒1被抽出，请推入纸盒1"},
    {12301, 3, "无纸盒2", "纸盒2被抽出，请推入纸盒2"},
    {12401, 3, "无纸盒3", "纸盒3被抽出，请推入纸盒3"},
    {12501, 3, "无纸盒4", "纸盒4被抽出，请推入纸盒4"},
    {30016, 3, "内存已满", "打印机在打印时，内存不足"},
    {40000, 1, "休眠", "长时间没有收到数据\n打印机进入省电休眠状态"},
    {40021, 3, "盖子未合上", "打开前盖板后，重新关闭前盖板"},
    {40026, 3, "无废粉仓", "没有安装废粉仓，请安装废粉仓"},
    {40121, 3, "禁用双面", "请完全关闭产品背面的盖板"},
    {40141, 3, "更换废粉仓", "废粉仓已满，请立即更换"},
    {40305, 3, "硒鼓停止", "硒鼓故障，请立即更换"},
    {40309, 3, "更换墨粉", "接收数据时墨粉用尽"},
    {40310, 3, "更换蓝色墨粉", "接收数据时蓝色墨粉用尽"},
    {40311, 3, "更换红色墨粉", "接收数据时红色墨粉用尽"},
    {40312, 3, "更换黄色墨粉", "接收数据时黄色墨粉用尽"},
    {40405, 3, "无硒鼓单元", "请打开盖板并安装硒鼓单元"},
    {40409, 3, "无墨粉", "请打开盖板并安装墨粉单元"},
    {40410, 3, "未安装蓝色墨粉单元", "请打开盖板并安装蓝色墨粉单元"},
    {40411, 3, "未安装红色墨粉单元", "请打开盖板并安装红色墨粉单元"},
    {40412, 3, "未安装黄色墨粉单元", "请打开盖板并安装黄色墨粉单元"},
    {40415, 3, "无转印带单元", "请打开盖板并安装转印带单元"},
    {44102, 3, "后部卡纸", "打印机排纸槽附近发生卡纸"},
    {44113, 3, "多功能进纸板卡纸", "多功能进纸板送纸时出现卡纸"},
    {44114, 3, "纸盒1卡纸", "纸盒1附近发生送纸卡纸\n请取出纸盒1附近卡住的纸张"},
    {44115, 3, "内部卡纸", "请取出打印机内部卡住的纸\n请确认滚筒部件里是否安装纸盒"},
    {44116, 3, "双面卡纸", "双面打印纸盒发生卡纸\n请取出双面翻转纸盒中卡住的纸张"},
    {44444, 3, "打印机通信失败", "无法和打印机通信，请检查USB线连接"},
    {50007, 3, "校准失败", "颜色校准过程中故障"},
    {50076, 3, "自我诊断", "打印机定影器状态异常\n建议重新启动打印机"},
    {60000, 3, "打印数据已满", "打印机的内存已满\n建议将打印机内部存储的内容处理之后重试"},
    {60003, 3, "正在冷却", "打印机内部温度过高\n建议等待打印机错误消除后重试"},
    {60005, 3, "硒鼓错误", "硒鼓状态异常\n请滑动硒鼓上绿色滑块清洗硒鼓\n清洗后将滑块恢复到初始位置"},
    {60021, 3, "盖子未合上", "定影器盖打开状态\n建议重新开合定影器盖"},
    {60023, 3, "双面纸张尺寸错误", "强制排出双面打印\n提供的纸张太短或太长\n无法向打印机进行双面送纸"},
    {60030, 3, "无法打印", "打印机处于不可打印状态"},
    {60129, 3, "介质不匹配", "向打印机送纸的纸盒中纸张类型错误\n请修改对应的纸张类型"},
    {60142, 3, "尺寸匹配错误", "向打印机送纸的纸盒中纸张尺寸错误\n请修改对应的纸张尺寸"},
    {60144, 3, "墨粉盒错误", "检测出新安装的墨粉盒不合格\n建议更换合格的墨粉盒"},
    {60147, 3, "纸盒2错误", "纸盒2故障错误\n建议更换纸盒2"},
    {60151, 3, "墨粉盒错误", "检测出墨粉盒故障\n建议更换墨粉盒"},
    {60153, 3, "配准失败", "颜色校准故障\n"},
    {60157, 3, "短纸张错误", "所选纸张太小，印刷出错\n建议选择合适纸张大小"},
    {60159, 3, "凝露", "发生结露故障\n建议清理机器"},
    {60168, 3, "纸盒3错误", "纸盒3故障错误\n建议更换纸盒3"},
    {60179, 3, "纸盒过多", "打印机检测出可能超过支持的数量\n请更改纸盒数量或修改取纸纸盒"},
    {60182, 3, "无法打印ZC", "打印机输入电源的电压波形异常\n通过打印机电源OFF/ON后该清除该错误"},
    {60185, 3, "自我诊断", "打印机检测出定影器异常\n定影器异常导致待机15分钟"},
    {62002, 2, "更换激光单元", "打印机激光单元寿命达到更换状态\n请更换打印激光单元"},
    {62102, 2, "废粉仓寿命用尽", "打印机废粉仓寿命达到更换状态\n请更换废粉仓"},
    {62109, 2, "更换进纸器1", "打印机纸盒1部件的打印页数到达规定寿命需要更换\n请更换纸盒1单元"},
    {62110, 2, "更换进纸器2", "打印机纸盒2部件的打印页数到达规定寿命需要更换\n请更换纸盒2单元"},
    {62111, 2, "更换进纸器3", "打印机纸盒3部件的打印页数到达规定寿命需要更换\n请更换纸盒3单元"},
    {62112, 2, "更换进纸器4", "打印机纸盒4部件的打印页数到达规定寿命需要更换\n请更换纸盒4单元", Critical},
    {62116, 2, "更换MP纸盒进纸器", "打印机多功能进纸板部件的打印页数到达规定寿命需要更换\n请更换多功能进纸板单元"},
    {65003, 3, "纸盒1无进纸", "请在纸盒1中放入纸张\n问题仍然无法解决，请清扫取纸滚轮"},
    {65004, 3, "纸盒2卡纸", "纸盒2附近发生送纸卡纸\n请取出纸盒2附近卡住的纸张"},
    {65005, 3, "纸盒2无进纸", "请在纸盒2中放入纸张\n问题仍然无法解决，请清扫取纸滚轮"},
    {65008, 3, "纸盒3卡纸", "纸盒3附近发生送纸卡纸\n请取出纸盒3附近卡住的纸张"},
    {65009, 3, "纸盒3无进纸", "请在纸盒3中放入纸张\n问题仍然无法解决，请清扫取纸滚轮"},
    {65012, 3, "纸盒4卡纸", "纸盒4附近发生送纸卡纸\n请取出纸盒4附近卡住的纸张"},
    {65013, 3, "纸盒4无进纸", "请在纸盒4中放入纸张\n问题仍然无法解决，请清扫取纸滚轮"},
    {70004, 3, "原稿卡纸", "ADF原稿卡纸\nADF读取原稿时发生卡纸"},
    {70007, 3, "纸张尺寸错误", "复印时优先级最高纸盒无纸，次优先级纸盒尺寸不符"},
    {70014, 3, "盖子未合上", "ADF盖子被打开，请合上ADF盖子"},
    {70100, 3, "无法扫描AF", "扫描元件起始位置错误"},
    {70400, 3, "无法扫描A9", "扫描特殊错误"},
    {70420, 3, "无法扫描", "ADF双面无法扫描\n原稿长度太长，不能双面扫描"},
    {88888, 3, "打印机违规外联！", "", Quiet},
    {99999, 3, "安全打印密码错误", "电脑端设置安全打印密码错误，\n请在电脑端打印队列删除打印任务，并重新打印"},
};

// The paper sizes of the paper-missing families: the last two digits of a
// code and the size name inserted into the title.
struct PaperSize {
  int number;
  const char *name;
};

const PaperSize kPaperSizes[] = {
    {2, "Letter"},       {4, "Legal"},           {5, "Executive"},       {13, "A4"},
    {15, "A5"},          {17, "A6"},             {19, "B5或JIS B5"},     {26, "B6或JIS B6"},
    {28, "Hagaki"},      {31, "Com-10"},         {32, "Monarch"},        {34, "C5"},
    {35, "DL"},          {36, "自定义"},         {64, "Organizer J"},    {65, "Organizer K"},
    {66, "Organizer L"}, {67, "Organizer M"},    {68, "Folio"},          {69, "DL L"},
    {71, "3×5"},         {72, "Envelope You #4"}, {73, "Envelope You #3"}, {74, "A4 Long"},
    {80, "A5 L"},
};

const char kAddPaper[] = "请加纸";

// Title of a paper-missing code from its three-digit family prefix, or an
// empty string when the prefix is not a family.
std::string familyTitle(int prefix, const std::string &size) {
  switch (prefix) {
    case 112:
    case 113:
    case 114:
      return "纸盒" + std::to_string(prefix - 111) + "无" + size + "尺寸纸张";
    case 410:
      return "多功能进纸板无" + size + "尺寸纸张";
    case 412:
    case 413:
    case 414: {
      const std::string tray = std::to_string(prefix - 411);
      return "纸盒用途为仅纸盒" + tray + "时,纸盒" + tray + "无" + size + "尺寸纸张";
    }
    case 419:
      return "纸盒用途为自动选择时,所有进纸槽无" + size + "尺寸纸张";
    default:
      return std::string();
  }
}

const int kFamilyCount = 8;

// Trays 1 to 4 running low on paper: one rule for four codes. The fourth
// tray ranks as critical.
constexpr int kLowPaperFirst = 62122, kLowPaperLast = 62125;

// Tray paper families that only warn.
bool inWarningFamilies(int code) { return code >= 11201 && code <= 11499; }

const Single *findSingle(int code) {
  auto single = std::lower_bound(std::begin(kSingles), std::end(kSingles), code,
                                 [](const Single &s, int c) { return s.code < c; });
  return single != std::end(kSingles) && single->code == code ? &*single : nullptr;
}

}  // namespace

std::optional<StatusCode> statusCode(int code) {
  if (code >= kLowPaperFirst && code <= kLowPaperLast) {
    const std::string tray = std::to_string(code - (kLowPaperFirst - 1));
    return StatusCode{Warning, "纸盒" + tray + "纸张不足", "打印机纸盒" + tray + "剩余纸张较少\n请向纸盒" + tray + "中添加纸张"};
  }
  if (const Single *single = findSingle(code)) return StatusCode{single->level, single->title, single->text};

  if (code < 10000 || code > 99999) return std::nullopt;
  const int prefix = code / 100;
  const int number = code % 100;
  auto size = std::find_if(std::begin(kPaperSizes), std::end(kPaperSizes),
                           [number](const PaperSize &p) { return p.number == number; });
  if (size == std::end(kPaperSizes)) return std::nullopt;
  std::string title = familyTitle(prefix, size->name);
  if (title.empty()) return std::nullopt;
  // Trays of the 112 to 114 families only warn; a missing size elsewhere stops the job.
  const int level = inWarningFamilies(code) ? Warning : Critical;
  return StatusCode{level, std::move(title), kAddPaper};
}

int statusCodeCount() {
  return int(std::size(kSingles)) + (kLowPaperLast - kLowPaperFirst + 1) + kFamilyCount * int(std::size(kPaperSizes));
}

const std::vector<int> &statusCodes() {
  static const std::vector<int> codes = [] {
    std::vector<int> all;
    for (const Single &s : kSingles) all.push_back(s.code);
    for (int c = kLowPaperFirst; c <= kLowPaperLast; ++c) all.push_back(c);
    for (int family : {112, 113, 114, 410, 412, 413, 414, 419})
      for (const PaperSize &p : kPaperSizes) all.push_back(family * 100 + p.number);
    std::sort(all.begin(), all.end());
    return all;
  }();
  return codes;
}

const char *familySizeName(int number) {
  for (const PaperSize &p : kPaperSizes)
    if (p.number == number) return p.name;
  return nullptr;
}

int severityRank(int code) {
  if (code == kLowPaperLast) return Critical;
  if (const Single *single = findSingle(code)) return single->rank != 0 ? single->rank : single->level;
  if (inWarningFamilies(code)) return Warning;
  std::optional<StatusCode> row = statusCode(code);
  return row ? row->level : Critical;
}

std::string statusLine(int code) { return std::string(protocol::kCodeMark) + std::to_string(code); }

}  // namespace kpx
