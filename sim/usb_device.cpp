#include "usb_device.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/ioctl.h>
#include <linux/usb/ch9.h>
#include <linux/usbdevice_fs.h>
#include <thread>
#include <umockdev.h>

#include "textutil.h"

namespace kpxsim {

namespace {

constexpr int kBus = 250;
constexpr uint8_t kEpOut = 0x01;
constexpr uint8_t kEpIn = 0x82;
const char kDevPath[] = "/devices/pci0000:00/0000:00:14.0/usb250/250-1";
const char kSysPath[] = "/sys/devices/pci0000:00/0000:00:14.0/usb250/250-1";

// Device descriptor, then the configuration: one printer-class interface
// (7/1/2, bidirectional) with bulk OUT 0x01 and bulk IN 0x82.
const uint8_t kDeviceDescriptor[18] = {0x12, 0x01, 0x00, 0x02, 0x00, 0x00, 0x00, 0x40, 0x4f,
                                       0x7b, 0x5c, 0x00, 0x00, 0x01, 0x01, 0x02, 0x03, 0x01};
const uint8_t kConfigDescriptor[32] = {
    0x09, 0x02, 0x20, 0x00, 0x01, 0x01, 0x00, 0xc0, 0x01,  // configuration 1
    0x09, 0x04, 0x00, 0x00, 0x02, 0x07, 0x01, 0x02, 0x00,  // interface 0
    0x07, 0x05, kEpOut, 0x02, 0x00, 0x02, 0x00,            // bulk OUT, 512
    0x07, 0x05, kEpIn, 0x02, 0x00, 0x02, 0x00,             // bulk IN, 512
};
const char kDeviceId[] =
    "MFG:ZUVA;CMD:PJL,PCLXL;MDL:KPX7720MW;CLS:PRINTER;DES:ZUVA KPX7720MW;";
const char *const kStrings[] = {nullptr, "ZUVA", "KPX7720MW", "KPX7720MW0001"};

std::string stringDescriptor(unsigned index) {
  std::string d;
  if (index == 0) {
    d = std::string("\x04\x03\x09\x04", 4);  // English (US)
    return d;
  }
  if (index >= sizeof kStrings / sizeof kStrings[0]) return d;
  const char *s = kStrings[index];
  d += static_cast<char>(2 + 2 * std::strlen(s));
  d += '\x03';
  for (const char *p = s; *p; ++p) {
    d += *p;
    d += '\0';
  }
  return d;
}

const char *ioctlName(unsigned long req) {
  switch (req) {
    case USBDEVFS_GET_CAPABILITIES: return "GET_CAPABILITIES";
    case USBDEVFS_GETDRIVER: return "GETDRIVER";
    case USBDEVFS_IOCTL: return "IOCTL";
    case USBDEVFS_DISCONNECT_CLAIM: return "DISCONNECT_CLAIM";
    case USBDEVFS_CLAIMINTERFACE: return "CLAIMINTERFACE";
    case USBDEVFS_RELEASEINTERFACE: return "RELEASEINTERFACE";
    case USBDEVFS_SUBMITURB: return "SUBMITURB";
    case USBDEVFS_DISCARDURB: return "DISCARDURB";
    case USBDEVFS_REAPURB: return "REAPURB";
    case USBDEVFS_REAPURBNDELAY: return "REAPURBNDELAY";
    default: return "?";
  }
}

UMockdevIoctlData *resolve(UMockdevIoctlData *data, size_t offset, size_t len) {
  GError *error = nullptr;
  UMockdevIoctlData *d = umockdev_ioctl_data_resolve(data, offset, len, &error);
  if (error) g_error_free(error);
  return d;
}

}  // namespace

UsbEmulator::UsbEmulator(std::mutex &m, PrinterState &st, Logger &log)
    : mutex_(m), st_(st), log_(log) {}

UsbEmulator::~UsbEmulator() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (Urb &u : urbs_) g_object_unref(u.data);
    urbs_.clear();
  }
  // Dropping the testbed removes its directory.
  if (testbed_) g_object_unref(testbed_);
  if (handler_) g_object_unref(handler_);
}

