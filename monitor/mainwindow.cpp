#include "mainwindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QMenu>
#include <QPalette>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QUdpSocket>

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "printer_description.h"
#include "ui_mainwindow.h"
#include "usbowner.h"

using namespace kpxmon;

Q_LOGGING_CATEGORY(lcMonitor, "kpx.monitor", QtWarningMsg)

namespace {

// The trace of every cycle: off unless KPX_MONITOR_DEBUG is set (or the
// category is enabled through QT_LOGGING_RULES). Warnings always go out.
void logLine(const QString &line) { qCDebug(lcMonitor).noquote() << line; }
void warnLine(const QString &line) { qCWarning(lcMonitor).noquote() << line; }

const char kReadyTitle[] = "打印机准备就绪";
const char kReadyText[] = "打印机准备就绪，等待打印任务";
// How long after a showing the window manager has framed the window.
constexpr int kFrameSettleMs = 300;

const char kConnectedTitle[] = "连接成功！";
const char kConnectedText[] = "状态监视器连接打印机成功！";
const int kReplyBufferSize = 8192;
const int kTrayWaitMs = 4000;
const int kLpstatOutputLimit = 1024 * 1024;  // more is not lpstat talking about two queues
const char kWarningTitle[] = "警告";
const char kUsbErrorText[] = "USB连接错误！\n请检查打印机和电脑的USB连接状态";
const char kNetErrorText[] = "网络连接错误！\n请检查打印机和电脑的网线连接状态";

FileSignature signatureOf(const QString &path) {
  struct stat st;
  if (::stat(QFile::encodeName(path).constData(), &st) != 0) return {};
  return {true, qint64(st.st_ino), qint64(st.st_size), qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

// At most `limit` bytes of a regular file. A FIFO, a device or a directory is
// not opened for reading in a way that could wait, and a file bigger than a
// record can be is not read at all.
bool readRecordFile(const QString &path, qint64 limit, QByteArray *content) {
  int fd;
  do fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  while (fd < 0 && errno == EINTR);
  if (fd < 0) return false;
  struct stat st;
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= limit;
  if (ok) {
    content->resize(int(limit) + 1);
    qint64 got = 0;
    while (got <= limit) {
      const ssize_t n = ::read(fd, content->data() + got, size_t(limit + 1 - got));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) ok = false;
      if (n <= 0) break;
      got += n;
    }
    ok = ok && got <= limit;  // grew while being read
    content->resize(ok ? int(got) : 0);
  }
  ::close(fd);
  return ok;
}

QString tabStyle() { return QStringLiteral("QTabBar::tab:disabled{width:0;color:transparent;}"); }

// QProcess stops a child that is still running by signalling its process
// id: when it is killed, and when it is deleted. Where the start of the
// child is misreported (seen under qemu-user) that id is not a child's
// and the signal would be kill(-1, SIGKILL): every process of the user. A
// run with no real child is therefore never signalled: it is let go.
bool hasChild(const QProcess *p) { return p->processId() > 0; }

void dropLpstat(QProcess *lpstat, bool now) {
  lpstat->disconnect();
  if (lpstat->state() != QProcess::NotRunning && !hasChild(lpstat)) {
    lpstat->setParent(nullptr);  // deleting it would signal the bogus id
    return;
  }
  if (now)
    delete lpstat;
  else
    lpstat->deleteLater();
}

}  // namespace

namespace kpxmon {

void prepareApplication() {
  // Qt's xcb GL integration loads the whole GL stack (tens of MiB) into a
  // program that never draws with GL.
  if (qEnvironmentVariableIsEmpty("QT_XCB_GL_INTEGRATION")) qputenv("QT_XCB_GL_INTEGRATION", "none");
  QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
  // Scale by the screen's exact density (1.25 at 120 dpi), so that fonts
  // keep the size the form was laid out for.
  if (qEnvironmentVariableIsEmpty("QT_SCALE_FACTOR_ROUNDING_POLICY"))
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
  // The USB link traces through the default category: off with the rest.
  const QByteArray debug = qgetenv("KPX_MONITOR_DEBUG");
  const bool on = !debug.isEmpty() && debug != "0";
  QLoggingCategory::setFilterRules(on ? QStringLiteral("kpx.monitor.debug=true\ndefault.debug=true")
                                      : QStringLiteral("default.debug=false"));
}

}  // namespace kpxmon

int MainWindow::trayWaitRounds = 3;
int MainWindow::lpstatWaitMs = 30000;

void MainWindow::setLpstatWaitMs(int ms) { lpstatWaitMs = ms; }

void MainWindow::setTrayWaitRounds(int rounds) { trayWaitRounds = rounds; }

MainWindow::MainWindow(const MonitorVariant &v, QWidget *parent)
    : QWidget(parent), variant(v), ui((v.loadResources(), new Ui::MainWindow)) {
  statusCommand = QByteArray(variant.statusCommand);
  if (variant.makeLink) usbLink = variant.makeLink();
  ui->setupUi(this);
  ui->printer_state->setGeometry(variant.stateGeometry);
  ui->printer_help->setGeometry(variant.helpGeometry);
  // Long titles and texts wrap, and the window grows to hold them.
  ui->printer_state->setWordWrap(true);
  ui->printer_help->setWordWrap(true);
  // The window comes up for warnings while the user works elsewhere: it never
  // takes the keyboard focus.
  setAttribute(Qt::WA_ShowWithoutActivating);

  // Only the status page can be seen: the other tabs are disabled and take no room.
  ui->tabWidget->setTabEnabled(1, false);
  ui->tabWidget->setStyleSheet(tabStyle());
  ui->tabWidget->setTabEnabled(2, false);
  ui->tabWidget->setStyleSheet(tabStyle());

  setWindowTitle(tr(variant.windowTitle));

  const QSize size = this->size();
  formSize = size;
  jobPanePosition = ui->groupBox->pos();
  setFixedSize(size);
  setWindowFlags(Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus);

  trayIconList = new QComboBox(this);
  trayIconList->hide();
  for (int i = 0; i < kTrayItemCount; ++i) {
    const TrayLook look = trayLook(i);
    trayIconList->addItem(QIcon(look.icon), tr(qPrintable(look.tooltip)));
  }
  trayIconList->setCurrentIndex(1);

  balloonIconList = new QComboBox(this);
  balloonIconList->hide();
  balloonIconList->addItem(style()->standardIcon(QStyle::SP_MessageBoxInformation), tr("Information"),
                           int(QSystemTrayIcon::Information));
  balloonIconList->addItem(style()->standardIcon(QStyle::SP_MessageBoxWarning), tr("Warning"),
                           int(QSystemTrayIcon::Warning));
  balloonIconList->addItem(style()->standardIcon(QStyle::SP_MessageBoxCritical), tr("Critical"),
                           int(QSystemTrayIcon::Critical));
  balloonIconList->setCurrentIndex(0);

  createActions();
  createTrayIcon();
  connect(trayIcon, SIGNAL(activated(QSystemTrayIcon::ActivationReason)), this,
          SLOT(iconActivated(QSystemTrayIcon::ActivationReason)));
  setIcon(1);

  // Desktop sessions often start the tray host after their autostart
  // programs: give it some time, keeping the event loop served.
  // The wait sleeps in a local event loop rather than spinning on processEvents.
  for (int wait = 0; !QSystemTrayIcon::isSystemTrayAvailable() && wait < trayWaitRounds; ++wait) {
    QEventLoop loop;
    QTimer::singleShot(kTrayWaitMs, &loop, &QEventLoop::quit);
    loop.exec();
  }

  trayIcon->setVisible(true);
  placeWindow();
  setVisible(true);

  pollTimer = new QTimer(this);
  hideTimer = new QTimer(this);
  hideTimer->setInterval(variant.firstHideIntervalMs);
  pollTimer->setInterval(variant.pollIntervalMs);

  if (variant.startBalloon)
    triggerBubbleOn(Information, QString::fromUtf8("通知"), QString::fromUtf8("KPX7720MW状态监控启动"), 0);
  showMessageOnWindow(Information, tr(variant.startTitle), tr(variant.startText));
  setIcon(kConnectingTrayItem);
  trayConnecting = true;

  connect(hideTimer, SIGNAL(timeout()), this, SLOT(windowClose()));
  connect(pollTimer, SIGNAL(timeout()), this, SLOT(printerStateCheck()));
  pollTimer->start();
  hideTimer->start();

  readPrintJobInfo();

  if (variant.transport == Transport::Udp) {
    printerAddress = readNetIpInfo();
    statusSocket = new QUdpSocket(this);
    // Nothing arrives on that port then. The cycle goes on sending; the first
    // query binds the socket to a free port, which the printer answers.
    if (!statusSocket->bind(monitorUdpPort()))
      warnLine(QStringLiteral("bind UDP port %1 failed: %2").arg(monitorUdpPort()).arg(statusSocket->errorString()));
    connect(statusSocket, SIGNAL(readyRead()), this, SLOT(readSocket()));
  }
}

MainWindow::~MainWindow() {
  // An lpstat still running ends here without finishing its cycle step on a
  // window that is going away.
  for (QProcess *lpstat : findChildren<QProcess *>()) dropLpstat(lpstat, true);
  delete ui;
}

// ------------------------------------------------------------------ shell

void MainWindow::createActions() {
  hideAction = new QAction(tr("最小化"), this);
  connect(hideAction, SIGNAL(triggered()), this, SLOT(hide()));
  showAction = new QAction(tr("显示窗体"), this);
  connect(showAction, SIGNAL(triggered()), this, SLOT(showNormal()));
  exitAction = new QAction(tr("退出"), this);
  connect(exitAction, SIGNAL(triggered()), this, SLOT(closeTrigger()));
  connect(exitAction, SIGNAL(triggered()), qApp, SLOT(quit()));
}

void MainWindow::createTrayIcon() {
  trayMenu = new QMenu(this);
  trayMenu->addAction(hideAction);
  trayMenu->addAction(showAction);
  trayMenu->addSeparator();
  trayMenu->addAction(exitAction);
  trayIcon = new QSystemTrayIcon(this);
  trayIcon->setContextMenu(trayMenu);
}

void MainWindow::iconActivated(QSystemTrayIcon::ActivationReason reason) {
  switch (reason) {
    case QSystemTrayIcon::Trigger:
      trayIcon->showMessage(tr("提示"), tr("请双击或右键打开主界面"), balloonIconOf(bubbleLevel), 5000);
      break;
    case QSystemTrayIcon::MiddleClick:
      showMessage();
      break;
    case QSystemTrayIcon::DoubleClick:
      windowHidden = 0;
      show();
      break;
    default:
      break;
  }
}

void MainWindow::windowClose() {
  if (windowHidden != 0) return;
  close();
  windowHidden = 1;
}

void MainWindow::closeEvent(QCloseEvent *event) {
  if (trayIcon->isVisible()) {
    hide();
    windowHidden = 1;
    event->ignore();
  }
}

void MainWindow::closeTrigger() {
  if (deviceHeld != 0 && usbLink) usbLink->releaseDevice();
}

// ------------------------------------------------------------- poll cycle

void MainWindow::printerStateCheck() {
  // A cycle still waiting for lpstat: this tick is skipped, the order of the
  // steps stays as it is.
  if (cycleRunning) {
    logLine("previous cycle still running");
    return;
  }
  cycleRunning = true;
  if (variant.transport == Transport::Udp)
    netQueryCycle();
  else
    usbPollCycle();
}

void MainWindow::cycleDone() { cycleRunning = false; }

void MainWindow::usbPollCycle() {
  checkPrintJob([this](bool pending) {
    usbJobPending = pending;
    // Whether the filter runs matters only while a job waits: the scan of
    // every process is spared on the idle cycles.
    if (usbJobPending)
      checkPrintingProcess();
    else
      filterRunning = false;
    usbDeviceStep();
  });
}

void MainWindow::usbReleaseFailed() {
  logLine("release device error");
  deviceHeld = 1;
  const ReleaseOutcome outcome = releaseFailed(releaseFailures);
  releaseFailures = outcome.failures;
  if (!outcome.warn) return;
  // The device cannot be given back: no new state can be read until it is.
  showMessageOnWindow(Critical, tr(kWarningTitle), tr(kUsbErrorText));
  usbErrorShown = 1;
  connectAnnounced = 0;
}

void MainWindow::usbDeviceStep() {
  // The printer application serving the printer on USB holds it like a job.
  const bool busy = (usbJobPending && filterRunning) || kpx::printerAppOwnsUsb();

  // A link left open by a failed release is given back before anything
  // else; while it cannot be, the device is not opened again.
  if (deviceHeld != 0 && usbLink) {
    if (usbLink->releaseDevice() == UsbStatus::Ok) {
      deviceHeld = 0;
      releaseFailures = 0;
      logLine("release device ok");
    } else {
      usbReleaseFailed();
      if (!busy) return cycleDone();
    }
  }

  UsbStatus result = UsbStatus::DriverOrReleaseFailed;  // busy: the filter has the device
  if (!busy) {
    result = usbLink ? usbLink->initDevice() : UsbStatus::NotFound;
    lastStatusCode = 0;
  }
  logLine(QStringLiteral("i = %1").arg(traceCode(result)));

  if (result == UsbStatus::NotFound) {
    logLine("find device error");
    if (usbErrorShown == 0) showMessageOnWindow(Critical, tr(kWarningTitle), tr(kUsbErrorText));
    idleReplyCount = 0;
    connectAnnounced = 0;
    deviceHeld = 0;
    usbErrorShown = 1;
    return cycleDone();
  }
  if (result == UsbStatus::DriverOrReleaseFailed) {
    idleReplyCount = 0;
    if (!busy) deviceHeld = 0;  // initDevice closed what it had opened
    usbErrorShown = 0;
    if ((usbLink && usbLink->checkUSBDevice()) || windowHidden != 1) {
      readPrintJobInfo();
      logLine("get----device-----error");
      execReturnMsg(readPrinterState().toUtf8());
    } else {
      showMessageOnWindow(Critical, tr(kWarningTitle), tr("打印队列非空，但USB连接错误！\n请检查打印机和电脑的USB连接状态"));
    }
    return cycleDone();
  }

  logLine("connect ok");
  usbErrorShown = 0;
  if (connectAnnounced == 0) showMessageOnWindow(Information, tr(kConnectedTitle), tr(kConnectedText));
  deviceHeld = 1;
  if (!pollTimer->isActive()) pollTimer->start();
  connectAnnounced = 1;

  checkPrinterLink([this](bool linked) {
    queueLinked = linked;
    usbQueryStep();
  });
}

void MainWindow::usbQueryStep() {
  const QString plus(46, QLatin1Char('+'));
  logLine(plus);
  const UsbStatus sent = usbLink->SendCmd(reinterpret_cast<const unsigned char *>(statusCommand.constData()),
                                          static_cast<unsigned int>(statusCommand.size()));
  logLine(QStringLiteral("send1 %1").arg(traceCode(sent)));
  logLine(plus);

  QByteArray buffer(kReplyBufferSize, '\0');
  const UsbRead read = usbLink->ReadCmd(reinterpret_cast<unsigned char *>(buffer.data()), kReplyBufferSize);

  QByteArray reply;
  bool idle = false;
  if (!queueLinked) {
    showMessageOnWindow(Quiet, tr(kConnectedTitle), tr(kConnectedText));
    idle = true;
  } else if (read.status != UsbStatus::Ok || read.bytes != 0) {
    // A failed read may have left part of a reply in the buffer (a timeout
    // in mid-transfer): that part is read like a reply.
    reply = untilNul(buffer);
  } else {
    idle = true;
  }
  if (idle) {
    logLine(QStringLiteral("byte_read = %1").arg(0));
    const IdleOutcome outcome = idleReply(bubbleCode, idleReplyCount, variant.idleRule);
    idleReplyCount = outcome.idleReplyCount;
    if (outcome.declareReady) showMessageOnWindow(Information, tr(kReadyTitle), tr(kReadyText));
  }

  execReturnMsg(reply);

  if (usbLink->releaseDevice() != UsbStatus::Ok) {
    usbReleaseFailed();
  } else {
    deviceHeld = 0;
    releaseFailures = 0;
    logLine("release device ok");
  }
  cycleDone();
}

void MainWindow::runLpstat(const QStringList &arguments, const std::function<void(const QString &)> &done) {
  // Waited for through the event loop: a hanging lpstat is killed after 30 s
  // and the window is served meanwhile.
  auto *lpstat = new QProcess(this);
  auto *limit = new QTimer(lpstat);
  auto output = std::make_shared<QByteArray>();
  auto finish = [lpstat, limit, output, done]() {
    if (lpstat->property("kpxDone").toBool()) return;
    lpstat->setProperty("kpxDone", true);
    limit->stop();
    if (output->size() < kLpstatOutputLimit)
      output->append(lpstat->readAllStandardOutput().left(kLpstatOutputLimit - output->size()));
    dropLpstat(lpstat, false);
    done(QString::fromLocal8Bit(untilNul(*output)));
  };
  connect(lpstat, &QProcess::readyReadStandardOutput, lpstat, [lpstat, output]() {
    const QByteArray chunk = lpstat->readAllStandardOutput();
    if (output->size() < kLpstatOutputLimit) output->append(chunk.left(kLpstatOutputLimit - output->size()));
  });
  connect(lpstat, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), lpstat, finish);
  connect(lpstat, &QProcess::started, lpstat, [lpstat, finish]() {
    if (hasChild(lpstat)) return;
    warnLine(QStringLiteral("lpstat started without a process id of its own: taken as not started"));
    finish();  // its end would never be seen
  });
  connect(lpstat, &QProcess::errorOccurred, lpstat, [finish](QProcess::ProcessError error) {
    if (error == QProcess::FailedToStart) finish();  // no finished() follows
  });
  limit->setSingleShot(true);
  connect(limit, &QTimer::timeout, lpstat, [lpstat, finish, wait = lpstatWaitMs]() {
    warnLine(QStringLiteral("lpstat %1 did not finish within %2 ms: killed")
                 .arg(lpstat->arguments().join(QLatin1Char(' ')))
                 .arg(wait));
    if (hasChild(lpstat))
      lpstat->kill();  // finished() follows
    else
      finish();  // nothing that may be signalled: the step goes on without it
  });
  lpstat->setStandardInputFile(QProcess::nullDevice());
  lpstat->setProcessChannelMode(QProcess::SeparateChannels);
  lpstat->setStandardErrorFile(QProcess::nullDevice());
  lpstat->start(QStringLiteral("lpstat"), arguments, QIODevice::ReadOnly);
  limit->start(lpstatWaitMs);
}

