// Test driver: runs the real netIpSet window offscreen in a process of its
// own (so that it can run under umockdev's preload library against the
// simulator's emulated printer) and performs the steps given on the command
// line, printing one line per step and every debug line of the program as
// "log TEXT", in the order they happened:
//
//   --ctl PROGRAM SOCKET   simulator control program and socket for "ctl:"
//   start                -> "start"            (creates and shows the window)
//   state                -> "state mode=usb|network ip=.. mask=.. gateway=..
//                             ip_label=.. mask_label=.. gateway_label=.. netIp=..
//                             visible=0|1 status=TEXT"
//   type:NAME=TEXT       -> "type NAME"        (clears the line edit, types TEXT)
//   click:NAME           -> "click NAME"       (a left click on the button)
//   ctl:ARG,ARG...       -> "ctl S"            (exit status of the control command)
//
// How long each click and the start took goes to standard error as
// "OP ms=T". Run it with QT_QPA_PLATFORM=offscreen, UMOCKDEV_DIR and
// LD_PRELOAD=libumockdev-preload.so.0, and with KPX_COMMAND_DIR and
// ZUVA_PRINTERS_ROOT pointing into the test's directory.
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>

#include <chrono>
#include <cstdio>
#include <memory>

#include "netipset.h"

namespace {

void captureLog(QtMsgType type, const QMessageLogContext &, const QString &msg) {
  if (type != QtDebugMsg) return;
  std::printf("log %s\n", msg.toUtf8().constData());
  std::fflush(stdout);
}

void say(const QString &line) {
  std::printf("%s\n", line.toUtf8().constData());
  std::fflush(stdout);
}

template <typename T>
T *child(netIpSet *w, const QString &name) {
  T *c = w->findChild<T *>(name);
  if (!c) {
    std::fprintf(stderr, "no widget %s\n", name.toUtf8().constData());
    std::exit(2);
  }
  return c;
}

}  // namespace

int main(int argc, char **argv) {
  qInstallMessageHandler(captureLog);
  QApplication app(argc, argv);
  QStringList args = app.arguments().mid(1);
  QString ctlProgram, ctlSocket;
  std::unique_ptr<netIpSet> window;
  auto clock = [] { return std::chrono::steady_clock::now(); };
  auto ms = [](auto a, auto b) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(b - a).count();
  };

  for (int i = 0; i < args.size(); ++i) {
    const QString &a = args[i];
    if (a == "--ctl" && i + 2 < args.size()) {
      ctlProgram = args[++i];
      ctlSocket = args[++i];
    } else if (a == "start") {
      auto t0 = clock();
      window = std::make_unique<netIpSet>();
      window->show();
      std::fprintf(stderr, "start ms=%ld\n", static_cast<long>(ms(t0, clock())));
      say("start");
    } else if (a == "state") {
      netIpSet *w = window.get();
      if (!w) return 2;
      bool usb = child<QGroupBox>(w, "groupBox_2")->isVisible();
      say(QString("state mode=%1 ip=%2 mask=%3 gateway=%4 ip_label=%5 mask_label=%6 "
                  "gateway_label=%7 netIp=%8 visible=%9 status=%10")
              .arg(usb ? "usb" : "network", child<QLineEdit>(w, "ipEdit")->text(),
                   child<QLineEdit>(w, "maskEdit")->text(), child<QLineEdit>(w, "portEdit")->text(),
                   child<QLabel>(w, "Ip_label")->text(), child<QLabel>(w, "Mask_label")->text(),
                   child<QLabel>(w, "Port_label")->text(), child<QLineEdit>(w, "netIp")->text(),
                   w->isVisible() ? "1" : "0")
              .arg(child<QLabel>(w, "informationAdmin")->text()));
    } else if (a.startsWith("type:")) {
      if (!window) return 2;
      QString field = a.mid(5);
      int eq = field.indexOf('=');
      QLineEdit *e = child<QLineEdit>(window.get(), field.left(eq));
      e->clear();
      QTest::keyClicks(e, field.mid(eq + 1));
      say("type " + field.left(eq));
    } else if (a.startsWith("click:")) {
      if (!window) return 2;
      QString name = a.mid(6);
      auto t0 = clock();
      QTest::mouseClick(child<QPushButton>(window.get(), name), Qt::LeftButton);
      std::fprintf(stderr, "click %s ms=%ld\n", name.toUtf8().constData(),
                   static_cast<long>(ms(t0, clock())));
      say("click " + name);
    } else if (a.startsWith("ctl:")) {
      QProcess ctl;
      // The control program must not see the preload library.
      QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
      env.remove("LD_PRELOAD");
      ctl.setProcessEnvironment(env);
      ctl.start(ctlProgram, QStringList{"ctl", "--socket", ctlSocket} + a.mid(4).split(','));
      ctl.waitForFinished(30000);
      say(QString("ctl %1").arg(ctl.exitCode()));
    } else {
      std::fprintf(stderr, "unknown step %s\n", a.toUtf8().constData());
      return 2;
    }
  }
  return 0;
}
