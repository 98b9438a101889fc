// One use of the printer over USB: looking for it and opening it on
// construction, releasing it when the session ends. What the programs
// otherwise do by hand with an "open" flag beside the link.
#pragma once

#include "usb_communicate.h"

class UsbSession {
 public:
  // Logs "device attached" and opens the printer, or logs "device
  // disattach" when it is not on the bus (through the link's log).
  explicit UsbSession(usb_communicate &link);
  // Releases the printer if the session opened it and it is still held.
  ~UsbSession();
  UsbSession(const UsbSession &) = delete;
  UsbSession &operator=(const UsbSession &) = delete;

  // Ok once opened; NotFound, or DriverOrReleaseFailed (also when the
  // printer is not attached).
  UsbStatus result() const { return result_; }
  bool isOpen() const { return open_; }
  usb_communicate &link() { return link_; }

  // Releases now; the session's end then leaves the link alone.
  UsbStatus release();

 private:
  usb_communicate &link_;
  UsbStatus result_ = UsbStatus::DriverOrReleaseFailed;
  bool open_ = false;
};