std::string UsbEmulator::devnode(int devnum) const {
  char buf[64];
  std::snprintf(buf, sizeof buf, "/dev/bus/usb/%03d/%03d", kBus, devnum);
  return buf;
}

std::string UsbEmulator::deviceDescription(int devnum) const {
  char head[1024];
  std::snprintf(head, sizeof head,
                "P: %s\n"
                "N: bus/usb/%03d/%03d\n"
                "E: DEVNAME=/dev/bus/usb/%03d/%03d\n"
                "E: DEVTYPE=usb_device\n"
                "E: DRIVER=usb\n"
                "E: PRODUCT=7b4f/5c/100\n"
                "E: TYPE=0/0/0\n"
                "E: BUSNUM=%03d\n"
                "E: DEVNUM=%03d\n"
                "E: MAJOR=189\n"
                "E: MINOR=%d\n"
                "E: SUBSYSTEM=usb\n"
                "E: ID_VENDOR_ID=7b4f\n"
                "E: ID_MODEL_ID=005c\n"
                "A: busnum=%d\n"
                "A: devnum=%d\n"
                "A: dev=189:%d\n"
                "A: idVendor=7b4f\n"
                "A: idProduct=005c\n"
                "A: bcdDevice=0100\n"
                "A: bDeviceClass=00\n"
                "A: bNumConfigurations=1\n"
                "A: bConfigurationValue=1\n"
                "A: bMaxPacketSize0=64\n"
                "A: speed=480\n"
                "A: manufacturer=ZUVA\n"
                "A: product=KPX7720MW\n"
                "A: serial=KPX7720MW0001\n",
                kDevPath, kBus, devnum, kBus, devnum, kBus, devnum, (kBus - 1) * 128 + devnum - 1,
                kBus, devnum, (kBus - 1) * 128 + devnum - 1);
  std::string desc(head);
  desc += "H: descriptors=";
  desc += toHex(std::string_view(reinterpret_cast<const char *>(kDeviceDescriptor), sizeof kDeviceDescriptor));
  desc += toHex(std::string_view(reinterpret_cast<const char *>(kConfigDescriptor), sizeof kConfigDescriptor));
  desc += "\n";
  return desc;
}

bool UsbEmulator::start(std::string &err) {
  // Without the preload library (umockdev-wrapper) uevents go nowhere and
  // clients never see the device come and go.
  const char *preload = std::getenv("LD_PRELOAD");
  if (!preload || !std::strstr(preload, "libumockdev-preload")) {
    err = "--usb needs the simulator to run under umockdev-wrapper";
    return false;
  }
  testbed_ = umockdev_testbed_new();
  handler_ = umockdev_ioctl_base_new();
  g_signal_connect(handler_, "handle-ioctl", G_CALLBACK(handleIoctlThunk), this);
  gchar *root = umockdev_testbed_get_root_dir(testbed_);
  rootDir_ = root;
  g_free(root);
  bool plugged;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    st_.usbEnabled = true;
    plugged = st_.usbPlugged;
  }
  if (plugged && !addDevice(err)) return false;
  log_.log("usb", "testbed " + rootDir_ + (plugged ? ", device at " + devnode(st_.usbDevnum) : ", unplugged"));
  return true;
}

