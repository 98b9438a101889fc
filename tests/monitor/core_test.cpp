// The monitors' decisions without a window: decoding replies, the
// conditional codes, how each level looks, the state-file ranking, empty
// replies, the lpstat and /proc rules and the job settings pane.
#include <gtest/gtest.h>

#include <QMap>
#include <Qt>

#include "monitor_core.h"

using namespace kpxmon;

namespace {
const DecoderRules kUsbRules{false, false};
const DecoderRules kNetRules{true, true};

std::string s(const QString &q) { return q.toStdString(); }

DecoderState state(int last, int bubbleLevel, int windowHidden, bool jobPending) {
  DecoderState st;
  st.lastStatusCode = last;
  st.bubbleLevel = bubbleLevel;
  st.windowHidden = windowHidden;
  st.jobPending = jobPending;
  return st;
}
}  // namespace

// ------------------------------------------------------------- replies

TEST(Decoding, RepliesSplitAtCarriageReturnsOnly) {
  const QList<QByteArray> lines = statusLines("CODE=10001\rjunk\r\r\nCODE=44114\rTONER=40\n\rx CODE=1");
  ASSERT_EQ(lines.size(), 3);
  EXPECT_EQ(lines[0], QByteArray("CODE=10001"));
  EXPECT_EQ(lines[1], QByteArray("\nCODE=44114"));
  EXPECT_EQ(lines[2], QByteArray("x CODE=1"));
  EXPECT_TRUE(statusLines("").isEmpty());
  EXPECT_TRUE(statusLines("CODE 10001\r").isEmpty());
}

TEST(Decoding, CodeIsTheTextBetweenFirstAndSecondEquals) {
  EXPECT_EQ(statusCodeOf(QByteArray("\nCODE=44114")), 44114);
  EXPECT_EQ(statusCodeOf(QByteArray("CODE=44114\n")), 44114);
  EXPECT_EQ(statusCodeOf(QByteArray("CODE=10023=x")), 10023);
  EXPECT_EQ(statusCodeOf(QByteArray("STATUS=1 CODE=44114")), 0);
  EXPECT_EQ(statusCodeOf(QByteArray("CODE=abc")), 0);
  EXPECT_EQ(statusCodeOf(QByteArray("CODE=")), 0);
  EXPECT_EQ(statusCodeOf(QByteArray("CODE=-7")), -7);
  EXPECT_EQ(statusCodeOf(QByteArray("CODE=99999999999")), 0);  // beyond 32 bits
  EXPECT_EQ(statusCodeOf(QString("CODE=10023")), 10023);
  EXPECT_EQ(statusCodeOf(QString("CODE=44114 CODE=10023")), 0);
  EXPECT_EQ(statusLineFor(10001), QByteArray("CODE=10001"));
  EXPECT_EQ(statusLineFor(-5), QByteArray("CODE=-5"));
  EXPECT_EQ(statusLineFor(0), QByteArray("CODE=0"));
}

TEST(Decoding, RepeatsAreDroppedAndUnknownCodesOnlyStored) {
  CodeDecision d = decideCode(44114, state(44114, 3, 0, false), kUsbRules);
  EXPECT_TRUE(d.repeat);
  EXPECT_FALSE(d.show);
  d = decideCode(12345, state(44114, 3, 0, false), kUsbRules);
  EXPECT_FALSE(d.repeat);
  EXPECT_FALSE(d.show);
  EXPECT_FALSE(d.feedBackReady);
  d = decideCode(0, state(44114, 3, 0, false), kUsbRules);
  EXPECT_FALSE(d.repeat);
  EXPECT_FALSE(d.show);
  d = decideCode(44114, state(0, 3, 0, false), kUsbRules);
  ASSERT_TRUE(d.show);
  EXPECT_EQ(s(d.show->title), "纸盒1卡纸");
  EXPECT_FALSE(d.refreshJobInfo);
}

