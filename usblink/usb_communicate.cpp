#include "usb_communicate.h"

#include <libusb.h>

#include <climits>

#include "printer_description.h"

namespace {

using kpx::usb::kEndpointIn;
using kpx::usb::kEndpointOut;
using kpx::usb::kInterface;
using kpx::usb::kProductId;
using kpx::usb::kVendorId;

bool isPrinter(libusb_device *device) {
  libusb_device_descriptor desc{};
  if (libusb_get_device_descriptor(device, &desc) != LIBUSB_SUCCESS) return false;
  return desc.idVendor == kVendorId && desc.idProduct == kProductId;
}

constexpr UsbLinkConfig monitorConfig() {
  UsbLinkConfig c;
  c.timeoutMs = 1000;
  c.zeroByteReadIsReply = true;
  c.logEachRead = true;
  c.logRelease = true;
  return c;
}

constexpr UsbLinkConfig setupConfig() {
  UsbLinkConfig c;
  c.timeoutMs = 500;
  c.zeroByteReadIsReply = false;
  return c;
}

constexpr UsbLinkConfig printConfig() {
  UsbLinkConfig c;
  c.timeoutMs = 60000;
  c.zeroByteReadIsReply = true;
  return c;
}

}  // namespace

const usb_communicate::Config usb_communicate::kMonitorConfig = monitorConfig();
const usb_communicate::Config usb_communicate::kSetupConfig = setupConfig();
const usb_communicate::Config usb_communicate::kPrintConfig = printConfig();

usb_communicate::usb_communicate(const Config &config, UsbLog log) : config(config), logger(std::move(log)) {}

void usb_communicate::log(const std::string &line) const {
  if (logger) logger(line);
}

usb_communicate::~usb_communicate() {
  if (handle) {
    libusb_release_interface(handle, kInterface);
    libusb_close(handle);
  }
  if (deviceList) libusb_free_device_list(deviceList, 1);
  if (context) libusb_exit(context);
}

bool usb_communicate::checkUSBDevice() {
  // A context of its own, so that an open device is left alone.
  libusb_context *probe = nullptr;
  if (libusb_init(&probe) != LIBUSB_SUCCESS) return false;
  libusb_device **list = nullptr;
  ssize_t count = libusb_get_device_list(probe, &list);
  bool found = false;
  for (ssize_t i = 0; i < count && !found; ++i) found = isPrinter(list[i]);
  if (count >= 0) libusb_free_device_list(list, 1);
  libusb_exit(probe);
  return found;
}

UsbStatus usb_communicate::initDevice() {
  // The caller should have released the device before; if it could not
  // (a failed release leaves the link open), drop the old device here
  // rather than lose track of it.
  if (handle) {
    libusb_close(handle);
    handle = nullptr;
  }
  if (context) libusb_exit(context);
  deviceList = nullptr;
  context = nullptr;

  libusb_init(&context);

  // Without a context of our own libusb would fall back to its default
  // one, which nobody here created: count that as a failed enumeration.
  ssize_t count = context ? libusb_get_device_list(context, &deviceList) : -1;
  if (count < 0) {
    deviceList = nullptr;
    if (context) libusb_exit(context);
    context = nullptr;
    return UsbStatus::NotFound;
  }

  for (ssize_t i = 0; i < count; ++i) {
    if (!isPrinter(deviceList[i])) continue;
    if (libusb_open(deviceList[i], &handle) != LIBUSB_SUCCESS) handle = nullptr;
    break;
  }
  if (!handle) {
    log("find device error");
    libusb_free_device_list(deviceList, 1);
    deviceList = nullptr;
    libusb_exit(context);
    context = nullptr;
    return UsbStatus::NotFound;
  }

  // The open handle keeps its device referenced; the list is not needed.
  libusb_free_device_list(deviceList, 1);
  deviceList = nullptr;

  if (libusb_kernel_driver_active(handle, kInterface) != 1) {
    log("kernel driver not active");
    return UsbStatus::Ok;
  }
  // The printer driver is never given the device back by this link.
  if (libusb_detach_kernel_driver(handle, kInterface) == LIBUSB_SUCCESS) return UsbStatus::Ok;

  log("GET_DEVICE_ERROR");
  libusb_close(handle);
  handle = nullptr;
  libusb_exit(context);
  context = nullptr;
  return UsbStatus::DriverOrReleaseFailed;
}

UsbStatus usb_communicate::SendCmd(const unsigned char *data, unsigned int length) {
  // Claiming again through the same handle succeeds; the interface stays
  // claimed until releaseDevice.
  if (!handle || libusb_claim_interface(handle, kInterface) != LIBUSB_SUCCESS) {
    log("Cannot Claim Interface");
    return UsbStatus::WriteFailed;
  }
  int sent = 0;
  int rc = LIBUSB_ERROR_INVALID_PARAM;
  if (length <= static_cast<unsigned int>(INT_MAX)) {
    // libusb only reads from an OUT transfer's buffer.
    rc = libusb_bulk_transfer(handle, kEndpointOut, const_cast<unsigned char *>(data), static_cast<int>(length), &sent,
                              config.timeoutMs);
  }
  if (rc == LIBUSB_SUCCESS && sent >= 0 && static_cast<unsigned int>(sent) == length) return UsbStatus::Ok;
  log("Write Error");
  return UsbStatus::WriteFailed;
}

UsbRead usb_communicate::ReadCmd(unsigned char *buffer, unsigned int length) {
  if (!handle || libusb_claim_interface(handle, kInterface) != LIBUSB_SUCCESS) {
    log("Cannot Claim Interface");
    return {UsbStatus::ReadFailed, 0};
  }
  // libusb never delivers more than it was asked for, so this bounds what
  // lands in the caller's buffer.
  int want = length > static_cast<unsigned int>(INT_MAX) ? INT_MAX : static_cast<int>(length);
  int received = 0;
  int rc = libusb_bulk_transfer(handle, kEndpointIn, buffer, want, &received, config.timeoutMs);
  if (config.logEachRead)
    log("ReadCmd libusb_bulk_transfer return = " + std::to_string(rc));

  // A timeout is a failed read even when part of a reply came in.
  bool countOk = received > 0 || (received == 0 && config.zeroByteReadIsReply);
  if (rc == LIBUSB_SUCCESS && countOk && received <= want) return {UsbStatus::Ok, static_cast<unsigned int>(received)};
  log("read Error");
  return {UsbStatus::ReadFailed, 0};
}

UsbStatus usb_communicate::releaseDevice() {
  if (config.logRelease) log("release Device");
  if (!handle) {
    // Nothing is open (never opened, or already released).
    if (context) libusb_exit(context);
    context = nullptr;
    return UsbStatus::Ok;
  }
  if (libusb_release_interface(handle, kInterface) != LIBUSB_SUCCESS) {
    // Still open: the caller may try again later.
    log("Cannot Release Interface");
    return UsbStatus::DriverOrReleaseFailed;
  }
  libusb_close(handle);
  handle = nullptr;
  libusb_exit(context);
  context = nullptr;
  return UsbStatus::Ok;
}