bool UsbEmulator::addDevice(std::string &err) {
  int devnum;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    devnum = st_.usbDevnum;
  }
  std::string node = devnode(devnum);
  GError *error = nullptr;
  // The handler must be in place before the node appears.
  if (attachedPaths_.find(node + "\n") == std::string::npos) {
    if (!umockdev_testbed_attach_ioctl(testbed_, node.c_str(), handler_, &error)) {
      err = std::string("attaching the ioctl handler failed: ") + (error ? error->message : "?");
      if (error) g_error_free(error);
      return false;
    }
    attachedPaths_ += node + "\n";
  }
  std::string desc = deviceDescription(devnum);
  if (!umockdev_testbed_add_from_string(testbed_, desc.c_str(), &error)) {
    err = std::string("adding the device failed: ") + (error ? error->message : "?");
    if (error) g_error_free(error);
    return false;
  }
  umockdev_testbed_uevent(testbed_, kSysPath, "add");
  return true;
}

bool UsbEmulator::unplug(std::string &err) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!st_.usbPlugged) {
      err = "the device is already unplugged";
      return false;
    }
    st_.usbPlugged = false;
    int failed = 0;
    for (Urb &u : urbs_) {
      if (!u.done) {
        u.done = true;
        u.status = -ESHUTDOWN;
        u.reply.clear();
        ++failed;
      }
    }
    for (auto &c : clients_) c.second.claimed = false;
    appendLog(st_.usbLog, "unplug");
    endUsbPrint(st_);
    if (failed) log_.log("usb", std::to_string(failed) + " pending transfer(s) failed with ESHUTDOWN");
  }
  umockdev_testbed_uevent(testbed_, kSysPath, "remove");
  umockdev_testbed_remove_device(testbed_, kSysPath);
  log_.log("usb", "unplugged");
  return true;
}

bool UsbEmulator::replug(std::string &err) {
  int devnum;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (st_.usbPlugged) {
      err = "the device is already plugged in";
      return false;
    }
    st_.usbDevnum = st_.usbDevnum >= 127 ? 2 : st_.usbDevnum + 1;
    st_.kernelDriverBound = st_.kernelDriverOnPlug;
    st_.usbPlugged = true;
    devnum = st_.usbDevnum;
    appendLog(st_.usbLog, "replug " + devnode(devnum));
  }
  if (!addDevice(err)) {
    std::lock_guard<std::mutex> lock(mutex_);
    st_.usbPlugged = false;
    return false;
  }
  log_.log("usb", "plugged in again at " + devnode(devnum));
  return true;
}

int UsbEmulator::handleIoctlThunk(UMockdevIoctlBase *, UMockdevIoctlClient *client, void *self) {
  return static_cast<UsbEmulator *>(self)->handleIoctl(client);
}

namespace {
struct GoneNote {
  UsbEmulator *self;
  uint64_t id;
};
}  // namespace

void UsbEmulator::clientFinalized(void *data, void *) {
  auto *note = static_cast<GoneNote *>(data);
  note->self->clientGone(note->id);
  delete note;
}

uint64_t UsbEmulator::clientId(UMockdevIoctlClient *client) {
  void *p = g_object_get_data(G_OBJECT(client), "kpxsim-client");
  if (p) return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p));
  uint64_t id;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    id = nextClient_++;
    clients_[id].devnode = umockdev_ioctl_client_get_devnode(client);
  }
  g_object_set_data(G_OBJECT(client), "kpxsim-client", reinterpret_cast<void *>(static_cast<uintptr_t>(id)));
  // umockdev drops its client object when the client closes the device
  // (it emits no signal for that), so a weak reference tells us.
  g_object_weak_ref(G_OBJECT(client), reinterpret_cast<GWeakNotify>(clientFinalized), new GoneNote{this, id});
  log_.log("usb", "client " + std::to_string(id) + " opened " + umockdev_ioctl_client_get_devnode(client));
  return id;
}

void UsbEmulator::clientGone(uint64_t id) {
  // May run inside umockdev while our mutex is held: only note it here.
  std::lock_guard<std::mutex> lock(goneMutex_);
  gone_.push_back(id);
}