TEST(Decoding, ReadyInEveryBranch) {
  // usbmonitor: at level 1 the code is fed back (and then found repeated).
  CodeDecision d = decideCode(10001, state(0, 1, 0, false), kUsbRules);
  EXPECT_FALSE(d.show);
  EXPECT_TRUE(d.feedBackReady);
  EXPECT_TRUE(decideCode(10001, state(10001, 1, 0, false), kUsbRules).repeat);
  for (int level : {0, 2, 3}) {
    d = decideCode(10001, state(0, level, 0, false), kUsbRules);
    ASSERT_TRUE(d.show) << level;
    EXPECT_EQ(s(d.show->title), "打印机准备就绪");
    EXPECT_EQ(s(d.show->text), "打印机准备就绪，等待打印任务");
    EXPECT_FALSE(d.feedBackReady);
  }
  // netmonitor shows it whatever the balloon level.
  d = decideCode(10001, state(0, 1, 0, false), kNetRules);
  EXPECT_TRUE(d.show);
  EXPECT_FALSE(d.feedBackReady);
}

TEST(Decoding, JobStatesNeedAPendingJob) {
  for (int code : {10003, 10007, 10023}) {
    CodeDecision d = decideCode(code, state(0, 2, 0, true), kUsbRules);
    ASSERT_TRUE(d.show) << code;
    EXPECT_EQ(d.show->level, 1);
    EXPECT_FALSE(d.feedBackReady);
    d = decideCode(code, state(0, 2, 0, false), kUsbRules);
    EXPECT_FALSE(d.show) << code;
    EXPECT_TRUE(d.feedBackReady) << code;
    d = decideCode(code, state(0, 1, 0, false), kUsbRules);
    EXPECT_FALSE(d.show) << code;
    EXPECT_FALSE(d.feedBackReady) << code;
    EXPECT_EQ(decideCode(code, state(0, 1, 0, false), kUsbRules).refreshJobInfo, code == 10023);
  }
  EXPECT_EQ(s(decideCode(10003, state(0, 3, 0, true), kUsbRules).show->text), "打印引擎正在初始化");
  EXPECT_EQ(s(decideCode(10007, state(0, 3, 0, true), kUsbRules).show->text), "PC端取消打印作业");
  EXPECT_EQ(s(decideCode(10023, state(0, 3, 0, true), kUsbRules).show->text), "打印机正在打印");
  // 10023 refreshes the job pane in every branch in usbmonitor, only with a
  // pending job in netmonitor.
  for (bool pending : {false, true})
    for (int level : {1, 2}) {
      EXPECT_TRUE(decideCode(10023, state(0, level, 0, pending), kUsbRules).refreshJobInfo);
      EXPECT_EQ(decideCode(10023, state(0, level, 0, pending), kNetRules).refreshJobInfo, pending);
    }
}

TEST(Decoding, FailureAndPasswordOnlyWhileHidden) {
  for (int code : {44444, 99999}) {
    CodeDecision d = decideCode(code, state(0, 1, 0, false), kUsbRules);
    EXPECT_FALSE(d.repeat);
    EXPECT_FALSE(d.show) << code;
    d = decideCode(code, state(0, 1, 1, false), kUsbRules);
    ASSERT_TRUE(d.show) << code;
    EXPECT_EQ(d.show->level, 3);
  }
  EXPECT_EQ(s(decideCode(99999, state(0, 1, 1, false), kUsbRules).show->text),
            "电脑端设置安全打印密码错误，\n请在电脑端打印队列删除打印任务，并重新打印");
}

// --------------------------------------------------------- presentation

TEST(Presentation, EachLevelLooksAsDocumented) {
  struct Row {
    int level;
    const char *picture;
    int colour;
    int interval;
    WindowAction window;
    bool clears, balloon;
  };
  const Row rows[] = {
      {1, ":/W3_b256", Qt::black, 4000, WindowAction::Unchanged, true, true},
      {2, ":/W3_y256", Qt::darkYellow, 4000, WindowAction::Show, true, true},
      {3, ":/W3_r256", Qt::red, 600000, WindowAction::Show, true, true},
      {4, ":/W3_b256", Qt::black, 4000, WindowAction::Hide, false, false},
  };
  for (const Row &r : rows) {
    LevelLook l = levelLook(r.level);
    EXPECT_TRUE(l.known) << r.level;
    EXPECT_EQ(s(l.picture), r.picture) << r.level;
    EXPECT_EQ(l.titleColour, r.colour) << r.level;
    EXPECT_EQ(l.hideIntervalMs, r.interval) << r.level;
    EXPECT_EQ(l.window, r.window) << r.level;
    EXPECT_EQ(l.clearsWindowHidden, r.clears) << r.level;
    EXPECT_EQ(l.balloon, r.balloon) << r.level;
  }
  for (int level : {0, 5, -1}) {
    LevelLook l = levelLook(level);
    EXPECT_FALSE(l.known);
    EXPECT_TRUE(l.picture.isEmpty());
    EXPECT_FALSE(l.balloon);
  }
}

