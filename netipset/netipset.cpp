#include "netipset.h"

#include <QDebug>
#include <QEvent>
#include <QFile>
#include <QPalette>
#include <QProcess>
#include <QTextStream>

#include <algorithm>
#include <cstring>
#include <vector>

#include "netipset_core.h"
#include "paths.h"
#include "ui_netipset.h"

namespace {

const int kNotFound = 252;
const int kDriverFailed = 255;

const char kNotFoundMessage[] = "查找打印机失败，请检查打印机USB连接状况或添加网络打印机";
const char kUsbLinkOk[] = "打印机USB连接正常";
const char kAddOk[] = "添加网络打印机成功！";
const char kAddFailed[] = "添加网络打印机失败！";

// Runs one command and waits for it; true when it started and exited with
// status 0. Its output goes where ours goes.
bool runCommand(const kpxnip::Command &command) {
  QProcess process;
  process.setProcessChannelMode(QProcess::ForwardedChannels);
  process.start(command.program, command.arguments);
  if (!process.waitForStarted(-1)) {
    qDebug().noquote() << QStringLiteral("cannot run %1").arg(command.program);
    return false;
  }
  process.waitForFinished(-1);
  if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
    qDebug().noquote() << QStringLiteral("%1 %2 failed with status %3")
                              .arg(command.program, command.arguments.join(QLatin1Char(' ')))
                              .arg(process.exitCode());
    return false;
  }
  return true;
}

}  // namespace

netIpSet::netIpSet(QWidget *parent)
    : QMainWindow(parent), link(usb_communicate::kSetupConfig), ui(new Ui::netIpSet) {
  ui->setupUi(this);
  checkIpCmd = kpxnip::kQueryCommand;
  setIpCmd = kpxnip::kSetCommandStart;
  deviceOpen = false;

  int opened;
  if (link.checkUSBDevice()) {
    qDebug() << "device attached";
    opened = link.initDevice();
  } else {
    qDebug() << "device disattach";
    opened = kDriverFailed;
  }

  // Every message of the status line shows in red.
  QPalette palette = ui->informationAdmin->palette();
  palette.setColor(QPalette::WindowText, Qt::red);
  ui->informationAdmin->setPalette(palette);

  if (opened == kNotFound || opened == kDriverFailed) {
    printerNotFound();
    return;
  }
  deviceOpen = true;
  enableChange(true);
  showStatus(QString::fromUtf8(kUsbLinkOk));
  queryIp();
  link.releaseDevice();
  deviceOpen = false;
}

netIpSet::~netIpSet() { delete ui; }

void netIpSet::changeEvent(QEvent *event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::LanguageChange) ui->retranslateUi(this);
}

void netIpSet::showStatus(const QString &text) { ui->informationAdmin->setText(text); }