void UsbEmulator::forgetGoneClients() {
  std::vector<uint64_t> gone;
  {
    std::lock_guard<std::mutex> lock(goneMutex_);
    gone.swap(gone_);
  }
  if (gone.empty()) return;
  std::lock_guard<std::mutex> lock(mutex_);
  for (uint64_t id : gone) {
    for (auto it = urbs_.begin(); it != urbs_.end();) {
      if (it->client == id) {
        g_object_unref(it->data);
        it = urbs_.erase(it);
      } else {
        ++it;
      }
    }
    auto c = clients_.find(id);
    if (c != clients_.end() && c->second.claimed) endUsbPrint(st_);  // gone without releasing
    clients_.erase(id);
    log_.log("usb", "client " + std::to_string(id) + " closed");
  }
}

void UsbEmulator::completeControl(Urb &urb, const std::string &setupAndData) {
  urb.done = true;
  if (setupAndData.size() < 8) {
    urb.status = -EINVAL;
    return;
  }
  auto b = [&setupAndData](size_t i) { return static_cast<uint8_t>(setupAndData[i]); };
  uint8_t requestType = b(0), request = b(1);
  unsigned value = b(2) | (b(3) << 8);
  unsigned length = b(6) | (b(7) << 8);
  std::string reply;
  bool ok = true;
  if (requestType == 0x80 && request == USB_REQ_GET_DESCRIPTOR) {
    unsigned type = value >> 8, index = value & 0xff;
    if (type == USB_DT_DEVICE)
      reply.assign(reinterpret_cast<const char *>(kDeviceDescriptor), sizeof kDeviceDescriptor);
    else if (type == USB_DT_CONFIG && index == 0)
      reply.assign(reinterpret_cast<const char *>(kConfigDescriptor), sizeof kConfigDescriptor);
    else if (type == USB_DT_STRING)
      reply = stringDescriptor(index);
    ok = !reply.empty();
  } else if (requestType == 0x80 && request == USB_REQ_GET_STATUS) {
    reply = std::string("\x01\x00", 2);
  } else if (requestType == 0xa1 && request == 0) {  // printer class: GET_DEVICE_ID
    size_t n = sizeof kDeviceId - 1 + 2;
    reply += static_cast<char>(n >> 8);
    reply += static_cast<char>(n & 0xff);
    reply += kDeviceId;
  } else if (requestType == 0xa1 && request == 1) {  // GET_PORT_STATUS: selected, no error
    reply = "\x18";
  } else if ((requestType & 0x80) == 0) {
    // Host-to-device requests (SET_*, SOFT_RESET) are accepted as they come.
    urb.status = 0;
    urb.reply.clear();
    return;
  } else {
    ok = false;
  }
  if (!ok) {
    urb.status = -EPIPE;
    return;
  }
  if (reply.size() > length) reply.resize(length);
  urb.status = 0;
  urb.reply = reply;
}

