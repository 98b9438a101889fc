// The simulator's control commands ("kpx7720mw-sim ctl ..."): parsing and the
// part of their effect that only touches the printer state.
#pragma once

#include <string>
#include <vector>

#include "model.h"

namespace kpxsim {

struct ControlCommand {
  enum class Kind {
    Status,       // status CODE|LINE...
    Lock,         // lock free|busy|silent|script:...
    Stall,        // stall on|off
    BackStatus,   // backstatus TEXT [KIB] | backstatus off
    UsbMode,      // usb-mode normal|silent|empty|single-byte
    UsbScript,    // usb-script HEX[,HEX...] | usb-script clear
    Unplug,       // unplug
    Replug,       // replug
    Ip,           // ip A/M/G
    ReleaseFail,  // release-fail on|off
    UdpMode,      // udp-mode normal|empty|silent
    Jobs,         // jobs
    WaitJobs,     // wait-jobs N TIMEOUT_S
    UsbLog,       // usb-log [clear]
    UdpLog,       // udp-log [clear]
    State,        // state
    Quit,         // quit
  };
  Kind kind = Kind::State;
  std::vector<std::string> lines;   // Status
  LockResponder lock;               // Lock
  bool on = false;                  // Stall, ReleaseFail; "clear" for logs/script
  std::string text;                 // BackStatus (escapes decoded)
  size_t kib = 0;                   // BackStatus
  UsbMode usbMode = UsbMode::Normal;
  UdpMode udpMode = UdpMode::Normal;
  std::vector<std::string> script;  // UsbScript
  IpSettings ip{};                  // Ip
  int count = 0;                    // WaitJobs
  double timeoutSeconds = 0;        // WaitJobs
};

bool parseControlCommand(const std::vector<std::string> &args, ControlCommand &out,
                         std::string &err);

// Applies commands that only change state (status, lock, stall, backstatus,
// usb-mode, usb-script, ip, release-fail, udp-mode, state, jobs and the logs)
// and returns the reply body. Returns false for the commands the program must
// carry out itself (unplug, replug, wait-jobs, quit).
bool applyControlCommand(PrinterState &st, const ControlCommand &cmd, std::string &reply);

// "on"/"off".
bool parseOnOff(const std::string &s, bool &out);

// The usage text of the control commands.
const char *controlUsage();

}  // namespace kpxsim
