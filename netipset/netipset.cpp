#include "netipset.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QEvent>
#include <QFile>
#include <QPalette>
#include <QProcess>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <cstring>
#include <vector>

#include "netipset_core.h"
#include "paths.h"
#include "ui_netipset.h"
#include "usb_session.h"

namespace {

const char kNotFoundMessage[] = "查找打印机失败，请检查打印机USB连接状况或添加网络打印机";
const char kUsbLinkOk[] = "打印机USB连接正常";
const char kAddOk[] = "添加网络打印机成功！";
const char kAddFailed[] = "添加网络打印机失败！";

}  // namespace

netIpSet::netIpSet(QWidget *parent)
    : QMainWindow(parent), link(usb_communicate::kSetupConfig, [](const std::string &line) { qDebug().noquote() << QString::fromStdString(line); }), ui(new Ui::netIpSet) {
  ui->setupUi(this);
  checkIpCmd = kpxnip::kQueryCommand;
  setIpCmd = kpxnip::kSetCommandStart;

  UsbSession session(link);

  // Every message of the status line shows in red.
  QPalette palette = ui->informationAdmin->palette();
  palette.setColor(QPalette::WindowText, Qt::red);
  ui->informationAdmin->setPalette(palette);

  if (!session.isOpen()) {
    printerNotFound();
    return;
  }
  enableChange(true);
  showStatus(QString::fromUtf8(kUsbLinkOk));
  queryIp();
}

netIpSet::~netIpSet() { delete ui; }

void netIpSet::changeEvent(QEvent *event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::LanguageChange) ui->retranslateUi(this);
}

void netIpSet::showStatus(const QString &text) { ui->informationAdmin->setText(text); }

// Not found on USB, or it could not be opened: offer the network form.
void netIpSet::printerNotFound() {
  showStatus(QString::fromUtf8(kNotFoundMessage));
  enableChange(false);
}

// Asks the open printer for its settings and shows them (or the failure).
void netIpSet::queryIp() {
  QByteArray reply = writeAndReadPrinter(checkIpCmd);
  if (reply.contains(kpxnip::kReadIpError) || reply.contains(kpxnip::kSendError))
    findIp(QByteArray());
  else
    findIp(reply);
}

void netIpSet::enableChange(bool usb) {
  ui->IDOK->setEnabled(usb);
  ui->clearBtn->setEnabled(usb);
  ui->ipEdit->setEnabled(usb);
  ui->maskEdit->setEnabled(usb);
  ui->portEdit->setEnabled(usb);
  if (usb) ui->findPrinter->setEnabled(true);
  ui->addPrinter->setEnabled(!usb);
  ui->netIp->setEnabled(!usb);
  ui->groupBox_2->setVisible(usb);
  ui->groupBox_3->setVisible(!usb);
}

void netIpSet::on_findPrinter_clicked() {
  // The line comes twice, as log readers know it; the printer is never
  // held between handlers, so nothing is released in between.
  qDebug() << "on_findPrinter_clicked";
  qDebug() << "on_findPrinter_clicked";
  UsbSession session(link);
  if (!session.isOpen()) {
    printerNotFound();
    return;
  }
  enableChange(true);
  showStatus(QString::fromUtf8(kUsbLinkOk));
  qDebug() << "check ip";
  queryIp();
}

void netIpSet::on_IDOK_clicked() {
  const QString address = ui->ipEdit->text();
  const QString mask = ui->maskEdit->text();
  const QString gateway = ui->portEdit->text();
  const QString complaint = kpxnip::settingsComplaint(address, mask, gateway);
  if (!complaint.isEmpty()) {
    showStatus(complaint);
    return;
  }
  // Each value as the printer will take it; the form shows what was used.
  const QString ip = kpxnip::normalizedAddress(address);
  const QString plainMask = kpxnip::normalizedAddress(mask);
  const QString plainGateway = kpxnip::normalizedAddress(gateway);
  ui->ipEdit->setText(ip);
  ui->maskEdit->setText(plainMask);
  ui->portEdit->setText(plainGateway);
  ui->netIp->setText(ip);
  // A queue for an address the printer did not get would print nowhere.
  if (!setIp(kpxnip::encodeSettings(ip, plainMask, plainGateway))) return;
  addPrinter(ip);
}

