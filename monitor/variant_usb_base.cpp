#include "variant.h"

#include "paths.h"
#include "printer_protocol.h"

// The full picture bundle, toner pictures included.
static void loadUsbResources() { Q_INIT_RESOURCE(monitor); }

namespace kpxmon {

MonitorVariant usbVariant(std::unique_ptr<DeviceLink> (*makeLink)()) {
  MonitorVariant v{};
  v.program = "usbmonitor";
  v.transport = Transport::Usb;
  v.windowTitle = "KPX7720MW USB状态监控";
  v.statusCommand = kpx::protocol::kStatusQuery.data();
  v.pollIntervalMs = 5000;
  v.firstHideIntervalMs = 14000;
  v.startBalloon = true;
  v.startTitle = "状态监视器启动";
  v.startText = "状态监视器正在连接打印机，请稍后";
  v.decoder = DecoderRules{false, false};
  v.idleRule = IdleRule::Usb;
  v.replyTrace = "receive execReturnMsg = ";
  v.balloonOnChangeOnly = true;
  v.fixedBalloonDurationMs = 0;
  v.jobCheckArguments = {"-R"};
  v.jobQueued = &usbJobQueued;
  v.stateGeometry = QRect(100, 20, 411, 71);
  v.helpGeometry = QRect(100, 90, 411, 61);
  v.loadResources = &loadUsbResources;
  v.queueDir = &kpx::usbQueueDir;
  v.makeLink = makeLink;
  return v;
}

}  // namespace kpxmon
