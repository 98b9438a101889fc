// The status monitor's window: the tray icon and its menu, the poll and hide
// timers, the poll cycle, the status decoder and the presentation. The
// decisions themselves live in monitor_core; this class gathers inputs from
// files, lpstat, /proc, the printer link or the status socket and acts on
// them. The program's variant says which transport and rules apply.
#pragma once

#include <QByteArray>
#include <QPoint>
#include <QSize>
#include <QString>
#include <QSystemTrayIcon>
#include <QWidget>

#include <functional>
#include <memory>

#include "variant.h"

namespace Ui {
class MainWindow;
}
class QAction;
class QComboBox;
class QMenu;
class QTimer;
class QUdpSocket;

namespace kpxmon {
// Before the QApplication is made: high-DPI scaling, no GL integration unless
// the environment asks for one, and the debug lines when KPX_MONITOR_DEBUG is
// set.
void prepareApplication();
}  // namespace kpxmon

class MainWindow : public QWidget {
  Q_OBJECT

 public:
  explicit MainWindow(const kpxmon::MonitorVariant &variant, QWidget *parent = nullptr);
  ~MainWindow() override;

  // How many 4-second waits for a system tray the constructor makes when
  // there is none (3). Tests without a tray set 0.
  static void setTrayWaitRounds(int rounds);
  // How long an lpstat run may take before it is killed (30 s). Tests
  // shorten it.
  static void setLpstatWaitMs(int ms);

 public slots:
  void setIcon(int index);
  void iconActivated(QSystemTrayIcon::ActivationReason reason);
  void showMessage();
  void closeTrigger();
  void readSocket();
  void windowClose();
  void printerStateCheck();

 protected:
  void closeEvent(QCloseEvent *event) override;
  void showEvent(QShowEvent *event) override;

 private:
  void createActions();
  void createTrayIcon();
  // Puts the window, frame included, at the bottom right of the work area
  // and clear of the tray icon.
  void placeWindow();

  // A cycle runs in steps: each lpstat run is waited for through the event
  // loop, and the cycle goes on when it has finished.
  void usbPollCycle();
  void usbDeviceStep();
  void usbQueryStep();
  void usbReleaseFailed();
  void netQueryCycle();
  void netSendStep();
  void cycleDone();
  QString readNetIpInfo();
  void followNetIpInfo();
  void noteBadDatagram(const QString &what);

  void checkPrintingProcess();
  void checkPrintJob(const std::function<void(bool)> &done);
  void checkPrinterLink(const std::function<void(bool)> &done);

  void showMessageState(const QByteArray &line);
  void execReturnMsg(const QByteArray &reply);
  void justStatusCodeShow(int code);

  // code: the printer's status code the message is for, 0 for a message of
  // the monitor's own.
  void showMessageOnWindow(int level, const QString &title, const QString &text, int code = 0);
  void triggerBubbleOn(int level, const QString &title, const QString &text, int code);
  QString readPrinterState();

  void readPrintJobInfo();
  void fitText();

  void runLpstat(const QStringList &arguments, const std::function<void(const QString &)> &done);
  QSystemTrayIcon::MessageIcon balloonIconOf(int level) const;
  // A record file by its path below the queue's directory (kpx::records).
  QString configFile(const char *name) const;
  // Appends the lines of such a record file; false (and a log
  // line) when it cannot be read, is not a regular file or is bigger than
  // `limit` bytes.
  bool readConfigLines(const char *name, qint64 limit, QStringList *lines);

  friend struct MonitorProbe;  // tests

  const kpxmon::MonitorVariant variant;
  Ui::MainWindow *ui = nullptr;

  QComboBox *trayIconList = nullptr;
  QComboBox *balloonIconList = nullptr;
  QMenu *trayMenu = nullptr;
  QSystemTrayIcon *trayIcon = nullptr;
  QTimer *pollTimer = nullptr;
  QTimer *hideTimer = nullptr;
  std::unique_ptr<DeviceLink> usbLink;        // USB transport
  QUdpSocket *statusSocket = nullptr;        // UDP transport
  QString printerAddress;
  kpxmon::FileSignature netIpInfoRead;  // the netIpInfo the address came from
  kpxmon::SilenceWatch silence;
  kpxmon::RateLimitedLog badDatagramLog;
  int netErrorShown = 0;
  bool netJobPending = false;
  bool cycleRunning = false;
  int releaseFailures = 0;
  // The message on the window: the same one again does not bring the window
  // back once it was hidden.
  QSize formSize;        // as laid out in the form; fitText adds to it
  QPoint jobPanePosition;
  int shownLevel = -1;
  QString shownTitle;
  QString shownText;

  bool filterRunning = false;
  int idleReplyCount = 0;
  int connectAnnounced = 0;
  int windowHidden = 0;
  int deviceHeld = 0;
  int usbErrorShown = 0;
  bool usbJobPending = false;
  bool queueLinked = true;
  int lastStatusCode = 0;
  int bubbleLevel = 0;
  // The tray shows the connecting icon until the first message after the
  // start message, or the first reply from the printer.
  bool trayConnecting = false;
  QString bubbleTitle;
  QString bubbleText;
  int bubbleCode = 0;  // the status code of the balloon's message, 0 for the monitor's own
  QByteArray statusCommand;

  QAction *hideAction = nullptr;
  QAction *showAction = nullptr;
  QAction *exitAction = nullptr;

  static int trayWaitRounds;
  static int lpstatWaitMs;
};
