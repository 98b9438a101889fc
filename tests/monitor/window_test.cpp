// The window without a display: start-up, the presentation of each level,
// the decoder acting through the window, the state and job files, and the
// shell's show/hide rules. No printer link: every poll finds no printer.
#include <gtest/gtest.h>

#include <QCloseEvent>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QMenu>
#include <QScreen>
#include <QStyle>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "instance_guard.h"
#include "monitor_probe.h"

namespace {

std::string s(const QString &q) { return q.toStdString(); }
QString u(const char *utf8) { return QString::fromUtf8(utf8); }

bool samePicture(const QLabel *label, const QString &resource) {
  const QPixmap shown = label->pixmap(Qt::ReturnByValue);
  if (shown.isNull()) return false;
  return shown.toImage().convertToFormat(QImage::Format_RGB32) ==
         QImage(resource).convertToFormat(QImage::Format_RGB32);
}

QColor titleColour(MonitorProbe &p) {
  return p.ui()->printer_state->palette().color(QPalette::Active, QPalette::WindowText);
}

class WindowTest : public ::testing::Test {
 protected:
  MonitorFixtureDir files;
  std::unique_ptr<MainWindow> window;
  std::unique_ptr<MonitorProbe> probe;

  void start() {
    window = std::make_unique<MainWindow>(kpxmon::usbVariant(nullptr));
    probe = std::make_unique<MonitorProbe>(MonitorProbe{*window});
  }
};

}  // namespace