void MainWindow::checkPrinterLink(const std::function<void(bool)> &done) {
  runLpstat({QStringLiteral("-a")}, [done](const QString &out) {
    const QueueCounts c = countQueues(out);
    logLine(QString::asprintf("usbPrinter = %d, netPrinter = %d", c.usb, c.net));
    done(usbQueueInstalled(c));
  });
}

void MainWindow::checkPrintJob(const std::function<void(bool)> &done) {
  QStringList arguments;
  for (const std::string &a : variant.jobCheckArguments) arguments.append(QString::fromStdString(a));
  runLpstat(arguments, [this, done](const QString &out) {
    const QueueCounts c = countQueues(out);
    logLine(QString::asprintf("usbPrinter Job= %d, netPrinter Job= %d", c.usb, c.net));
    done(variant.jobQueued(c));
  });
}

void MainWindow::checkPrintingProcess() {
  const QStringList entries = QDir(QStringLiteral("/proc")).entryList();
  auto readStat = [](const QString &entry) {
    QFile stat(QStringLiteral("/proc/") + entry + QStringLiteral("/stat"));
    if (!stat.open(QIODevice::ReadOnly)) {
      logLine("the pid stat file can not open!");
      return QString();
    }
    return QString::fromLocal8Bit(stat.readLine(4096)).trimmed();
  };
  filterRunning = findProcess(entries, readStat, QLatin1String(kUsbFilterProcess));
}

