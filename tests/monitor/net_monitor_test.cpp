// netmonitor's window on the offscreen platform against kpx7720mw-sim's UDP
// status responder: start-up and the 3-second query cycle, decoding with a
// balloon per message, send failures and the address file, empty datagrams,
// datagrams from other addresses, a taken local port, and the network job
// check through a stand-in lpstat. Only loopback addresses are used.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <functional>

#include "monitor_probe.h"

namespace {

std::string s(const QString &q) { return q.toStdString(); }
QString u(const char *utf8) { return QString::fromUtf8(utf8); }

// The monitor's debug lines, kept for the checks.
QStringList debugLog;
void keepDebugLine(QtMsgType, const QMessageLogContext &, const QString &msg) { debugLog.append(msg); }
int logged(const QString &prefix) {
  int n = 0;
  for (const QString &line : debugLog) n += line.startsWith(prefix) ? 1 : 0;
  return n;
}

bool waitFor(const std::function<bool()> &condition, int ms) {
  QElapsedTimer clock;
  clock.start();
  while (!condition()) {
    if (clock.elapsed() > ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(5);
  }
  return true;
}

void runEvents(int ms) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < ms) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(5);
  }
}

quint16 freeUdpPort() {
  QUdpSocket probe;
  probe.bind(QHostAddress::AnyIPv4, 0, QUdpSocket::DontShareAddress);
  return probe.localPort();
}

// One simulator for the whole suite, UDP only.
QTemporaryDir *simDir = nullptr;
quint16 simUdpPort = 0;

QString ctl(const QStringList &args) {
  QProcess p;
  p.start(KPXSIM_PROGRAM, QStringList{"ctl", "--socket", simDir->path() + "/sim/ctl.sock"} + args);
  p.waitForFinished(30000);
  return QString::fromUtf8(p.readAllStandardOutput());
}
int queriesSeen() { return ctl({"udp-log"}).count("GetStatus;"); }

class NetMonitor : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    simDir = new QTemporaryDir(QDir::tempPath() + "/kpxnetmon-XXXXXX");
    QProcess start;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("KPX7720MW_SIM", KPXSIM_PROGRAM);
    start.setProcessEnvironment(env);
    start.start(KPXSIM_START_SCRIPT, {simDir->path() + "/sim", "--tcp", "off", "--udp", "127.0.0.1:0"});
    ASSERT_TRUE(start.waitForFinished(30000));
    ASSERT_EQ(start.exitCode(), 0) << start.readAllStandardError().constData();
    for (const QString &line : QString::fromUtf8(start.readAllStandardOutput()).split('\n'))
      if (line.startsWith("udp=")) simUdpPort = line.section(':', 1).toUShort();
    ASSERT_NE(simUdpPort, 0);
    qputenv("KPX_PRINTER_UDP_PORT", QByteArray::number(simUdpPort));
  }
  static void TearDownTestSuite() {
    ctl({"quit"});
    delete simDir;
    simDir = nullptr;
  }

  MonitorFixtureDir files;
  quint16 localPort = 0;
  std::unique_ptr<MainWindow> window;
  std::unique_ptr<MonitorProbe> probe;

  void SetUp() override {
    ASSERT_NE(simUdpPort, 0);
    ctl({"udp-mode", "normal"});
    ctl({"status", "10001"});
    ctl({"udp-log", "clear"});
    files.setNetIpInfo("127.0.0.1\n");
    localPort = freeUdpPort();
    qputenv("KPX_NETMONITOR_PORT", QByteArray::number(localPort));
    debugLog.clear();
  }
  void TearDown() override {
    if (window) window->closeTrigger();
    window.reset();
  }
  void start(bool timers = false) {
    window = std::make_unique<MainWindow>(kpxmon::netVariant());
    probe = std::make_unique<MonitorProbe>(MonitorProbe{*window});
    if (!timers) {
      probe->pollTimer()->stop();
      probe->hideTimer()->stop();
    }
  }
  // One query cycle, then the event loop until a datagram was read.
  bool pollAndReceive() {
    const int before = logged("read socket");
    probe->poll();
    return waitFor([&] { return logged("read socket") > before; }, 3000);
  }
  void mark() { probe->show(1, "marker", "marker"); }
};

}  // namespace

