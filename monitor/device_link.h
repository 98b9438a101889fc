// The printer link as the monitor's poll cycle uses it: the operations and
// result codes of usb_communicate (0 success, 252 not found, 253 write
// failed, 254 read failed, 255 detach or release failed; ReadCmd returns the
// byte count). The USB program plugs usb_communicate in here.
#pragma once

class DeviceLink {
 public:
  virtual ~DeviceLink() = default;
  virtual bool checkUSBDevice() = 0;
  virtual int initDevice() = 0;
  virtual int SendCmd(unsigned char *data, unsigned int length) = 0;
  virtual int ReadCmd(unsigned char *buffer, unsigned int length) = 0;
  virtual int releaseDevice() = 0;
};
