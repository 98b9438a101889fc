// The status table against an independent description of it: the one-off
// rows as a plain text listing, the paper families as the rule that makes
// them, and the complete list of codes as the printer's documentation gives
// it. All three must agree with the table, and nothing else may decode.
#include <gtest/gtest.h>

#include <QString>
#include <QRegularExpression>
#include <QStringList>

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "status_table.h"

using kpxmon::statusRow;

namespace {

struct Expected {
  int level;
  QString title;
  QString text;
};

// "code level title | text", a literal "\n" standing for a line feed.
const char kOneOffRows[] = R"(10001 1 打印机准备就绪 | 打印机准备就绪，等待打印任务
10003 1 请等待 | 打印引擎正在初始化
10007 1 取消打印 | PC端取消打印作业
10023 1 正在打印 | 打印机正在打印
10205 2 硒鼓即将用尽 | 即将达到硒鼓单元使用寿命，请更换硒鼓单元
10209 2 墨粉不足 | 墨盒墨粉即将用完，请更换墨盒
10210 2 蓝色墨粉不足 | 蓝色墨盒墨粉即将用完，请更换墨盒
10211 2 红色墨粉不足 | 红色墨盒墨粉即将用完，请更换墨盒
10212 2 黄色墨粉不足 | 黄色墨盒墨粉即将用完，请更换墨盒
10215 2 转印带将用尽 | 转印带接近规定的寿命\n请立刻更换转印带组件
10305 2 更换硒鼓 | 已经达到硒鼓单元使用寿命\n请立刻更换硒鼓单元
10315 2 更换转印带 | 转印带组件寿命已经用尽\n请立刻更换转印带组件
10316 2 更换定影单元 | 定影单元打印页数达到规定的寿命\n请更换定影单元
12201 3 无纸盒1 | 纸盒1被抽出，请推入纸盒1
12301 3 无纸盒2 | 纸盒2被抽出，请推入纸盒2
12401 3 无纸盒3 | 纸盒3被抽出，请推入纸盒3
12501 3 无纸盒4 | 纸盒4被抽出，请推入纸盒4
30016 3 内存已满 | 打印机在打印时，内存不足
40000 1 休眠 | 长时间没有收到数据\n打印机进入省电休眠状态
40021 3 盖子未合上 | 打开前盖板后，重新关闭前盖板
40026 3 无废粉仓 | 没有安装废粉仓，请安装废粉仓
40121 3 禁用双面 | 请完全关闭产品背面的盖板
40141 3 更换废粉仓 | 废粉仓已满，请立即更换
40305 3 硒鼓停止 | 硒鼓故障，请立即更换
40309 3 更换墨粉 | 接收数据时墨粉用尽
40310 3 更换蓝色墨粉 | 接收数据时蓝色墨粉用尽
40311 3 更换红色墨粉 | 接收数据时红色墨粉用尽
40312 3 更换黄色墨粉 | 接收数据时黄色墨粉用尽
40405 3 无硒鼓单元 | 请打开盖板并安装硒鼓单元
40409 3 无墨粉 | 请打开盖板并安装墨粉单元
40410 3 未安装蓝色墨粉单元 | 请打开盖板并安装蓝色墨粉单元
40411 3 未安装红色墨粉单元 | 请打开盖板并安装红色墨粉单元
40412 3 未安装黄色墨粉单元 | 请打开盖板并安装黄色墨粉单元
40415 3 无转印带单元 | 请打开盖板并安装转印带单元
44102 3 后部卡纸 | 打印机排纸槽附近发生卡纸
44113 3 多功能进纸板卡纸 | 多功能进纸板送纸时出现卡纸
44114 3 纸盒1卡纸 | 纸盒1附近发生送纸卡纸\n请取出纸盒1附近卡住的纸张
44115 3 内部卡纸 | 请取出打印机内部卡住的纸\n请确认滚筒部件里是否安装纸盒
44116 3 双面卡纸 | 双面打印纸盒发生卡纸\n请取出双面翻转纸盒中卡住的纸张
44444 3 打印机通信失败 | 无法和打印机通信，请检查USB线连接
50007 3 校准失败 | 颜色校准过程中故障
50076 3 自我诊断 | 打印机定影器状态异常\n建议重新启动打印机
60000 3 打印数据已满 | 打印机的内存已满\n建议将打印机内部存储的内容处理之后重试
60003 3 正在冷却 | 打印机内部温度过高\n建议等待打印机错误消除后重试
60005 3 硒鼓错误 | 硒鼓状态异常\n请滑动硒鼓上绿色滑块清洗硒鼓\n清洗后将滑块恢复到初始位置
60021 3 盖子未合上 | 定影器盖打开状态\n建议重新开合定影器盖
60023 3 双面纸张尺寸错误 | 强制排出双面打印\n提供的纸张太短或太长\n无法向打印机进行双面送纸
60030 3 无法打印 | 打印机处于不可打印状态
60129 3 介质不匹配 | 向打印机送纸的纸盒中纸张类型错误\n请修改对应的纸张类型
60142 3 尺寸匹配错误 | 向打印机送纸的纸盒中纸张尺寸错误\n请修改对应的纸张尺寸
60144 3 墨粉盒错误 | 检测出新安装的墨粉盒不合格\n建议更换合格的墨粉盒
60147 3 纸盒2错误 | 纸盒2故障错误\n建议更换纸盒2
60151 3 墨粉盒错误 | 检测出墨粉盒故障\n建议更换墨粉盒
60153 3 配准失败 | 颜色校准故障\n
60157 3 短纸张错误 | 所选纸张太小，印刷出错\n建议选择合适纸张大小
60159 3 凝露 | 发生结露故障\n建议清理机器
60168 3 纸盒3错误 | 纸盒3故障错误\n建议更换纸盒3
60179 3 纸盒过多 | 打印机检测出可能超过支持的数量\n请更改纸盒数量或修改取纸纸盒
60182 3 无法打印ZC | 打印机输入电源的电压波形异常\n通过打印机电源OFF/ON后该清除该错误
60185 3 自我诊断 | 打印机检测出定影器异常\n定影器异常导致待机15分钟
62002 2 更换激光单元 | 打印机激光单元寿命达到更换状态\n请更换打印激光单元
62102 2 废粉仓寿命用尽 | 打印机废粉仓寿命达到更换状态\n请更换废粉仓
62109 2 更换进纸器1 | 打印机纸盒1部件的打印页数到达规定寿命需要更换\n请更换纸盒1单元
62110 2 更换进纸器2 | 打印机纸盒2部件的打印页数到达规定寿命需要更换\n请更换纸盒2单元
62111 2 更换进纸器3 | 打印机纸盒3部件的打印页数到达规定寿命需要更换\n请更换纸盒3单元
62112 2 更换进纸器4 | 打印机纸盒4部件的打印页数到达规定寿命需要更换\n请更换纸盒4单元
62116 2 更换MP纸盒进纸器 | 打印机多功能进纸板部件的打印页数到达规定寿命需要更换\n请更换多功能进纸板单元
62122 2 纸盒1纸张不足 | 打印机纸盒1剩余纸张较少\n请向纸盒1中添加纸张
62123 2 纸盒2纸张不足 | 打印机纸盒2剩余纸张较少\n请向纸盒2中添加纸张
62124 2 纸盒3纸张不足 | 打印机纸盒3剩余纸张较少\n请向纸盒3中添加纸张
62125 2 纸盒4纸张不足 | 打印机纸盒4剩余纸张较少\n请向纸盒4中添加纸张
65003 3 纸盒1无进纸 | 请在纸盒1中放入纸张\n问题仍然无法解决，请清扫取纸滚轮
65004 3 纸盒2卡纸 | 纸盒2附近发生送纸卡纸\n请取出纸盒2附近卡住的纸张
65005 3 纸盒2无进纸 | 请在纸盒2中放入纸张\n问题仍然无法解决，请清扫取纸滚轮
65008 3 纸盒3卡纸 | 纸盒3附近发生送纸卡纸\n请取出纸盒3附近卡住的纸张
65009 3 纸盒3无进纸 | 请在纸盒3中放入纸张\n问题仍然无法解决，请清扫取纸滚轮
65012 3 纸盒4卡纸 | 纸盒4附近发生送纸卡纸\n请取出纸盒4附近卡住的纸张
65013 3 纸盒4无进纸 | 请在纸盒4中放入纸张\n问题仍然无法解决，请清扫取纸滚轮
70004 3 原稿卡纸 | ADF原稿卡纸\nADF读取原稿时发生卡纸
70007 3 纸张尺寸错误 | 复印时优先级最高纸盒无纸，次优先级纸盒尺寸不符
70014 3 盖子未合上 | ADF盖子被打开，请合上ADF盖子
70100 3 无法扫描AF | 扫描元件起始位置错误
70400 3 无法扫描A9 | 扫描特殊错误
70420 3 无法扫描 | ADF双面无法扫描\n原稿长度太长，不能双面扫描
88888 3 打印机违规外联！ | 
99999 3 安全打印密码错误 | 电脑端设置安全打印密码错误，\n请在电脑端打印队列删除打印任务，并重新打印
)";

