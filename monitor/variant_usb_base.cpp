#include "variant.h"

#include "paths.h"

namespace kpxmon {

MonitorVariant usbVariant(std::unique_ptr<DeviceLink> (*makeLink)()) {
  MonitorVariant v{};
  v.program = "usbmonitor";
  v.windowTitle = "KPX7720MW USB状态监控";
  v.statusCommand = "CheckStatus?";
  v.pollIntervalMs = 5000;
  v.firstHideIntervalMs = 14000;
  v.startBalloon = true;
  v.startTitle = "状态监视器启动";
  v.startText = "状态监视器正在连接打印机，请稍后";
  v.decoder = DecoderRules{false, false};
  v.idleRule = IdleRule::Usb;
  v.replyTrace = "receive execReturnMsg = ";
  v.balloonOnLevelChangeOnly = true;
  v.fixedBalloonDurationMs = 0;
  v.queueDir = &kpx::usbQueueDir;
  v.makeLink = makeLink;
  return v;
}

}  // namespace kpxmon
