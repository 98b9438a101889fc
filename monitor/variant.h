// What makes one status monitor program out of the shared window class: its
// name, texts, timing, decoding rules, files and printer link. Each program
// links exactly one variant_*.cpp, which defines programVariant().
#pragma once

#include <memory>
#include <string>

#include "device_link.h"
#include "monitor_core.h"

namespace kpxmon {

struct MonitorVariant {
  const char *program;          // the one-instance key ("usbmonitor")
  const char *windowTitle;
  const char *statusCommand;    // the status query sent each cycle
  int pollIntervalMs;
  int firstHideIntervalMs;      // until the first message sets it
  bool startBalloon;            // the "通知" balloon at start
  const char *startTitle;       // the window's first message
  const char *startText;
  DecoderRules decoder;
  IdleRule idleRule;
  const char *replyTrace;       // debug line before a decoded reply
  bool balloonOnLevelChangeOnly;
  int fixedBalloonDurationMs;   // 0: by level
  std::string (*queueDir)();    // holds config/printerInfo (and config/printerState)
  std::unique_ptr<DeviceLink> (*makeLink)();  // null: no printer link
};

// The variant this program was built as.
const MonitorVariant &programVariant();

// The USB monitor's description with a given link factory (tests pass their
// own; the program passes the one that opens the real device).
MonitorVariant usbVariant(std::unique_ptr<DeviceLink> (*makeLink)());

}  // namespace kpxmon
