// The printer link as the monitor's poll cycle uses it: the operations and
// result codes (UsbResult) of usb_communicate; ReadCmd returns the byte
// count. The USB program plugs usb_communicate in here; netmonitor has no
// link and does not link libusb.
#pragma once

#include "usb_communicate.h"  // UsbResult only

class DeviceLink {
 public:
  virtual ~DeviceLink() = default;
  virtual bool checkUSBDevice() = 0;
  virtual int initDevice() = 0;
  virtual int SendCmd(unsigned char *data, unsigned int length) = 0;
  virtual int ReadCmd(unsigned char *buffer, unsigned int length) = 0;
  virtual int releaseDevice() = 0;
};