void netIpSet::on_addPrinter_clicked() {
  const QString complaint = kpxnip::addressComplaint(ui->netIp->text());
  if (!complaint.isEmpty()) {
    showStatus(complaint);
    return;
  }
  const QString address = kpxnip::normalizedAddress(ui->netIp->text());
  ui->netIp->setText(address);
  // On failure the window stays, with the message, for another try.
  if (addPrinter(address)) close();
}

void netIpSet::on_clearBtn_clicked() {
  ui->ipEdit->clear();
  ui->maskEdit->clear();
  ui->portEdit->clear();
}

// Leaves without changing anything: the printer, CUPS and netIpInfo stay
// as they are.
void netIpSet::on_IDCANCEL_clicked() { close(); }

// ------------------------------------------------------------ exchanges

QByteArray netIpSet::writeAndReadPrinter(const QByteArray &command) {
  qDebug() << "write and read pinrter";
  unsigned char reply[kpxnip::kReplyBufferSize];
  std::memset(reply, 0, sizeof reply);

  std::vector<unsigned char> bytes(command.begin(), command.end());
  if (link.SendCmd(bytes.data(), static_cast<unsigned int>(bytes.size())) != UsbStatus::Ok)
    return QByteArray(kpxnip::kSendError);

  QElapsedTimer sinceSent;
  sinceSent.start();
  kpxnip::ReplyReader reader(static_cast<int>(usb_communicate::kSetupConfig.timeoutMs));
  for (;;) {
    const int result = kpxnip::resultOf(link.ReadCmd(reply, sizeof reply));
    kpxnip::ReplyStep step = reader.feed(result, reply, sinceSent.elapsed());
    if (step.kind == kpxnip::ReplyStep::Done) return step.result;
  }
}

void netIpSet::findIp(const QByteArray &payload) {
  if (payload.isEmpty()) {
    ui->ipEdit->setText(QString());
    ui->Ip_label->setText(QString());
    ui->maskEdit->setText(QString());
    ui->Mask_label->setText(QString());
    ui->portEdit->setText(QString());
    ui->Port_label->setText(QString());
    ui->netIp->setText(QString());
    showStatus(tr("获取当前打印机IP地址失败！"));
    return;
  }
  const kpxnip::Settings s = kpxnip::decodeSettings(payload);
  for (const QString &line : s.debugLines) qDebug().noquote() << line;
  ui->ipEdit->setText(s.address);
  ui->Ip_label->setText(s.address);
  ui->maskEdit->setText(s.mask);
  ui->Mask_label->setText(s.mask);
  ui->portEdit->setText(s.gateway);
  ui->Port_label->setText(s.gateway);
  ui->netIp->setText(s.address);
  showStatus(tr("获取当前打印机IP地址成功！"));
}

bool netIpSet::setIp(const QByteArray &block) {
  UsbSession session(link);
  if (!session.isOpen()) {
    printerNotFound();
    return false;
  }
  setIpCmd.append(block);
  setIpCmd.append(';');
  // The printer does not confirm; a write that failed did not reach it.
  const bool written = onlyWriteToPrinter(setIpCmd);
  setIpCmd = kpxnip::kSetCommandStart;
  session.release();
  if (!written) printerNotFound();
  return written;
}

bool netIpSet::onlyWriteToPrinter(const QByteArray &command) {
  unsigned char bytes[kpxnip::kSetCommandSize];
  std::memset(bytes, 0, sizeof bytes);
  std::memcpy(bytes, command.constData(),
              std::min<size_t>(sizeof bytes, static_cast<size_t>(command.size())));
  return link.SendCmd(bytes, sizeof bytes) == UsbStatus::Ok;
}