TEST(Presentation, TrayAndBalloon) {
  EXPECT_EQ(s(trayLook(0).icon), ":/images/connecting.png");
  EXPECT_EQ(s(trayLook(1).icon), ":/images/heart.png");
  EXPECT_EQ(s(trayLook(1).tooltip), "Ready");
  EXPECT_EQ(s(trayLook(2).icon), ":/images/trash.png");
  EXPECT_EQ(s(trayLook(2).tooltip), "Stop");
  EXPECT_EQ(s(trayLook(3).icon), ":/images/bad.png");
  EXPECT_EQ(s(trayLook(3).tooltip), "Error");
  EXPECT_TRUE(trayLook(4).icon.isEmpty());
  // QSystemTrayIcon::MessageIcon: NoIcon 0, Information 1, Warning 2, Critical 3.
  EXPECT_EQ(balloonIcon(1), 1);
  EXPECT_EQ(balloonIcon(2), 2);
  EXPECT_EQ(balloonIcon(3), 3);
  EXPECT_EQ(balloonIcon(4), 0);
  EXPECT_EQ(balloonIcon(0), 0);
  EXPECT_EQ(balloonDurationMs(1), 30000);
  EXPECT_EQ(balloonDurationMs(2), 60000);
  EXPECT_EQ(balloonDurationMs(3), 120000);
  EXPECT_EQ(balloonDurationMs(0), 120000);
  EXPECT_EQ(balloonDurationMs(1, 120000), 120000);
}

TEST(Presentation, WindowSitsAboveTheBottomRightCorner) {
  EXPECT_EQ(windowPosition(QRect(0, 0, 1920, 1080), QSize(520, 350)), QPoint(1390, 690));
  EXPECT_EQ(windowPosition(QRect(0, 0, 1024, 768), QSize(520, 350)), QPoint(1024 - 530, 768 - 390));
  // A panel on the left or at the top moves the available area's origin.
  EXPECT_EQ(windowPosition(QRect(64, 32, 1856, 1048), QSize(520, 350)), QPoint(64 + 1856 - 530, 32 + 1048 - 390));
  // A tray bar that reserves no space: the window stays 10 px above the tray
  // icon; a tray elsewhere changes nothing.
  EXPECT_EQ(windowPosition(QRect(0, 0, 1280, 800), QSize(522, 371), QRect(1250, 740, 24, 56)),
            QPoint(1280 - 532, 740 - 10 - 371));
  EXPECT_EQ(windowPosition(QRect(0, 0, 1280, 800), QSize(522, 371), QRect(1250, 2, 24, 24)),
            QPoint(1280 - 532, 800 - 40 - 371));
  // A screen smaller than the window keeps its top-left corner visible.
  EXPECT_EQ(windowPosition(QRect(0, 0, 400, 300), QSize(520, 350)), QPoint(0, 0));
  // The whole window is on the available area whenever it fits.
  for (QSize screen : {QSize(800, 600), QSize(1366, 768), QSize(3840, 2160)}) {
    QRect avail(QPoint(0, 0), screen);
    QRect win(windowPosition(avail, QSize(520, 350)), QSize(520, 350));
    EXPECT_TRUE(avail.contains(win)) << screen.width() << "x" << screen.height();
  }
}

TEST(Severity, LevelsAndEdges) {
  EXPECT_EQ(severityOfCode(88888), 4);
  for (int c : {10001, 10003, 10007, 10023, 40000}) EXPECT_EQ(severityOfCode(c), 1) << c;
  for (int c : {10205, 10209, 10210, 10211, 10212, 10215, 10305, 10315, 10316, 11201, 11213, 11300, 11499, 62002,
                62102, 62109, 62110, 62111, 62116, 62122, 62123, 62124})
    EXPECT_EQ(severityOfCode(c), 2) << c;
  // 62112 and 62125 are warnings in the table but rank as critical here.
  for (int c : {62112, 62125, 11200, 11500, 10208, 10213, 62121, 44444, 99999, 0, 12345, 40021})
    EXPECT_EQ(severityOfCode(c), 3) << c;
  EXPECT_EQ(execMessageLevel("CODE=10023"), 1);
  EXPECT_EQ(execMessageLevel("CODE=44114 CODE=10023"), 3);
  EXPECT_EQ(execMessageLevel("CODE=oops"), 3);
  EXPECT_EQ(execMessageLevel("x=1 CODE=88888"), 3);
}

