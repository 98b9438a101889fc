// The status monitors' decisions, without any I/O: decoding status replies,
// how a message level looks, which line of the state file counts, the queue
// and process checks, and the job settings pane. MainWindow gathers the
// inputs (files, lpstat, /proc, the USB link) and acts on the answers.
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

#include "status_codes.h"
#include "status_table.h"

namespace kpxmon {

// Message levels.
using Level = kpx::StatusLevel;
using kpx::NoLevel;
using kpx::Information;
using kpx::Warning;
using kpx::Critical;
using kpx::Quiet;

// ---------------------------------------------------------------- decoding

// How the two monitors differ in acting on the conditional codes.
struct DecoderRules {
  bool readyAlwaysShown;        // 10001 shows its row even while the balloon is at level 1
  bool jobInfoOnlyWhenPending;  // 10023 refreshes the job pane only while a job is pending
};

// The pieces of a reply (split at carriage returns) that hold the code
// mark, in order (kpx::protocol::kMonitorDialect).
QList<QByteArray> statusLines(const QByteArray &reply);

// The number between the first and the second "=" of a line (0 when it is
// not a decimal number; kpx::protocol::CodeNumber::FirstField).
int statusCodeOf(const QByteArray &line);
int statusCodeOf(const QString &line);

// What the decoder knows when a code arrives.
struct DecoderState {
  int lastStatusCode = 0;
  int bubbleLevel = 0;
  int windowHidden = 0;
  bool jobPending = false;
};

// What to do with one decoded code. Unless `repeat` is set, the code becomes
// the last status code; then the row (if any) is shown, then 10001 is fed
// back (if asked), then the job pane is refreshed (if asked).
struct CodeDecision {
  bool repeat = false;
  std::optional<StatusRow> show;
  bool feedBackReady = false;
  bool refreshJobInfo = false;
};
CodeDecision decideCode(int code, const DecoderState &state, const DecoderRules &rules);

// "CODE=%1" for a code fed back into the decoder.
QByteArray statusLineFor(int code);

// ------------------------------------------------------------ presentation

enum class WindowAction { Unchanged, Show, Hide };

// How showMessageOnWindow presents a level.
struct LevelLook {
  bool known = false;              // levels 1 to 4: palette, timer and window handled
  QString picture;                 // status picture; empty clears it
  int titleColour = 0;             // Qt::GlobalColor of the title
  int hideIntervalMs = 0;
  WindowAction window = WindowAction::Unchanged;
  bool clearsWindowHidden = false;
  bool balloon = false;
};
LevelLook levelLook(int level);

// Tray icon and tooltip by index of the tray item list (0 to 3): 0 while
// the monitor connects (no level yet), then by message level.
struct TrayLook {
  QString icon;
  QString tooltip;
};
TrayLook trayLook(int index);
constexpr int kTrayItemCount = 4;
constexpr int kConnectingTrayItem = 0;

// Balloon icon (QSystemTrayIcon::MessageIcon value) and duration of a level.
// fixedDurationMs > 0 replaces the duration of every level.
int balloonIcon(int level);
int balloonDurationMs(int level, int fixedDurationMs = 0);

// Top-left corner of the window (with its frame: `size` is the frame's):
// the bottom-right corner of the available screen area, keeping the whole
// window on it, and above the tray icon where the tray (a tray bar that
// reserves no screen space) would otherwise be covered. An invalid tray
// rectangle is not known.
QPoint windowPosition(const QRect &available, const QSize &size, const QRect &tray = QRect());

// The status title and text at the heights their wrapped lines need (never
// less than the form gives them), the text kept below the title, and by how
// much the window must grow so that nothing is cut.
struct TextFit {
  QRect state;
  QRect help;
  int grow = 0;
};
TextFit fitStatusText(const QRect &state, const QRect &help, int stateNeeded, int helpNeeded);

// Severity of a status code and of a line holding "CODE=" (1 to 4).
int severityOfCode(int code);
int execMessageLevel(const QString &line);

// The line of the printer state file to show: the most severe "CODE=" line,
// the first of equals; reading stops at a level-4 line. `linesConsumed`
// tells how many lines were read.
QString choosePrinterStateLine(const QStringList &lines, int *linesConsumed = nullptr);

// ------------------------------------------------------- empty replies

enum class IdleRule { Usb, Net };

// What an empty reply does, given the status code whose message the balloon
// holds (0 for a message of the monitor's own) and the count of empty
// replies so far.
struct IdleOutcome {
  bool declareReady = false;
  int idleReplyCount = 0;
};
constexpr int kIdleReplyThreshold = 3;
IdleOutcome idleReply(int bubbleCode, int idleReplyCount, IdleRule rule);

// ------------------------------------------------------ queues and jobs

extern const char kUsbQueue[];  // "KPX7720MW"
extern const char kNetQueue[];  // "KPX7720MW-net"

// Case-insensitive counts in lpstat output; every network-queue name also
// counts as a USB-queue name.
struct QueueCounts {
  int usb = 0;
  int net = 0;
};
QueueCounts countQueues(const QString &lpstatOutput);
bool usbQueueInstalled(QueueCounts counts);  // lpstat -a
bool usbJobQueued(QueueCounts counts);       // lpstat -R
bool netJobQueued(QueueCounts counts);       // lpstat -R KPX7720MW KPX7720MW-net

// Bytes up to the first NUL.
QByteArray untilNul(const QByteArray &bytes);

// ---------------------------------------------------- network monitor

// The printer's address in the lines of netIpInfo: the first line that splits
// into exactly four parts at ".", else the last line (empty for no lines).
// Used as written, without trimming or checking the numbers.
QString netIpInfoAddress(const QStringList &lines);

// A status datagram counts only when it comes from the printer's address
// (IPv4-mapped senders included); an empty or invalid address accepts none.
bool datagramFromPrinter(const QHostAddress &sender, const QString &printerAddress);

// A UDP port from an environment value: a decimal number from 1 to 65535,
// otherwise `fallback`.
quint16 portFromEnvironment(const char *value, quint16 fallback);

// What one query cycle does after trying to send, given whether the datagram
// went out and whether the network warning is already up.
struct SendOutcome {
  bool showWarning = false;     // the network warning, once per failure run
  bool resetLastCode = false;   // the next status shows even if it repeats
  bool refreshJobInfo = false;  // the settings pane, on every successful send
  int netErrorShown = 0;
};
SendOutcome querySent(bool sent, int netErrorShown);

// Whether triggerBubbleOn pops a balloon up for a message: always, or (USB)
// when the level changes or a warning or error says something new. The stored
// balloon follows every message either way, so that it tells what the window
// shows.
bool raisesBalloon(int level, const QString &title, const QString &text, int bubbleLevel,
                   const QString &bubbleTitle, const QString &bubbleText, bool onChangeOnly);

// A printer that stops answering: the queries of how many cycles in a row
// may go unanswered before the network warning shows.
constexpr int kSilentCyclesWarned = 3;
struct SilenceWatch {
  bool awaiting = false;  // the last query has had no reply yet
  int silentCycles = 0;   // queries in a row without a reply
  bool warned = false;    // the warning for this silence is up
};
// At the start of a query cycle, before sending: true when the warning is due
// now (once per silence).
bool silenceAtCycleStart(SilenceWatch &watch);
// After a query went out (or not).
void querySentFor(SilenceWatch &watch, bool sent);
// A status datagram from the printer arrived: true when it ends a warned
// silence, so that the status it carries is shown even if it repeats.
bool replyArrived(SilenceWatch &watch);

// What a record file looked like when it was read: a changed one is read
// again.
struct FileSignature {
  bool exists = false;
  qint64 inode = 0, size = 0, mtimeNs = 0;
  bool operator==(const FileSignature &o) const {
    return exists == o.exists && inode == o.inode && size == o.size && mtimeNs == o.mtimeNs;
  }
  bool operator!=(const FileSignature &o) const { return !(*this == o); }
};

// Log lines about datagrams that are dropped or cannot be decoded: the first
// of an interval is logged, the rest counted and told once the interval is
// over.
class RateLimitedLog {
 public:
  explicit RateLimitedLog(qint64 intervalMs = 10000) : intervalMs(intervalMs) {}
  // One more event at `nowMs`. Returns the number of events to report now (0:
  // stay quiet): 1 for the first of an interval, else the count of the
  // interval that just ended, this one included.
  int note(qint64 nowMs);

