#include "model.h"

#include <cstdio>

#include "textutil.h"

namespace kpxsim {

bool parseStatusArgs(const std::vector<std::string> &args, std::vector<std::string> &lines,
                     std::string &err) {
  std::vector<std::string> out;
  for (const std::string &arg : args) {
    std::string text = unescapeText(arg);
    for (std::string part : split(text, '\r')) {
      if (!part.empty() && part.back() == '\n') part.pop_back();
      if (part.empty()) continue;
      uint64_t code = 0;
      if (part.find('=') != std::string::npos) {
        out.push_back(part);
      } else if (parseUnsigned(part, code)) {
        out.push_back(std::string(kpx::protocol::kCodeMark) + part);
      } else {
        err = "status line is neither a code nor NAME=VALUE: " + part;
        return false;
      }
    }
  }
  lines = std::move(out);
  return true;
}

std::string buildStatusReply(const std::vector<std::string> &lines) {
  std::string out;
  for (const std::string &l : lines) {
    out += l;
    out += '\r';
  }
  return out;
}

bool parseIpSettings(std::string_view text, IpSettings &out, std::string &err) {
  std::vector<std::string> groups = split(text, '/');
  if (groups.size() != 3) {
    err = "expected ADDRESS/MASK/GATEWAY";
    return false;
  }
  IpSettings ip{};
  for (size_t g = 0; g < 3; ++g) {
    std::vector<std::string> octets = split(groups[g], '.');
    if (octets.size() != 4) {
      err = "not a dotted address: " + groups[g];
      return false;
    }
    for (size_t o = 0; o < 4; ++o) {
      uint64_t v = 0;
      if (!parseUnsigned(octets[o], v) || v > 255) {
        err = "bad octet in " + groups[g];
        return false;
      }
      ip[g * 4 + o] = static_cast<uint8_t>(v);
    }
  }
  out = ip;
  return true;
}

std::string formatIpSettings(const IpSettings &ip) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%u.%u.%u.%u/%u.%u.%u.%u/%u.%u.%u.%u", ip[0], ip[1], ip[2], ip[3],
                ip[4], ip[5], ip[6], ip[7], ip[8], ip[9], ip[10], ip[11]);
  return buf;
}

std::string buildIpReply(const IpSettings &ip) {
  std::string out(kIpReplyPrefix);
  out.append(reinterpret_cast<const char *>(ip.data()), ip.size());
  return out;
}

bool parseSetIp(std::string_view bytes, IpSettings &out) {
  if (bytes.size() != kSetIpPrefix.size() + 13 || !startsWith(bytes, kSetIpPrefix) ||
      bytes.back() != ';')
    return false;
  for (size_t i = 0; i < 12; ++i) out[i] = static_cast<uint8_t>(bytes[kSetIpPrefix.size() + i]);
  return true;
}

// ---- lock ---------------------------------------------------------------

bool LockResponder::parse(std::string_view text, LockResponder &out, std::string &err) {
  LockResponder r;
  if (text == "free") {
    r.mode_ = Mode::Free;
  } else if (text == "busy") {
    r.mode_ = Mode::Busy;
  } else if (text == "silent") {
    r.mode_ = Mode::Silent;
  } else if (startsWith(text, "script:")) {
    r.mode_ = Mode::Script;
    for (const std::string &e : split(text.substr(7), ',')) {
      uint64_t code = 0;
      if (e == "silent" || e == "s") {
        r.script_.push_back(std::nullopt);
      } else if (parseUnsigned(e, code) && code <= 99999) {
        r.script_.push_back(static_cast<int>(code));
      } else {
        err = "bad lock script entry '" + e + "' (a code or 'silent')";
        return false;
      }
    }
  } else {
    err = "lock mode must be free, busy, silent or script:CODE,...";
    return false;
  }
  out = r;
  return true;
}

std::optional<std::string> LockResponder::answer() {
  std::optional<int> code;
  switch (mode_) {
    case Mode::Free: code = 1; break;
    case Mode::Busy: code = 2; break;
    case Mode::Silent: break;
    case Mode::Script:
      code = script_[next_];
      if (next_ + 1 < script_.size()) ++next_;
      break;
  }
  if (!code) return std::nullopt;
  return std::string(kpx::protocol::kCodeMark) + std::to_string(*code) + "\r";
}

