// usbmonitor: the shared monitor with the USB link.
#include <QDebug>
#include <QString>

#include "usb_communicate.h"
#include "variant.h"

namespace {

class UsbLink : public DeviceLink {
 public:
  bool checkUSBDevice() override { return link.checkUSBDevice(); }
  UsbStatus initDevice() override { return link.initDevice(); }
  UsbStatus SendCmd(const unsigned char *data, unsigned int length) override { return link.SendCmd(data, length); }
  UsbRead ReadCmd(unsigned char *buffer, unsigned int length) override { return link.ReadCmd(buffer, length); }
  UsbStatus releaseDevice() override { return link.releaseDevice(); }

 private:
  usb_communicate link{usb_communicate::kMonitorConfig,
                       [](const std::string &line) { qDebug().noquote() << QString::fromStdString(line); }};
};

std::unique_ptr<DeviceLink> makeUsbLink() { return std::make_unique<UsbLink>(); }

}  // namespace

namespace kpxmon {

const MonitorVariant &programVariant() {
  static const MonitorVariant variant = usbVariant(&makeUsbLink);
  return variant;
}

}  // namespace kpxmon