 private:
  qint64 intervalMs;
  qint64 windowStart = 0;
  int pending = 0;
  bool started = false;
};

// --------------------------------------------------------- USB release

// After a failed release of the USB device: the new count of failures in a
// row, and whether the user is told now that the connection is in trouble
// (at the third, once per run of failures).
constexpr int kReleaseFailuresWarned = 3;
struct ReleaseOutcome {
  int failures = 0;
  bool warn = false;
};
ReleaseOutcome releaseFailed(int failuresSoFar);

// ------------------------------------------------------------ record files

// The most a valid record can hold; a file that is bigger, or not a regular
// file, is taken as unreadable.
constexpr qint64 kStateRecordLimit = 16 * 1024;  // printerState: status lines copied from the printer
constexpr qint64 kSmallRecordLimit = 4 * 1024;   // printerInfo, netIpInfo

// The lines of a record as a text-mode reader sees them: split at line feeds,
// a carriage return before one dropped, no empty line after the last line end.
QStringList recordLines(const QByteArray &content);

// ---------------------------------------------------------------- /proc

extern const char kUsbFilterProcess[];  // "pstopxl_7720mw"

// The process name in a /proc/<pid>/stat line: between the first "(" and the
// first ")"; empty when there is none.
QString processNameOfStat(const QString &statLine);

// Walks sorted /proc entry names for a process called `name`. "." and ".."
// are passed over, an entry whose stat line is empty (the process ended
// meanwhile) is skipped, and the walk ends at the first name that is not a
// process id. `readStatLine` gives the first line of "/proc/<entry>/stat".
bool findProcess(const QStringList &entries, const std::function<QString(const QString &)> &readStatLine,
                 const QString &name);

// ------------------------------------------------------------ job pane

// The values of the job record file (each keeps its closing ";"). Before
// the first job, and for a key the file lacks, the printer's defaults as
// the filter writes them.
struct JobRecord {
  QString resolution, papersize, inputslot, mediatype, duplex;
};
JobRecord parseJobRecord(const QStringList &lines);

// The resolution without the record's ";" ("2400dpi" prints as HQ1200dpi).
QString qualityText(const QString &value);
QString mediaTypeText(const QString &value);
QString paperSizeText(const QString &value);
QString inputSlotText(const QString &value);
QString duplexText(const QString &value);

}  // namespace kpxmon