// ------------------------------------------------------ network query cycle

void MainWindow::netQueryCycle() {
  checkPrintJob([this](bool pending) {
    netJobPending = pending;
    netSendStep();
    cycleDone();
  });
}

void MainWindow::followNetIpInfo() {
  // Read again while sending fails, and whenever the file changed (the IP
  // setup tool wrote a new address).
  const FileSignature now = signatureOf(configFile(kpx::records::kNetIpInfo));
  if (netErrorShown != 1 && now == netIpInfoRead) return;
  const QString before = printerAddress;
  printerAddress = readNetIpInfo();
  if (printerAddress == before) return;
  logLine(QStringLiteral("printer address now %1").arg(printerAddress));
  // Replies are owed by the new address only; its first status shows.
  silence = SilenceWatch{};
  lastStatusCode = 0;
}

void MainWindow::netSendStep() {
  followNetIpInfo();

  if (silenceAtCycleStart(silence) && netErrorShown == 0) {
    logLine(QStringLiteral("no reply to %1 queries").arg(silence.silentCycles));
    showMessageOnWindow(Critical, tr(kWarningTitle), tr(kNetErrorText));
    lastStatusCode = 0;
  }

  // An address that does not parse is a failed send: Qt would otherwise send
  // to the null address, which Linux delivers to this host.
  const QHostAddress printer(printerAddress);
  const qint64 sent =
      printer.isNull() ? -1 : statusSocket->writeDatagram(statusCommand.left(10), printer, printerUdpPort());
  logLine(QStringLiteral("UDP send ret = %1").arg(sent));
  querySentFor(silence, sent != -1);

  const SendOutcome outcome = querySent(sent != -1, netErrorShown);
  if (sent == -1) logLine("socket link to device error");
  if (outcome.showWarning) showMessageOnWindow(Critical, tr(kWarningTitle), tr(kNetErrorText));
  if (outcome.resetLastCode) lastStatusCode = 0;
  if (outcome.refreshJobInfo) readPrintJobInfo();
  netErrorShown = outcome.netErrorShown;
}