// Every code, families abbreviated by their prefix ("112ss").
const char kAllCodes[] = "10001, 10003, 10007, 10023, 10205, 10209, 10210, 10211, 10212, 10215, 10305, 10315, 10316; 112ss, 113ss, 114ss; 12201, 12301, 12401, 12501, 30016, 40000, 40021, 40026, 40121, 40141, 40305, 40309, 40310, 40311, 40312, 40405, 40409, 40410, 40411, 40412, 40415; 410ss, 412ss, 413ss, 414ss, 419ss; 44102, 44113, 44114, 44115, 44116, 44444, 50007, 50076, 60000, 60003, 60005, 60021, 60023, 60030, 60129, 60142, 60144, 60147, 60151, 60153, 60157, 60159, 60168, 60179, 60182, 60185, 62002, 62102, 62109, 62110, 62111, 62112, 62116, 62122, 62123, 62124, 62125, 65003, 65004, 65005, 65008, 65009, 65012, 65013, 70004, 70007, 70014, 70100, 70400, 70420, 88888, 99999";

// Paper sizes by their two-digit number, in the order of the documentation's columns.
const std::vector<std::pair<const char *, const char *>> kSizes = {
    {"02", "Letter"}, {"04", "Legal"},  {"05", "Executive"}, {"13", "A4"},     {"15", "A5"},
    {"17", "A6"},     {"19", "B5或JIS B5"}, {"26", "B6或JIS B6"}, {"28", "Hagaki"}, {"31", "Com-10"},
    {"32", "Monarch"}, {"34", "C5"},    {"35", "DL"},        {"36", "自定义"}, {"64", "Organizer J"},
    {"65", "Organizer K"}, {"66", "Organizer L"}, {"67", "Organizer M"}, {"68", "Folio"}, {"69", "DL L"},
    {"71", "3\u00d75"}, {"72", "Envelope You #4"}, {"73", "Envelope You #3"}, {"74", "A4 Long"}, {"80", "A5 L"},
};

