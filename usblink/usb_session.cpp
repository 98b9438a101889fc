#include "usb_session.h"

UsbSession::UsbSession(usb_communicate &link) : link_(link) {
  if (link_.checkUSBDevice()) {
    link_.log("device attached");
    result_ = link_.initDevice();
  } else {
    link_.log("device disattach");
  }
  open_ = result_ != UsbStatus::NotFound && result_ != UsbStatus::DriverOrReleaseFailed;
}

UsbSession::~UsbSession() {
  if (open_) link_.releaseDevice();
}

UsbStatus UsbSession::release() {
  if (!open_) return UsbStatus::Ok;
  open_ = false;
  return link_.releaseDevice();
}
