#include "usb_communicate.h"

#include <libusb.h>

#include <QDebug>
#include <QString>

#include <climits>

#include "printer_description.h"

namespace {

using kpx::usb::kEndpointIn;
using kpx::usb::kEndpointOut;
using kpx::usb::kInterface;
using kpx::usb::kProductId;
using kpx::usb::kVendorId;


void logLine(const QString &text) { qDebug().noquote() << text; }

bool isPrinter(libusb_device *device) {
  libusb_device_descriptor desc{};
  if (libusb_get_device_descriptor(device, &desc) != LIBUSB_SUCCESS) return false;
  return desc.idVendor == kVendorId && desc.idProduct == kProductId;
}

}  // namespace

const usb_communicate::Config usb_communicate::kMonitorConfig = {1000, true, true, true};
const usb_communicate::Config usb_communicate::kSetupConfig = {500, false, false, false};

usb_communicate::usb_communicate(const Config &config) : config(config) {}

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

int usb_communicate::initDevice() {
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
    return kUsbNotFound;
  }

  for (ssize_t i = 0; i < count; ++i) {
    if (!isPrinter(deviceList[i])) continue;
    if (libusb_open(deviceList[i], &handle) != LIBUSB_SUCCESS) handle = nullptr;
    break;
  }
  if (!handle) {
    logLine(QStringLiteral("find device error"));
    libusb_free_device_list(deviceList, 1);
    deviceList = nullptr;
    libusb_exit(context);
    context = nullptr;
    return kUsbNotFound;
  }

  // The open handle keeps its device referenced; the list is not needed.
  libusb_free_device_list(deviceList, 1);
  deviceList = nullptr;

  if (libusb_kernel_driver_active(handle, kInterface) != 1) {
    logLine(QStringLiteral("kernel driver not active"));
    return kUsbOk;
  }
  // The printer driver is never given the device back by this link.
  if (libusb_detach_kernel_driver(handle, kInterface) == LIBUSB_SUCCESS) return kUsbOk;

  logLine(QStringLiteral("GET_DEVICE_ERROR"));
  libusb_close(handle);
  handle = nullptr;
  libusb_exit(context);
  context = nullptr;
  return kUsbDriverOrReleaseFailed;
}

int usb_communicate::SendCmd(unsigned char *data, unsigned int length) {
  // Claiming again through the same handle succeeds; the interface stays
  // claimed until releaseDevice.
  if (!handle || libusb_claim_interface(handle, kInterface) != LIBUSB_SUCCESS) {
    logLine(QStringLiteral("Cannot Claim Interface"));
    return kUsbWriteFailed;
  }
  int sent = 0;
  int rc = LIBUSB_ERROR_INVALID_PARAM;
  if (length <= static_cast<unsigned int>(INT_MAX)) {
    rc = libusb_bulk_transfer(handle, kEndpointOut, data, static_cast<int>(length), &sent,
                              config.timeoutMs);
  }
  if (rc == LIBUSB_SUCCESS && sent >= 0 && static_cast<unsigned int>(sent) == length) return kUsbOk;
  logLine(QStringLiteral("Write Error"));
  return kUsbWriteFailed;
}

int usb_communicate::ReadCmd(unsigned char *buffer, unsigned int length) {
  if (!handle || libusb_claim_interface(handle, kInterface) != LIBUSB_SUCCESS) {
    logLine(QStringLiteral("Cannot Claim Interface"));
    return kUsbReadFailed;
  }
  // libusb never delivers more than it was asked for, so this bounds what
  // lands in the caller's buffer.
  int want = length > static_cast<unsigned int>(INT_MAX) ? INT_MAX : static_cast<int>(length);
  int received = 0;
  int rc = libusb_bulk_transfer(handle, kEndpointIn, buffer, want, &received, config.timeoutMs);
  if (config.logEachRead)
    logLine(QStringLiteral("ReadCmd libusb_bulk_transfer return = %1").arg(rc));

  // A timeout is a failed read even when part of a reply came in.
  bool countOk = received > 0 || (received == 0 && config.zeroByteReadIsReply);
  if (rc == LIBUSB_SUCCESS && countOk && received <= want) return received;
  logLine(QStringLiteral("read Error"));
  return kUsbReadFailed;
}

int usb_communicate::releaseDevice() {
  if (config.logRelease) logLine(QStringLiteral("release Device"));
  if (!handle) {
    // Nothing is open (never opened, or already released).
    if (context) libusb_exit(context);
    context = nullptr;
    return kUsbOk;
  }
  if (libusb_release_interface(handle, kInterface) != LIBUSB_SUCCESS) {
    // Still open: the caller may try again later.
    logLine(QStringLiteral("Cannot Release Interface"));
    return kUsbDriverOrReleaseFailed;
  }
  libusb_close(handle);
  handle = nullptr;
  libusb_exit(context);
  context = nullptr;
  return kUsbOk;
}
