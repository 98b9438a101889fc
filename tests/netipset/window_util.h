// Shared by the tests that drive the real netIpSet window in their own
// process (QT_QPA_PLATFORM=offscreen): a main that sets up the application
// and keeps every run away from the machine's own CUPS and install tree,
// the captured debug lines, and helpers to type, click and read the form.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

#include "netipset.h"

namespace niptest {

// Debug lines written since the last clearLog().
QStringList &debugLines();
void clearLog();

// One window; its tools and files live in a private directory:
//   DIR/bin      KPX_COMMAND_DIR (stand-ins written by standIn())
//   DIR/root     ZUVA_PRINTERS_ROOT, with KPX7720MW_net/config
//   DIR/calls    one line per stand-in run: "NAME ARGS..."
class WindowRig {
 public:
  WindowRig();
  ~WindowRig();

  // A stand-in tool that records its call and exits with `status`; `body`
  // (bash) runs before the exit when given.
  void standIn(const QString &name, int status = 0, const QString &body = QString());
  QStringList calls() const;
  QString netIpInfoPath() const;
  bool netIpInfo(QByteArray *content) const;
  QString dir() const { return tmp_.path(); }

  // Creates and shows the window (debug log cleared first).
  netIpSet &open();
  netIpSet &window() { return *window_; }

  QLineEdit *edit(const char *name) const;
  QLabel *label(const char *name) const;
  QPushButton *button(const char *name) const;
  QString status() const;
  void type(const char *edit, const QString &text);
  void click(const char *button);

 private:
  QTemporaryDir tmp_;
  std::unique_ptr<netIpSet> window_;
};

}  // namespace niptest