bool UsbEmulator::reapOne(UMockdevIoctlClient *client, uint64_t id) {
  UMockdevIoctlData *arg = umockdev_ioctl_client_get_arg(client);
  Urb urb;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (Urb &u : urbs_) {
      if (u.client != id || u.done || u.endpoint != kEpIn) continue;
      std::optional<std::string> answer = usbIn(st_, static_cast<size_t>(u.bufferLength));
      if (!answer) break;  // answers go out in submission order
      u.done = true;
      u.status = 0;
      u.reply = std::move(*answer);
      log_.log("usb", "IN 0x82 -> " + std::to_string(u.reply.size()) + " bytes " +
                          showBytes(std::string_view(u.reply).substr(0, 64)));
    }
    auto it = urbs_.begin();
    while (it != urbs_.end() && !(it->client == id && it->done)) ++it;
    if (it == urbs_.end()) return false;
    urb = std::move(*it);
    urbs_.erase(it);
  }
  auto *u = reinterpret_cast<usbdevfs_urb *>(urb.data->data);
  u->status = urb.status;
  bool isControl = urb.type == USBDEVFS_URB_TYPE_CONTROL;
  bool isIn = (urb.endpoint & 0x80) != 0 || isControl;
  if (urb.status == 0 && isIn) {
    size_t offset = isControl ? 8 : 0;
    size_t room = urb.bufferLength > 0 ? static_cast<size_t>(urb.bufferLength) - offset : 0;
    size_t n = std::min(room, urb.reply.size());
    if (n > 0) {
      UMockdevIoctlData *buf =
          resolve(urb.data, offsetof(usbdevfs_urb, buffer), static_cast<size_t>(urb.bufferLength));
      if (buf) {
        std::memcpy(buf->data + offset, urb.reply.data(), n);
        g_object_unref(buf);
      }
    }
    u->actual_length = static_cast<int>(n);
  } else if (urb.status == 0) {
    u->actual_length = urb.bufferLength;
  } else {
    u->actual_length = 0;
  }
  // The argument points at the client's "struct usbdevfs_urb *"; make it
  // point at the finished URB.
  UMockdevIoctlData *slot = resolve(arg, 0, sizeof(void *));
  if (!slot) {
    umockdev_ioctl_client_complete(client, -1, EFAULT);
  } else {
    umockdev_ioctl_data_set_ptr(slot, 0, urb.data);
    umockdev_ioctl_client_complete(client, 0, 0);
    g_object_unref(slot);
  }
  g_object_unref(urb.data);
  return true;
}

int UsbEmulator::handleIoctl(UMockdevIoctlClient *client) {
  forgetGoneClients();
  unsigned long req = umockdev_ioctl_client_get_request(client);
  UMockdevIoctlData *arg = umockdev_ioctl_client_get_arg(client);
  uint64_t id = clientId(client);
  const char *node = umockdev_ioctl_client_get_devnode(client);

  std::unique_lock<std::mutex> lock(mutex_);
  bool present = st_.usbPlugged && devnode(st_.usbDevnum) == node;
  if (!present) {
    lock.unlock();
    if ((req == USBDEVFS_REAPURBNDELAY || req == USBDEVFS_REAPURB) && reapOne(client, id)) return 1;
    umockdev_ioctl_client_complete(client, -1, ENODEV);
    return 1;
  }
  Client &cl = clients_[id];

  struct Route {
    unsigned long req;
    int (UsbEmulator::*handle)(Ioctl &);
  };
  static const Route kRoutes[] = {
      {USBDEVFS_GET_CAPABILITIES, &UsbEmulator::onGetCapabilities},
      {USBDEVFS_GET_SPEED, &UsbEmulator::onGetSpeed},
      {USBDEVFS_CONNECTINFO, &UsbEmulator::onConnectInfo},
      {USBDEVFS_GETDRIVER, &UsbEmulator::onGetDriver},
      {USBDEVFS_IOCTL, &UsbEmulator::onDriverIoctl},
      {USBDEVFS_DISCONNECT_CLAIM, &UsbEmulator::onDisconnectClaim},
      {USBDEVFS_CLAIMINTERFACE, &UsbEmulator::onClaimOrReleaseInterface},
      {USBDEVFS_RELEASEINTERFACE, &UsbEmulator::onClaimOrReleaseInterface},
      {USBDEVFS_SETINTERFACE, &UsbEmulator::onAccepted},
      {USBDEVFS_SETCONFIGURATION, &UsbEmulator::onAccepted},
      {USBDEVFS_CLEAR_HALT, &UsbEmulator::onAccepted},
      {USBDEVFS_RESETEP, &UsbEmulator::onAccepted},
      {USBDEVFS_RESET, &UsbEmulator::onAccepted},
      {USBDEVFS_SUBMITURB, &UsbEmulator::onSubmitUrb},
      {USBDEVFS_DISCARDURB, &UsbEmulator::onDiscardUrb},
      {USBDEVFS_REAPURB, &UsbEmulator::onReapUrb},
      {USBDEVFS_REAPURBNDELAY, &UsbEmulator::onReapUrb},
  };
  Ioctl call{client, arg, id, req, lock, cl};
  for (const Route &r : kRoutes)
    if (r.req == req) return (this->*r.handle)(call);
  return onUnsupported(call);
}