TEST(Severity, StateFileLineRanking) {
  EXPECT_EQ(s(choosePrinterStateLine({"CODE=10023", "CODE=44444"})), "CODE=44444");
  EXPECT_EQ(s(choosePrinterStateLine({"CODE=10001", "CODE=10209", "CODE=10205"})), "CODE=10209");
  EXPECT_EQ(s(choosePrinterStateLine({"CODE=44114", "CODE=10023", "CODE=99999"})), "CODE=44114");
  int consumed = 0;
  EXPECT_EQ(s(choosePrinterStateLine({"CODE=44444", "CODE=88888", "CODE=12345", "x"}, &consumed)), "CODE=88888");
  EXPECT_EQ(consumed, 2);
  EXPECT_EQ(s(choosePrinterStateLine({"hello", "", "STATUS 1"}, &consumed)), "");
  EXPECT_EQ(consumed, 3);
  EXPECT_EQ(s(choosePrinterStateLine({})), "");
  EXPECT_EQ(s(choosePrinterStateLine({"noise", "PRINTER CODE=10023 ok"})), "PRINTER CODE=10023 ok");
}

// ------------------------------------------------------- empty replies

TEST(IdleReplies, UsbCountsPrintingAndCancelled) {
  for (int code : {kpx::state::kPrinting, kpx::state::kCancelled}) {
    int count = 0;
    for (int i = 0; i < 3; ++i) {
      IdleOutcome o = idleReply(code, count, IdleRule::Usb);
      EXPECT_FALSE(o.declareReady);
      EXPECT_EQ(o.idleReplyCount, count + 1);
      count = o.idleReplyCount;
    }
    IdleOutcome o = idleReply(code, count, IdleRule::Usb);
    EXPECT_TRUE(o.declareReady) << code;  // the fourth empty reply
    EXPECT_EQ(o.idleReplyCount, 0);
  }
  IdleOutcome o = idleReply(kpx::state::kInitialising, 2, IdleRule::Usb);
  EXPECT_TRUE(o.declareReady);
  EXPECT_EQ(o.idleReplyCount, 2);
  o = idleReply(44114, 2, IdleRule::Usb);
  EXPECT_FALSE(o.declareReady);
  EXPECT_EQ(o.idleReplyCount, 2);
}

TEST(IdleReplies, NetDeclaresReadyUnlessPrinting) {
  IdleOutcome o = idleReply(kpx::state::kPrinting, 3, IdleRule::Net);
  EXPECT_FALSE(o.declareReady);
  EXPECT_EQ(o.idleReplyCount, 3);
  o = idleReply(kpx::state::kCancelled, 3, IdleRule::Net);
  EXPECT_TRUE(o.declareReady);
  o = idleReply(kpx::state::kCancelled, 1, IdleRule::Net);
  EXPECT_FALSE(o.declareReady);
  EXPECT_EQ(o.idleReplyCount, 2);
  o = idleReply(44114, 1, IdleRule::Net);
  EXPECT_TRUE(o.declareReady);
  EXPECT_EQ(o.idleReplyCount, 1);
}

// ------------------------------------------------------ lpstat and /proc

