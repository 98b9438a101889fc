// How the driver talks to the printer outside the print data: the commands,
// the ports, the reading of "CODE=" replies and of the lock reply, and the
// status query over UDP. Plain C++, no Qt: the filter, the printer
// application, the monitors and netipset all read it from here.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kpx::protocol {

// ---------------------------------------------------------------- commands

inline constexpr std::string_view kStatusQuery = "CheckStatus?";     // over USB and the TCP back channel
inline constexpr std::string_view kUdpStatusQuery = "GetStatus;";    // one datagram to kStatusPort
inline constexpr std::string_view kLockQuery = "LockPrinter?";       // may a network job print now?
inline constexpr std::string_view kIpQuery = "CheckIP?";             // over USB; answered "IPadd:" + 12 bytes
inline constexpr std::string_view kSetIpStart = "SetIP=";            // + 12 bytes + ";"
inline constexpr std::string_view kIpReplyStart = "IPadd:";

// ---------------------------------------------------------------- ports

constexpr int kPrintPort = 9100;          // raw printing, TCP, with the back channel
constexpr int kStatusPort = 9101;         // the printer's UDP status port
constexpr int kMonitorStatusPort = 9102;  // netmonitor's UDP port; no one else binds it

// Longest status reply the driver looks at; anything longer is not a status.
constexpr size_t kMaxStatusReply = 4096;

// ---------------------------------------------------------------- "CODE=" replies

// What opens a status code in replies and in the printerState record.
inline constexpr std::string_view kCodeMark = "CODE=";

// A reply is cut into lines; a line that holds the mark carries one code.
// The readers of replies have grown different rules, kept as they are:
enum class CodeNumber {
  DigitRun,    // the digits right after the mark: 1 to maxDigits of them, a longer run reads as no code
  FirstField,  // the text between the line's first '=' and the next one (or the line's end, or a NUL):
               // blanks around it, an optional sign, decimal digits, within int
  Word,        // after blanks, up to maxDigits non-blank characters, all of them digits
};

struct CodeDialect {
  std::string_view lineEnds;  // any of these characters ends a line
  std::string_view mark;      // what a line carrying a code holds
  bool markStartsLine;        // the mark must open the line (else anywhere in it, first one counts)
  CodeNumber number;
  int maxDigits;              // DigitRun and Word
  size_t maxReply;            // a longer reply carries nothing; 0: no limit
};

// The filter: status text on the back channel and UDP replies.
inline constexpr CodeDialect kFilterDialect{"\r", kCodeMark, false, CodeNumber::DigitRun, 6, kMaxStatusReply};
// The printer application: any status reply.
inline constexpr CodeDialect kAppDialect{"\r\n", kCodeMark, false, CodeNumber::DigitRun, 5, 0};
// The monitors: status replies and the printerState record.
inline constexpr CodeDialect kMonitorDialect{"\r", kCodeMark, false, CodeNumber::FirstField, 0, 0};
// The answer to "LockPrinter?": cut at every 'C', 'O' and 'D', so "CODE=1"
// leaves "E=1" opening a piece.
inline constexpr CodeDialect kLockDialect{"COD", "E=", true, CodeNumber::Word, 5, 0};

struct CodeLine {
  std::string_view line;  // the whole line, without its end
  std::optional<int> code;  // none when the number does not read under the dialect's rule
};

// The lines of a reply that carry the dialect's mark, in order, each with
// its code.
std::vector<CodeLine> codeLines(std::string_view reply, const CodeDialect &dialect);

// The code of one line under the dialect's rule. For FirstField the mark is
// not looked for: the first '=' of the line counts.
std::optional<int> codeOfLine(std::string_view line, const CodeDialect &dialect);

// The codes that read, in order.
std::vector<int> codesIn(std::string_view reply, const CodeDialect &dialect);

// ---------------------------------------------------------------- the lock reply

constexpr int kNoReplyCode = 255;

struct LockReplyScan {
  bool mayPrint = false;        // a code 1 was found
  int lastCode = kNoReplyCode;  // the last code read, 255 for none or not a number
};

// Scans a reply (up to its first NUL) with kLockDialect; a code that does
// not read counts as 255. Scanning stops at the first code 1. lastCode is
// the code carried over from an earlier read.
LockReplyScan scanLockReply(const char *reply, int lastCode);

// What the check does after a reply: print, ask again after a pause, or
// read the back channel once more without a new query.
enum class LockOutcome { MayPrint = 0, ReadAgain = 1, NoAnswer = 2 };
LockOutcome lockOutcome(const LockReplyScan &scan);

// ---------------------------------------------------------------- UDP status

enum class Readiness { Ready, Timeout, Cancelled };

struct UdpStatusQuery {
  std::string host;  // the printer's IPv4 address or name
  int port = kStatusPort;
  int waitMs = 1000;
  size_t maxReply = kMaxStatusReply;  // longer datagrams are passed over
  // Waits until fd is readable or timeoutMs passed; a job being cancelled
  // answers Cancelled and the exchange ends. Empty: a plain poll.
  std::function<Readiness(int fd, int timeoutMs)> wait;
};

struct UdpStatusResult {
  enum class Outcome { Answered, NoAnswer, Unresolved, NoSocket, NotSent, Cancelled };
  Outcome outcome = Outcome::NoAnswer;
  std::string reply;  // when Answered
  int error = 0;      // errno when NotSent
};

// Sends "GetStatus;" from a port of our own (never kMonitorStatusPort) to
// the printer's status port and returns the first datagram from the
// printer's address within the wait. Datagrams from elsewhere, and
// oversized ones, are passed over.
UdpStatusResult exchangeUdpStatus(const UdpStatusQuery &query);

}  // namespace kpx::protocol
