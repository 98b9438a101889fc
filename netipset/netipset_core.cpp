#include "netipset_core.h"

#include "printer_description.h"

#include <QCoreApplication>

namespace kpxnip {

const char kSendError[] = "send error";
const char kReadIpError[] = "read ip error";
const char kQueueName[] = "KPX7720MW-net";
const char kQueueModel[] = "KPX7720MW-net.ppd";

namespace {

// The longest reason the status line is given.
const int kReasonLength = 120;

QString tr(const char *text) { return QCoreApplication::translate("netIpSet", text); }

// A decimal number as typed, non-numbers counting as 0.
int decimalValue(const QString &part) {
  bool ok = false;
  int value = part.toInt(&ok, 10);
  return ok ? value : 0;
}

// The command line is handed over as Latin-1.
QStringList latin1(const QStringList &arguments) {
  QStringList out;
  for (const QString &a : arguments) out << QString::fromLatin1(a.toLatin1());
  return out;
}

}  // namespace

ReplyStep ReplyReader::feed(int result, const unsigned char *buffer, qint64 elapsedMs) {
  ReplyStep step;
  // Before reading again after a reply that is not the answer: is there
  // time left for one more read?
  auto giveUpWhenOutOfTime = [&] {
    if (elapsedMs + readTimeoutMs_ > kQueryTimeLimitMs) {
      step.kind = ReplyStep::Done;
      step.result = kReadIpError;
    }
  };
  if (result == 1) {
    // A lone byte: the printer is not ready with its answer yet.
    if (++singleByteReplies_ >= kMaxSingleByteReplies) {
      step.kind = ReplyStep::Done;
      step.result = kReadIpError;
    } else {
      giveUpWhenOutOfTime();
    }
    return step;
  }
  if (result == kReadFailed || result < 0 || result > kReplyBufferSize) {
    step.kind = ReplyStep::Done;
    step.result = kReadIpError;
    return step;
  }
  QByteArray received(reinterpret_cast<const char *>(buffer), result);
  int zero = received.indexOf('\0');
  QByteArray text = zero < 0 ? received : received.left(zero);
  if (!text.startsWith(kReplyPrefix)) {  // someone else's answer: skip it
    giveUpWhenOutOfTime();
    return step;
  }
  step.kind = ReplyStep::Done;
  // The block follows the prefix; anything after the 18th byte is ignored,
  // and a reply too short to hold the block is no answer at all.
  step.result = received.size() >= kReplySize ? received.mid(6, kBlockSize)
                                               : QByteArray(kReadIpError);
  return step;
}

int ConvertHexChar(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return 0xFF;
}

QString HexToStr(const QByteArray &block) {
  static const char digits[] = "0123456789abcdef";
  QString out;
  for (int i = 0; i < block.size() && i < kBlockSize; ++i) {
    unsigned char b = static_cast<unsigned char>(block[i]);
    out += QLatin1Char(digits[b >> 4]);
    out += QLatin1Char(digits[b & 15]);
    out += QLatin1Char(' ');
  }
  return out.trimmed();
}

QString StringToHenStr(const QString &dotted) {
  QString out;
  for (const QString &part : dotted.split(QLatin1Char('.'))) {
    QString hex = QString::number(decimalValue(part), 16);
    if (hex.size() % 2) hex.prepend(QLatin1Char('0'));
    out += hex;
  }
  return out;
}

QByteArray HexStrToByteArray(const QString &hex) {
  const QByteArray text = hex.toLatin1();
  auto at = [&text](int pos) { return pos < text.size() ? text[pos] : '\0'; };
  QByteArray out;
  out.reserve(text.size() / 2);
  int pos = 0;
  while (pos <= 23) {
    if (at(pos) == ' ') {
      ++pos;
      continue;
    }
    int high = ConvertHexChar(at(pos));
    int low = ConvertHexChar(at(pos + 1));
    out.append(static_cast<char>((high * 16 + low) & 0xFF));
    pos += 2;
  }
  return out;
}

QByteArray encodeSettings(const QString &address, const QString &mask, const QString &gateway) {
  return HexStrToByteArray(StringToHenStr(address) + StringToHenStr(mask) +
                           StringToHenStr(gateway));
}

Settings decodeSettings(const QByteArray &payload) {
  const QStringList parts = HexToStr(payload).split(QLatin1Char(' '));
  Settings s;
  QString *groups[3] = {&s.address, &s.mask, &s.gateway};
  const char *names[3] = {"ip = ", "mask = ", "port = "};
  for (int g = 0; g < 3; ++g) {
    for (int i = 0; i < 4; ++i) {
      *groups[g] += QString::number(parts.value(g * 4 + i).toInt(nullptr, 16)) + QLatin1Char('.');
      s.debugLines << QLatin1String(names[g]) + *groups[g];
    }
    groups[g]->chop(1);
  }
  return s;
}

bool checkIp(const QString &text) {
  const QStringList parts = text.split(QLatin1Char('.'));
  if (parts.size() != 4) return false;
  for (const QString &part : parts) {
    if (part.isEmpty() || part.size() > 3) return false;
    for (QChar c : part)
      if (c < QLatin1Char('0') || c > QLatin1Char('9')) return false;
    if (part.toInt() > 255) return false;
  }
  return true;
}

QString normalizedAddress(const QString &text) {
  if (!checkIp(text)) return text;
  QStringList parts;
  for (const QString &part : text.split(QLatin1Char('.'))) parts << QString::number(part.toInt());
  return parts.join(QLatin1Char('.'));
}

QString settingsComplaint(const QString &address, const QString &mask, const QString &gateway) {
  if (address.isEmpty()) return tr("请输入IP地址");
  if (!checkIp(address)) return tr("请检查IP地址是否正确");
  if (mask.isEmpty()) return tr("请输入子网掩码");
  if (!checkIp(mask)) return tr("请检查子网掩码是否正确");
  if (gateway.isEmpty()) return tr("请输入默认网关");
  if (!checkIp(gateway)) return tr("请检查默认网关是否正确");
  return QString();
}

QString addressComplaint(const QString &address) {
  if (address.isEmpty()) return tr("请输入IP地址");
  if (!checkIp(address)) return tr("请检查IP地址是否正确");
  return QString();
}

CommandPaths commandPaths(const QString &commandDir) {
  if (commandDir.isEmpty())
    return {QStringLiteral("/usr/sbin/lpadmin"), QStringLiteral("/etc/init.d/cups"),
            QStringLiteral("service")};
  QString dir = commandDir.endsWith(QLatin1Char('/')) ? commandDir : commandDir + QLatin1Char('/');
  return {dir + QStringLiteral("lpadmin"), dir + QStringLiteral("cups"),
          dir + QStringLiteral("service")};
}

Command createQueueCommand(const CommandPaths &paths, const QString &address) {
  return {paths.lpadmin,
          latin1({QStringLiteral("-p"), QLatin1String(kQueueName), QStringLiteral("-m"),
                  QLatin1String(kQueueModel), QStringLiteral("-v"),
                  QStringLiteral("socket://") + address + QLatin1Char(':') + QString::number(kpx::protocol::kPrintPort),
                  QStringLiteral("-E")})};
}

Command defaultQueueCommand(const CommandPaths &paths) {
  return {paths.lpadmin, {QStringLiteral("-d"), QLatin1String(kQueueName)}};
}

Command restartCommand(const CommandPaths &paths, bool initScriptExists) {
  if (initScriptExists) return {paths.initScript, {QStringLiteral("restart")}};
  return {paths.service, {QStringLiteral("cups"), QStringLiteral("restart")}};
}

void keepErrorOutput(QByteArray &kept, const QByteArray &more) {
  kept.append(more.left(qMax(0, kErrorOutputLimit - kept.size())));
}

bool succeeded(const CommandOutcome &outcome) {
  return outcome.kind == CommandOutcome::Exited && outcome.exitCode == 0;
}

QString failureReason(const Command &command, const CommandOutcome &outcome) {
  const QString name = command.program.section(QLatin1Char('/'), -1);
  // The first line with something on it, without control characters, short
  // enough for the status line.
  const QString text = QString::fromLocal8Bit(outcome.errorOutput);
  for (const QString &rawLine : text.split(QLatin1Char('\n'))) {
    QString line;
    for (QChar c : rawLine) line += c.isPrint() ? c : QChar(QLatin1Char(' '));
    line = line.simplified();
    if (line.isEmpty()) continue;
    if (line.size() > kReasonLength) line = line.left(kReasonLength - 1) + QChar(0x2026);
    return line;
  }
  switch (outcome.kind) {
    case CommandOutcome::NotStarted:
      return tr("无法运行 %1").arg(command.program);
    case CommandOutcome::Crashed:
      return tr("%1 异常终止").arg(name);
    case CommandOutcome::TimedOut:
      return tr("%1 在 %2 秒内未结束").arg(name).arg(kCommandTimeLimitMs / 1000);
    case CommandOutcome::Exited:
      break;
  }
  return tr("%1 退出状态 %2").arg(name).arg(outcome.exitCode);
}

QString netIpInfoContent(const QString &address) { return address; }

QString netIpInfoPath(const QString &netQueueDir) {
  return netQueueDir + QLatin1Char('/') + QLatin1String(kpx::records::kNetIpInfo);
}

}  // namespace kpxnip
