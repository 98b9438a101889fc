// The IP setup tool's decisions and conversions, without any I/O: address
// validation, the settings block on the wire and its text forms, the
// reading of the printer's replies to "CheckIP?", the messages of the
// set-address form, and the commands that install the network queue.
// netIpSet gathers the inputs (form, USB link, processes, files) and acts
// on the answers.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "printer_protocol.h"
#include "usb_communicate.h"

namespace kpxnip {

// ------------------------------------------------------------ the wire

// The query and the start of the set command (kpx::protocol).
inline constexpr const char *kQueryCommand = kpx::protocol::kIpQuery.data();         // "CheckIP?"
inline constexpr const char *kSetCommandStart = kpx::protocol::kSetIpStart.data();  // "SetIP="
inline constexpr const char *kReplyPrefix = kpx::protocol::kIpReplyStart.data();    // "IPadd:"
extern const char kSendError[];         // "send error"
extern const char kReadIpError[];       // "read ip error"

constexpr int kBlockSize = 12;          // address, mask, gateway; one byte per octet
constexpr int kReplySize = 18;          // "IPadd:" and the block
constexpr int kSetCommandSize = 19;     // "SetIP=", the block, ";"
constexpr int kReplyBufferSize = 512;
constexpr int kMaxSingleByteReplies = 50;
// A read that failed, in place of its byte count. The reader has always
// taken a reply of exactly this many bytes for a failure too, and still does.
constexpr int kReadFailed = 254;

// One ReadCmd as the reader takes it.
inline int resultOf(const UsbRead &read) {
  return read.status == UsbStatus::Ok ? static_cast<int>(read.bytes) : kReadFailed;
}

// What the query loop does with the result of one ReadCmd.
struct ReplyStep {
  enum Kind { ReadAgain, Done } kind = ReadAgain;
  QByteArray result;  // when Done: the 12-byte payload or "read ip error"
};

// The longest the query may keep the window waiting for the answer while
// the printer sends other replies.
constexpr int kQueryTimeLimitMs = 2000;

// The query loop's memory between reads: the count of one-byte replies.
// A printer that keeps sending other replies is given up on in time: no
// read is started that could end after kQueryTimeLimitMs.
class ReplyReader {
 public:
  // `readTimeoutMs`: how long one read may wait (the link's timeout).
  explicit ReplyReader(int readTimeoutMs) : readTimeoutMs_(readTimeoutMs) {}

  // `result` is the byte count of one ReadCmd, or kReadFailed when it
  // failed (resultOf), `buffer` the reply buffer it
  // filled, `elapsedMs` the time since the query was sent.
  ReplyStep feed(int result, const unsigned char *buffer, qint64 elapsedMs);

 private:
  int readTimeoutMs_;
  int singleByteReplies_ = 0;
};

// ----------------------------------------------------- conversions

// The digit's value: '0'-'9' 0-9, 'A'-'F' and 'a'-'f' 10-15, else 0xFF.
int ConvertHexChar(char c);

// The first 12 bytes as two lower-case hex digits each, separated by single
// spaces ("c0 a8 01 0a ...").
QString HexToStr(const QByteArray &block);

// Every dot-separated part as lower-case hex, padded to an even number of
// digits, run together: "192.168.1.10" -> "c0a8010a". A part that is not a
// number counts as 0.
QString StringToHenStr(const QString &dotted);

// Hex digit pairs to bytes, looking at no more than the first 24 positions
// and skipping spaces; positions past the end count as digit 0xFF, so a
// short text still gives 12 bytes (0xEF where digits are missing).
QByteArray HexStrToByteArray(const QString &hex);

// The settings block for three dotted values (each already accepted by
// checkIp).
QByteArray encodeSettings(const QString &address, const QString &mask, const QString &gateway);

// The three dotted values of a 12-byte payload, and the debug lines
// ("ip = ...", "mask = ...", "port = ...") written while they are built.
struct Settings {
  QString address, mask, gateway;
  QStringList debugLines;
};
Settings decodeSettings(const QByteArray &payload);

// --------------------------------------------------------- the form

// Four dot-separated parts, each of 1 to 3 decimal digits with a value of
// 0 to 255.
bool checkIp(const QString &text);

// The address with every part as its plain decimal value, so that the
// printer, CUPS and netmonitor all read the same host ("192.168.001.010"
// -> "192.168.1.10"; some readers take a leading zero for octal). Text
// that checkIp rejects comes back unchanged.
QString normalizedAddress(const QString &text);

// The first complaint about the three values of the set-address form, in
// the order the form checks them; empty when all three are valid.
QString settingsComplaint(const QString &address, const QString &mask, const QString &gateway);

// The complaint about the address of the add-printer form, or empty.
QString addressComplaint(const QString &address);

// ------------------------------------------------- queue installation

extern const char kQueueName[];   // "KPX7720MW-net"
extern const char kQueueModel[];  // "KPX7720MW-net.ppd"

struct Command {
  QString program;
  QStringList arguments;
};

// Where the installation finds its tools. Tests point KPX_COMMAND_DIR at a
// directory of stand-ins holding "lpadmin", "cups" (the init script) and
// "service"; unset or empty means the system's own.
struct CommandPaths {
  QString lpadmin;     // "/usr/sbin/lpadmin"
  QString initScript;  // "/etc/init.d/cups"
  QString service;     // "service", looked up in PATH
};
CommandPaths commandPaths(const QString &commandDir);

// lpadmin -p KPX7720MW-net -m KPX7720MW-net.ppd -v socket://ADDRESS:9100 -E
Command createQueueCommand(const CommandPaths &paths, const QString &address);
// lpadmin -d KPX7720MW-net
Command defaultQueueCommand(const CommandPaths &paths);
// "<init script> restart" when the script exists, else "service cups restart".
Command restartCommand(const CommandPaths &paths, bool initScriptExists);

// How a tool run ended. Only the first kErrorOutputLimit bytes of what it
// wrote to standard error are kept.
constexpr int kCommandTimeLimitMs = 30000;
constexpr int kErrorOutputLimit = 4096;

struct CommandOutcome {
  enum Kind { Exited, NotStarted, Crashed, TimedOut } kind = NotStarted;
  int exitCode = 0;
  QByteArray errorOutput;
};

// Appends to `kept` what fits under kErrorOutputLimit.
void keepErrorOutput(QByteArray &kept, const QByteArray &more);

bool succeeded(const CommandOutcome &outcome);

// Why a tool failed, in one short line for the status line: the first
// line it wrote to standard error, else how it ended.
QString failureReason(const Command &command, const CommandOutcome &outcome);

// What netIpInfo holds for an address: the address as typed, nothing else.
QString netIpInfoContent(const QString &address);

// The path of netIpInfo below the network queue's directory.
QString netIpInfoPath(const QString &netQueueDir);

}  // namespace kpxnip