TEST_F(NetMonitor, StartsAndQueriesEveryThreeSeconds) {
  files.setNetJobInfo("papersize:Letter;\nduplex:DuplexTumble;\n");
  files.setJobInfo("papersize:A5;\n");  // the USB queue's record is not read
  start(true);
  MonitorProbe &p = *probe;
  EXPECT_EQ(s(window->windowTitle()), "KPX7720MW 网络状态监控");
  EXPECT_EQ(p.statusCommand(), QByteArray("GetStatus;"));
  EXPECT_EQ(p.pollTimer()->interval(), 3000);
  EXPECT_EQ(p.hideTimer()->interval(), 4000);  // the first message replaced 13000
  EXPECT_EQ(s(p.printerAddress()), "127.0.0.1");
  ASSERT_NE(p.statusSocket(), nullptr);
  EXPECT_EQ(p.statusSocket()->localPort(), localPort);
  // No "通知" balloon: the first window message raises its own.
  EXPECT_EQ(s(p.title()), "网络状态监视器启动");
  EXPECT_EQ(s(p.help()), "网络状态监视器正在连接打印机，请稍后");
  EXPECT_EQ(s(p.bubbleTitle()), "网络状态监视器启动");
  EXPECT_EQ(p.bubbleLevel(), 1);
  EXPECT_EQ(s(p.ui()->printer_pagesize->text()), "Letter");
  EXPECT_EQ(s(p.ui()->printer_duplex->text()), "短边翻转");
  // Its own form geometry and its reduced picture bundle.
  EXPECT_EQ(p.ui()->printer_state->geometry(), QRect(100, 20, 411, 61));
  EXPECT_EQ(p.ui()->printer_help->geometry(), QRect(100, 80, 411, 61));
  for (const char *res : {":/W3_b256", ":/W3_y256", ":/W3_r256", ":/oemSetup.ico", ":/images/heart.png",
                          ":/images/trash.png", ":/images/bad.png"})
    EXPECT_FALSE(QPixmap(res).isNull()) << res;
  for (const char *res : {":/images/t_0.png", ":/images/toner.png", ":/images/y5.png"})
    EXPECT_FALSE(QFile::exists(res)) << res;
  EXPECT_TRUE(p.ui()->label_tonerC->pixmap(Qt::ReturnByValue).isNull());

  // The first query 3 s after start, then every 3 s; the ready reply is shown.
  runEvents(2500);
  EXPECT_EQ(queriesSeen(), 0);
  runEvents(4200);  // 6.7 s after start
  EXPECT_EQ(queriesSeen(), 2);
  EXPECT_EQ(logged("UDP send ret = 10"), 2);
  EXPECT_EQ(s(p.title()), "打印机准备就绪");
  EXPECT_EQ(p.lastStatusCode(), 10001);
}

TEST_F(NetMonitor, ChangedCodeOnceRepeatedNotAtAllSameLevelBalloons) {
  start();
  MonitorProbe &p = *probe;
  ctl({"status", "44114"});
  ASSERT_TRUE(pollAndReceive());
  EXPECT_EQ(s(p.title()), "纸盒1卡纸");
  EXPECT_EQ(p.bubbleLevel(), 3);
  EXPECT_EQ(s(p.bubbleTitle()), "纸盒1卡纸");
  EXPECT_EQ(s(p.tray()->toolTip()), "Error");
  EXPECT_EQ(p.hideTimer()->interval(), 600000);
  EXPECT_EQ(logged("receive = CODE=44114"), 2);  // readSocket and the decoder

  // The same code again: nothing at all.
  mark();
  ASSERT_TRUE(pollAndReceive());
  EXPECT_EQ(s(p.title()), "marker");
  EXPECT_EQ(s(p.bubbleTitle()), "marker");

  // Two messages of one level: both raise their balloon.
  ctl({"status", "10205"});
  ASSERT_TRUE(pollAndReceive());
  EXPECT_EQ(s(p.bubbleTitle()), "硒鼓即将用尽");
  EXPECT_EQ(p.bubbleLevel(), 2);
  ctl({"status", "10209"});
  ASSERT_TRUE(pollAndReceive());
  EXPECT_EQ(s(p.title()), "墨粉不足");
  EXPECT_EQ(s(p.bubbleTitle()), "墨粉不足");
  EXPECT_EQ(s(p.bubbleText()), "墨盒墨粉即将用完，请更换墨盒");

  // Ready is shown even while the balloon is already at level 1.
  ctl({"status", "10001"});
  p.show(1, "x", "x");
  ASSERT_TRUE(pollAndReceive());
  EXPECT_EQ(s(p.title()), "打印机准备就绪");
  EXPECT_EQ(s(p.bubbleText()), "打印机准备就绪，等待打印任务");
  // A printer that stops answering leaves the last state.
  ctl({"udp-mode", "silent"});
  probe->poll();
  runEvents(500);
  EXPECT_EQ(s(p.title()), "打印机准备就绪");
  EXPECT_EQ(p.netErrorShown(), 0);
}