std::map<int, Expected> oneOffRows() {
  std::map<int, Expected> rows;
  const QStringList lines = QString::fromUtf8(kOneOffRows).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  for (const QString &line : lines) {
    const int bar = line.indexOf(QLatin1String(" | "));
    const QStringList head = line.left(bar).split(QLatin1Char(' '));
    QString text = line.mid(bar + 3);
    text.replace(QLatin1String("\\n"), QLatin1String("\n"));
    rows[head.at(0).toInt()] = Expected{head.at(1).toInt(), head.at(2), text};
  }
  return rows;
}

std::map<int, Expected> familyRows() {
  std::map<int, Expected> rows;
  const QString addPaper = QString::fromUtf8("请加纸");
  for (const auto &size : kSizes) {
    const QString name = QString::fromUtf8(size.second);
    for (int tray = 1; tray <= 3; ++tray) {
      rows[(111 + tray) * 100 + std::stoi(size.first)] = {
          2, QString::fromUtf8("纸盒") + QString::number(tray) + QString::fromUtf8("无") + name +
                 QString::fromUtf8("尺寸纸张"),
          addPaper};
      rows[(411 + tray) * 100 + std::stoi(size.first)] = {
          3,
          QString::fromUtf8("纸盒用途为仅纸盒") + QString::number(tray) + QString::fromUtf8("时,纸盒") +
              QString::number(tray) + QString::fromUtf8("无") + name + QString::fromUtf8("尺寸纸张"),
          addPaper};
    }
    rows[41000 + std::stoi(size.first)] = {3, QString::fromUtf8("多功能进纸板无") + name + QString::fromUtf8("尺寸纸张"),
                                           addPaper};
    rows[41900 + std::stoi(size.first)] = {
        3, QString::fromUtf8("纸盒用途为自动选择时,所有进纸槽无") + name + QString::fromUtf8("尺寸纸张"), addPaper};
  }
  return rows;
}

