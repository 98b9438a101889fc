// GoogleTest main for the poll-cycle tests against the emulated USB printer.
// Started plainly, it starts kpx7720mw-sim --usb in a private directory and
// runs itself again with umockdev's preload library and the testbed in the
// environment (libusb must see the emulated bus from the process start);
// afterwards it stops the simulator and removes the directory.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "mainwindow.h"

namespace {

int runUnderSimulator(char **argv) {
  QTemporaryDir dir(QDir::tempPath() + "/kpxmon-sim-XXXXXX");
  if (!dir.isValid()) return 1;
  QProcess start;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("TMPDIR", dir.path());  // umockdev puts its testbed there
  env.insert("KPX7720MW_SIM", KPXSIM_PROGRAM);
  start.setProcessEnvironment(env);
  start.start(KPXSIM_START_SCRIPT, {dir.path() + "/sim", "--usb"});
  if (!start.waitForFinished(30000) || start.exitCode() != 0) {
    fprintf(stderr, "simulator did not start: %s\n", start.readAllStandardError().constData());
    return 1;
  }
  QString usbDir;
  pid_t simPid = -1;
  for (const QString &line : QString::fromUtf8(start.readAllStandardOutput()).split('\n')) {
    if (line.startsWith("usb_dir=")) usbDir = line.mid(8);
    if (line.startsWith("pid=")) simPid = line.mid(4).toInt();
  }
  if (usbDir.isEmpty() || usbDir == "off") return 1;

  setenv("UMOCKDEV_DIR", usbDir.toLocal8Bit().constData(), 1);
  setenv("LD_PRELOAD", "libumockdev-preload.so.0", 1);
  setenv("KPXMON_SIM_DIR", (dir.path() + "/sim").toLocal8Bit().constData(), 1);
  pid_t child = fork();
  if (child == 0) {
    execv("/proc/self/exe", argv);
    _exit(127);
  }
  int status = 0;
  waitpid(child, &status, 0);
  unsetenv("LD_PRELOAD");
  QProcess::execute(KPXSIM_PROGRAM, {"ctl", "--socket", dir.path() + "/sim/ctl.sock", "quit"});
  // The simulator removes its testbed on the way out: let it finish first.
  for (int i = 0; i < 250 && simPid > 0 && kill(simPid, 0) == 0; ++i) usleep(20000);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

}  // namespace

int main(int argc, char **argv) {
  if (qEnvironmentVariableIsEmpty("KPXMON_SIM_DIR")) return runUnderSimulator(argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  kpxmon::prepareApplication();
  QApplication app(argc, argv);
  MainWindow::setTrayWaitRounds(0);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
