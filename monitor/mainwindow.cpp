#include "mainwindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QEventLoop>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QMenu>
#include <QPalette>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QStyle>
#include <QTextStream>
#include <QTimer>
#include <QUdpSocket>

#include "ui_mainwindow.h"

using namespace kpxmon;

namespace {

void logLine(const QString &line) { qDebug().noquote() << line; }

const char kReadyTitle[] = "打印机准备就绪";
const char kReadyText[] = "打印机准备就绪，等待打印任务";
const char kConnectedTitle[] = "连接成功！";
const char kConnectedText[] = "状态监视器连接打印机成功！";
const int kReplyBufferSize = 8192;
const int kLpstatWaitMs = 30000;
const int kTrayWaitMs = 4000;

QString tabStyle() { return QStringLiteral("QTabBar::tab:disabled{width:0;color:transparent;}"); }

}  // namespace

int MainWindow::trayWaitRounds = 3;

void MainWindow::setTrayWaitRounds(int rounds) { trayWaitRounds = rounds; }

MainWindow::MainWindow(const MonitorVariant &v, QWidget *parent)
    : QWidget(parent), variant(v), ui((v.loadResources(), new Ui::MainWindow)) {
  statusCommand = QByteArray(variant.statusCommand);
  if (variant.makeLink) usbLink = variant.makeLink();
  ui->setupUi(this);
  ui->printer_state->setGeometry(variant.stateGeometry);
  ui->printer_help->setGeometry(variant.helpGeometry);

  // Only the status page can be seen: the other tabs are disabled and take no room.
  ui->tabWidget->setTabEnabled(1, false);
  ui->tabWidget->setStyleSheet(tabStyle());
  ui->tabWidget->setTabEnabled(2, false);
  ui->tabWidget->setStyleSheet(tabStyle());

  setWindowTitle(tr(variant.windowTitle));

  const QRect available = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->availableGeometry()
                                                           : QRect(0, 0, 1024, 768);
  const QSize size = this->size();
  move(windowPosition(available, size));
  setFixedSize(size);
  setWindowFlags(Qt::WindowStaysOnTopHint);

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
  setVisible(true);

  pollTimer = new QTimer(this);
  hideTimer = new QTimer(this);
  hideTimer->setInterval(variant.firstHideIntervalMs);
  pollTimer->setInterval(variant.pollIntervalMs);

  if (variant.startBalloon)
    triggerBubbleOn(Information, QString::fromUtf8("通知"), QString::fromUtf8("KPX7720MW状态监控启动"));
  showMessageOnWindow(Information, tr(variant.startTitle), tr(variant.startText));

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
      logLine(QStringLiteral("bind UDP port %1 failed: %2").arg(monitorUdpPort()).arg(statusSocket->errorString()));
    connect(statusSocket, SIGNAL(readyRead()), this, SLOT(readSocket()));
  }
}

MainWindow::~MainWindow() { delete ui; }

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
  if (variant.transport == Transport::Udp)
    netQueryCycle();
  else
    usbPollCycle();
}

void MainWindow::usbPollCycle() {
  checkPrintingProcess();
  usbJobPending = checkPrintJob();
  const bool busy = usbJobPending && filterRunning;

  // A link left open by a failed release is given back before anything
  // else; while it cannot be, the device is not opened again.
  if (deviceHeld != 0 && usbLink) {
    if (usbLink->releaseDevice() == 0) {
      deviceHeld = 0;
      logLine("release device ok");
    } else {
      logLine("release device error");
      if (!busy) return;
    }
  }

  int result = 255;
  if (!busy) {
    result = usbLink ? usbLink->initDevice() : 252;
    lastStatusCode = 0;
  }
  logLine(QStringLiteral("i = %1").arg(result));

  if (result == 252) {
    logLine("find device error");
    if (usbErrorShown == 0)
      showMessageOnWindow(Critical, tr("警告"), tr("USB连接错误！\n请检查打印机和电脑的USB连接状态"));
    idleReplyCount = 0;
    connectAnnounced = 0;
    deviceHeld = 0;
    usbErrorShown = 1;
    return;
  }
  if (result == 255) {
    idleReplyCount = 0;
    if (!busy) deviceHeld = 0;  // initDevice closed what it had opened
    usbErrorShown = 0;
    if ((usbLink && usbLink->checkUSBDevice()) || windowHidden != 1) {
      readPrintJobInfo();
      logLine("get----device-----error");
      execReturnMsg(readPrinterState().toUtf8());
    } else {
      showMessageOnWindow(Critical, tr("警告"), tr("打印队列非空，但USB连接错误！\n请检查打印机和电脑的USB连接状态"));
    }
    return;
  }

  logLine("connect ok");
  usbErrorShown = 0;
  if (connectAnnounced == 0) showMessageOnWindow(Information, tr(kConnectedTitle), tr(kConnectedText));
  deviceHeld = 1;
  if (!pollTimer->isActive()) pollTimer->start();
  connectAnnounced = 1;

  queueLinked = checkPrinterLink();
  const QString plus(46, QLatin1Char('+'));
  logLine(plus);
  const int sent = usbLink->SendCmd(reinterpret_cast<unsigned char *>(statusCommand.data()),
                                    static_cast<unsigned int>(statusCommand.size()));
  logLine(QStringLiteral("send1 %1").arg(sent));
  logLine(plus);

  QByteArray buffer(kReplyBufferSize, '\0');
  const int bytesRead = usbLink->ReadCmd(reinterpret_cast<unsigned char *>(buffer.data()), kReplyBufferSize);

  QByteArray reply;
  bool idle = false;
  if (!queueLinked) {
    showMessageOnWindow(Quiet, tr(kConnectedTitle), tr(kConnectedText));
    idle = true;
  } else if (bytesRead != 0) {
    reply = untilNul(buffer);
  } else {
    idle = true;
  }
  if (idle) {
    logLine(QStringLiteral("byte_read = %1").arg(0));
    const IdleOutcome outcome = idleReply(bubbleText, idleReplyCount, variant.idleRule);
    idleReplyCount = outcome.idleReplyCount;
    if (outcome.declareReady) showMessageOnWindow(Information, tr(kReadyTitle), tr(kReadyText));
  }

  execReturnMsg(reply);

  if (usbLink->releaseDevice() != 0) {
    deviceHeld = 1;
    logLine("release device error");
  } else {
    deviceHeld = 0;
    logLine("release device ok");
  }
}

