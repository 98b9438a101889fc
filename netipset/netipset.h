// The IP setup tool's window. With the printer on USB it reads the
// printer's address, mask and gateway and lets the user set new ones;
// without it the user types the printer's network address. Either way it
// installs the CUPS queue "KPX7720MW-net" for that address and leaves the
// address in netIpInfo for netmonitor. The conversions and decisions live
// in netipset_core; this class talks to the form, the USB link, the CUPS
// tools and the file.
#pragma once

#include <QByteArray>
#include <QMainWindow>
#include <QString>

#include "netipset_core.h"
#include "usb_communicate.h"

namespace Ui {
class netIpSet;
}
class QEvent;

class netIpSet : public QMainWindow {
  Q_OBJECT

 public:
  explicit netIpSet(QWidget *parent = nullptr);
  ~netIpSet() override;

  // USB mode (true): the set-address form; network mode (false): the
  // add-printer form.
  void enableChange(bool usb);

  // The query and set exchanges over the USB link.
  QByteArray writeAndReadPrinter(const QByteArray &command);
  void findIp(const QByteArray &payload);
  // Writes the settings block to the printer; false (with the not-found
  // message and network mode) when it did not get there.
  bool setIp(const QByteArray &block);
  bool onlyWriteToPrinter(const QByteArray &command);

  // Installs the network queue for the address; false when lpadmin could
  // not create it or make it the default (the window says so).
  bool addPrinter(const QString &address);
  void writeNetIptoFile(const QString &address);

 protected:
  void changeEvent(QEvent *event) override;

 private slots:
  void on_findPrinter_clicked();
  void on_addPrinter_clicked();
  void on_IDOK_clicked();
  void on_clearBtn_clicked();
  void on_IDCANCEL_clicked();

 private:
  void queryIp();
  void showStatus(const QString &text);
  void printerNotFound();
  kpxnip::CommandOutcome runCommand(const kpxnip::Command &command);

  usb_communicate link;
  Ui::netIpSet *ui;
  QByteArray checkIpCmd;
  QByteArray setIpCmd;
};