TEST_F(WindowTest, StartUp) {
  files.setJobInfo("resolution:2400dpi;\npapersize:A5L;\ninputslot:MPTRAY;\nmediatype:ENVTHIN;\nduplex:DuplexNoTumble;\n");
  start();
  MonitorProbe &p = *probe;
  EXPECT_EQ(s(window->windowTitle()), "KPX7720MW USB状态监控");
  EXPECT_EQ(window->size(), QSize(520, 350));
  EXPECT_EQ(window->minimumSize(), QSize(520, 350));
  EXPECT_EQ(window->maximumSize(), QSize(520, 350));
  const QRect avail = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_EQ(window->pos(), QPoint(avail.right() + 1 - 530, avail.bottom() + 1 - 390));
  EXPECT_TRUE(window->windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(p.statusCommand(), QByteArray("CheckStatus?"));

  // Only the status tab can be used; the others take no room.
  EXPECT_TRUE(p.ui()->tabWidget->isTabEnabled(0));
  EXPECT_FALSE(p.ui()->tabWidget->isTabEnabled(1));
  EXPECT_FALSE(p.ui()->tabWidget->isTabEnabled(2));
  EXPECT_EQ(s(p.ui()->tabWidget->styleSheet()), "QTabBar::tab:disabled{width:0;color:transparent;}");
  EXPECT_EQ(p.ui()->tabWidget->currentIndex(), 0);

  // Tray items and balloon items.
  ASSERT_EQ(p.trayList()->count(), 4);
  EXPECT_EQ(s(p.trayList()->itemText(0)), "Connecting");
  EXPECT_EQ(s(p.trayList()->itemText(1)), "Ready");
  EXPECT_EQ(s(p.trayList()->itemText(2)), "Stop");
  EXPECT_EQ(s(p.trayList()->itemText(3)), "Error");
  EXPECT_EQ(p.trayList()->currentIndex(), 1);
  EXPECT_FALSE(p.trayList()->isVisible());
  ASSERT_EQ(p.balloonList()->count(), 3);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(p.balloonList()->itemData(i).toInt(), i + 1);
  EXPECT_EQ(s(p.balloonList()->itemText(1)), "Warning");
  EXPECT_EQ(p.balloonList()->currentIndex(), 0);
  EXPECT_FALSE(p.balloonList()->isVisible());

  // Menu: hide, show, separator, exit.
  const QList<QAction *> actions = p.menu()->actions();
  ASSERT_EQ(actions.size(), 4);
  EXPECT_EQ(s(actions[0]->text()), "最小化");
  EXPECT_EQ(s(actions[1]->text()), "显示窗体");
  EXPECT_TRUE(actions[2]->isSeparator());
  EXPECT_EQ(s(actions[3]->text()), "退出");
  EXPECT_EQ(p.tray()->contextMenu(), p.menu());

  // The start balloon popped up; the stored one follows the window's first
  // message; the tray says the monitor connects until the printer answers.
  EXPECT_TRUE(p.tray()->isVisible());
  EXPECT_EQ(s(p.tray()->toolTip()), "Connecting");
  EXPECT_EQ(p.bubbleLevel(), 1);
  EXPECT_EQ(s(p.bubbleTitle()), "状态监视器启动");
  EXPECT_EQ(s(p.title()), "状态监视器启动");
  EXPECT_EQ(s(p.help()), "状态监视器正在连接打印机，请稍后");
  EXPECT_TRUE(samePicture(p.ui()->printer_img, ":/W3_b256.bmp"));
  EXPECT_EQ(p.hideTimer()->interval(), 4000);
  EXPECT_TRUE(p.hideTimer()->isActive());
  EXPECT_EQ(p.pollTimer()->interval(), 5000);
  EXPECT_TRUE(p.pollTimer()->isActive());
  EXPECT_EQ(p.windowHidden(), 0);
  // The printer answers ready: the window has nothing new to say, the tray
  // leaves the connecting icon all the same.
  p.decode("CODE=10001\r");
  EXPECT_EQ(s(p.tray()->toolTip()), "Ready");
  EXPECT_EQ(s(p.title()), "状态监视器启动");

  // The job pane came from the job record.
  EXPECT_EQ(s(p.ui()->printer_resolution->text()), "HQ1200dpi");
  EXPECT_EQ(s(p.ui()->printer_pagesize->text()), "A5长边");
  EXPECT_EQ(s(p.ui()->printer_inputslot->text()), "多功能纸盒");
  EXPECT_EQ(s(p.ui()->printer_mediatype->text()), "薄信封");
  EXPECT_EQ(s(p.ui()->printer_duplex->text()), "长边翻转");
}

TEST_F(WindowTest, FormMatchesItsLayout) {
  start();
  Ui::MainWindow *ui = probe->ui();
  EXPECT_EQ(ui->printer_help->geometry(), QRect(100, 90, 411, 61));
  EXPECT_EQ(ui->printer_help->font().pointSize(), 10);
  EXPECT_EQ(ui->groupBox->geometry(), QRect(130, 170, 211, 121));
  EXPECT_EQ(s(ui->groupBox->title()), "打印信息");
  EXPECT_EQ(ui->groupBox->parentWidget(), ui->tab_2);
  EXPECT_EQ(ui->label_3->geometry(), QRect(10, 60, 81, 16));
  EXPECT_EQ(s(ui->label_5->text()), "双面打印：");
  EXPECT_EQ(ui->printer_duplex->geometry(), QRect(100, 100, 101, 17));
  EXPECT_EQ(ui->printer_duplex->parentWidget(), ui->groupBox);
  EXPECT_EQ(ui->printer_img->geometry(), QRect(21, 19, 71, 61));
  EXPECT_EQ(s(ui->printer_img->styleSheet()), "image: url(:/W3_b256.bmp);");
  EXPECT_EQ(ui->printer_state->geometry(), QRect(100, 20, 411, 71));
  EXPECT_EQ(ui->printer_state->font().pointSize(), 13);
  EXPECT_TRUE(ui->printer_state->font().bold());
  EXPECT_EQ(s(ui->tabWidget->tabText(0)), "当前状态");
  EXPECT_EQ(s(ui->tabWidget->tabText(1)), "碳粉量");
  EXPECT_EQ(s(ui->tabWidget->tabText(2)), "打印记录");
  EXPECT_EQ(ui->tableWidget_jobs->columnCount(), 10);
  EXPECT_EQ(s(ui->tableWidget_jobs->horizontalHeaderItem(7)->text()), "是否经过指纹验证");
  EXPECT_EQ(ui->tableWidget_jobs->editTriggers(), QAbstractItemView::NoEditTriggers);
  // The page buttons are disabled in the form itself, not only through their tab.
  EXPECT_TRUE(ui->btn_prepage->testAttribute(Qt::WA_ForceDisabled));
  EXPECT_TRUE(ui->btn_nextpage->testAttribute(Qt::WA_ForceDisabled));
  EXPECT_FALSE(ui->pushButton_changePassword->testAttribute(Qt::WA_ForceDisabled));
  EXPECT_EQ(ui->verticalLayout_5->spacing(), 30);
  EXPECT_EQ(ui->label_tonerK->minimumSize(), QSize(30, 60));
  EXPECT_EQ(ui->label_toner->maximumSize(), QSize(120, 120));
  EXPECT_TRUE(ui->textEdit_toner->isReadOnly());
  EXPECT_EQ(s(ui->textEdit_toner->toPlainText()), "黑色墨盒已经用尽，请及时更换。");
  // Every picture of the bundle loads.
  for (const char *res : {":/W3_b256", ":/W3_y256", ":/W3_r256", ":/oemSetup.ico", ":/images/heart.png",
                          ":/images/trash.png", ":/images/bad.png", ":/images/t_0.png", ":/images/c100.png",
                          ":/images/t_unknown.png", ":/images/y5.png", ":/images/toner.png"})
    EXPECT_FALSE(QPixmap(res).isNull()) << res;
  EXPECT_FALSE(ui->label_tonerC->pixmap(Qt::ReturnByValue).isNull());
}

TEST_F(WindowTest, EachLevelOnWindowAndTray) {
  start();
  MonitorProbe &p = *probe;
  window->hide();
  p.windowHidden() = 1;

  p.show(2, u("墨粉不足"), u("墨盒墨粉即将用完，请更换墨盒"));
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(p.windowHidden(), 0);
  EXPECT_TRUE(samePicture(p.ui()->printer_img, ":/W3_y256.bmp"));
  EXPECT_EQ(titleColour(p), QColor(Qt::darkYellow));
  EXPECT_EQ(p.ui()->printer_state->palette().color(QPalette::Disabled, QPalette::WindowText), QColor(Qt::darkYellow));
  EXPECT_EQ(p.hideTimer()->interval(), 4000);
  EXPECT_EQ(s(p.tray()->toolTip()), "Stop");
  EXPECT_EQ(p.bubbleLevel(), 2);
  EXPECT_EQ(s(p.bubbleTitle()), "墨粉不足");

  window->hide();
  p.windowHidden() = 1;
  p.show(3, u("纸盒1卡纸"), u("纸盒1附近发生送纸卡纸\n请取出纸盒1附近卡住的纸张"));
  EXPECT_TRUE(window->isVisible());
  EXPECT_TRUE(samePicture(p.ui()->printer_img, ":/W3_r256.bmp"));
  EXPECT_EQ(titleColour(p), QColor(Qt::red));
  EXPECT_EQ(p.hideTimer()->interval(), 600000);
  EXPECT_EQ(s(p.tray()->toolTip()), "Error");
  EXPECT_EQ(p.bubbleLevel(), 3);
  EXPECT_EQ(s(p.help()), "纸盒1附近发生送纸卡纸\n请取出纸盒1附近卡住的纸张");

  // Level 1 leaves the window as it is.
  window->hide();
  p.windowHidden() = 1;
  p.show(1, u("打印机准备就绪"), u("打印机准备就绪，等待打印任务"));
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(p.windowHidden(), 0);
  EXPECT_TRUE(samePicture(p.ui()->printer_img, ":/W3_b256.bmp"));
  EXPECT_EQ(titleColour(p), QColor(Qt::black));
  EXPECT_EQ(p.hideTimer()->interval(), 4000);
  EXPECT_EQ(s(p.tray()->toolTip()), "Ready");

  // A second level-1 message: the stored balloon tells it too.
  p.show(1, u("连接成功！"), u("状态监视器连接打印机成功！"));
  EXPECT_EQ(s(p.title()), "连接成功！");
  EXPECT_EQ(s(p.bubbleText()), "状态监视器连接打印机成功！");

  // Level 4: hidden at once, tray and balloon untouched, windowHidden kept.
  window->show();
  p.show(2, u("W"), u("w"));
  p.windowHidden() = 0;
  p.show(4, u("连接成功！"), u("状态监视器连接打印机成功！"));
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(p.windowHidden(), 0);
  EXPECT_EQ(p.bubbleLevel(), 2);
  EXPECT_EQ(s(p.tray()->toolTip()), "Stop");
  EXPECT_EQ(titleColour(p), QColor(Qt::black));
  EXPECT_TRUE(samePicture(p.ui()->printer_img, ":/W3_b256.bmp"));

  // Any other level: texts only, picture cleared, the rest untouched.
  p.hideTimer()->setInterval(1234);
  p.show(7, u("T"), u("x"));
  EXPECT_EQ(s(p.title()), "T");
  EXPECT_TRUE(p.ui()->printer_img->pixmap(Qt::ReturnByValue).isNull());
  EXPECT_EQ(p.hideTimer()->interval(), 1234);
  EXPECT_EQ(p.bubbleLevel(), 2);
}

TEST_F(WindowTest, DecoderThroughTheWindow) {
  start();
  MonitorProbe &p = *probe;
  // Ready twice in one reply: once at most, and not at all at level 1.
  p.show(3, u("x"), u("x"));
  p.lastStatusCode() = 0;
  p.decode("CODE=10001\rCODE=10001\r");
  EXPECT_EQ(s(p.title()), "打印机准备就绪");
  EXPECT_EQ(p.bubbleLevel(), 1);
  EXPECT_EQ(p.lastStatusCode(), 10001);

  // A jam after a CR/LF line end, then ready in the same reply: the last stays.
  p.lastStatusCode() = 0;
  p.decode("CODE=44114\r\nCODE=10205\r");
  EXPECT_EQ(s(p.title()), "硒鼓即将用尽");
  EXPECT_EQ(p.bubbleLevel(), 2);  // both lines were shown, each raising its balloon
  EXPECT_EQ(s(p.bubbleTitle()), "硒鼓即将用尽");
  EXPECT_EQ(p.lastStatusCode(), 10205);

  // 10003 without a job at level 2: shown as ready, stored as 10001; again: nothing.
  p.show(2, u("W"), u("w"));
  p.lastStatusCode() = 0;
  p.usbJobPending() = false;
  p.decode("CODE=10003\r");
  EXPECT_EQ(s(p.title()), "打印机准备就绪");
  EXPECT_EQ(p.lastStatusCode(), 10001);
  p.show(1, u("marker"), u("m"));
  p.decode("CODE=10003\r");
  EXPECT_EQ(s(p.title()), "marker");
  EXPECT_EQ(p.lastStatusCode(), 10003);

  // With a job pending the printing row shows and the job pane is refreshed.
  files.setJobInfo("papersize:Letter;\n");
  p.usbJobPending() = true;
  p.decode("CODE=10023");
  EXPECT_EQ(s(p.title()), "正在打印");
  EXPECT_EQ(s(p.ui()->printer_pagesize->text()), "Letter");

  // 44444 while the window is up: nothing shown, yet remembered.
  p.windowHidden() = 0;
  p.decode("CODE=44444");
  EXPECT_EQ(s(p.title()), "正在打印");
  EXPECT_EQ(p.lastStatusCode(), 44444);
  p.windowHidden() = 1;
  p.decode("CODE=44444");  // a repeat: still nothing
  EXPECT_EQ(s(p.title()), "正在打印");
  p.decode("CODE=99999");
  EXPECT_EQ(s(p.title()), "安全打印密码错误");

  // Unknown codes and non-numbers change nothing but the last code.
  p.decode("CODE=12345\rSTATUS=1 CODE=44114\r");
  EXPECT_EQ(s(p.title()), "安全打印密码错误");
  EXPECT_EQ(p.lastStatusCode(), 0);
  p.decode("CODE=88888");
  EXPECT_EQ(s(p.title()), "打印机违规外联！");
  EXPECT_EQ(s(p.help()), "");
}

TEST_F(WindowTest, StateFileRanking) {
  start();
  MonitorProbe &p = *probe;
  EXPECT_EQ(s(p.readPrinterState()), "");  // no file
  files.setState("CODE=10023\nCODE=44444\n");
  EXPECT_EQ(s(p.readPrinterState()), "CODE=44444");
  files.setState("CODE=10001\nCODE=88888\nCODE=44444");
  EXPECT_EQ(s(p.readPrinterState()), "CODE=88888");
  files.setState("CODE=10023");
  EXPECT_EQ(s(p.readPrinterState()), "CODE=10023");
  files.setState("");
  EXPECT_EQ(s(p.readPrinterState()), "");
  files.setState("printer says hello");
  EXPECT_EQ(s(p.readPrinterState()), "");
}

TEST_F(WindowTest, JobPaneDefaultsWithoutARecord) {
  start();
  MonitorProbe &p = *probe;
  p.readPrintJobInfo();
  EXPECT_EQ(s(p.ui()->printer_resolution->text()), "600dpi");
  EXPECT_EQ(s(p.ui()->printer_pagesize->text()), "A4");
  EXPECT_EQ(s(p.ui()->printer_inputslot->text()), "自动选择");
  EXPECT_EQ(s(p.ui()->printer_mediatype->text()), "普通纸");
  EXPECT_EQ(s(p.ui()->printer_duplex->text()), "无");
  files.setJobInfo("resolution:1200dpi;\npapersize:A5;\npapersize:IndiaLegal;\ninputslot:AUTO;\nmediatype:THIN;\n");
  p.readPrintJobInfo();
  EXPECT_EQ(s(p.ui()->printer_resolution->text()), "1200dpi");
  EXPECT_EQ(s(p.ui()->printer_pagesize->text()), "印度Legal");
  EXPECT_EQ(s(p.ui()->printer_inputslot->text()), "自动选择");
  EXPECT_EQ(s(p.ui()->printer_mediatype->text()), "薄纸");
  EXPECT_EQ(s(p.ui()->printer_duplex->text()), "无");
}

TEST_F(WindowTest, ShellShowAndHide) {
  start();
  MonitorProbe &p = *probe;
  // The hide timer closes the window to the tray once.
  p.windowHidden() = 0;
  window->windowClose();
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(p.windowHidden(), 1);
  // Double click shows it again until the next tick.
  window->iconActivated(QSystemTrayIcon::DoubleClick);
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(p.windowHidden(), 0);
  // A single click leaves the stored balloon alone.
  const QString before = p.bubbleText();
  window->iconActivated(QSystemTrayIcon::Trigger);
  EXPECT_EQ(p.bubbleText(), before);
  window->iconActivated(QSystemTrayIcon::Context);
  EXPECT_TRUE(window->isVisible());
  // "显示窗体" while hidden to the tray leaves the flag set: the window stays.
  window->windowClose();
  p.menu()->actions()[1]->trigger();
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(p.windowHidden(), 1);
  window->windowClose();
  EXPECT_TRUE(window->isVisible());
  p.menu()->actions()[0]->trigger();
  EXPECT_FALSE(window->isVisible());
  // The close button only hides while the tray icon is visible.
  window->show();
  p.windowHidden() = 0;
  QCloseEvent event;
  QApplication::sendEvent(window.get(), &event);
  EXPECT_FALSE(event.isAccepted());
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(p.windowHidden(), 1);
  p.tray()->hide();
  window->show();
  QCloseEvent accepted;
  QApplication::sendEvent(window.get(), &accepted);
  EXPECT_TRUE(accepted.isAccepted());
}

TEST_F(WindowTest, QueueChecksThroughLpstat) {
  start();
  MonitorProbe &p = *probe;
  files.setQueues(true, false);
  EXPECT_TRUE(p.checkPrinterLink());
  files.setQueues(true, true);
  EXPECT_TRUE(p.checkPrinterLink());
  files.setQueues(false, true);
  EXPECT_FALSE(p.checkPrinterLink());
  files.setJobs("  0 KPX7720MW-7 alice 1024 Mon 01 Jan 2024\n");
  EXPECT_TRUE(p.checkPrintJob());
  files.setJobs("  0 KPX7720MW-net-8 alice 1024 Mon 01 Jan 2024\n");
  EXPECT_FALSE(p.checkPrintJob());
  files.remove("bin/lpstat");  // lpstat missing: no queue, no job
  EXPECT_FALSE(p.checkPrinterLink());
  EXPECT_FALSE(p.checkPrintJob());
}

TEST_F(WindowTest, PrinterMissingWarnsOnce) {
  start();
  MonitorProbe &p = *probe;
  p.poll();
  EXPECT_EQ(s(p.title()), "警告");
  EXPECT_EQ(s(p.help()), "USB连接错误！\n请检查打印机和电脑的USB连接状态");
  EXPECT_EQ(p.usbErrorShown(), 1);
  EXPECT_EQ(p.bubbleLevel(), 3);
  p.show(1, u("marker"), u("m"));
  p.poll();
  EXPECT_EQ(s(p.title()), "marker");
}

TEST_F(WindowTest, RepeatedCodeDoesNotBringBackAWindowPutAway) {
  start();
  MonitorProbe &p = *probe;
  // The USB cycle decodes every reply afresh: a persistent warning arrives
  // every 5 s.
  auto reply = [&](const char *code) {
    p.lastStatusCode() = 0;
    p.decode(code);
  };
  reply("CODE=10205");
  ASSERT_TRUE(window->isVisible());
  window->windowClose();  // the hide timer
  reply("CODE=10205");
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(s(p.title()), "硒鼓即将用尽");

  reply("CODE=44114");  // a new state: shown again
  EXPECT_TRUE(window->isVisible());
  QCloseEvent byUser;
  QApplication::sendEvent(window.get(), &byUser);
  reply("CODE=44114");
  EXPECT_FALSE(window->isVisible());
  // The balloon tells what the window tells, at the same level too.
  reply("CODE=11213");
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(s(p.bubbleTitle()), s(p.title()));
  EXPECT_EQ(s(p.bubbleText()), s(p.help()));
}

// Every row of the table on the window, at the density the environment sets
// (QT_FONT_DPI; ctest runs this at 96, 120 and 144 dpi, scaled and not):
// each title and text wraps inside its label, which lies inside the window
// above the job pane.
TEST_F(WindowTest, EveryStatusTextFitsTheWindow) {
  start();
  MonitorProbe &p = *probe;
  Ui::MainWindow *ui = p.ui();
  int rows = 0, grown = 0;
  for (int code = 0; code <= 99999; ++code) {
    const std::optional<kpxmon::StatusRow> row = kpxmon::statusRow(code);
    if (!row) continue;
    ++rows;
    p.show(row->level, row->title, row->text);
    for (QLabel *label : {ui->printer_state, ui->printer_help}) {
      const QRect room = label->contentsRect();
      const QRect needed = label->fontMetrics().boundingRect(QRect(0, 0, room.width(), 100000),
                                                             int(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0),
                                                             label->text());
      EXPECT_LE(needed.width(), room.width()) << code;
      EXPECT_LE(needed.height(), room.height()) << code << " " << s(label->text());
      EXPECT_TRUE(QRect(QPoint(0, 0), ui->tab_2->size()).contains(label->geometry())) << code;
    }
    EXPECT_LE(ui->printer_state->geometry().bottom(), ui->printer_help->geometry().top()) << code;
    EXPECT_LT(ui->printer_help->geometry().bottom(), ui->groupBox->geometry().top()) << code;
    EXPECT_EQ(ui->tabWidget->size(), window->size()) << code;
    grown += window->height() > 350 ? 1 : 0;
  }
  EXPECT_EQ(rows, kpxmon::statusRowCount());
  // Short messages give the form back its own size.
  p.show(1, u("打印机准备就绪"), u("打印机准备就绪，等待打印任务"));
  EXPECT_EQ(window->size(), QSize(520, 350));
  EXPECT_EQ(ui->printer_help->geometry(), QRect(100, 90, 411, 61));
  EXPECT_FALSE(window->grab().isNull());
  std::printf("%d of %d rows needed a taller window at %g logical dpi\n", grown, rows,
              QGuiApplication::primaryScreen()->logicalDotsPerInch());
}

// printerState, printerInfo and netIpInfo as a FIFO (no writer: opening it
// for reading would wait forever) or as a 100 MB file: read like a missing
// file, at once and without taking the memory.
TEST_F(WindowTest, RecordFileThatIsNoRecordIsTakenAsMissing) {
  start();
  MonitorProbe &p = *probe;
  kpxmon::MonitorVariant net = kpxmon::netVariant();
  MainWindow netWindow(net);
  MonitorProbe netProbe{netWindow};
  const QString state = files.path("root/KPX7720MW/config/printerState");
  const QString info = files.path("root/KPX7720MW/config/printerInfo");
  const QString ip = files.path("root/KPX7720MW_net/config/netIpInfo");
  auto readAll = [&] {
    p.readPrintJobInfo();
    return std::make_pair(s(p.readPrinterState()), s(netProbe.readNetIpInfo()));
  };
  auto huge = [](const QString &path, const QByteArray &head) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(head);
    ASSERT_TRUE(f.resize(100 * 1024 * 1024));  // sparse: no disk taken
  };
  for (const char *shape : {"fifo", "huge"}) {
    for (const QString &path : {state, info, ip}) {
      QFile::remove(path);
      if (QByteArray(shape) == "fifo")
        ASSERT_EQ(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
      else
        huge(path, path == state ? "CODE=44114\n" : path == ip ? "127.0.0.1\n" : "papersize:Letter;\n");
    }
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(readAll(), std::make_pair(std::string(), std::string())) << shape;
    EXPECT_EQ(s(p.ui()->printer_pagesize->text()), "A4") << shape;
    EXPECT_LT(clock.elapsed(), 1000) << shape;
  }
}

TEST_F(WindowTest, HangingLpstatNeitherBlocksNorStays) {
  // lpstat that never answers; it leaves its pid behind.
  files.write("bin/lpstat", "#!/bin/sh\necho $$ >\"$(dirname \"$0\")/../lpstat.pid\"\nexec sleep 600\n");
  MainWindow::setLpstatWaitMs(400);
  start();
  MonitorProbe &p = *probe;
  p.pollTimer()->stop();
  bool served = false;
  QTimer::singleShot(100, [&] { served = true; });
  QElapsedTimer clock;
  clock.start();
  window->printerStateCheck();
  EXPECT_TRUE(p.cycleRunning());  // back in the event loop while lpstat runs
  window->printerStateCheck();    // a tick meanwhile starts nothing new
  bool servedMeanwhile = false;
  while (p.cycleRunning()) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    servedMeanwhile = servedMeanwhile || (served && p.cycleRunning());
  }
  EXPECT_TRUE(servedMeanwhile);
  EXPECT_GE(clock.elapsed(), 350);  // the limit ended it (coarse timers may fire 5 % early)
  // Killed, and the cycle went on: no link here, so the printer is missing.
  EXPECT_EQ(s(p.help()), "USB连接错误！\n请检查打印机和电脑的USB连接状态");
  EXPECT_EQ(files.lpstatRuns().size(), 0);
  QFile pidFile(files.path("lpstat.pid"));
  ASSERT_TRUE(pidFile.open(QIODevice::ReadOnly));
  const pid_t pid = pidFile.readAll().trimmed().toInt();
  ASSERT_GT(pid, 0);
  EXPECT_NE(kill(pid, 0), 0);
  // The window going away while lpstat hangs: no cycle step runs on it after.
  MainWindow::setLpstatWaitMs(30000);
  window->printerStateCheck();
  probe.reset();
  window.reset();
}

TEST(InstanceGuard, OnePerProgramAndUser) {
  QTemporaryDir dir;
  {
    kpxmon::InstanceGuard first("usbmonitor", dir.path());
    ASSERT_TRUE(first.acquired());
    EXPECT_TRUE(first.lockPath().startsWith(dir.path()));
    kpxmon::InstanceGuard second("usbmonitor", dir.path());
    EXPECT_FALSE(second.acquired());
    kpxmon::InstanceGuard other("netmonitor", dir.path());
    EXPECT_TRUE(other.acquired());
  }
  kpxmon::InstanceGuard again("usbmonitor", dir.path());
  EXPECT_TRUE(again.acquired());
}

TEST(InstanceGuard, LockOfADeadProcessIsTakenOver) {
  QTemporaryDir dir;
  const QString path = kpxmon::InstanceGuard::lockPathFor("usbmonitor", dir.path());
  pid_t child = fork();
  if (child == 0) {
    QLockFile lock(path);
    _exit(lock.tryLock(0) ? 0 : 1);  // leaves the file behind
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ASSERT_TRUE(QFile::exists(path));
  kpxmon::InstanceGuard guard("usbmonitor", dir.path());
  EXPECT_TRUE(guard.acquired());
}