int UsbEmulator::Ioctl::done(long res, int err) const {
  umockdev_ioctl_client_complete(client, res, err);
  return 1;
}

int UsbEmulator::onGetCapabilities(Ioctl &c) {
  auto &[client, arg, id, req, lock, cl] = c;
  auto done = [&c](long res, int err) { return c.done(res, err); };
  lock.unlock();
  UMockdevIoctlData *d = resolve(arg, 0, sizeof(uint32_t));
  if (!d) return done(-1, EFAULT);
  uint32_t caps = USBDEVFS_CAP_ZERO_PACKET | USBDEVFS_CAP_BULK_CONTINUATION |
                  USBDEVFS_CAP_NO_PACKET_SIZE_LIM | USBDEVFS_CAP_REAP_AFTER_DISCONNECT;
  std::memcpy(d->data, &caps, sizeof caps);
  done(0, 0);
  g_object_unref(d);
  return 1;
}

int UsbEmulator::onGetSpeed(Ioctl &c) {
  auto done = [&c](long res, int err) { return c.done(res, err); };
  return done(USB_SPEED_HIGH, 0);
}

int UsbEmulator::onConnectInfo(Ioctl &c) {
  auto &[client, arg, id, req, lock, cl] = c;
  auto done = [&c](long res, int err) { return c.done(res, err); };
  int devnum = st_.usbDevnum;
  lock.unlock();
  UMockdevIoctlData *d = resolve(arg, 0, sizeof(usbdevfs_connectinfo));
  if (!d) return done(-1, EFAULT);
  auto *ci = reinterpret_cast<usbdevfs_connectinfo *>(d->data);
  ci->devnum = static_cast<unsigned>(devnum);
  ci->slow = 0;
  done(0, 0);
  g_object_unref(d);
  return 1;
}

int UsbEmulator::onGetDriver(Ioctl &c) {
  auto &[client, arg, id, req, lock, cl] = c;
  auto done = [&c](long res, int err) { return c.done(res, err); };
  bool bound = st_.kernelDriverBound;
  lock.unlock();
  UMockdevIoctlData *d = resolve(arg, 0, sizeof(usbdevfs_getdriver));
  if (!d) return done(-1, EFAULT);
  auto *gd = reinterpret_cast<usbdevfs_getdriver *>(d->data);
  if (gd->interface != 0 || !bound) {
    done(-1, ENODATA);
  } else {
    std::memset(gd->driver, 0, sizeof gd->driver);
    std::strcpy(gd->driver, "usblp");
    done(0, 0);
  }
  g_object_unref(d);
  return 1;
}

// USBDEVFS_IOCTL: detaching or re-attaching the kernel driver.
int UsbEmulator::onDriverIoctl(Ioctl &c) {
  auto &[client, arg, id, req, lock, cl] = c;
  auto done = [&c](long res, int err) { return c.done(res, err); };
  lock.unlock();
  UMockdevIoctlData *d = resolve(arg, 0, sizeof(usbdevfs_ioctl));
  if (!d) return done(-1, EFAULT);
  auto *io = reinterpret_cast<usbdevfs_ioctl *>(d->data);
  int ifno = io->ifno;
  unsigned code = static_cast<unsigned>(io->ioctl_code);
  g_object_unref(d);
  lock.lock();
  if (code == USBDEVFS_DISCONNECT) {
    if (ifno != 0 || !st_.kernelDriverBound) return done(-1, ENODATA);
    st_.kernelDriverBound = false;
    appendLog(st_.usbLog, "detach usblp");
    log_.log("usb", "client " + std::to_string(id) + " detached the kernel driver usblp");
    return done(0, 0);
  }
  if (code == USBDEVFS_CONNECT) {
    if (ifno != 0) return done(-1, EINVAL);
    if (cl.claimed) return done(-1, EBUSY);
    st_.kernelDriverBound = true;
    appendLog(st_.usbLog, "attach usblp");
    log_.log("usb", "client " + std::to_string(id) + " re-attached the kernel driver usblp");
    return done(1, 0);  // like the kernel: 1 = a driver was bound
  }
  return done(-1, ENOTTY);
}