std::string LockResponder::describe() const {
  switch (mode_) {
    case Mode::Free: return "free";
    case Mode::Busy: return "busy";
    case Mode::Silent: return "silent";
    case Mode::Script: {
      std::string s = "script:";
      for (size_t i = 0; i < script_.size(); ++i) {
        if (i) s += ',';
        s += script_[i] ? std::to_string(*script_[i]) : "silent";
      }
      s += " (next " + std::to_string(next_ + 1) + ")";
      return s;
    }
  }
  return "?";
}

// ---- modes --------------------------------------------------------------

bool parseUsbMode(std::string_view text, UsbMode &out) {
  if (text == "normal") out = UsbMode::Normal;
  else if (text == "silent") out = UsbMode::Silent;
  else if (text == "empty") out = UsbMode::Empty;
  else if (text == "single-byte") out = UsbMode::SingleByte;
  else return false;
  return true;
}

const char *usbModeName(UsbMode m) {
  switch (m) {
    case UsbMode::Normal: return "normal";
    case UsbMode::Silent: return "silent";
    case UsbMode::Empty: return "empty";
    case UsbMode::SingleByte: return "single-byte";
  }
  return "?";
}

bool parseUsbScript(std::string_view text, std::vector<std::string> &out, std::string &err) {
  std::vector<std::string> result;
  for (const std::string &entry : split(text, ',')) {
    std::string hex = entry;
    uint64_t times = 1;
    size_t star = entry.find('*');
    if (star != std::string::npos) {
      hex = entry.substr(0, star);
      if (!parseUnsigned(std::string_view(entry).substr(star + 1), times) || times == 0 ||
          times > 10000) {
        err = "bad repeat count in '" + entry + "'";
        return false;
      }
    }
    std::string bytes;
    if (!fromHex(hex, bytes)) {
      err = "not hex: '" + hex + "'";
      return false;
    }
    for (uint64_t i = 0; i < times; ++i) result.push_back(bytes);
    if (result.size() > 100000) {
      err = "script too long";
      return false;
    }
  }
  out = std::move(result);
  return true;
}

bool parseUdpMode(std::string_view text, UdpMode &out) {
  if (text == "normal") out = UdpMode::Normal;
  else if (text == "empty") out = UdpMode::Empty;
  else if (text == "silent") out = UdpMode::Silent;
  else return false;
  return true;
}

const char *udpModeName(UdpMode m) {
  switch (m) {
    case UdpMode::Normal: return "normal";
    case UdpMode::Empty: return "empty";
    case UdpMode::Silent: return "silent";
  }
  return "?";
}

// ---- exchanges ----------------------------------------------------------

void appendLog(std::vector<std::string> &log, std::string line) {
  if (log.size() >= kMaxLogLines) log.erase(log.begin(), log.begin() + static_cast<long>(kMaxLogLines / 10));
  log.push_back(std::move(line));
}

std::string usbOut(PrinterState &st, std::string_view data) {
  // Print data sent over USB can be large: keep the start of it.
  constexpr size_t kLogged = 4096;
  appendLog(st.usbLog, data.size() <= kLogged ? "out " + toHex(data)
                                              : "out " + toHex(data.substr(0, kLogged)) + "... (" +
                                                    std::to_string(data.size()) + " bytes)");
  std::string reply;
  std::string what;
  IpSettings ip{};
  if (data == kCheckStatus) {
    reply = buildStatusReply(st.statusLines);
    what = kCheckStatus;
  } else if (data == kCheckIp) {
    reply = buildIpReply(st.ip);
    what = kCheckIp;
  } else if (parseSetIp(data, ip)) {
    st.ip = ip;
    return "SetIP " + formatIpSettings(ip);
  } else if (!st.usbPrint.empty() || startsWith(data, kUel)) {
    st.usbPrint.append(data);
    return "print data (" + std::to_string(st.usbPrint.size()) + " bytes in this job)";
  } else if (startsWith(data, kSetIpPrefix)) {
    return "malformed SetIP (" + std::to_string(data.size()) + " bytes), ignored";
  } else {
    return "unknown command " + showBytes(data.substr(0, 64)) + ", ignored";
  }
  if (st.usbReplies.size() >= kMaxQueuedUsbReplies) st.usbReplies.pop_front();
  st.usbReplies.push_back(reply);
  return what + " -> reply queued (" + std::to_string(reply.size()) + " bytes)";
}

