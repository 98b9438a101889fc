#include "window_util.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTest>

namespace niptest {

namespace {

QStringList g_lines;

void capture(QtMsgType type, const QMessageLogContext &, const QString &text) {
  if (type == QtDebugMsg) g_lines << text;
}

void writeScript(const QString &path, const QString &text) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  f.write(text.toUtf8());
  f.close();
  f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                   QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
}

}  // namespace

QStringList &debugLines() { return g_lines; }
void clearLog() { g_lines.clear(); }

WindowRig::WindowRig() {
  QDir d(tmp_.path());
  d.mkpath("bin");
  d.mkpath("root/KPX7720MW_net/config");
  qputenv("KPX_COMMAND_DIR", (tmp_.path() + "/bin").toLocal8Bit());
  qputenv("ZUVA_PRINTERS_ROOT", (tmp_.path() + "/root").toLocal8Bit());
}

WindowRig::~WindowRig() {
  window_.reset();
  // Back to a directory of nothing: a stray addPrinter cannot run anything.
  qputenv("KPX_COMMAND_DIR", "/nonexistent/kpx-command-dir");
  qputenv("ZUVA_PRINTERS_ROOT", "/nonexistent/kpx-printers-root");
}

void WindowRig::standIn(const QString &name, int status, const QString &body) {
  writeScript(tmp_.path() + "/bin/" + name,
              QString("#!/bin/bash\necho \"%1 $*\" >> '%2/calls'\n%3\nexit %4\n")
                  .arg(name, tmp_.path(), body)
                  .arg(status));
}

QStringList WindowRig::calls() const {
  QFile f(tmp_.path() + "/calls");
  if (!f.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
}

QString WindowRig::netIpInfoPath() const {
  return tmp_.path() + "/root/KPX7720MW_net/config/netIpInfo";
}

bool WindowRig::netIpInfo(QByteArray *content) const {
  QFile f(netIpInfoPath());
  if (!f.open(QIODevice::ReadOnly)) return false;
  *content = f.readAll();
  return true;
}

netIpSet &WindowRig::open() {
  clearLog();
  window_ = std::make_unique<netIpSet>();
  window_->show();
  return *window_;
}

QLineEdit *WindowRig::edit(const char *name) const {
  return window_->findChild<QLineEdit *>(name);
}
QLabel *WindowRig::label(const char *name) const { return window_->findChild<QLabel *>(name); }
QPushButton *WindowRig::button(const char *name) const {
  return window_->findChild<QPushButton *>(name);
}
QString WindowRig::status() const { return label("informationAdmin")->text(); }

void WindowRig::type(const char *name, const QString &text) {
  QLineEdit *e = edit(name);
  e->clear();
  QTest::keyClicks(e, text);
}

void WindowRig::click(const char *name) { QTest::mouseClick(button(name), Qt::LeftButton); }

}  // namespace niptest

int main(int argc, char **argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  // Never the machine's CUPS or install tree, also before a rig is set up.
  qputenv("KPX_COMMAND_DIR", "/nonexistent/kpx-command-dir");
  qputenv("ZUVA_PRINTERS_ROOT", "/nonexistent/kpx-printers-root");
  // Qt's runtime directory inside our own, not /tmp/runtime-USER.
  QTemporaryDir runtimeDir;
  QFile::setPermissions(runtimeDir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  qputenv("XDG_RUNTIME_DIR", runtimeDir.path().toLocal8Bit());
  qInstallMessageHandler(niptest::capture);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