int UsbEmulator::onDisconnectClaim(Ioctl &c) {
  auto &[client, arg, id, req, lock, cl] = c;
  auto done = [&c](long res, int err) { return c.done(res, err); };
  lock.unlock();
  UMockdevIoctlData *d = resolve(arg, 0, sizeof(usbdevfs_disconnect_claim));
  if (!d) return done(-1, EFAULT);
  unsigned iface = reinterpret_cast<usbdevfs_disconnect_claim *>(d->data)->interface;
  g_object_unref(d);
  lock.lock();
  if (iface != 0) return done(-1, ENOENT);
  if (st_.kernelDriverBound) {
    st_.kernelDriverBound = false;
    appendLog(st_.usbLog, "detach usblp");
  }
  cl.claimed = true;
  appendLog(st_.usbLog, "claim 0");
  return done(0, 0);
}

// USBDEVFS_CLAIMINTERFACE and USBDEVFS_RELEASEINTERFACE share their argument.
int UsbEmulator::onClaimOrReleaseInterface(Ioctl &c) {
  auto &[client, arg, id, req, lock, cl] = c;
  auto done = [&c](long res, int err) { return c.done(res, err); };
  lock.unlock();
  UMockdevIoctlData *d = resolve(arg, 0, sizeof(unsigned));
  if (!d) return done(-1, EFAULT);
  unsigned iface = 0;
  std::memcpy(&iface, d->data, sizeof iface);
  g_object_unref(d);
  lock.lock();
  if (req == USBDEVFS_CLAIMINTERFACE) {
    if (iface != 0) return done(-1, ENOENT);
    if (st_.kernelDriverBound) {
      log_.log("usb", "client " + std::to_string(id) + " claim refused: usblp holds interface 0");
      return done(-1, EBUSY);
    }
    for (auto &other : clients_)
      if (other.first != id && other.second.claimed && other.second.devnode == cl.devnode)
        return done(-1, EBUSY);
    if (!cl.claimed) {
      appendLog(st_.usbLog, "claim 0");
      log_.log("usb", "client " + std::to_string(id) + " claimed interface 0");
    }
    cl.claimed = true;
    return done(0, 0);
  }
  if (iface != 0 || !cl.claimed) return done(-1, EINVAL);
  if (st_.releaseFail) {
    appendLog(st_.usbLog, "release 0 refused");
    log_.log("usb", "client " + std::to_string(id) + " release of interface 0 refused (release-fail on)");
    return done(-1, EINVAL);
  }
  cl.claimed = false;
  appendLog(st_.usbLog, "release 0");
  endUsbPrint(st_);
  log_.log("usb", "client " + std::to_string(id) + " released interface 0");
  return done(0, 0);
}

// Requests the emulated device accepts without doing anything.
int UsbEmulator::onAccepted(Ioctl &c) {
  auto done = [&c](long res, int err) { return c.done(res, err); };
  return done(0, 0);
}