TEST(Queues, InstalledAndJobRules) {
  const QString usbOnly = "KPX7720MW accepting requests since Mon 01 Jan 2024\n";
  const QString both = usbOnly + "KPX7720MW-net accepting requests since Mon 01 Jan 2024\n";
  const QString netOnly = "kpx7720mw-NET accepting requests since Mon 01 Jan 2024\n";
  QueueCounts c = countQueues(both);
  EXPECT_EQ(c.usb, 2);
  EXPECT_EQ(c.net, 1);
  EXPECT_TRUE(usbQueueInstalled(c));
  EXPECT_TRUE(usbQueueInstalled(countQueues(usbOnly)));
  EXPECT_FALSE(usbQueueInstalled(countQueues(netOnly)));
  EXPECT_FALSE(usbQueueInstalled(countQueues("")));
  EXPECT_FALSE(usbQueueInstalled(countQueues(usbOnly + usbOnly)));
  EXPECT_FALSE(usbQueueInstalled(countQueues(both + "KPX7720MW-net again\n")));

  EXPECT_FALSE(usbJobQueued(countQueues("")));
  EXPECT_TRUE(usbJobQueued(countQueues("  0 KPX7720MW-12 alice 1024 Mon\n")));
  EXPECT_FALSE(usbJobQueued(countQueues("  0 KPX7720MW-net-13 alice 1024 Mon\n")));
  EXPECT_TRUE(usbJobQueued(countQueues("  0 KPX7720MW-net-13 a 1 Mon\n  1 kpx7720mw-14 b 1 Mon\n")));
  EXPECT_FALSE(netJobQueued(countQueues("  0 KPX7720MW-12 alice 1024 Mon\n")));
  EXPECT_TRUE(netJobQueued(countQueues("  0 KPX7720MW-net-13 alice 1024 Mon\n")));
  EXPECT_FALSE(netJobQueued(countQueues("")));
  EXPECT_EQ(untilNul(QByteArray("abc\0def", 7)), QByteArray("abc"));
  EXPECT_EQ(untilNul("abc"), QByteArray("abc"));
}

TEST(Processes, NameMatchingAndScan) {
  EXPECT_EQ(s(processNameOfStat("123 (pstopxl_7720mw) S 1 2 3")), "pstopxl_7720mw");
  EXPECT_EQ(s(processNameOfStat("123 (a b) S")), "a b");
  EXPECT_EQ(s(processNameOfStat("no parentheses")), "");
  EXPECT_EQ(s(processNameOfStat(") (x")), "");

  QMap<QString, QString> stat{{"1", "1 (systemd) S 0"},
                              {"20", "20 (pstopxl_7720mw_net) S 1"},
                              {"31", ""},  // ended during the scan
                              {"40", "40 (PSTOPXL_7720MW) S 1"},
                              {"52", "52 (pstopxl_7720mw) S 1"}};
  auto reader = [&stat](const QString &e) { return stat.value(e); };
  const QString name = kUsbFilterProcess;
  EXPECT_TRUE(findProcess({".", "..", "1", "20", "31", "40", "52", "acpi"}, reader, name));
  // The network filter and a different case do not count.
  EXPECT_FALSE(findProcess({".", "..", "1", "20", "40", "acpi"}, reader, name));
  // A vanished process does not end the scan.
  EXPECT_TRUE(findProcess({".", "..", "31", "52"}, reader, name));
  // The first non-numeric entry does.
  EXPECT_FALSE(findProcess({".", "..", "1", "acpi", "52"}, reader, name));
  EXPECT_FALSE(findProcess({}, reader, name));
}

// ------------------------------------------------------------ job pane

TEST(JobPane, RecordValuesKeepTheirSemicolon) {
  // Before the first job: the printer's defaults, as the filter records them.
  JobRecord defaults = parseJobRecord({});
  EXPECT_EQ(s(defaults.resolution), "600dpi;");
  EXPECT_EQ(s(defaults.papersize), "A4;");
  EXPECT_EQ(s(defaults.inputslot), "AUTO;");
  EXPECT_EQ(s(defaults.mediatype), "PLAIN;");
  EXPECT_EQ(s(defaults.duplex), "None;");
  JobRecord r = parseJobRecord({"resolution:1200dpi;", "papersize:A5;", "inputslot:TRAY2;", "mediatype:THIN;",
                                "duplex:DuplexTumble;", "papersize:Letter;", "garbage", "duplex without colon",
                                "comment:papersize:B5;"});
  EXPECT_EQ(s(r.resolution), "1200dpi;");
  EXPECT_EQ(s(r.papersize), "papersize");  // the later line wins, value between the first two ':'
  EXPECT_EQ(s(r.inputslot), "TRAY2;");
  EXPECT_EQ(s(r.mediatype), "THIN;");
  EXPECT_EQ(s(r.duplex), "DuplexTumble;");
  EXPECT_EQ(s(parseJobRecord({"papersize:A5;", "papersize:Letter;"}).papersize), "Letter;");
  // The first key a line contains decides which value it sets.
  EXPECT_EQ(s(parseJobRecord({"duplex:resolution;"}).resolution), "resolution;");
}

