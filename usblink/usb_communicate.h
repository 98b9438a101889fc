// The USB link to the printer (vendor 0x7B4F, product 0x005C, interface 0,
// bulk OUT 0x01, bulk IN 0x82): presence test, open (taking the printer
// from the kernel's printer driver), one command per bulk OUT transfer, one
// reply per bulk IN transfer, release. Synchronous libusb-1.0; knows
// nothing about what the bytes mean.
//
// The calls return a UsbResult; ReadCmd returns the byte count on success.
#pragma once

// What the link's calls return.
enum UsbResult : int {
  kUsbOk = 0,
  kUsbNotFound = 252,               // no printer, or it could not be opened
  kUsbWriteFailed = 253,
  kUsbReadFailed = 254,
  kUsbDriverOrReleaseFailed = 255,  // kernel-driver detach or interface release failed
};

struct libusb_context;
struct libusb_device;
struct libusb_device_handle;

class usb_communicate {
 public:
  // How the program using the link wants it to behave.
  struct Config {
    unsigned int timeoutMs;   // SendCmd and ReadCmd timeout
    bool zeroByteReadIsReply; // a read that completes with 0 bytes returns 0 (else 254)
    bool logEachRead;         // "ReadCmd libusb_bulk_transfer return = %1" after every read
    bool logRelease;          // "release Device" before releasing
  };
  static const Config kMonitorConfig;  // usbmonitor: 1000 ms, 0-byte reads count, logs
  static const Config kSetupConfig;    // netipset: 500 ms, 0-byte reads fail, quiet

  explicit usb_communicate(const Config &config = kMonitorConfig);
  // Lets go of an open printer (interface, handle, context).
  ~usb_communicate();
  usb_communicate(const usb_communicate &) = delete;
  usb_communicate &operator=(const usb_communicate &) = delete;

  bool checkUSBDevice();
  int initDevice();
  int SendCmd(unsigned char *data, unsigned int length);
  int ReadCmd(unsigned char *buffer, unsigned int length);
  int releaseDevice();

 private:
  libusb_device **deviceList = nullptr;
  libusb_context *context = nullptr;
  libusb_device_handle *handle = nullptr;
  Config config;
};