QString MainWindow::readNetIpInfo() {
  netIpInfoRead = signatureOf(configFile(kpx::records::kNetIpInfo));
  QStringList lines;
  if (!readConfigLines(kpx::records::kNetIpInfo, kSmallRecordLimit, &lines)) return QString();
  return netIpInfoAddress(lines);
}

void MainWindow::noteBadDatagram(const QString &what) {
  // A flood must not become a flood of log lines.
  const int count = badDatagramLog.note(QDateTime::currentMSecsSinceEpoch());
  if (count == 1)
    warnLine(what);
  else if (count > 1)
    warnLine(QStringLiteral("%1 datagrams dropped or not decodable since the last report; the latest: %2")
                 .arg(count)
                 .arg(what));
}

void MainWindow::readSocket() {
  while (statusSocket->hasPendingDatagrams()) {
    QByteArray buffer(int(qBound<qint64>(0, statusSocket->pendingDatagramSize(), 65536)), '\0');
    QHostAddress sender;
    const qint64 bytesRead = statusSocket->readDatagram(buffer.data(), buffer.size(), &sender);
    if (bytesRead < 0) {
      logLine(QStringLiteral("byte_read = %1").arg(bytesRead));
      return;
    }
    buffer.truncate(int(bytesRead));

    // Only the printer's own status counts: anything else arriving on the port
    // (another host, a stray program) would otherwise put its text on screen.
    if (!datagramFromPrinter(sender, printerAddress)) {
      bool v4 = false;
      const quint32 senderV4 = sender.toIPv4Address(&v4);
      noteBadDatagram(QStringLiteral("datagram from %1 dropped: not the printer (%2)")
                          .arg(v4 ? QHostAddress(senderV4).toString() : sender.toString(), printerAddress));
      continue;
    }
    // The printer answered, whatever it said.
    if (replyArrived(silence)) lastStatusCode = 0;
    if (bytesRead > 0 && statusLines(buffer).isEmpty()) {
      noteBadDatagram(QStringLiteral("datagram of %1 bytes from the printer holds no status").arg(bytesRead));
      continue;
    }

    logLine("read socket");
    logLine("receive something");
    logLine(QStringLiteral("byte_read = %1").arg(bytesRead));
    if (bytesRead > 0) {
      logLine(QStringLiteral("receive = ") + QString::fromUtf8(buffer));
      execReturnMsg(buffer);
      continue;
    }
    logLine(QStringLiteral("byte_read = %1").arg(0));
    const IdleOutcome outcome = idleReply(bubbleCode, idleReplyCount, variant.idleRule);
    idleReplyCount = outcome.idleReplyCount;
    if (outcome.declareReady) showMessageOnWindow(Information, tr(kReadyTitle), tr(kReadyText));
  }
}

