// The poll cycle with the real USB link against kpx7720mw-sim's emulated
// printer: normal replies, unplug and replug, a job printing (state file
// instead of the device), only the network queue, empty replies, a silent
// printer and a release that fails. Queues come from a stand-in lpstat.
#include <gtest/gtest.h>

#include <QProcess>
#include <QThread>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "monitor_probe.h"

namespace {

std::string s(const QString &q) { return q.toStdString(); }

// "kpx7720mw-sim ctl" without the preload library.
QString ctl(const QStringList &args) {
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.remove("LD_PRELOAD");
  p.setProcessEnvironment(env);
  p.start(KPXSIM_PROGRAM, QStringList{"ctl", "--socket", qEnvironmentVariable("KPXMON_SIM_DIR") + "/ctl.sock"} + args);
  p.waitForFinished(30000);
  return QString::fromUtf8(p.readAllStandardOutput());
}

// A process whose name is the USB filter's: a copy of sleep.
class FakeFilter {
 public:
  explicit FakeFilter(const QString &dir) {
    const QString exe = dir + "/pstopxl_7720mw";
    QFile::copy("/bin/sleep", exe);
    QFile::setPermissions(exe, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    pid = fork();
    if (pid == 0) {
      unsetenv("LD_PRELOAD");
      execl(exe.toLocal8Bit().constData(), "pstopxl_7720mw", "600", static_cast<char *>(nullptr));
      _exit(127);
    }
    QThread::msleep(50);
  }
  ~FakeFilter() {
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
  }

 private:
  pid_t pid = -1;
};

class PollCycle : public ::testing::Test {
 protected:
  MonitorFixtureDir files;
  std::unique_ptr<MainWindow> window;
  std::unique_ptr<MonitorProbe> probe;

