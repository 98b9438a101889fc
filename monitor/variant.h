// What makes one status monitor program out of the shared window class: its
// name, texts, timing, decoding rules, files and printer link. Each program
// links exactly one variant_*.cpp, which defines programVariant().
#pragma once

#include <QRect>

#include <memory>
#include <string>
#include <vector>

#include "device_link.h"
#include "monitor_core.h"
#include "printer_protocol.h"

namespace kpxmon {

// How a monitor reaches the printer: the USB poll cycle through a DeviceLink,
// or a "GetStatus;" datagram per cycle with the status arriving on a UDP
// socket whenever the printer sends it.
enum class Transport { Usb, Udp };

struct MonitorVariant {
  const char *program;          // the one-instance key ("usbmonitor", "netmonitor")
  Transport transport;
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
  bool balloonOnChangeOnly;
  int fixedBalloonDurationMs;   // 0: by level
  std::vector<std::string> jobCheckArguments;  // lpstat arguments of the job check
  bool (*jobQueued)(QueueCounts);              // what the job check's counts mean
  QRect stateGeometry;          // printer_state and printer_help on the status page
  QRect helpGeometry;
  void (*loadResources)();      // registers the program's picture bundle
  std::string (*queueDir)();    // holds config/printerInfo (and printerState or netIpInfo)
  std::unique_ptr<DeviceLink> (*makeLink)();  // null: no printer link
};

// The variant this program was built as.
const MonitorVariant &programVariant();

// The USB monitor's description with a given link factory (tests pass their
// own; the program passes the one that opens the real device).
MonitorVariant usbVariant(std::unique_ptr<DeviceLink> (*makeLink)());

// The network monitor's description: no printer link, UDP status.
MonitorVariant netVariant();

// The network monitor's UDP ports: the printer's status port and the
// monitor's own (kpx::protocol). KPX_PRINTER_UDP_PORT and KPX_NETMONITOR_PORT replace them, so
// that tests can point the monitor at a simulator and run beside each other.
constexpr quint16 kPrinterUdpPort = kpx::protocol::kStatusPort;
constexpr quint16 kMonitorUdpPort = kpx::protocol::kMonitorStatusPort;
quint16 printerUdpPort();
quint16 monitorUdpPort();

}  // namespace kpxmon