std::set<int> listedCodes() {
  std::set<int> codes;
  for (QString item : QString::fromLatin1(kAllCodes).split(QRegularExpression(QStringLiteral("[,;]\\s*")))) {
    item = item.trimmed();
    if (item.endsWith(QLatin1String("ss"))) {
      for (const auto &size : kSizes) codes.insert(item.left(3).toInt() * 100 + std::stoi(size.first));
    } else {
      codes.insert(item.toInt());
    }
  }
  return codes;
}

}  // namespace

TEST(StatusTable, ListedCodesMatchTheRows) {
  std::map<int, Expected> all = oneOffRows();
  ASSERT_EQ(all.size(), 86u);
  std::map<int, Expected> families = familyRows();
  ASSERT_EQ(families.size(), 200u);
  all.insert(families.begin(), families.end());
  std::set<int> fromRows;
  for (const auto &row : all) fromRows.insert(row.first);
  EXPECT_EQ(fromRows, listedCodes());
  EXPECT_EQ(kpxmon::statusRowCount(), 286);
}

TEST(StatusTable, EveryCodeGivesExactlyItsRow) {
  std::map<int, Expected> all = oneOffRows();
  std::map<int, Expected> families = familyRows();
  all.insert(families.begin(), families.end());
  for (const auto &row : all) {
    auto found = statusRow(row.first);
    ASSERT_TRUE(found.has_value()) << row.first;
    EXPECT_EQ(found->level, row.second.level) << row.first;
    EXPECT_EQ(found->title.toStdString(), row.second.title.toStdString()) << row.first;
    EXPECT_EQ(found->text.toStdString(), row.second.text.toStdString()) << row.first;
  }
}

TEST(StatusTable, NoOtherCodeDecodes) {
  const std::set<int> listed = listedCodes();
  int found = 0;
  for (int code = 10000; code <= 99999; ++code) {
    const bool has = statusRow(code).has_value();
    if (has) ++found;
    ASSERT_EQ(has, listed.count(code) == 1) << code;
  }
  EXPECT_EQ(found, 286);
  for (int code : {0, -1, -10001, 9999, 100000, 1000001, 1120013, 11213 + 100000})
    EXPECT_FALSE(statusRow(code).has_value()) << code;
}

TEST(StatusTable, SamplesAsTheDocumentationWritesThem) {
  EXPECT_EQ(statusRow(11213)->title, QString::fromUtf8("纸盒1无A4尺寸纸张"));
  EXPECT_EQ(statusRow(11213)->level, 2);
  EXPECT_EQ(statusRow(41036)->title, QString::fromUtf8("多功能进纸板无自定义尺寸纸张"));
  EXPECT_EQ(statusRow(41980)->title, QString::fromUtf8("纸盒用途为自动选择时,所有进纸槽无A5 L尺寸纸张"));
  EXPECT_EQ(statusRow(41980)->level, 3);
  EXPECT_EQ(statusRow(41371)->title, QString::fromUtf8("纸盒用途为仅纸盒2时,纸盒2无3×5尺寸纸张"));
  EXPECT_EQ(statusRow(88888)->text, QString());
  EXPECT_EQ(statusRow(60153)->text, QString::fromUtf8("颜色校准故障\n"));
  EXPECT_EQ(statusRow(62124)->text, QString::fromUtf8("打印机纸盒3剩余纸张较少\n请向纸盒3中添加纸张"));
  // A family prefix with a size number outside the list, and a tray that has no family.
  EXPECT_FALSE(statusRow(11203).has_value());
  EXPECT_FALSE(statusRow(11513).has_value());
  EXPECT_FALSE(statusRow(41113).has_value());
}
