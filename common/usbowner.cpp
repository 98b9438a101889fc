#include "usbowner.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace kpx {

namespace {

std::string runDir() {
  const char *dir = std::getenv("KPX_PRINTER_APP_RUNDIR");
  return dir != nullptr && *dir ? dir : "/run/kpx7720mw-printer-app";
}

bool processAlive(pid_t pid) { return kill(pid, 0) == 0 || errno == EPERM; }

}  // namespace

std::string usbOwnerMarkerPath() { return runDir() + "/usb-owner"; }

bool markerNamesLiveProcess(const std::string &content, bool (*alive)(pid_t)) {
  char *end = nullptr;
  long pid = std::strtol(content.c_str(), &end, 10);
  if (end == content.c_str() || pid <= 1 || pid > 0x3fffffff) return false;
  while (*end == '\n' || *end == ' ') ++end;
  return *end == '\0' && alive(static_cast<pid_t>(pid));
}

bool printerAppOwnsUsb() {
  std::ifstream in(usbOwnerMarkerPath());
  if (!in) return false;
  std::stringstream text;
  text << in.rdbuf();
  return markerNamesLiveProcess(text.str().substr(0, 32), processAlive);
}

bool claimUsbOwnership() {
  const std::string dir = runDir();
  mkdir(dir.c_str(), 0755);
  const std::string path = usbOwnerMarkerPath();
  const std::string tmp = path + ".new";
  {
    std::ofstream out(tmp, std::ios::trunc);
    if (!(out << getpid() << '\n')) return false;
  }
  chmod(tmp.c_str(), 0644);
  return rename(tmp.c_str(), path.c_str()) == 0;
}

void releaseUsbOwnership() { unlink(usbOwnerMarkerPath().c_str()); }

}  // namespace kpx