TEST(JobPane, EveryMappingRow) {
  EXPECT_EQ(s(qualityText("2400dpi;")), "HQ1200dpi");
  EXPECT_EQ(s(qualityText("1200dpi;")), "1200dpi");
  EXPECT_EQ(s(qualityText("600dpi")), "600dpi");

  const QMap<QString, QString> media{{"PLAIN;", "普通纸"},  {"PLAIN", "普通纸"},     {"THIN;", "薄纸"},
                                     {"THICK;", "厚纸"},    {"THICKERPAPER2;", "特厚纸"}, {"BOND;", "证券纸"},
                                     {"ENV;", "信封"},      {"ENVTHICK;", "厚信封"},   {"ENVTHIN;", "薄信封"},
                                     {"RECYCLED;", "再生纸"}, {"LABLE;", "标签纸"},    {"Glossy;", "光面纸"},
                                     {"LETTERHEAD;", "信头纸"}, {"COLOR;", "彩色纸"},  {"THIN", ""},
                                     {"THICKER;", ""},      {"plain;", ""},         {"ENVX;", ""}};
  for (auto it = media.begin(); it != media.end(); ++it)
    EXPECT_EQ(s(mediaTypeText(it.key())), s(it.value())) << s(it.key());

  const QMap<QString, QString> sizes{
      {"MexicoLegal;", "墨西哥Legal"}, {"Letter;", "Letter"},     {"Legal;", "Legal"},
      {"IndiaLegal;", "印度Legal"},    {"Executive;", "Executive"}, {"A4;", "A4"},
      {"A4", "A4"},                    {"A5;", "A5"},             {"A6;", "A6"},
      {"Folio;", "Folio"},             {"A5L;", "A5长边"},        {"Env10;", "Com-10"},
      {"EnvMonarch;", "Monarch"},      {"EnvDL;", "DL"},          {"EnvC5;", "C5"},
      {"ISOB5;", "B5(ISO)"},           {"B5;", "B5(JIS)"},        {"195x270mm;", "16K(195x270mm)"},
      {"184x260mm;", "16K(184x260mm)"}, {"197x273mm;", "16K(197x273mm)"}, {"Custom.200x300mm;", "用户自定义"},
      {"A5", ""},                      {"Legal", ""},             {"B6;", "B6(JIS)"}};
  for (auto it = sizes.begin(); it != sizes.end(); ++it)
    EXPECT_EQ(s(paperSizeText(it.key())), s(it.value())) << s(it.key());

  const QMap<QString, QString> inputSlots{{"MPTRAY;", "多功能纸盒"}, {"TRAY1;", "纸盒1"}, {"TRAY2;", "纸盒2"},
                                    {"TRAY3;", "纸盒3"},       {"AUTO;", "自动选择"}, {"Auto", ""}};
  for (auto it = inputSlots.begin(); it != inputSlots.end(); ++it)
    EXPECT_EQ(s(inputSlotText(it.key())), s(it.value())) << s(it.key());

  EXPECT_EQ(s(duplexText("None")), "无");
  EXPECT_EQ(s(duplexText("None;")), "无");
  EXPECT_EQ(s(duplexText("DuplexTumble;")), "短边翻转");
  EXPECT_EQ(s(duplexText("DuplexNoTumble;")), "长边翻转");
  EXPECT_EQ(s(duplexText("Simplex;")), "");
}

// ------------------------------------------------------ network monitor

TEST(NetIpInfo, AddressLineOfEachFileShape) {
  EXPECT_EQ(s(netIpInfoAddress({})), "");  // empty file
  EXPECT_EQ(s(netIpInfoAddress({"192.168.1.100"})), "192.168.1.100");
  // An empty first line has one part, not four: the address below it counts.
  EXPECT_EQ(s(netIpInfoAddress({"", "10.0.0.7", "255.255.255.0"})), "10.0.0.7");
  // No line with four parts: the last line, as it is.
  EXPECT_EQ(s(netIpInfoAddress({"printer", "10.0.0"})), "10.0.0");
  EXPECT_EQ(s(netIpInfoAddress({"a.b.c.d.e", ""})), "");
  // The first four-part line wins; nothing is trimmed or checked.
  EXPECT_EQ(s(netIpInfoAddress({" 10.0.0.1 ", "10.0.0.2"})), " 10.0.0.1 ");
  EXPECT_EQ(s(netIpInfoAddress({"1..2.", "10.0.0.2"})), "1..2.");
}

