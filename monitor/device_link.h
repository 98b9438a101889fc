// The printer link as the monitor's poll cycle uses it: the operations and
// results (UsbStatus, UsbRead) of usb_communicate. The USB program plugs
// usb_communicate in here; netmonitor has no link and does not link libusb.
#pragma once

#include "usb_communicate.h"  // UsbStatus and UsbRead only

class DeviceLink {
 public:
  virtual ~DeviceLink() = default;
  virtual bool checkUSBDevice() = 0;
  virtual UsbStatus initDevice() = 0;
  virtual UsbStatus SendCmd(const unsigned char *data, unsigned int length) = 0;
  virtual UsbRead ReadCmd(unsigned char *buffer, unsigned int length) = 0;
  virtual UsbStatus releaseDevice() = 0;
};