  void SetUp() override {
    // Back to a plugged-in, answering printer.
    ctl({"release-fail", "off"});
    ctl({"usb-mode", "normal"});
    ctl({"usb-script", "clear"});
    ctl({"status", "10001"});
    if (ctl({"state"}).contains("usb_plugged=no")) ctl({"replug"});
    window = std::make_unique<MainWindow>(kpxmon::programVariant());
    probe = std::make_unique<MonitorProbe>(MonitorProbe{*window});
    probe->pollTimer()->stop();
    probe->hideTimer()->stop();
    ctl({"usb-log", "clear"});
  }
  void TearDown() override {
    window->closeTrigger();
    window.reset();
  }
  void mark() { probe->show(7, "marker", "marker"); }
};

}  // namespace

TEST_F(PollCycle, NormalRepliesAreDecodedEveryCycle) {
  MonitorProbe &p = *probe;
  p.poll();
  // Connected: announced once; the ready reply at level 1 adds nothing.
  EXPECT_EQ(s(p.title()), "连接成功！");
  EXPECT_EQ(p.connectAnnounced(), 1);
  EXPECT_EQ(p.deviceHeld(), 0);
  EXPECT_EQ(p.lastStatusCode(), 10001);
  const QString log = ctl({"usb-log"});
  EXPECT_TRUE(log.contains("out 436865636b5374617475733f")) << s(log);  // "CheckStatus?", 12 bytes
  EXPECT_TRUE(log.contains("claim 0")) << s(log);
  EXPECT_TRUE(log.contains("release 0")) << s(log);

  ctl({"status", "44114", "10205"});
  p.poll();
  EXPECT_EQ(s(p.title()), "硒鼓即将用尽");
  EXPECT_EQ(p.bubbleLevel(), 2);
  // The same reply again is acted on again: direct replies are never repeats.
  mark();
  p.poll();
  EXPECT_EQ(s(p.title()), "硒鼓即将用尽");
  // A reply without any code changes nothing; the device is still released.
  ctl({"usb-script", "68656c6c6f0d"});
  mark();
  p.poll();
  EXPECT_EQ(s(p.title()), "marker");
  EXPECT_EQ(p.deviceHeld(), 0);
}

TEST_F(PollCycle, UnplugWarnsOnceAndReplugConnectsOnce) {
  MonitorProbe &p = *probe;
  ctl({"status", "12345"});  // a code without a row: only the cycle's own messages show
  p.poll();
  EXPECT_EQ(s(p.title()), "连接成功！");
  ctl({"unplug"});
  p.poll();
  EXPECT_EQ(s(p.title()), "警告");
  EXPECT_EQ(s(p.help()), "USB连接错误！\n请检查打印机和电脑的USB连接状态");
  EXPECT_EQ(p.bubbleLevel(), 3);
  EXPECT_EQ(p.usbErrorShown(), 1);
  EXPECT_EQ(p.connectAnnounced(), 0);
  mark();
  p.poll();
  EXPECT_EQ(s(p.title()), "marker");
  ctl({"replug"});
  p.poll();
  EXPECT_EQ(s(p.title()), "连接成功！");
  EXPECT_EQ(p.usbErrorShown(), 0);
  mark();
  p.poll();
  EXPECT_EQ(s(p.title()), "marker");
}

TEST_F(PollCycle, BusyPrinterIsLeftAloneAndTheStateFileDecoded) {
  MonitorProbe &p = *probe;
  files.setJobs("  0 KPX7720MW-21 alice 4096 Mon 01 Jan 2024 10:00:00 AM CST\n");
  files.setState("CODE=10023");
  files.setJobInfo("papersize:B5;\nmediatype:THICK;\n");
  {
    // A queued job without the filter process: the printer is asked as usual.
    p.poll();
    EXPECT_TRUE(p.usbJobPending());
    EXPECT_FALSE(p.filterRunning());
    EXPECT_TRUE(ctl({"usb-log"}).contains("claim 0"));
  }
  FakeFilter filter(files.path("bin"));
  ctl({"usb-log", "clear"});
  p.poll();
  EXPECT_TRUE(p.filterRunning());
  EXPECT_EQ(s(p.title()), "正在打印");
  EXPECT_EQ(s(p.ui()->printer_pagesize->text()), "B5(JIS)");
  EXPECT_EQ(s(p.ui()->printer_mediatype->text()), "厚纸");
  const QString log = ctl({"usb-log"});
  EXPECT_FALSE(log.contains("claim")) << s(log);
  EXPECT_FALSE(log.contains("out ")) << s(log);
  // The same code from the file again: acted on once only.
  mark();
  p.poll();
  EXPECT_EQ(s(p.title()), "marker");
  // The most severe line wins.
  files.setState("CODE=10023\nCODE=44444\n");
  p.windowHidden() = 1;
  p.poll();
  EXPECT_EQ(s(p.title()), "打印机通信失败");

  // Printer gone while hidden to the tray: the queue warning instead.
  ctl({"unplug"});
  p.windowHidden() = 1;
  p.poll();
  EXPECT_EQ(s(p.title()), "警告");
  EXPECT_EQ(s(p.help()), "打印队列非空，但USB连接错误！\n请检查打印机和电脑的USB连接状态");
  // ... and with the window up, the state file again.
  files.setState("CODE=99999");
  p.windowHidden() = 1;
  p.show(1, "x", "x");  // window up (windowHidden 0)
  p.poll();
  EXPECT_EQ(s(p.title()), "x");  // 99999 only while hidden: nothing shown
  EXPECT_EQ(p.lastStatusCode(), 99999);
}

TEST_F(PollCycle, OnlyTheNetworkQueueHidesQuietly) {
  MonitorProbe &p = *probe;
  files.setQueues(false, true);
  ctl({"status", "44114"});
  window->show();
  p.poll();
  EXPECT_FALSE(window->isVisible());
  EXPECT_FALSE(p.queueLinked());
  EXPECT_EQ(s(p.title()), "连接成功！");
  EXPECT_NE(p.bubbleLevel(), 3);  // the jam in the reply was ignored
  EXPECT_EQ(p.deviceHeld(), 0);
}

TEST_F(PollCycle, EmptyRepliesCountToReady) {
  MonitorProbe &p = *probe;
  p.poll();
  // The balloon speaks of printing.
  p.show(3, "x", "x");
  p.usbJobPending() = true;
  p.lastStatusCode() = 0;
  p.decode("CODE=10023");
  ASSERT_EQ(s(p.bubbleText()), "打印机正在打印");
  ctl({"usb-mode", "empty"});
  for (int i = 1; i <= 3; ++i) {
    p.poll();
    EXPECT_EQ(p.idleReplyCount(), i);
    EXPECT_EQ(s(p.title()), "正在打印");
  }
  p.poll();
  EXPECT_EQ(s(p.title()), "打印机准备就绪");
  EXPECT_EQ(s(p.help()), "打印机准备就绪，等待打印任务");
  EXPECT_EQ(p.idleReplyCount(), 0);
}

TEST_F(PollCycle, SilentPrinterChangesNothing) {
  MonitorProbe &p = *probe;
  p.poll();
  ctl({"usb-mode", "silent"});
  mark();
  p.idleReplyCount() = 2;
  p.poll();  // the read times out after a second
  EXPECT_EQ(s(p.title()), "marker");
  EXPECT_EQ(p.idleReplyCount(), 2);
  EXPECT_EQ(p.deviceHeld(), 0);
  EXPECT_TRUE(ctl({"usb-log"}).contains("cancel in"));
}

TEST_F(PollCycle, FailedReleaseIsRetriedBeforeTheNextOpen) {
  MonitorProbe &p = *probe;
  ctl({"release-fail", "on"});
  p.poll();
  EXPECT_EQ(p.deviceHeld(), 1);
  // Still failing: the cycle ends without opening or asking.
  ctl({"usb-log", "clear"});
  p.poll();
  EXPECT_EQ(p.deviceHeld(), 1);
  QString log = ctl({"usb-log"});
  EXPECT_TRUE(log.contains("release 0 refused")) << s(log);
  EXPECT_FALSE(log.contains("out ")) << s(log);
  EXPECT_NE(s(p.title()), "警告");
  // The third failure in a row: the user learns that the connection is in
  // trouble instead of looking at a state that no longer changes.
  p.poll();
  EXPECT_EQ(s(p.title()), "警告");
  EXPECT_EQ(s(p.help()), "USB连接错误！\n请检查打印机和电脑的USB连接状态");
  EXPECT_TRUE(window->isVisible());
  mark();
  p.poll();
  EXPECT_EQ(s(p.title()), "marker");  // once per run of failures
  // Released at last: then opened and asked in the same cycle.
  ctl({"release-fail", "off"});
  ctl({"usb-log", "clear"});
  ctl({"status", "44114"});
  p.poll();
  EXPECT_EQ(p.deviceHeld(), 0);
  EXPECT_EQ(p.releaseFailures(), 0);
  log = ctl({"usb-log"});
  EXPECT_TRUE(log.indexOf("release 0") < log.indexOf("out ")) << s(log);
  EXPECT_EQ(s(p.title()), "纸盒1卡纸");
  // lpstat ran in the cycle's order: the job check, then the queue check.
  EXPECT_EQ(files.lpstatRuns().mid(files.lpstatRuns().size() - 2), QStringList({"-R", "-a"}));
  // Quitting while the device is held gives it back.
  ctl({"release-fail", "on"});
  p.poll();
  ASSERT_EQ(p.deviceHeld(), 1);
  ctl({"release-fail", "off"});
  ctl({"usb-log", "clear"});
  p.exitAction();  // exists; closeTrigger is its first slot
  window->closeTrigger();
  EXPECT_TRUE(ctl({"usb-log"}).contains("release 0"));
}