// ---------------------------------------------------------------- decoding

void MainWindow::execReturnMsg(const QByteArray &reply) {
  // The printer answered: the tray leaves the connecting icon even when the
  // answer changes nothing on the window.
  if (trayConnecting) setIcon(bubbleLevel);
  logLine(QString::fromLatin1(variant.replyTrace) + QString::fromUtf8(reply));
  const QString rule(46, QLatin1Char('='));
  logLine(rule);
  for (const QByteArray &line : statusLines(reply)) showMessageState(line);
  logLine(rule);
}

void MainWindow::showMessageState(const QByteArray &line) {
  const int code = statusCodeOf(line);
  logLine(QStringLiteral("MY CODE = %1").arg(code));
  DecoderState state;
  state.lastStatusCode = lastStatusCode;
  state.bubbleLevel = bubbleLevel;
  state.windowHidden = windowHidden;
  state.jobPending = variant.transport == Transport::Udp ? netJobPending : usbJobPending;
  const CodeDecision decision = decideCode(code, state, variant.decoder);
  if (decision.repeat) return;
  lastStatusCode = code;
  if (decision.show) showMessageOnWindow(decision.show->level, decision.show->title, decision.show->text, code);
  if (decision.feedBackReady) justStatusCodeShow(10001);
  if (decision.refreshJobInfo) readPrintJobInfo();
}

