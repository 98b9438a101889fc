// Test access to MainWindow's state and private steps, plus the fixtures
// the window tests share: a private install root, a stand-in lpstat on PATH,
// and a QApplication.
#pragma once

#include <QApplication>
#include <QByteArray>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTimer>
#include <QUdpSocket>

#include <string>

#include "mainwindow.h"
#include "ui_mainwindow.h"

struct MonitorProbe {
  MainWindow &w;
  Ui::MainWindow *ui() { return w.ui; }
  QSystemTrayIcon *tray() { return w.trayIcon; }
  QComboBox *trayList() { return w.trayIconList; }
  QComboBox *balloonList() { return w.balloonIconList; }
  QTimer *pollTimer() { return w.pollTimer; }
  QTimer *hideTimer() { return w.hideTimer; }
  QMenu *menu() { return w.trayMenu; }
  QAction *exitAction() { return w.exitAction; }
  int &windowHidden() { return w.windowHidden; }
  int &bubbleLevel() { return w.bubbleLevel; }
  QString bubbleTitle() { return w.bubbleTitle; }
  QString bubbleText() { return w.bubbleText; }
  int &lastStatusCode() { return w.lastStatusCode; }
  bool &usbJobPending() { return w.usbJobPending; }
  bool filterRunning() { return w.filterRunning; }
  int &idleReplyCount() { return w.idleReplyCount; }
  int connectAnnounced() { return w.connectAnnounced; }
  int deviceHeld() { return w.deviceHeld; }
  int usbErrorShown() { return w.usbErrorShown; }
  bool queueLinked() { return w.queueLinked; }
  QByteArray statusCommand() { return w.statusCommand; }
  QUdpSocket *statusSocket() { return w.statusSocket; }
  QString &printerAddress() { return w.printerAddress; }
  int &netErrorShown() { return w.netErrorShown; }
  bool &netJobPending() { return w.netJobPending; }
  QString readNetIpInfo() { return w.readNetIpInfo(); }

  // code: the status code the message stands for (0: the monitor's own).
  void show(int level, const QString &title, const QString &text, int code = 0) {
    w.showMessageOnWindow(level, title, text, code);
  }
  void decode(const QByteArray &reply) { w.execReturnMsg(reply); }
  QString readPrinterState() { return w.readPrinterState(); }
  void readPrintJobInfo() { w.readPrintJobInfo(); }
  void checkPrintingProcess() { w.checkPrintingProcess(); }
  // The lpstat checks and the cycle run through the event loop: these wait
  // for their end.
  bool checkPrintJob() { return waitedFor([this](auto done) { w.checkPrintJob(done); }); }
  bool checkPrinterLink() { return waitedFor([this](auto done) { w.checkPrinterLink(done); }); }
  void poll() {
    w.printerStateCheck();
    while (w.cycleRunning) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  bool cycleRunning() { return w.cycleRunning; }
  int releaseFailures() { return w.releaseFailures; }
  QString title() { return ui()->printer_state->text(); }
  QString help() { return ui()->printer_help->text(); }

 private:
  template <typename Start>
  static bool waitedFor(Start start) {
    bool result = false, finished = false;
    start([&](bool r) {
      result = r;
      finished = true;
    });
    while (!finished) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return result;
  }
};

// A private install root (ZUVA_PRINTERS_ROOT) and a stand-in lpstat that
// prints the files lpstat-a / lpstat-R of the same directory.
class MonitorFixtureDir {
 public:
  MonitorFixtureDir() {
    QDir(dir.path()).mkpath("root/KPX7720MW/config");
    QDir(dir.path()).mkpath("root/KPX7720MW_net/config");
    QDir(dir.path()).mkpath("bin");
    write("bin/lpstat",
          "#!/bin/sh\n"
          "d=$(dirname \"$0\")/..\n"
          "echo \"$*\" >>\"$d/lpstat-args\"\n"
          "case \"$1\" in -a) cat \"$d/lpstat-a\" 2>/dev/null;; -R) cat \"$d/lpstat-R\" 2>/dev/null;; esac\n"
          "exit 0\n");
    QFile::setPermissions(path("bin/lpstat"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    oldPath = qgetenv("PATH");
    qputenv("PATH", path("bin").toUtf8() + ":" + oldPath);
    qputenv("ZUVA_PRINTERS_ROOT", path("root").toUtf8());
    setQueues(true, false);
    setJobs("");
  }
  ~MonitorFixtureDir() {
    qputenv("PATH", oldPath);
    qunsetenv("ZUVA_PRINTERS_ROOT");
  }
  QString path(const QString &rel) const { return QDir(dir.path()).filePath(rel); }
  void write(const QString &rel, const QByteArray &content) {
    QFile f(path(rel));
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(content);
  }
  void remove(const QString &rel) { QFile::remove(path(rel)); }
  void setQueues(bool usb, bool net) {
    QByteArray out;
    if (usb) out += "KPX7720MW accepting requests since Mon 01 Jan 2024 10:00:00 AM CST\n";
    if (net) out += "KPX7720MW-net accepting requests since Mon 01 Jan 2024 10:00:00 AM CST\n";
    write("lpstat-a", out);
  }
  void setJobs(const QByteArray &ranking) { write("lpstat-R", ranking); }
  void setState(const QByteArray &text) { write("root/KPX7720MW/config/printerState", text); }
  void setJobInfo(const QByteArray &text) { write("root/KPX7720MW/config/printerInfo", text); }
  void setNetJobInfo(const QByteArray &text) { write("root/KPX7720MW_net/config/printerInfo", text); }
  void setNetIpInfo(const QByteArray &text) { write("root/KPX7720MW_net/config/netIpInfo", text); }
  void removeNetIpInfo() { remove("root/KPX7720MW_net/config/netIpInfo"); }
  // The argument lines lpstat was run with, one per run.
  QStringList lpstatRuns() {
    QFile f(path("lpstat-args"));
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
  }

 private:
  QTemporaryDir dir;
  QByteArray oldPath;
};