TEST_F(NetMonitor, SendFailureWarnsOnceAndRereadsTheAddressFile) {
  files.removeNetIpInfo();
  files.setNetJobInfo("papersize:A4;\n");
  start();
  MonitorProbe &p = *probe;
  EXPECT_EQ(s(p.printerAddress()), "");
  EXPECT_EQ(logged("open file failed"), 1);

  p.lastStatusCode() = 10001;
  p.poll();
  EXPECT_EQ(logged("UDP send ret = -1"), 1);
  EXPECT_EQ(logged("socket link to device error"), 1);
  EXPECT_EQ(s(p.title()), "警告");
  EXPECT_EQ(s(p.help()), "网络连接错误！\n请检查打印机和电脑的网线连接状态");
  EXPECT_EQ(p.bubbleLevel(), 3);
  EXPECT_EQ(p.netErrorShown(), 1);
  EXPECT_EQ(p.lastStatusCode(), 0);
  EXPECT_EQ(logged("open file failed"), 1);  // not re-read before the first failure

  // Failing again: no second warning, the file is read before each try.
  mark();
  p.lastStatusCode() = 10001;
  p.poll();
  p.poll();
  EXPECT_EQ(s(p.title()), "marker");
  EXPECT_EQ(p.lastStatusCode(), 0);
  EXPECT_EQ(logged("open file failed"), 3);
  // A line that is no address fails the same way.
  files.setNetIpInfo("printer\n");
  p.poll();
  EXPECT_EQ(s(p.printerAddress()), "printer");
  EXPECT_EQ(logged("UDP send ret = -1"), 4);
  EXPECT_EQ(s(p.title()), "marker");
  EXPECT_EQ(queriesSeen(), 0);

  // A file written later: the next cycle sends; the ready state shows even
  // though it was the last code before the failure.
  files.setNetIpInfo("\n127.0.0.1\n");
  files.setNetJobInfo("papersize:Legal;\n");
  ASSERT_TRUE(pollAndReceive());
  EXPECT_EQ(s(p.printerAddress()), "127.0.0.1");
  EXPECT_EQ(p.netErrorShown(), 0);
  EXPECT_EQ(queriesSeen(), 1);
  EXPECT_EQ(s(p.title()), "打印机准备就绪");
  EXPECT_EQ(s(p.ui()->printer_pagesize->text()), "Legal");  // refreshed on a successful send
  // While sending works and the file stays as it is, it is not read again.
  const int reads = logged("printer address now");
  ASSERT_TRUE(pollAndReceive());
  EXPECT_EQ(logged("printer address now"), reads);
  EXPECT_EQ(p.netErrorShown(), 0);
}