void MainWindow::justStatusCodeShow(int code) { showMessageState(statusLineFor(code)); }

// ------------------------------------------------------------ presentation

void MainWindow::showMessageOnWindow(int level, const QString &title, const QString &text, int code) {
  const LevelLook look = levelLook(level);
  // The message already on the window (the printer repeating its state):
  // the content is refreshed, but a window the user or the hide timer put
  // away stays away.
  const bool repeat = level == shownLevel && title == shownTitle && text == shownText;
  if (look.known) {
    QPalette palette;
    palette.setBrush(QPalette::All, QPalette::WindowText, QBrush(QColor(Qt::GlobalColor(look.titleColour))));
    ui->printer_state->setPalette(palette);
    if (!repeat) {
      hideTimer->start(look.hideIntervalMs);
      if (look.window == WindowAction::Show) show();
      if (look.window == WindowAction::Hide) hide();
      if (look.clearsWindowHidden) windowHidden = 0;
    }
    if (look.balloon) triggerBubbleOn(level, title, text, code);
  }
  shownLevel = level;
  shownTitle = title;
  shownText = text;
  ui->printer_img->setPixmap(look.picture.isEmpty() ? QPixmap() : QPixmap(look.picture));
  ui->printer_state->setText(title);
  ui->printer_help->setText(text);
  fitText();
}