// Not found on USB, or it could not be opened: offer the network form.
void netIpSet::printerNotFound() {
  deviceOpen = false;
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

bool netIpSet::checkIp(const QString &text) { return kpxnip::checkIp(text); }

void netIpSet::on_findPrinter_clicked() {
  qDebug() << "on_findPrinter_clicked";
  if (deviceOpen) {
    qDebug() << "release device";
    link.releaseDevice();
  }
  qDebug() << "on_findPrinter_clicked";
  if (link.checkUSBDevice()) {
    qDebug() << "device attached";
    int opened = link.initDevice();
    if (opened != kNotFound && opened != kDriverFailed) {
      deviceOpen = true;
      enableChange(true);
      showStatus(QString::fromUtf8(kUsbLinkOk));
      qDebug() << "check ip";
      queryIp();
      link.releaseDevice();
      deviceOpen = false;
      return;
    }
  } else {
    qDebug() << "device disattach";
  }
  printerNotFound();
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
  ui->netIp->setText(address);
  setIp(HexStrToByteArray(StringToHenStr(address) + StringToHenStr(mask) +
                          StringToHenStr(gateway)));
  // The queue is wanted whether or not the printer took the settings.
  addPrinter(address);
}

void netIpSet::on_addPrinter_clicked() {
  const QString address = ui->netIp->text();
  const QString complaint = kpxnip::addressComplaint(address);
  if (!complaint.isEmpty()) {
    showStatus(complaint);
    return;
  }
  // On failure the window stays, with the message, for another try.
  if (addPrinter(address)) close();
}

void netIpSet::on_clearBtn_clicked() {
  ui->ipEdit->clear();
  ui->maskEdit->clear();
  ui->portEdit->clear();
}

void netIpSet::on_IDCANCEL_clicked() {
  on_IDOK_clicked();
  if (deviceOpen) link.releaseDevice();
  close();
}

// ------------------------------------------------------------ exchanges

QByteArray netIpSet::writeAndReadPrinter(const QByteArray &command) {
  qDebug() << "write and read pinrter";
  unsigned char reply[kpxnip::kReplyBufferSize];
  std::memset(reply, 0, sizeof reply);

  std::vector<unsigned char> bytes(command.begin(), command.end());
  if (link.SendCmd(bytes.data(), static_cast<unsigned int>(bytes.size())) != 0)
    return QByteArray(kpxnip::kSendError);

  kpxnip::ReplyReader reader;
  for (;;) {
    int result = link.ReadCmd(reply, sizeof reply);
    kpxnip::ReplyStep step = reader.feed(result, reply);
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

void netIpSet::setIp(const QByteArray &block) {
  if (deviceOpen) link.releaseDevice();
  if (!link.checkUSBDevice()) {
    qDebug() << "device disattach";
    printerNotFound();
    return;
  }
  qDebug() << "device attached";
  int opened = link.initDevice();
  if (opened == kNotFound || opened == kDriverFailed) {
    printerNotFound();
    return;
  }
  deviceOpen = true;
  setIpCmd.append(block);
  setIpCmd.append(';');
  // Not confirmed by the printer; nothing to show either way.
  onlyWriteToPrinter(setIpCmd);
  setIpCmd = kpxnip::kSetCommandStart;
  link.releaseDevice();
  deviceOpen = false;
}

bool netIpSet::onlyWriteToPrinter(const QByteArray &command) {
  unsigned char bytes[kpxnip::kSetCommandSize];
  std::memset(bytes, 0, sizeof bytes);
  std::memcpy(bytes, command.constData(),
              std::min<size_t>(sizeof bytes, static_cast<size_t>(command.size())));
  return link.SendCmd(bytes, sizeof bytes) == 0;
}

QString netIpSet::HexToStr(const QByteArray &block) { return kpxnip::HexToStr(block); }

QString netIpSet::StringToHenStr(const QString &dotted) { return kpxnip::StringToHenStr(dotted); }

QByteArray netIpSet::HexStrToByteArray(const QString &hex) {
  return kpxnip::HexStrToByteArray(hex);
}

int netIpSet::ConvertHexChar(char c) { return kpxnip::ConvertHexChar(c); }

// ---------------------------------------------------------- the queue

// The tools are "/usr/sbin/lpadmin", "/etc/init.d/cups" and "service". The
// environment variable KPX_COMMAND_DIR, when set, names a directory that
// holds "lpadmin", "cups" and "service" to run instead (the tests' private
// CUPS and stand-ins); nothing else changes.
bool netIpSet::addPrinter(const QString &address) {
  const kpxnip::CommandPaths paths =
      kpxnip::commandPaths(qEnvironmentVariable("KPX_COMMAND_DIR"));
  if (!runCommand(kpxnip::createQueueCommand(paths, address)) ||
      !runCommand(kpxnip::defaultQueueCommand(paths))) {
    showStatus(QString::fromUtf8(kAddFailed));
    return false;
  }
  // A failed restart leaves a working queue behind; it does not count.
  runCommand(kpxnip::restartCommand(paths, QFile::exists(paths.initScript)));
  writeNetIptoFile(address);
  showStatus(QString::fromUtf8(kAddOk));
  return true;
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
