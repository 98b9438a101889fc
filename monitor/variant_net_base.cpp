#include "variant.h"

#include "paths.h"
#include "printer_protocol.h"

// The status pictures, the tray icons and the window icon only: the toner
// pictures of the hidden toner tab are not part of netmonitor.
static void loadNetResources() { Q_INIT_RESOURCE(netmonitor); }

namespace kpxmon {

quint16 printerUdpPort() { return portFromEnvironment(qgetenv("KPX_PRINTER_UDP_PORT").constData(), kPrinterUdpPort); }
quint16 monitorUdpPort() { return portFromEnvironment(qgetenv("KPX_NETMONITOR_PORT").constData(), kMonitorUdpPort); }

MonitorVariant netVariant() {
  MonitorVariant v{};
  v.program = "netmonitor";
  v.transport = Transport::Udp;
  v.windowTitle = "KPX7720MW 网络状态监控";
  v.statusCommand = kpx::protocol::kUdpStatusQuery.data();
  v.pollIntervalMs = 3000;
  v.firstHideIntervalMs = 13000;
  v.startBalloon = false;
  v.startTitle = "网络状态监视器启动";
  v.startText = "网络状态监视器正在连接打印机，请稍后";
  v.decoder = DecoderRules{true, true};
  v.idleRule = IdleRule::Net;
  v.replyTrace = "receive = ";
  v.balloonOnChangeOnly = false;
  v.fixedBalloonDurationMs = 120000;
  v.jobCheckArguments = {"-R", kUsbQueue, kNetQueue};
  v.jobQueued = &netJobQueued;
  v.stateGeometry = QRect(100, 20, 411, 61);
  v.helpGeometry = QRect(100, 80, 411, 61);
  v.loadResources = &loadNetResources;
  v.queueDir = &kpx::netQueueDir;
  v.makeLink = nullptr;
  return v;
}

}  // namespace kpxmon