// The height a wrapped label needs at a width: what the label says, or what
// drawing the text takes where that is more (QLabel can come out one pixel
// short at some densities).
static int neededHeight(const QLabel *label, int width) {
  const QMargins m = label->contentsMargins();
  const int room = width - m.left() - m.right();
  const QRect drawn = label->fontMetrics().boundingRect(QRect(0, 0, room, 100000),
                                                        int(label->alignment()) | Qt::TextWordWrap, label->text());
  return std::max(label->heightForWidth(width), drawn.height() + m.top() + m.bottom());
}

void MainWindow::fitText() {
  QLabel *state = ui->printer_state;
  QLabel *help = ui->printer_help;
  const TextFit fit = fitStatusText(variant.stateGeometry, variant.helpGeometry,
                                    neededHeight(state, variant.stateGeometry.width()),
                                    neededHeight(help, variant.helpGeometry.width()));
  state->setGeometry(fit.state);
  help->setGeometry(fit.help);
  ui->groupBox->move(jobPanePosition + QPoint(0, fit.grow));
  const QSize size(formSize.width(), formSize.height() + fit.grow);
  if (size == this->size()) return;
  ui->tabWidget->resize(size);
  setFixedSize(size);
  placeWindow();
}

void MainWindow::placeWindow() {
  const QRect available = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->availableGeometry()
                                                           : QRect(0, 0, 1024, 768);
  // The window manager's frame is known once the window was shown; move()
  // places the frame's corner.
  const QSize frame = size() + (frameGeometry().size() - geometry().size());
  move(windowPosition(available, frame, trayIcon ? trayIcon->geometry() : QRect()));
}