TEST(NetDatagrams, OnlyThePrinterAddressCounts) {
  EXPECT_TRUE(datagramFromPrinter(QHostAddress("127.0.0.1"), "127.0.0.1"));
  EXPECT_TRUE(datagramFromPrinter(QHostAddress("::ffff:127.0.0.1"), "127.0.0.1"));  // dual-stack socket
  EXPECT_FALSE(datagramFromPrinter(QHostAddress("127.0.0.2"), "127.0.0.1"));
  EXPECT_FALSE(datagramFromPrinter(QHostAddress("::ffff:127.0.0.2"), "127.0.0.1"));
  EXPECT_FALSE(datagramFromPrinter(QHostAddress("127.0.0.1"), ""));
  // Parsed the way the query's destination is, so a reply to a query that
  // went out is accepted.
  EXPECT_TRUE(datagramFromPrinter(QHostAddress("127.0.0.1"), " 127.0.0.1"));
  EXPECT_FALSE(datagramFromPrinter(QHostAddress("127.0.0.1"), "127.0.0"));
  EXPECT_FALSE(datagramFromPrinter(QHostAddress(), "127.0.0.1"));
}

TEST(NetPorts, EnvironmentOverride) {
  EXPECT_EQ(portFromEnvironment(nullptr, 9102), 9102);
  EXPECT_EQ(portFromEnvironment("", 9102), 9102);
  EXPECT_EQ(portFromEnvironment("40123", 9102), 40123);
  EXPECT_EQ(portFromEnvironment("0", 9101), 9101);
  EXPECT_EQ(portFromEnvironment("65536", 9101), 9101);
  EXPECT_EQ(portFromEnvironment("12ab", 9101), 9101);
}

TEST(NetQueryCycle, WarningOncePerFailureRun) {
  SendOutcome o = querySent(false, 0);
  EXPECT_TRUE(o.showWarning);
  EXPECT_TRUE(o.resetLastCode);
  EXPECT_FALSE(o.refreshJobInfo);
  EXPECT_EQ(o.netErrorShown, 1);
  o = querySent(false, 1);
  EXPECT_FALSE(o.showWarning);
  EXPECT_TRUE(o.resetLastCode);
  EXPECT_EQ(o.netErrorShown, 1);
  o = querySent(true, 1);
  EXPECT_FALSE(o.showWarning);
  EXPECT_FALSE(o.resetLastCode);
  EXPECT_TRUE(o.refreshJobInfo);
  EXPECT_EQ(o.netErrorShown, 0);
}

TEST(NetPresentation, BalloonsAndJobCounting) {
  // netmonitor raises a balloon for every message; usbmonitor on a level
  // change, or on a new warning or error at the same level.
  const QString t("T"), x("x");
  EXPECT_TRUE(raisesBalloon(2, t, x, 2, t, x, false));
  EXPECT_FALSE(raisesBalloon(2, t, x, 2, t, x, true));
  EXPECT_TRUE(raisesBalloon(1, t, x, 2, t, x, true));
  EXPECT_TRUE(raisesBalloon(2, t, "y", 2, t, x, true));
  EXPECT_TRUE(raisesBalloon(3, "U", x, 3, t, x, true));
  EXPECT_FALSE(raisesBalloon(1, "U", x, 1, t, x, true));
  for (int level = 0; level <= 4; ++level) EXPECT_EQ(balloonDurationMs(level, 120000), 120000);
  // lpstat -R KPX7720MW KPX7720MW-net: every network job line also counts
  // as a USB one; a job is waiting when some line names the network queue.
  EXPECT_TRUE(netJobQueued(countQueues("KPX7720MW-net-3 alice 1024\nKPX7720MW-4 bob 10\n")));
  EXPECT_TRUE(netJobQueued(countQueues("kpx7720mw-NET-3 alice 1024\n")));
  EXPECT_FALSE(netJobQueued(countQueues("KPX7720MW-4 bob 10\nKPX7720MW-5 bob 10\n")));
  EXPECT_FALSE(netJobQueued(QueueCounts{0, 1}));
  EXPECT_FALSE(netJobQueued(QueueCounts{1, 2}));
}
