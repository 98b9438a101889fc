#include "devices.h"

#include "printer_protocol.h"
#include "usb_communicate.h"
#include "usbowner.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace kpxapp {

namespace {

constexpr const char *kScheme = "socket";
constexpr int kConnectTimeoutMs = 10000;
constexpr int kReadTimeoutMs = 10000;

struct Link {
  std::string host;
  std::string port;
  int fd = -1;
  bool used = false;  // something was sent or read on this connection
};

int connectTo(pappl_device_t *device, const Link &link) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo *list = nullptr;
  if (int err = getaddrinfo(link.host.c_str(), link.port.c_str(), &hints, &list)) {
    papplDeviceError(device, "Unable to look up '%s': %s", link.host.c_str(), gai_strerror(err));
    return -1;
  }
  int fd = -1;
  for (addrinfo *ai = list; ai != nullptr && fd < 0; ai = ai->ai_next) {
    fd = socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, ai->ai_protocol);
    if (fd < 0) continue;
    int r = connect(fd, ai->ai_addr, ai->ai_addrlen);
    if (r < 0 && errno == EINPROGRESS) {
      pollfd p{fd, POLLOUT, 0};
      int err = 0;
      socklen_t len = sizeof err;
      int n;
      while ((n = poll(&p, 1, kConnectTimeoutMs)) < 0 && errno == EINTR) {
      }
      r = (n == 1 && getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0) ? 0 : -1;
    }
    if (r < 0) {
      close(fd);
      fd = -1;
    }
  }
  freeaddrinfo(list);
  if (fd < 0) {
    papplDeviceError(device, "Unable to connect to %s:%s.", link.host.c_str(), link.port.c_str());
    return -1;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return fd;
}

bool ensureConnected(pappl_device_t *device, Link *link) {
  if (link->fd < 0) {
    link->fd = connectTo(device, *link);
    link->used = false;
  }
  return link->fd >= 0;
}

bool openLink(pappl_device_t *device, const char *uri, const char *) {
  char scheme[32], userpass[256], host[256], resource[256];
  int port = 0;
  if (httpSeparateURI(HTTP_URI_CODING_ALL, uri, scheme, sizeof scheme, userpass, sizeof userpass, host, sizeof host,
                      &port, resource, sizeof resource) < HTTP_URI_STATUS_OK) {
    papplDeviceError(device, "Bad device URI '%s'.", uri);
    return false;
  }
  auto *link = new Link;
  link->host = host;
  link->port = std::to_string(port > 0 ? port : kpx::protocol::kPrintPort);
  papplDeviceSetData(device, link);
  return ensureConnected(device, link);
}

void closeLink(pappl_device_t *device) {
  auto *link = static_cast<Link *>(papplDeviceGetData(device));
  if (link == nullptr) return;
  if (link->fd >= 0) close(link->fd);
  delete link;
  papplDeviceSetData(device, nullptr);
}