void MainWindow::showEvent(QShowEvent *event) {
  QWidget::showEvent(event);
  // The frame comes with the window manager's answer to the first showing:
  // the window is placed again once it is there.
  QTimer::singleShot(kFrameSettleMs, this, [this] {
    if (isVisible()) placeWindow();
  });
}

void MainWindow::triggerBubbleOn(int level, const QString &title, const QString &text, int code) {
  const bool popUp =
      raisesBalloon(level, title, text, bubbleLevel, bubbleTitle, bubbleText, variant.balloonOnChangeOnly);
  // The stored balloon (shown again on a middle click) is always the message
  // on the window.
  bubbleText = text;
  bubbleCode = code;
  bubbleTitle = title;
  bubbleLevel = level;
  setIcon(level);
  if (popUp) showMessage();
}

void MainWindow::showMessage() {
  trayIcon->showMessage(bubbleTitle, bubbleText, balloonIconOf(bubbleLevel),
                        balloonDurationMs(bubbleLevel, variant.fixedBalloonDurationMs));
}

void MainWindow::setIcon(int index) {
  trayConnecting = false;
  trayIcon->setIcon(trayIconList->itemIcon(index));
  trayIcon->setToolTip(trayIconList->itemText(index));
}

QSystemTrayIcon::MessageIcon MainWindow::balloonIconOf(int level) const {
  const int index = balloonIconList->findData(balloonIcon(level));
  if (index < 0) return QSystemTrayIcon::NoIcon;
  return QSystemTrayIcon::MessageIcon(balloonIconList->itemData(index).toInt());
}

QString MainWindow::configFile(const char *name) const {
  return QString::fromStdString(variant.queueDir()) + QLatin1Char('/') + QLatin1String(name);
}

bool MainWindow::readConfigLines(const char *name, qint64 limit, QStringList *lines) {
  QByteArray content;
  if (!readRecordFile(configFile(name), limit, &content)) {
    logLine("open file failed");
    return false;
  }
  lines->append(recordLines(content));
  return true;
}

QString MainWindow::readPrinterState() {
  QStringList lines;
  if (!readConfigLines(kpx::records::kPrinterState, kStateRecordLimit, &lines)) return QString();
  int consumed = 0;
  const QString chosen = choosePrinterStateLine(lines, &consumed);
  for (int i = 0; i < consumed; ++i) logLine(QStringLiteral("read line = ") + lines.at(i));
  return chosen;
}

// --------------------------------------------------------------- job pane

void MainWindow::readPrintJobInfo() {
  QStringList lines;
  readConfigLines(kpx::records::kPrinterInfo, kSmallRecordLimit, &lines);  // a missing record leaves the pane blank
  const JobRecord record = parseJobRecord(lines);
  ui->printer_resolution->setText(qualityText(record.resolution));
  ui->printer_mediatype->setText(mediaTypeText(record.mediatype));
  ui->printer_pagesize->setText(paperSizeText(record.papersize));
  ui->printer_inputslot->setText(inputSlotText(record.inputslot));
  ui->printer_duplex->setText(duplexText(record.duplex));
}
