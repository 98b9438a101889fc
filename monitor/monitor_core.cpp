#include "monitor_core.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include <Qt>

#include "printer_description.h"
#include "printer_protocol.h"

namespace kpxmon {

const char kUsbQueue[] = "KPX7720MW";
const char kNetQueue[] = "KPX7720MW-net";
const char kUsbFilterProcess[] = "pstopxl_7720mw";

// ---------------------------------------------------------------- decoding

using kpx::protocol::kMonitorDialect;

static std::string_view viewOf(const QByteArray &bytes) { return {bytes.constData(), static_cast<size_t>(bytes.size())}; }

QList<QByteArray> statusLines(const QByteArray &reply) {
  QList<QByteArray> lines;
  for (const kpx::protocol::CodeLine &l : kpx::protocol::codeLines(viewOf(reply), kMonitorDialect))
    lines.append(QByteArray(l.line.data(), static_cast<int>(l.line.size())));
  return lines;
}

int statusCodeOf(const QByteArray &line) { return kpx::protocol::codeOfLine(viewOf(line), kMonitorDialect).value_or(0); }

int statusCodeOf(const QString &line) {
  // Text read from the state file: any kind of blank counts as one, and a
  // NUL ends nothing there.
  QString plain = line;
  for (QChar &c : plain) {
    if (c.isSpace())
      c = QLatin1Char(' ');
    else if (c.isNull())
      c = QLatin1Char('x');
  }
  return statusCodeOf(plain.toUtf8());
}

CodeDecision decideCode(int code, const DecoderState &state, const DecoderRules &rules) {
  CodeDecision d;
  if (code == state.lastStatusCode) {
    d.repeat = true;
    return d;
  }
  std::optional<StatusRow> row = statusRow(code);
  if (!row) return d;
  switch (code) {
    case kpx::state::kReady:
      // Already at level 1: feeding the code back finds it repeated, so the
      // ready message is not shown twice.
      if (!rules.readyAlwaysShown && state.bubbleLevel == Information)
        d.feedBackReady = true;
      else
        d.show = row;
      break;
    case kpx::state::kInitialising:
    case kpx::state::kCancelled:
    case kpx::state::kPrinting:
      // Initialising, cancelled and printing mean something only while a job
      // waits; otherwise the printer is simply ready.
      if (state.jobPending)
        d.show = row;
      else if (state.bubbleLevel != Information)
        d.feedBackReady = true;
      if (code == kpx::state::kPrinting) d.refreshJobInfo = !rules.jobInfoOnlyWhenPending || state.jobPending;
      break;
    case kpx::state::kNoConnection:
    case kpx::state::kKeyRejected:
      if (state.windowHidden == 1) d.show = row;
      break;
    default:
      d.show = row;
  }
  return d;
}

QByteArray statusLineFor(int code) { return QByteArray::fromStdString(kpx::statusLine(code)); }

// ------------------------------------------------------------ presentation

LevelLook levelLook(int level) {
  LevelLook l;
  switch (level) {
    case Information:
      l = {true, QStringLiteral(":/W3_b256"), Qt::black, 4000, WindowAction::Unchanged, true, true};
      break;
    case Warning:
      l = {true, QStringLiteral(":/W3_y256"), Qt::darkYellow, 4000, WindowAction::Show, true, true};
      break;
    case Critical:
      l = {true, QStringLiteral(":/W3_r256"), Qt::red, 600000, WindowAction::Show, true, true};
      break;
    case Quiet:
      l = {true, QStringLiteral(":/W3_b256"), Qt::black, 4000, WindowAction::Hide, false, false};
      break;
    default:
      break;
  }
  return l;
}

TrayLook trayLook(int index) {
  switch (index) {
    case 0:
      return {QStringLiteral(":/images/connecting.png"), QStringLiteral("Connecting")};
    case 1:
      return {QStringLiteral(":/images/heart.png"), QStringLiteral("Ready")};
    case 2:
      return {QStringLiteral(":/images/trash.png"), QStringLiteral("Stop")};
    case 3:
      return {QStringLiteral(":/images/bad.png"), QStringLiteral("Error")};
    default:
      return {};
  }
}

int balloonIcon(int level) { return (level >= Information && level <= Critical) ? level : 0; }

int balloonDurationMs(int level, int fixedDurationMs) {
  if (fixedDurationMs > 0) return fixedDurationMs;
  switch (level) {
    case Information:
      return 30000;
    case Warning:
      return 60000;
    default:
      return 120000;
  }
}

QPoint windowPosition(const QRect &available, const QSize &size, const QRect &tray) {
  // Bottom-right of the available area, 10 px from its right edge and 40 px
  // above its bottom, and always wholly on it (offsetting by only half the
  // window's size would leave half of it off the screen).
  constexpr int kTrayGap = 10;
  int x = available.x() + available.width() - 10 - size.width();
  int y = available.y() + available.height() - 40 - size.height();
  const QRect reach(x, y, size.width(), size.height() + kTrayGap);
  if (tray.isValid() && reach.intersects(tray)) y = tray.top() - kTrayGap - size.height();
  return QPoint(std::max(x, available.x()), std::max(y, available.y()));
}

TextFit fitStatusText(const QRect &state, const QRect &help, int stateNeeded, int helpNeeded) {
  TextFit f;
  f.state = state;
  f.state.setHeight(std::max(state.height(), stateNeeded));
  f.help = help;
  f.help.moveTop(help.top() + f.state.height() - state.height());
  f.help.setHeight(std::max(help.height(), helpNeeded));
  f.grow = std::max(0, f.help.bottom() - help.bottom());
  return f;
}

int severityOfCode(int code) { return kpx::severityRank(code); }

int execMessageLevel(const QString &line) { return severityOfCode(statusCodeOf(line)); }

QString choosePrinterStateLine(const QStringList &lines, int *linesConsumed) {
  int best = NoLevel;
  QString bestLine;
  int consumed = 0;
  for (const QString &line : lines) {
    ++consumed;
    if (!line.contains(QLatin1String(kMonitorDialect.mark.data(), int(kMonitorDialect.mark.size())))) continue;
    const int level = execMessageLevel(line);
    if (level > best) {
      best = level;
      bestLine = line;
    }
    if (best == Quiet) break;
  }
  if (linesConsumed) *linesConsumed = consumed;
  return bestLine;
}

// ------------------------------------------------------- empty replies

IdleOutcome idleReply(int bubbleCode, int idleReplyCount, IdleRule rule) {
  const bool printing = bubbleCode == kpx::state::kPrinting;
  const bool cancelled = bubbleCode == kpx::state::kCancelled;
  auto counted = [idleReplyCount]() {
    if (idleReplyCount == kIdleReplyThreshold) return IdleOutcome{true, 0};
    return IdleOutcome{false, idleReplyCount + 1};
  };
  if (rule == IdleRule::Usb) {
    if (printing || cancelled) return counted();
    if (bubbleCode == kpx::state::kInitialising) return {true, idleReplyCount};
    return {false, idleReplyCount};
  }
  if (printing) return {false, idleReplyCount};
  if (cancelled) return counted();
  return {true, idleReplyCount};
}

// ------------------------------------------------------ queues and jobs

QueueCounts countQueues(const QString &lpstatOutput) {
  QueueCounts c;
  c.usb = lpstatOutput.count(QLatin1String(kUsbQueue), Qt::CaseInsensitive);
  c.net = lpstatOutput.count(QLatin1String(kNetQueue), Qt::CaseInsensitive);
  return c;
}

bool usbQueueInstalled(QueueCounts c) { return (c.usb > 1 && c.net == 1) || (c.usb == 1 && c.net == 0); }

bool usbJobQueued(QueueCounts c) { return c.usb > 0 && (c.net < c.usb || c.net == 0); }

bool netJobQueued(QueueCounts c) { return c.usb > 0 && c.net > 0 && c.usb >= c.net; }

QByteArray untilNul(const QByteArray &bytes) {
  const int nul = bytes.indexOf('\0');
  return nul < 0 ? bytes : bytes.left(nul);
}

// ---------------------------------------------------- network monitor

QString netIpInfoAddress(const QStringList &lines) {
  QString line;
  for (const QString &l : lines) {
    line = l;
    if (line.split(QLatin1Char('.'), Qt::KeepEmptyParts).size() == 4) break;
  }
  return line;
}

bool datagramFromPrinter(const QHostAddress &sender, const QString &printerAddress) {
  const QHostAddress printer(printerAddress);
  if (printer.isNull() || sender.isNull()) return false;
  return sender.isEqual(printer, QHostAddress::TolerantConversion);
}

quint16 portFromEnvironment(const char *value, quint16 fallback) {
  if (value == nullptr) return fallback;
  bool ok = false;
  const int port = QByteArray(value).toInt(&ok, 10);
  return (ok && port >= 1 && port <= 65535) ? quint16(port) : fallback;
}

SendOutcome querySent(bool sent, int netErrorShown) {
  SendOutcome o;
  if (sent) {
    o.refreshJobInfo = true;
    o.netErrorShown = 0;
  } else {
    o.showWarning = netErrorShown == 0;
    o.resetLastCode = true;
    o.netErrorShown = 1;
  }
  return o;
}

bool raisesBalloon(int level, const QString &title, const QString &text, int bubbleLevel,
                   const QString &bubbleTitle, const QString &bubbleText, bool onChangeOnly) {
  if (!onChangeOnly || level != bubbleLevel) return true;
  return level >= Warning && (title != bubbleTitle || text != bubbleText);
}

bool silenceAtCycleStart(SilenceWatch &w) {
  w.silentCycles = w.awaiting ? w.silentCycles + 1 : 0;
  if (w.silentCycles < kSilentCyclesWarned || w.warned) return false;
  w.warned = true;
  return true;
}

void querySentFor(SilenceWatch &w, bool sent) {
  // Nothing went out: no reply is owed, and the send failure has its own warning.
  w.awaiting = sent;
  if (!sent) w.silentCycles = 0;
}

bool replyArrived(SilenceWatch &w) {
  const bool ended = w.warned;
  w = SilenceWatch{};
  return ended;
}

int RateLimitedLog::note(qint64 nowMs) {
  if (!started || nowMs - windowStart >= intervalMs) {
    const int report = started && pending > 0 ? pending + 1 : 1;
    started = true;
    windowStart = nowMs;
    pending = 0;
    return report;
  }
  ++pending;
  return 0;
}

ReleaseOutcome releaseFailed(int failuresSoFar) {
  const int failures = failuresSoFar + 1;
  return {failures, failures == kReleaseFailuresWarned};
}

QStringList recordLines(const QByteArray &content) {
  QStringList lines = QString::fromUtf8(content).split(QLatin1Char('\n'));
  if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
  for (QString &line : lines)
    if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
  return lines;
}

// ---------------------------------------------------------------- /proc

QString processNameOfStat(const QString &statLine) {
  const int open = statLine.indexOf(QLatin1Char('('));
  const int close = statLine.indexOf(QLatin1Char(')'));
  if (open < 0 || close < open) return QString();
  return statLine.mid(open + 1, close - open - 1);
}

namespace {
bool isProcessId(const QString &name) {
  if (name.isEmpty()) return false;
  for (QChar c : name)
    if (c < QLatin1Char('0') || c > QLatin1Char('9')) return false;
  return true;
}
}  // namespace

bool findProcess(const QStringList &entries, const std::function<QString(const QString &)> &readStatLine,
                 const QString &name) {
  for (const QString &entry : entries) {
    if (entry == QLatin1String(".") || entry == QLatin1String("..")) continue;
    if (!isProcessId(entry)) break;
    const QString line = readStatLine(entry);
    if (line.isEmpty()) continue;
    if (processNameOfStat(line) == name) return true;
  }
  return false;
}

// ------------------------------------------------------------ job pane

JobRecord parseJobRecord(const QStringList &lines) {
  auto recorded = [](const char *keyword) { return QString::fromUtf8(keyword) + QLatin1Char(';'); };
  JobRecord r{recorded(kpx::defaultResolution().keyword), recorded(kpx::defaultMediaSize().keyword),
              recorded(kpx::autoInputSlot().keyword), recorded(kpx::defaultMediaType().keyword),
              recorded(kpx::defaultDuplexMode().keyword)};
  QString JobRecord::*const fields[] = {&JobRecord::resolution, &JobRecord::papersize, &JobRecord::inputslot,
                                        &JobRecord::mediatype, &JobRecord::duplex};
  const auto &keys = kpx::records::kJobInfoKeys;
  static_assert(std::size(keys) == std::size(fields));
  for (const QString &line : lines) {
    if (!line.contains(QLatin1Char(':'))) continue;
    for (size_t i = 0; i < std::size(keys); ++i) {
      if (line.contains(QLatin1String(keys[i]))) {
        r.*fields[i] = line.section(QLatin1Char(':'), 1, 1);
        break;
      }
    }
  }
  return r;
}

namespace {
// The monitor's name for a record value ("keyword;"). A keyword that is part
// of another keyword of its table (A5 in A5L, THIN in ENVTHIN) must be the
// whole value; any other keyword only needs to appear in it.
template <typename Row>
const Row *shownRow(const QString &value, kpx::Table<Row> rows) {
  auto within = [rows](const char *keyword) {
    for (const Row &other : rows)
      if (other.keyword != keyword && std::strstr(other.keyword, keyword) != nullptr) return true;
    return false;
  };
  for (const Row &r : rows) {
    const QString keyword = QString::fromUtf8(r.keyword);
    if (within(r.keyword) ? value == keyword + QLatin1Char(';') : value.contains(keyword)) return &r;
  }
  return nullptr;
}

template <typename Row>
QString shownName(const QString &value, kpx::Table<Row> rows) {
  const Row *r = shownRow(value, rows);
  return r != nullptr ? QString::fromUtf8(r->shownName) : QString();
}
}  // namespace

QString qualityText(const QString &value) {
  if (value.contains(QLatin1String("2400"))) return QStringLiteral("HQ1200dpi");
  return value.endsWith(QLatin1Char(';')) ? value.chopped(1) : value;
}
QString mediaTypeText(const QString &value) { return shownName(value, kpx::mediaTypes()); }
QString paperSizeText(const QString &value) {
  if (shownRow(value, kpx::mediaSizes()) == nullptr && value.contains(QLatin1String(kpx::kCustomSizeKeyword)))
    return QString::fromUtf8(kpx::kCustomSizeShownName);
  return shownName(value, kpx::mediaSizes());
}
QString inputSlotText(const QString &value) { return shownName(value, kpx::inputSlots()); }
QString duplexText(const QString &value) { return shownName(value, kpx::duplexModes()); }

}  // namespace kpxmon