ssize_t writeLink(pappl_device_t *device, const void *buffer, size_t bytes) {
  auto *link = static_cast<Link *>(papplDeviceGetData(device));
  if (link == nullptr || !ensureConnected(device, link)) return -1;
  link->used = true;
  const char *p = static_cast<const char *>(buffer);
  size_t left = bytes;
  while (left > 0) {
    ssize_t n = send(link->fd, p, left, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      papplDeviceError(device, "Unable to send to the printer: %s", std::strerror(errno));
      return -1;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(bytes);
}

ssize_t readLink(pappl_device_t *device, void *buffer, size_t bytes) {
  auto *link = static_cast<Link *>(papplDeviceGetData(device));
  if (link == nullptr || !ensureConnected(device, link)) return -1;
  link->used = true;
  pollfd p{link->fd, POLLIN, 0};
  int r;
  while ((r = poll(&p, 1, kReadTimeoutMs)) < 0 && errno == EINTR) {
  }
  if (r <= 0) return r == 0 ? 0 : -1;
  ssize_t n;
  while ((n = recv(link->fd, buffer, bytes, 0)) < 0 && errno == EINTR) {
  }
  return n;
}

pappl_preason_t linkStatus(pappl_device_t *) { return PAPPL_PREASON_NONE; }

// ---- USB

const char *g_deviceId = "";
// Print data may wait for paper or a warm-up; status replies come at once.
const usb_communicate::Config &kUsbPrintConfig = usb_communicate::kPrintConfig;

// The link's own lines go to the standard error, as they always did.
void logUsbLine(const std::string &line) { std::fprintf(stderr, "%s\n", line.c_str()); }

bool listUsb(pappl_device_cb_t cb, void *data, pappl_deverror_cb_t, void *) {
  usb_communicate probe(kUsbPrintConfig, logUsbLine);
  if (!probe.checkUSBDevice()) return false;
  return cb("KPX7720MW USB", kUsbUri, g_deviceId, data);
}

bool openUsb(pappl_device_t *device, const char *, const char *) {
  auto *link = new usb_communicate(kUsbPrintConfig, logUsbLine);
  if (link->initDevice() != UsbStatus::Ok) {
    papplDeviceError(device, "The printer is not on USB, or another program holds it.");
    link->releaseDevice();
    delete link;
    return false;
  }
  papplDeviceSetData(device, link);
  return true;
}

void closeUsb(pappl_device_t *device) {
  auto *link = static_cast<usb_communicate *>(papplDeviceGetData(device));
  if (link == nullptr) return;
  link->releaseDevice();
  delete link;
  papplDeviceSetData(device, nullptr);
}

ssize_t writeUsb(pappl_device_t *device, const void *buffer, size_t bytes) {
  auto *link = static_cast<usb_communicate *>(papplDeviceGetData(device));
  if (link == nullptr) return -1;
  if (link->SendCmd(static_cast<const unsigned char *>(buffer), static_cast<unsigned>(bytes)) != UsbStatus::Ok) {
    papplDeviceError(device, "Unable to send to the printer on USB.");
    return -1;
  }
  return static_cast<ssize_t>(bytes);
}

ssize_t readUsb(pappl_device_t *device, void *buffer, size_t bytes) {
  auto *link = static_cast<usb_communicate *>(papplDeviceGetData(device));
  if (link == nullptr) return -1;
  const UsbRead read = link->ReadCmd(static_cast<unsigned char *>(buffer), static_cast<unsigned>(bytes));
  return read.status == UsbStatus::Ok ? static_cast<ssize_t>(read.bytes) : -1;
}

char *usbId(pappl_device_t *, char *buffer, size_t size) {
  std::snprintf(buffer, size, "%s", g_deviceId);
  return buffer;
}

// ---- USB owner

// The marker that keeps the USB status monitor off the device is there
// exactly while one of our printers is on USB. The printers on USB are
// counted here, not by asking PAPPL, which may call the creation and
// deletion callbacks with its locks held (asking it for its printers there
// never returned: the server hung after Delete-Printer).
std::mutex g_usbMutex;
std::set<int> g_usbPrinters;

}  // namespace

void registerDevices(const char *deviceId) {
  g_deviceId = deviceId;
  papplDeviceAddScheme(kScheme, PAPPL_DEVTYPE_SOCKET, nullptr, openLink, closeLink, readLink, writeLink, linkStatus,
                       nullptr);
  papplDeviceAddScheme("usb", PAPPL_DEVTYPE_USB, listUsb, openUsb, closeUsb, readUsb, writeUsb, linkStatus, usbId);
}

void beginNetworkJob(pappl_device_t *device) {
  auto *link = static_cast<Link *>(papplDeviceGetData(device));
  if (link != nullptr && link->used) endNetworkJob(device);
}

void endNetworkJob(pappl_device_t *device) {
  auto *link = static_cast<Link *>(papplDeviceGetData(device));
  if (link == nullptr || link->fd < 0) return;
  close(link->fd);
  link->fd = -1;
}

bool isNetworkUri(const char *uri) { return uri != nullptr && std::strncmp(uri, "socket://", 9) == 0; }
bool isUsbUri(const char *uri) { return uri != nullptr && std::strncmp(uri, "usb://", 6) == 0; }

void updateUsbOwner(pappl_system_t *system, pappl_printer_t *printer, bool present) {
  std::lock_guard<std::mutex> lock(g_usbMutex);
  if (printer != nullptr && isUsbUri(papplPrinterGetDeviceURI(printer))) {
    if (present)
      g_usbPrinters.insert(papplPrinterGetID(printer));
    else
      g_usbPrinters.erase(papplPrinterGetID(printer));
  }
  if (g_usbPrinters.empty())
    kpx::releaseUsbOwnership();
  else if (!kpx::claimUsbOwnership())
    papplLog(system, PAPPL_LOGLEVEL_WARN, "Unable to write %s: the USB status monitor may open the printer too.",
             kpx::usbOwnerMarkerPath().c_str());
}

void printerCreated(pappl_printer_t *printer, void *) {
  updateUsbOwner(papplPrinterGetSystem(printer), printer, true);
}

void printerDeleted(pappl_printer_t *printer, pappl_pr_driver_data_t *) {
  updateUsbOwner(papplPrinterGetSystem(printer), printer, false);
}

}  // namespace kpxapp