QString MainWindow::runLpstat(const QStringList &arguments) {
  QProcess lpstat;
  lpstat.start(QStringLiteral("lpstat"), arguments, QIODevice::ReadWrite);
  if (!lpstat.waitForFinished(kLpstatWaitMs) && lpstat.state() != QProcess::NotRunning) {
    lpstat.kill();
    lpstat.waitForFinished(1000);
  }
  return QString::fromLocal8Bit(untilNul(lpstat.readAllStandardOutput()));
}

bool MainWindow::checkPrinterLink() {
  const QueueCounts c = countQueues(runLpstat({QStringLiteral("-a")}));
  logLine(QString::asprintf("usbPrinter = %d, netPrinter = %d", c.usb, c.net));
  return usbQueueInstalled(c);
}

bool MainWindow::checkPrintJob() {
  QStringList arguments;
  for (const std::string &a : variant.jobCheckArguments) arguments.append(QString::fromStdString(a));
  const QueueCounts c = countQueues(runLpstat(arguments));
  logLine(QString::asprintf("usbPrinter Job= %d, netPrinter Job= %d", c.usb, c.net));
  return variant.jobQueued(c);
}

void MainWindow::checkPrintingProcess() {
  const QStringList entries = QDir(QStringLiteral("/proc")).entryList();
  auto readStat = [](const QString &entry) {
    QFile stat(QStringLiteral("/proc/") + entry + QStringLiteral("/stat"));
    if (!stat.open(QIODevice::ReadOnly)) {
      logLine("the pid stat file can not open!");
      return QString();
    }
    return QString::fromLocal8Bit(stat.readLine()).trimmed();
  };
  filterRunning = findProcess(entries, readStat, QLatin1String(kUsbFilterProcess));
}

// ------------------------------------------------------ network query cycle

void MainWindow::netQueryCycle() {
  netJobPending = checkPrintJob();
  // While sending fails the address file is read again, so that a repaired or
  // newly written one is picked up.
  if (netErrorShown == 1) printerAddress = readNetIpInfo();

  // An address that does not parse is a failed send: Qt would otherwise send
  // to the null address, which Linux delivers to this host.
  const QHostAddress printer(printerAddress);
  const qint64 sent =
      printer.isNull() ? -1 : statusSocket->writeDatagram(statusCommand.left(10), printer, printerUdpPort());
  logLine(QStringLiteral("UDP send ret = %1").arg(sent));

  const SendOutcome outcome = querySent(sent != -1, netErrorShown);
  if (sent == -1) logLine("socket link to device error");
  if (outcome.showWarning)
    showMessageOnWindow(Critical, tr("警告"), tr("网络连接错误！\n请检查打印机和电脑的网线连接状态"));
  if (outcome.resetLastCode) lastStatusCode = 0;
  if (outcome.refreshJobInfo) readPrintJobInfo();
  netErrorShown = outcome.netErrorShown;
}

QString MainWindow::readNetIpInfo() {
  QStringList lines;
  if (!readConfigLines("netIpInfo", &lines)) return QString();
  return netIpInfoAddress(lines);
}