TEST_F(NetMonitor, SilentPrinterWarnsAndAnAddressChangeIsFollowedAtOnce) {
  // Nothing answers at 127.0.0.2 (the printer listens on 127.0.0.1 only),
  // though every query goes out.
  files.setNetIpInfo("127.0.0.2\n");
  start();
  MonitorProbe &p = *probe;
  mark();
  for (int cycle = 0; cycle < 3; ++cycle) p.poll();
  EXPECT_EQ(s(p.title()), "marker");  // three queries unanswered so far
  p.poll();
  EXPECT_EQ(s(p.title()), "警告");
  EXPECT_EQ(s(p.help()), "网络连接错误！\n请检查打印机和电脑的网线连接状态");
  EXPECT_EQ(p.netErrorShown(), 0);  // the sends themselves worked
  mark();
  p.poll();
  EXPECT_EQ(s(p.title()), "marker");  // once per silence

  // The IP setup tool writes the new address: the next query goes there and
  // its reply counts, clearing the warning with the ready state.
  files.setNetIpInfo("127.0.0.1\n");
  ctl({"udp-log", "clear"});
  ASSERT_TRUE(pollAndReceive());
  EXPECT_EQ(s(p.printerAddress()), "127.0.0.1");
  EXPECT_EQ(queriesSeen(), 1);
  EXPECT_EQ(s(p.title()), "打印机准备就绪");
  // A reply after a warned silence shows even the code shown before it.
  ctl({"udp-mode", "silent"});
  for (int cycle = 0; cycle < 4; ++cycle) p.poll();
  EXPECT_EQ(s(p.title()), "警告");
  ctl({"udp-mode", "normal"});
  ASSERT_TRUE(pollAndReceive());
  EXPECT_EQ(s(p.title()), "打印机准备就绪");
}

TEST_F(NetMonitor, EmptyDatagramsUnderEachBalloonCode) {
  start();
  MonitorProbe &p = *probe;
  ctl({"udp-mode", "empty"});
  // Initialising, or any other text: ready at once.
  p.show(1, u("请等待"), u("打印引擎正在初始化"), kpx::state::kInitialising);
  ASSERT_TRUE(pollAndReceive());
  EXPECT_EQ(logged("byte_read = 0"), 2);
  EXPECT_EQ(s(p.title()), "打印机准备就绪");
  p.show(3, u("纸盒1卡纸"), u("纸盒1附近发生送纸卡纸\n请取出纸盒1附近卡住的纸张"));
  ASSERT_TRUE(pollAndReceive());
  EXPECT_EQ(s(p.title()), "打印机准备就绪");

  // Printing: nothing, however many.
  p.show(1, u("正在打印"), u("打印机正在打印"), kpx::state::kPrinting);
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(pollAndReceive());
  EXPECT_EQ(s(p.title()), "正在打印");
  EXPECT_EQ(p.idleReplyCount(), 0);

  // Cancelled: ready at the fourth.
  p.show(1, u("取消打印"), u("PC端取消打印作业"), kpx::state::kCancelled);
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(pollAndReceive());
  EXPECT_EQ(s(p.title()), "取消打印");
  EXPECT_EQ(p.idleReplyCount(), 3);
  ASSERT_TRUE(pollAndReceive());
  EXPECT_EQ(s(p.title()), "打印机准备就绪");
  EXPECT_EQ(p.idleReplyCount(), 0);
}

TEST_F(NetMonitor, OtherSendersAndFloodsAreDroppedWithFewLogLines) {
  start();
  MonitorProbe &p = *probe;
  QUdpSocket stranger;
  ASSERT_TRUE(stranger.bind(QHostAddress("127.0.0.2"), 0));
  QUdpSocket local;
  ASSERT_TRUE(local.bind(QHostAddress("127.0.0.1"), 0));
  const QHostAddress monitor("127.0.0.1");
  // Datagrams are read in order: one from the printer's address after the
  // others tells when all were handled.
  auto handledAfter = [&](const QByteArray &last) {
    const int before = logged("read socket");
    local.writeDatagram(last, monitor, localPort);
    return waitFor([&] { return logged("read socket") > before; }, 5000);
  };

  p.show(1, u("请等待"), u("打印引擎正在初始化"), kpx::state::kInitialising);
  stranger.writeDatagram("CODE=44114\r", monitor, localPort);
  stranger.writeDatagram("", monitor, localPort);  // an empty one does not declare ready either
  ASSERT_TRUE(handledAfter("CODE=10205\r"));
  EXPECT_EQ(s(p.title()), "硒鼓即将用尽");
  EXPECT_EQ(p.lastStatusCode(), 10205);
  EXPECT_EQ(logged("datagram from 127.0.0.2 dropped: not the printer (127.0.0.1)"), 1);

  // A flood, from others and from the printer's address without any status:
  // nothing decoded, and the log tells it in a line or two, not per datagram.
  debugLog.clear();
  for (int i = 0; i < 300; ++i) {
    stranger.writeDatagram(QByteArray::number(i) + " CODE=44114\r", monitor, localPort);
    local.writeDatagram("\x01\x02 noise " + QByteArray::number(i), monitor, localPort);
    if (i % 50 == 0) runEvents(20);  // keep within the socket's buffer
  }
  ASSERT_TRUE(handledAfter("CODE=10205\r"));
  EXPECT_EQ(s(p.title()), "硒鼓即将用尽");
  int about = 0;
  for (const QString &line : debugLog) about += line.contains("dropped") || line.contains("no status") ? 1 : 0;
  EXPECT_LE(about, 1);  // the interval's first line was the one above
  EXPECT_LE(debugLog.size(), 12);
}

