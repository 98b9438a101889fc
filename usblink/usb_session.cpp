#include "usb_session.h"

#include <QDebug>

UsbSession::UsbSession(usb_communicate &link) : link_(link) {
  if (link_.checkUSBDevice()) {
    qDebug() << "device attached";
    result_ = link_.initDevice();
  } else {
    qDebug() << "device disattach";
  }
  open_ = result_ != kUsbNotFound && result_ != kUsbDriverOrReleaseFailed;
}

UsbSession::~UsbSession() {
  if (open_) link_.releaseDevice();
}

int UsbSession::release() {
  if (!open_) return kUsbOk;
  open_ = false;
  return link_.releaseDevice();
}