void MainWindow::readSocket() {
  logLine("read socket");
  logLine("receive something");
  QByteArray buffer(int(qMax<qint64>(statusSocket->bytesAvailable(), 0)), '\0');
  QHostAddress sender;
  const qint64 bytesRead = statusSocket->readDatagram(buffer.data(), buffer.size(), &sender);
  logLine(QStringLiteral("byte_read = %1").arg(bytesRead));
  if (bytesRead < 0) return;

  // Only the printer's own status counts: anything else arriving on the port
  // (another host, a stray program) would otherwise put its text on screen.
  if (!datagramFromPrinter(sender, printerAddress)) {
    bool v4 = false;
    const quint32 senderV4 = sender.toIPv4Address(&v4);
    logLine(QStringLiteral("datagram from %1 dropped: not the printer (%2)")
                .arg(v4 ? QHostAddress(senderV4).toString() : sender.toString(), printerAddress));
    return;
  }

  if (bytesRead > 0) {
    buffer.truncate(int(bytesRead));
    logLine(QStringLiteral("receive = ") + QString::fromUtf8(buffer));
    execReturnMsg(buffer);
    return;
  }

  logLine(QStringLiteral("byte_read = %1").arg(0));
  const IdleOutcome outcome = idleReply(bubbleText, idleReplyCount, variant.idleRule);
  idleReplyCount = outcome.idleReplyCount;
  if (outcome.declareReady) showMessageOnWindow(Information, tr(kReadyTitle), tr(kReadyText));
}

// ---------------------------------------------------------------- decoding

void MainWindow::execReturnMsg(const QByteArray &reply) {
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
  if (decision.show) showMessageOnWindow(decision.show->level, decision.show->title, decision.show->text);
  if (decision.feedBackReady) justStatusCodeShow(10001);
  if (decision.refreshJobInfo) readPrintJobInfo();
}

void MainWindow::justStatusCodeShow(int code) { showMessageState(statusLineFor(code)); }

// ------------------------------------------------------------ presentation

void MainWindow::showMessageOnWindow(int level, const QString &title, const QString &text) {
  const LevelLook look = levelLook(level);
  if (look.known) {
    QPalette palette;
    palette.setBrush(QPalette::All, QPalette::WindowText, QBrush(QColor(Qt::GlobalColor(look.titleColour))));
    ui->printer_state->setPalette(palette);
    hideTimer->start(look.hideIntervalMs);
    if (look.window == WindowAction::Show) show();
    if (look.window == WindowAction::Hide) hide();
    if (look.clearsWindowHidden) windowHidden = 0;
    if (look.balloon) triggerBubbleOn(level, title, text);
  }
  ui->printer_img->setPixmap(look.picture.isEmpty() ? QPixmap() : QPixmap(look.picture));
  ui->printer_state->setText(title);
  ui->printer_help->setText(text);
}

void MainWindow::triggerBubbleOn(int level, const QString &title, const QString &text) {
  if (!raisesBalloon(level, bubbleLevel, variant.balloonOnLevelChangeOnly)) return;
  bubbleText = text;
  bubbleTitle = title;
  bubbleLevel = level;
  setIcon(level);
  showMessage();
}

void MainWindow::showMessage() {
  trayIcon->showMessage(bubbleTitle, bubbleText, balloonIconOf(bubbleLevel),
                        balloonDurationMs(bubbleLevel, variant.fixedBalloonDurationMs));
}

void MainWindow::setIcon(int index) {
  trayIcon->setIcon(trayIconList->itemIcon(index));
  trayIcon->setToolTip(trayIconList->itemText(index));
}

QSystemTrayIcon::MessageIcon MainWindow::balloonIconOf(int level) const {
  const int index = balloonIconList->findData(balloonIcon(level));
  if (index < 0) return QSystemTrayIcon::NoIcon;
  return QSystemTrayIcon::MessageIcon(balloonIconList->itemData(index).toInt());
}

int MainWindow::execMessageLevel(const QString &line) { return kpxmon::execMessageLevel(line); }

QString MainWindow::configFile(const char *name) const {
  return QString::fromStdString(variant.queueDir()) + QStringLiteral("/config/") + QLatin1String(name);
}

bool MainWindow::readConfigLines(const char *name, QStringList *lines) {
  QFile file(configFile(name));
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
    logLine("open file failed");
    return false;
  }
  QTextStream in(&file);
  while (!in.atEnd()) lines->append(in.readLine());
  return true;
}

QString MainWindow::readPrinterState() {
  QStringList lines;
  if (!readConfigLines("printerState", &lines)) return QString();
  int consumed = 0;
  const QString chosen = choosePrinterStateLine(lines, &consumed);
  for (int i = 0; i < consumed; ++i) logLine(QStringLiteral("read line = ") + lines.at(i));
  return chosen;
}

// --------------------------------------------------------------- job pane

void MainWindow::readPrintJobInfo() {
  QStringList lines;
  readConfigLines("printerInfo", &lines);  // a missing record leaves the pane blank
  const JobRecord record = parseJobRecord(lines);
  ui->printer_resolution->setText(qualityText(record.resolution));
  ui->printer_mediatype->setText(mediaTypeText(record.mediatype));
  ui->printer_pagesize->setText(paperSizeText(record.papersize));
  ui->printer_inputslot->setText(inputSlotText(record.inputslot));
  ui->printer_duplex->setText(duplexText(record.duplex));
}
