#include "control.h"

#include <cmath>
#include <cstdlib>

#include "textutil.h"

namespace kpxsim {

namespace {

bool wantArgs(const std::vector<std::string> &args, size_t min, size_t max, std::string &err) {
  size_t n = args.size() - 1;
  if (n < min || n > max) {
    err = args[0] + ": wrong number of arguments";
    return false;
  }
  return true;
}

bool parseSeconds(const std::string &s, double &out) {
  if (s.empty()) return false;
  char *end = nullptr;
  double v = std::strtod(s.c_str(), &end);
  if (*end != '\0' || !std::isfinite(v) || v < 0 || v > 86400) return false;
  out = v;
  return true;
}

}  // namespace

bool parseOnOff(const std::string &s, bool &out) {
  if (s == "on") out = true;
  else if (s == "off") out = false;
  else return false;
  return true;
}

const char *controlUsage() {
  return "commands:\n"
         "  status CODE|LINE...          set the status lines (10001 -> CODE=10001)\n"
         "  lock free|busy|silent|script:C,C,...\n"
         "  stall on|off                 stop/resume reading print connections\n"
         "  backstatus TEXT [KIB]        send TEXT on each job after KIB KiB of page data\n"
         "  backstatus off\n"
         "  usb-mode normal|silent|empty|single-byte\n"
         "  usb-script HEX[*N][,HEX...]  exact answers for the next IN transfers\n"
         "  usb-script clear\n"
         "  unplug | replug\n"
         "  ip ADDRESS/MASK/GATEWAY\n"
         "  release-fail on|off\n"
         "  udp-mode normal|empty|silent\n"
         "  jobs | wait-jobs N TIMEOUT_S\n"
         "  usb-log [clear] | udp-log [clear]\n"
         "  state | quit\n";
}

namespace {

using Args = std::vector<std::string>;
using K = ControlCommand::Kind;

// One parser per command: args[0] is the command's name; c.kind is set by
// the caller.

bool parseStatusCommand(const Args &args, ControlCommand &c, std::string &err) {
  if (args.size() < 2) {
    err = "status: give at least one code";
    return false;
  }
  if (!parseStatusArgs(Args(args.begin() + 1, args.end()), c.lines, err)) return false;
  if (c.lines.empty()) {
    err = "status: no status line given";
    return false;
  }
  return true;
}

bool parseLockCommand(const Args &args, ControlCommand &c, std::string &err) {
  return wantArgs(args, 1, 1, err) && LockResponder::parse(args[1], c.lock, err);
}

// stall, release-fail
bool parseSwitchCommand(const Args &args, ControlCommand &c, std::string &err) {
  if (!wantArgs(args, 1, 1, err)) return false;
  if (!parseOnOff(args[1], c.on)) {
    err = args[0] + ": expected on or off";
    return false;
  }
  return true;
}

bool parseBackStatusCommand(const Args &args, ControlCommand &c, std::string &err) {
  if (!wantArgs(args, 1, 2, err)) return false;
  if (args.size() == 2 && args[1] == "off") {
    c.text.clear();
    return true;
  }
  c.text = unescapeText(args[1]);
  if (c.text.empty()) {
    err = "backstatus: empty text (use 'backstatus off')";
    return false;
  }
  uint64_t kib = 0;
  if (args.size() == 3) {
    if (!parseUnsigned(args[2], kib) || kib > 1024 * 1024) {
      err = "backstatus: KIB must be a number of KiB";
      return false;
    }
  }
  c.kib = static_cast<size_t>(kib);
  return true;
}

bool parseUsbModeCommand(const Args &args, ControlCommand &c, std::string &err) {
  if (!wantArgs(args, 1, 1, err)) return false;
  if (!parseUsbMode(args[1], c.usbMode)) {
    err = "usb-mode: expected normal, silent, empty or single-byte";
    return false;
  }
  return true;
}

bool parseUdpModeCommand(const Args &args, ControlCommand &c, std::string &err) {
  if (!wantArgs(args, 1, 1, err)) return false;
  if (!parseUdpMode(args[1], c.udpMode)) {
    err = "udp-mode: expected normal, empty or silent";
    return false;
  }
  return true;
}

bool parseUsbScriptCommand(const Args &args, ControlCommand &c, std::string &err) {
  if (!wantArgs(args, 1, 1, err)) return false;
  if (args[1] == "clear") {
    c.on = true;
  } else if (!parseUsbScript(args[1], c.script, err)) {
    err = "usb-script: " + err;
    return false;
  }
  return true;
}

// unplug, replug, jobs, state, quit
bool parseBareCommand(const Args &args, ControlCommand &, std::string &err) { return wantArgs(args, 0, 0, err); }

bool parseIpCommand(const Args &args, ControlCommand &c, std::string &err) {
  if (!wantArgs(args, 1, 1, err)) return false;
  if (!parseIpSettings(args[1], c.ip, err)) {
    err = "ip: " + err;
    return false;
  }
  return true;
}

bool parseWaitJobsCommand(const Args &args, ControlCommand &c, std::string &err) {
  if (!wantArgs(args, 2, 2, err)) return false;
  uint64_t n = 0;
  if (!parseUnsigned(args[1], n) || n > 1000000 || !parseSeconds(args[2], c.timeoutSeconds)) {
    err = "wait-jobs: expected a job count and a timeout in seconds";
    return false;
  }
  c.count = static_cast<int>(n);
  return true;
}

// usb-log, udp-log
bool parseLogCommand(const Args &args, ControlCommand &c, std::string &err) {
  if (!wantArgs(args, 0, 1, err)) return false;
  if (args.size() == 2) {
    if (args[1] != "clear") {
      err = args[0] + ": the only argument is 'clear'";
      return false;
    }
    c.on = true;
  }
  return true;
}

struct CommandParser {
  const char *name;
  K kind;
  bool (*parse)(const Args &, ControlCommand &, std::string &);
};

const CommandParser kCommands[] = {
    {"status", K::Status, parseStatusCommand},
    {"lock", K::Lock, parseLockCommand},
    {"stall", K::Stall, parseSwitchCommand},
    {"release-fail", K::ReleaseFail, parseSwitchCommand},
    {"backstatus", K::BackStatus, parseBackStatusCommand},
    {"usb-mode", K::UsbMode, parseUsbModeCommand},
    {"udp-mode", K::UdpMode, parseUdpModeCommand},
    {"usb-script", K::UsbScript, parseUsbScriptCommand},
    {"unplug", K::Unplug, parseBareCommand},
    {"replug", K::Replug, parseBareCommand},
    {"jobs", K::Jobs, parseBareCommand},
    {"state", K::State, parseBareCommand},
    {"quit", K::Quit, parseBareCommand},
    {"ip", K::Ip, parseIpCommand},
    {"wait-jobs", K::WaitJobs, parseWaitJobsCommand},
    {"usb-log", K::UsbLog, parseLogCommand},
    {"udp-log", K::UdpLog, parseLogCommand},
};

}  // namespace

bool parseControlCommand(const std::vector<std::string> &args, ControlCommand &out,
                         std::string &err) {
  if (args.empty()) {
    err = "no command";
    return false;
  }
  for (const CommandParser &p : kCommands) {
    if (args[0] != p.name) continue;
    ControlCommand c;
    c.kind = p.kind;
    if (!p.parse(args, c, err)) return false;
    out = std::move(c);
    return true;
  }
  err = "unknown command '" + args[0] + "'";
  return false;
}

bool applyControlCommand(PrinterState &st, const ControlCommand &c, std::string &reply) {
  using K = ControlCommand::Kind;
  reply.clear();
  auto joinLog = [&reply](const std::vector<std::string> &log) {
    for (const std::string &l : log) reply += l + "\n";
  };
  switch (c.kind) {
    case K::Status:
      st.statusLines = c.lines;
      reply = "status " + escapeText(buildStatusReply(st.statusLines)) + "\n";
      return true;
    case K::Lock:
      st.lock = c.lock;
      reply = "lock " + st.lock.describe() + "\n";
      return true;
    case K::Stall:
      st.stall = c.on;
      reply = std::string("stall ") + (c.on ? "on" : "off") + "\n";
      return true;
    case K::BackStatus:
      st.backStatus = c.text;
      st.backStatusAfterKib = c.kib;
      reply = c.text.empty() ? "backstatus off\n"
                             : "backstatus \"" + escapeText(c.text) + "\" after " +
                                   std::to_string(c.kib) + " KiB\n";
      return true;
    case K::UsbMode:
      st.usbMode = c.usbMode;
      st.usbReplies.clear();
      reply = std::string("usb-mode ") + usbModeName(c.usbMode) + "\n";
      return true;
    case K::UsbScript:
      st.usbScript.assign(c.script.begin(), c.script.end());
      reply = "usb-script " + std::to_string(st.usbScript.size()) + " answers\n";
      return true;
    case K::Ip:
      st.ip = c.ip;
      reply = "ip " + formatIpSettings(st.ip) + "\n";
      return true;
    case K::ReleaseFail:
      st.releaseFail = c.on;
      reply = std::string("release-fail ") + (c.on ? "on" : "off") + "\n";
      return true;
    case K::UdpMode:
      st.udpMode = c.udpMode;
      reply = std::string("udp-mode ") + udpModeName(c.udpMode) + "\n";
      return true;
    case K::Jobs:
      for (const JobRecord &j : st.jobs) reply += formatJobRecord(j) + "\n";
      return true;
    case K::UsbLog:
      if (c.on) st.usbLog.clear();
      else joinLog(st.usbLog);
      return true;
    case K::UdpLog:
      if (c.on) st.udpLog.clear();
      else joinLog(st.udpLog);
      return true;
    case K::State:
      reply = describeState(st);
      return true;
    case K::Unplug:
    case K::Replug:
    case K::WaitJobs:
    case K::Quit:
      return false;
  }
  return false;
}

}  // namespace kpxsim