void endUsbPrint(PrinterState &st) {
  if (st.usbPrint.empty()) return;
  st.usbPrintsDone.push_back({std::move(st.usbPrint), std::move(st.usbPrintStarted)});
  st.usbPrint.clear();
  st.usbPrintStarted.clear();
}

std::optional<std::string> usbIn(PrinterState &st, size_t maxLen) {
  if (!st.usbPlugged) return std::nullopt;
  std::optional<std::string> answer;
  if (!st.usbScript.empty()) {
    answer = std::move(st.usbScript.front());
    st.usbScript.pop_front();
  } else {
    switch (st.usbMode) {
      case UsbMode::Normal:
        if (!st.usbReplies.empty()) {
          answer = std::move(st.usbReplies.front());
          st.usbReplies.pop_front();
        }
        break;
      case UsbMode::Silent: break;
      case UsbMode::Empty: answer = std::string(); break;
      case UsbMode::SingleByte: answer = std::string(1, '\0'); break;
    }
  }
  if (answer) {
    if (answer->size() > maxLen) answer->resize(maxLen);
    appendLog(st.usbLog, "in " + toHex(*answer));
  }
  return answer;
}

std::optional<std::string> udpDatagram(PrinterState &st, std::string_view data,
                                       const std::string &peer) {
  std::optional<std::string> reply;
  std::string outcome;
  if (data != kGetStatus) {
    outcome = "ignored";
  } else {
    switch (st.udpMode) {
      case UdpMode::Normal:
        reply = buildStatusReply(st.statusLines);
        outcome = "status \"" + escapeText(*reply) + "\"";
        break;
      case UdpMode::Empty:
        reply = std::string();
        outcome = "empty datagram";
        break;
      case UdpMode::Silent: outcome = "no reply (silent)"; break;
    }
  }
  appendLog(st.udpLog, "from " + peer + " " + showBytes(data.substr(0, 256)) + " -> " + outcome);
  return reply;
}

std::string formatJobRecord(const JobRecord &j) {
  std::string out = "job=" + std::to_string(j.id) + "\n";
  out += "peer=" + escapeText(j.peer) + "\n";
  out += "started=" + j.started + "\n";
  out += "ended=" + j.ended + "\n";
  out += "last_byte=" + (j.lastByte.empty() ? j.ended : j.lastByte) + "\n";
  out += "file=" + escapeText(j.file) + "\n";
  out += formatSummary(j.summary);
  return out;
}

std::string describeState(const PrinterState &st) {
  std::string out;
  auto kv = [&out](const std::string &k, const std::string &v) { out += k + "=" + v + "\n"; };
  kv("status", escapeText(buildStatusReply(st.statusLines)));
  kv("ip", formatIpSettings(st.ip));
  kv("lock", st.lock.describe());
  kv("stall", st.stall ? "on" : "off");
  kv("backstatus", escapeText(st.backStatus));
  kv("backstatus_after_kib", std::to_string(st.backStatusAfterKib));
  kv("jobs_started", std::to_string(st.jobsStarted));
  kv("jobs_ended", std::to_string(st.jobs.size()));
  kv("lock_only_connections", std::to_string(st.lockOnlyConnections));
  kv("empty_connections", std::to_string(st.emptyConnections));
  kv("lock_queries", std::to_string(st.lockQueries));
  kv("udp_mode", udpModeName(st.udpMode));
  kv("usb", st.usbEnabled ? "on" : "off");
  kv("usb_mode", usbModeName(st.usbMode));
  kv("usb_script_left", std::to_string(st.usbScript.size()));
  kv("usb_replies_queued", std::to_string(st.usbReplies.size()));
  kv("usb_plugged", st.usbPlugged ? "yes" : "no");
  kv("usb_devnum", std::to_string(st.usbDevnum));
  kv("kernel_driver", st.kernelDriverBound ? "usblp" : "none");
  kv("release_fail", st.releaseFail ? "on" : "off");
  return out;
}

}  // namespace kpxsim
