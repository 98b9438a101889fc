// The USB link to the printer (vendor 0x7B4F, product 0x005C, interface 0,
// bulk OUT 0x01, bulk IN 0x82): presence test, open (taking the printer
// from the kernel's printer driver), one command per bulk OUT transfer, one
// reply per bulk IN transfer, release. Synchronous libusb-1.0; knows
// nothing about what the bytes mean.
//
// The calls return a UsbStatus; ReadCmd also the byte count. What the link
// has to say goes to the log callback its owner gives it (none: silent), so
// the link itself needs no Qt.
#pragma once

#include <functional>
#include <string>

// What the link's calls return.
enum class UsbStatus {
  Ok,
  NotFound,                // no printer, or it could not be opened
  WriteFailed,
  ReadFailed,
  DriverOrReleaseFailed,   // kernel-driver detach or interface release failed
};

// The number a status has in the programs' traces and the link's older
// callers: 0, and 252 to 255 for the failures in the order above. Inline:
// netmonitor shares the window code without linking the link.
inline int traceCode(UsbStatus status) {
  switch (status) {
    case UsbStatus::Ok: return 0;
    case UsbStatus::NotFound: return 252;
    case UsbStatus::WriteFailed: return 253;
    case UsbStatus::ReadFailed: return 254;
    case UsbStatus::DriverOrReleaseFailed: break;
  }
  return 255;
}

// One read: its status and, when Ok, how many bytes arrived.
struct UsbRead {
  UsbStatus status = UsbStatus::ReadFailed;
  unsigned int bytes = 0;
};

// How the program using the link wants it to behave.
struct UsbLinkConfig {
  unsigned int timeoutMs = 1000;     // SendCmd and ReadCmd timeout
  bool zeroByteReadIsReply = true;   // a read that completes with 0 bytes is a reply (else ReadFailed)
  bool logEachRead = false;          // "ReadCmd libusb_bulk_transfer return = %1" after every read
  bool logRelease = false;           // "release Device" before releasing
};

// Receives each line the link logs.
using UsbLog = std::function<void(const std::string &line)>;

struct libusb_context;
struct libusb_device;
struct libusb_device_handle;

class usb_communicate {
 public:
  using Config = UsbLinkConfig;
  static const Config kMonitorConfig;  // usbmonitor: 1000 ms, 0-byte reads count, logs
  static const Config kSetupConfig;    // netipset: 500 ms, 0-byte reads fail, quiet
  static const Config kPrintConfig;    // the printer application: 60 s, 0-byte reads count, quiet

  explicit usb_communicate(const Config &config = kMonitorConfig, UsbLog log = nullptr);
  // Lets go of an open printer (interface, handle, context).
  ~usb_communicate();
  usb_communicate(const usb_communicate &) = delete;
  usb_communicate &operator=(const usb_communicate &) = delete;

  bool checkUSBDevice();
  UsbStatus initDevice();
  UsbStatus SendCmd(const unsigned char *data, unsigned int length);
  UsbRead ReadCmd(unsigned char *buffer, unsigned int length);
  UsbStatus releaseDevice();

  // A line for the owner's log.
  void log(const std::string &line) const;

 private:
  libusb_device **deviceList = nullptr;
  libusb_context *context = nullptr;
  libusb_device_handle *handle = nullptr;
  Config config;
  UsbLog logger;
};