// ---------------------------------------------------------- the queue

// The tools are "/usr/sbin/lpadmin", "/etc/init.d/cups" and "service". The
// environment variable KPX_COMMAND_DIR, when set, names a directory that
// holds "lpadmin", "cups" and "service" to run instead (the tests' private
// CUPS and stand-ins); nothing else changes.
bool netIpSet::addPrinter(const QString &address) {
  const kpxnip::CommandPaths paths =
      kpxnip::commandPaths(qEnvironmentVariable("KPX_COMMAND_DIR"));
  for (const kpxnip::Command &command :
       {kpxnip::createQueueCommand(paths, address), kpxnip::defaultQueueCommand(paths)}) {
    const kpxnip::CommandOutcome outcome = runCommand(command);
    if (!kpxnip::succeeded(outcome)) {
      showStatus(QString::fromUtf8(kAddFailed) + kpxnip::failureReason(command, outcome));
      return false;
    }
  }
  // A failed restart leaves a working queue behind; it does not count.
  runCommand(kpxnip::restartCommand(paths, QFile::exists(paths.initScript)));
  writeNetIptoFile(address);
  showStatus(QString::fromUtf8(kAddOk));
  return true;
}

// Runs one tool and waits for it, at most kCommandTimeLimitMs, keeping the
// window painted (its controls off meanwhile). Standard output goes where
// ours goes; the start of standard error is kept for the reason of a
// failure.
kpxnip::CommandOutcome netIpSet::runCommand(const kpxnip::Command &command) {
  kpxnip::CommandOutcome outcome;
  QProcess process;
  process.setProcessChannelMode(QProcess::ForwardedOutputChannel);
  process.start(command.program, command.arguments);
  if (!process.waitForStarted(-1)) {
    qDebug().noquote() << QStringLiteral("cannot run %1").arg(command.program);
    return outcome;
  }
  connect(&process, &QProcess::readyReadStandardError, this, [&] {
    kpxnip::keepErrorOutput(outcome.errorOutput, process.readAllStandardError());
  });
  QEventLoop wait;
  QTimer limit;
  limit.setSingleShot(true);
  connect(&limit, &QTimer::timeout, &wait, &QEventLoop::quit);
  connect(&process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), &wait,
          &QEventLoop::quit);
  ui->centralWidget->setEnabled(false);
  limit.start(kpxnip::kCommandTimeLimitMs);
  if (process.state() != QProcess::NotRunning) wait.exec();
  // The loop ends early when the application quits: the tool still gets
  // the rest of its time.
  if (process.state() != QProcess::NotRunning && limit.isActive())
    process.waitForFinished(limit.remainingTime());
  ui->centralWidget->setEnabled(true);
  if (process.state() != QProcess::NotRunning) {
    process.kill();
    process.waitForFinished(-1);
    outcome.kind = kpxnip::CommandOutcome::TimedOut;
  } else if (process.exitStatus() != QProcess::NormalExit) {
    outcome.kind = kpxnip::CommandOutcome::Crashed;
  } else {
    outcome.kind = kpxnip::CommandOutcome::Exited;
    outcome.exitCode = process.exitCode();
  }
  kpxnip::keepErrorOutput(outcome.errorOutput, process.readAllStandardError());
  if (!kpxnip::succeeded(outcome))
    qDebug().noquote() << QStringLiteral("%1 %2 failed: %3")
                              .arg(command.program, command.arguments.join(QLatin1Char(' ')),
                                   kpxnip::failureReason(command, outcome));
  return outcome;
}

void netIpSet::writeNetIptoFile(const QString &address) {
  QFile file(kpxnip::netIpInfoPath(QString::fromStdString(kpx::netQueueDir())));
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
    qDebug() << "open file failed";
    return;
  }
  {
    QTextStream out(&file);
    out << kpxnip::netIpInfoContent(address);
  }
  file.close();
}