int UsbEmulator::onSubmitUrb(Ioctl &c) {
  auto &[client, arg, id, req, lock, cl] = c;
  auto done = [&c](long res, int err) { return c.done(res, err); };
  bool mayTransfer = cl.claimed || !st_.kernelDriverBound;
  lock.unlock();
  UMockdevIoctlData *d = resolve(arg, 0, sizeof(usbdevfs_urb));
  if (!d) return done(-1, EFAULT);
  auto *u = reinterpret_cast<usbdevfs_urb *>(d->data);
  Urb urb;
  urb.client = id;
  urb.data = d;
  urb.clientAddr = d->client_addr;
  urb.type = u->type;
  urb.endpoint = u->endpoint;
  urb.bufferLength = u->buffer_length < 0 ? 0 : u->buffer_length;
  bool control = urb.type == USBDEVFS_URB_TYPE_CONTROL && (urb.endpoint & 0x7f) == 0;
  bool bulkOut = urb.type == USBDEVFS_URB_TYPE_BULK && urb.endpoint == kEpOut;
  bool bulkIn = urb.type == USBDEVFS_URB_TYPE_BULK && urb.endpoint == kEpIn;
  if (!control && !bulkOut && !bulkIn) {
    g_object_unref(d);
    return done(-1, ENOENT);
  }
  if (!control && !mayTransfer) {
    g_object_unref(d);
    return done(-1, EBUSY);
  }
  std::string payload;
  if ((control || bulkOut) && urb.bufferLength > 0) {
    UMockdevIoctlData *buf = resolve(d, offsetof(usbdevfs_urb, buffer), static_cast<size_t>(urb.bufferLength));
    if (!buf) {
      g_object_unref(d);
      return done(-1, EFAULT);
    }
    payload.assign(reinterpret_cast<const char *>(buf->data), static_cast<size_t>(urb.bufferLength));
    g_object_unref(buf);
  }
  lock.lock();
  if (!control) cl.claimed = true;  // usbfs claims the interface on first use
  if (bulkOut) {
    bool printing = !st_.usbPrint.empty();
    std::string what = usbOut(st_, payload);
    if (!printing && !st_.usbPrint.empty()) st_.usbPrintStarted = isoNow();
    urb.done = true;
    urb.status = 0;
    log_.log("usb", "OUT 0x01 " + std::to_string(payload.size()) + " bytes: " + what);
  } else if (control) {
    completeControl(urb, payload);
  }
  urbs_.push_back(std::move(urb));
  return done(0, 0);
}

int UsbEmulator::onDiscardUrb(Ioctl &c) {
  auto &[client, arg, id, req, lock, cl] = c;
  auto done = [&c](long res, int err) { return c.done(res, err); };
  unsigned long addr = 0;
  std::memcpy(&addr, arg->data, std::min(sizeof addr, static_cast<size_t>(arg->data_len)));
  for (Urb &u : urbs_) {
    if (u.client == id && u.clientAddr == addr && !u.done) {
      u.done = true;
      u.status = -ENOENT;
      u.reply.clear();
      appendLog(st_.usbLog, "cancel in");
      log_.log("usb", "client " + std::to_string(id) + " cancelled a pending IN transfer");
      return done(0, 0);
    }
  }
  return done(-1, EINVAL);
}

// USBDEVFS_REAPURB and USBDEVFS_REAPURBNDELAY.
int UsbEmulator::onReapUrb(Ioctl &c) {
  auto &[client, arg, id, req, lock, cl] = c;
  auto done = [&c](long res, int err) { return c.done(res, err); };
  bool pending = false;
  for (const Urb &u : urbs_)
    if (u.client == id) pending = true;
  lock.unlock();
  if (reapOne(client, id)) return 1;
  // libusb polls while a transfer waits; slow it down a little.
  if (pending) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return done(-1, EAGAIN);
}

// Anything else: logged and refused.
int UsbEmulator::onUnsupported(Ioctl &c) {
  auto &[client, arg, id, req, lock, cl] = c;
  auto done = [&c](long res, int err) { return c.done(res, err); };
  lock.unlock();
  char buf[96];
  std::snprintf(buf, sizeof buf, "unsupported ioctl 0x%lx (%s)", req, ioctlName(req));
  log_.log("usb", buf);
  return done(-1, ENOTTY);
}

}  // namespace kpxsim
