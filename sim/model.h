// The simulated printer's state and its answers to the printer commands,
// free of any I/O so that tests can drive it directly. The program keeps
// one PrinterState behind a mutex and calls these functions from its
// socket loop and from the USB handler thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "printer_protocol.h"
#include "printstream.h"

namespace kpxsim {

inline constexpr std::string_view kCheckStatus = kpx::protocol::kStatusQuery;
inline constexpr std::string_view kCheckIp = kpx::protocol::kIpQuery;
inline constexpr std::string_view kSetIpPrefix = kpx::protocol::kSetIpStart;
inline constexpr std::string_view kIpReplyPrefix = kpx::protocol::kIpReplyStart;
inline constexpr std::string_view kGetStatus = kpx::protocol::kUdpStatusQuery;

// ---- status lines -------------------------------------------------------

// Status arguments to lines: "10001" gives "CODE=10001"; an argument holding
// '=' is a line as it stands ("CODE=10023", "TONER=40"); an argument holding
// CR (or the escape "\r") is split into several lines. Empty parts are dropped.
bool parseStatusArgs(const std::vector<std::string> &args, std::vector<std::string> &lines,
                     std::string &err);

// The printer's status reply: each line followed by a carriage return.
std::string buildStatusReply(const std::vector<std::string> &lines);

// ---- network settings ---------------------------------------------------

// IP address, subnet mask, gateway: one byte per octet, in this order.
using IpSettings = std::array<uint8_t, 12>;

// "192.168.1.100/255.255.255.0/192.168.1.1".
bool parseIpSettings(std::string_view text, IpSettings &out, std::string &err);
std::string formatIpSettings(const IpSettings &ip);

// "IPadd:" followed by the 12-byte block (18 bytes).
std::string buildIpReply(const IpSettings &ip);

// "SetIP=" + 12 bytes + ";" (exactly 19 bytes).
bool parseSetIp(std::string_view bytes, IpSettings &out);

// ---- lock query ---------------------------------------------------------

class LockResponder {
 public:
  enum class Mode { Free, Busy, Silent, Script };

  // "free", "busy", "silent" or "script:2,2,1" (entries are codes or
  // "silent"; after the last entry the last answer repeats).
  static bool parse(std::string_view text, LockResponder &out, std::string &err);

  // Answer to one "LockPrinter?": "CODE=n\r", or nothing.
  std::optional<std::string> answer();
  std::string describe() const;
  Mode mode() const { return mode_; }

 private:
  Mode mode_ = Mode::Free;
  std::vector<std::optional<int>> script_;  // nullopt = stay silent
  size_t next_ = 0;
};

// ---- USB ----------------------------------------------------------------

enum class UsbMode {
  Normal,      // IN transfers return queued replies; with none queued they wait
  Silent,      // IN transfers never complete (the client times out)
  Empty,       // IN transfers complete with 0 bytes
  SingleByte,  // IN transfers complete with the single byte 0x00
};
bool parseUsbMode(std::string_view text, UsbMode &out);
const char *usbModeName(UsbMode m);

// "HEX[,HEX...]": each entry is the exact answer to one IN transfer; an
// empty entry answers 0 bytes; "HEX*N" repeats an entry N times.
bool parseUsbScript(std::string_view text, std::vector<std::string> &out, std::string &err);

enum class UdpMode { Normal, Empty, Silent };
bool parseUdpMode(std::string_view text, UdpMode &out);
const char *udpModeName(UdpMode m);

// ---- the printer --------------------------------------------------------

struct JobRecord {
  int id = 0;
  std::string peer;
  std::string started, ended;  // local time, ISO 8601 with milliseconds
  std::string lastByte;         // when its last byte came (the connection may stay open after)
  std::string file;            // raw bytes on disk, or "" without a jobs dir
  PrintStreamSummary summary;
};

// job=N, peer=, started=, ended=, file= and then formatSummary's lines.
std::string formatJobRecord(const JobRecord &j);

struct PrinterState {
  std::vector<std::string> statusLines{"CODE=10001"};
  IpSettings ip{192, 168, 1, 100, 255, 255, 255, 0, 192, 168, 1, 1};

  // TCP print port
  LockResponder lock;
  bool stall = false;
  std::string backStatus;        // sent once per job on its connection
  size_t backStatusAfterKib = 0;  // ... after this much PCL XL data
  std::vector<JobRecord> jobs;   // ended jobs
  int jobsStarted = 0;
  int lockOnlyConnections = 0;
  int emptyConnections = 0;
  int lockQueries = 0;

  // UDP
  UdpMode udpMode = UdpMode::Normal;
  std::vector<std::string> udpLog;

  // USB
  UsbMode usbMode = UsbMode::Normal;
  std::deque<std::string> usbScript;   // answers for the next IN transfers
  std::deque<std::string> usbReplies;  // replies queued by OUT commands
  bool usbEnabled = false;
  bool usbPlugged = true;
  bool kernelDriverBound = true;  // "usblp" holds interface 0
  bool kernelDriverOnPlug = true;  // usblp binds again when plugged in
  bool releaseFail = false;
  int usbDevnum = 2;
  std::vector<std::string> usbLog;  // "out HEX", "in HEX", events

  // Print data over USB: a job opens with the UEL in an OUT transfer and
  // lasts until the interface is released or the device goes away.
  std::string usbPrint;          // the job being received
  std::string usbPrintStarted;   // when it started (set by the USB side)
  struct UsbPrint {
    std::string data, started;
  };
  std::deque<UsbPrint> usbPrintsDone;  // ended, for the server to record
};

inline constexpr size_t kMaxQueuedUsbReplies = 8;
inline constexpr size_t kMaxLogLines = 10000;

// An OUT transfer on endpoint 0x01: recorded, and answered per command:
// "CheckStatus?" queues the status reply, "CheckIP?" the IP reply, a 19-byte
// "SetIP=...;" stores new settings; data that opens with the UEL starts a
// print job, which takes every other transfer until endUsbPrint. Returns a
// short description for the log.
std::string usbOut(PrinterState &st, std::string_view data);

// Ends the USB print job in progress, if any: it moves to usbPrintsDone.
void endUsbPrint(PrinterState &st);

// An IN transfer on endpoint 0x82 asks for its answer: nullopt means the
// transfer stays pending (ask again later). The answer is cut to maxLen.
std::optional<std::string> usbIn(PrinterState &st, size_t maxLen);

// UDP datagram: the reply datagram to send, or nullopt for none.
std::optional<std::string> udpDatagram(PrinterState &st, std::string_view data,
                                       const std::string &peer);

void appendLog(std::vector<std::string> &log, std::string line);

// Multi-line description of everything (the "state" control command).
std::string describeState(const PrinterState &st);

}  // namespace kpxsim