TEST_F(NetMonitor, TakenLocalPortIsLoggedAndQueriesGoOn) {
  QUdpSocket holder;
  ASSERT_TRUE(holder.bind(QHostAddress::AnyIPv4, localPort, QUdpSocket::DontShareAddress));
  ctl({"status", "44114"});
  start();
  MonitorProbe &p = *probe;
  EXPECT_EQ(logged(QStringLiteral("bind UDP port %1 failed").arg(localPort)), 1);
  p.poll();
  p.poll();
  EXPECT_EQ(logged("UDP send ret = 10"), 2);
  EXPECT_EQ(p.netErrorShown(), 0);
  EXPECT_TRUE(waitFor([] { return queriesSeen() == 2; }, 3000));
  // Nothing reaches the monitor on the taken port: the first query bound the
  // socket to a free port instead, and the printer answers the port a query
  // came from, so the status still arrives there.
  EXPECT_TRUE(waitFor([&] { return logged("read socket") == 2; }, 3000));
  EXPECT_NE(p.statusSocket()->localPort(), localPort);
  EXPECT_EQ(s(p.title()), "纸盒1卡纸");
  EXPECT_FALSE(holder.hasPendingDatagrams());
}

TEST_F(NetMonitor, JobCheckCountsNetworkAndUsbQueueLines) {
  start();
  MonitorProbe &p = *probe;
  files.setJobs("KPX7720MW-net-21 alice 2048 Mon 01 Jan 2024\nKPX7720MW-22 bob 1024 Mon 01 Jan 2024\n");
  p.poll();
  EXPECT_TRUE(p.netJobPending());
  EXPECT_EQ(s(files.lpstatRuns().last()), "-R KPX7720MW KPX7720MW-net");
  EXPECT_EQ(logged("usbPrinter Job= 2, netPrinter Job= 1"), 1);
  files.setJobs("KPX7720MW-22 bob 1024 Mon 01 Jan 2024\n");
  p.poll();
  EXPECT_FALSE(p.netJobPending());
  files.remove("bin/lpstat");
  p.poll();
  EXPECT_FALSE(p.netJobPending());
  EXPECT_EQ(logged("usbPrinter Job= 0, netPrinter Job= 0"), 1);

  // The flag steers the printing code: with a job it shows and refreshes the
  // settings pane, without one it is the ready state.
  files.setNetJobInfo("papersize:Executive;\n");
  p.netJobPending() = true;
  p.decode("CODE=10023\r");
  EXPECT_EQ(s(p.title()), "正在打印");
  EXPECT_EQ(s(p.ui()->printer_pagesize->text()), "Executive");
  files.setNetJobInfo("papersize:Letter;\n");
  p.netJobPending() = false;
  p.show(2, "W", "w");
  p.lastStatusCode() = 0;
  p.decode("CODE=10023\r");
  EXPECT_EQ(s(p.title()), "打印机准备就绪");
  EXPECT_EQ(s(p.ui()->printer_pagesize->text()), "Executive");  // not refreshed without a job
}

int main(int argc, char **argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  qInstallMessageHandler(keepDebugLine);
  QCoreApplication::setOrganizationName(QStringLiteral("ZUVA"));
  qputenv("KPX_MONITOR_DEBUG", "1");
  kpxmon::prepareApplication();
  QApplication app(argc, argv);
  MainWindow::setTrayWaitRounds(0);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
