// kpx7720mw-printer-app: an IPP Everywhere printer application for the
// KPX7720MW on PAPPL. This file sets the system up and runs PAPPL's main
// loop; the driver is driver.cpp, the jobs documents.cpp (PDF, PostScript)
// and raster.cpp, the printer's state status.cpp, its devices devices.cpp.
// Every decision lives in appcore and in the job core.
#include <signal.h>
#include <unistd.h>

#include <pappl/pappl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "access.h"
#include "devices.h"
#include "documents.h"
#include "driver.h"
#include "pappl_dnssd.h"
#include "usbowner.h"
#include "webpages.h"

namespace {

constexpr const char *kVersion = KPX_APP_VERSION;  // from its package's changelog

bool saveState(pappl_system_t *system, void *file) {
  return papplSystemSaveState(system, static_cast<const char *>(file));
}

bool g_serving = false;  // this process runs the server (not a client sub-command)
std::string g_baseName = "kpx7720mw-printer-app";  // the program's name, as PAPPL names its socket

// Decoded PNG and JPEG: a Legal page at 1200 dpi, one byte a pixel.
constexpr size_t kMaxImageBytes = size_t{10200} * 16800;
constexpr int kMaxImageSide = 16800;

// Where PAPPL's main loop puts the server's local socket.
std::string localSocketPath() {
  if (getuid() != 0) return std::string(papplGetTempDir()) + "/" + g_baseName + std::to_string(getuid()) + ".sock";
  if (const char *snap = std::getenv("SNAP_COMMON")) return std::string(snap) + "/" + g_baseName + ".sock";
  return std::string(KPX_PAPPL_SOCKDIR) + "/" + g_baseName + ".sock";
}

pappl_system_t *systemCallback(int num_options, cups_option_t *options, void *) {
  if (!g_serving) std::atexit(kpx::releaseUsbOwnership);
  g_serving = true;
  const char *value;
  pappl_loglevel_t loglevel = PAPPL_LOGLEVEL_WARN;
  if ((value = cupsGetOption("log-level", num_options, options)) != nullptr) {
    if (!std::strcmp(value, "debug")) loglevel = PAPPL_LOGLEVEL_DEBUG;
    else if (!std::strcmp(value, "info")) loglevel = PAPPL_LOGLEVEL_INFO;
    else if (!std::strcmp(value, "error")) loglevel = PAPPL_LOGLEVEL_ERROR;
  }
  const char *logfile = cupsGetOption("log-file", num_options, options);
  const char *spool = cupsGetOption("spool-directory", num_options, options);
  const char *state = cupsGetOption("state-file", num_options, options);
  int port = 0;
  if ((value = cupsGetOption("server-port", num_options, options)) != nullptr) port = std::atoi(value);
  // Sharing with the network is the administrator's choice: -o listen=any.
  const char *listen = cupsGetOption("listen", num_options, options);
  const bool shared = listen != nullptr && std::strcmp(listen, "localhost") != 0;
  // Logins (administration from a user who is not root or an
  // administrator by the kernel's word, from other computers, the web
  // pages) are checked with PAM; there is no web password page.
  kpxapp::AccessPolicy access;
  const char *auth = cupsGetOption("auth-service", num_options, options);
  access.pamService = auth == nullptr ? "login" : std::strcmp(auth, "none") ? auth : "";
  const char *adminGroup = cupsGetOption("admin-group", num_options, options);
  access.adminGroup = adminGroup != nullptr ? adminGroup : "lpadmin";
  if ((value = cupsGetOption("job-time-limit", num_options, options)) != nullptr && std::atoi(value) > 0)
    kpxapp::setInterpreterTimeLimit(std::atoi(value));

  pappl_soptions_t soptions = PAPPL_SOPTIONS_MULTI_QUEUE | PAPPL_SOPTIONS_WEB_INTERFACE | PAPPL_SOPTIONS_WEB_LOG;
  // On loopback TLS protects nothing, and PAPPL 1.3.1 would list "tls" in
  // uri-security-supported without an ipps: URI beside it.
  if (!shared) soptions |= PAPPL_SOPTIONS_NO_TLS;
  kpxapp::setDnssdTlsOffered(shared);
  pappl_system_t *system = papplSystemCreate(soptions, "KPX7720MW Printer Application", port, "_print,_universal",
                                             spool, logfile ? logfile : "-", loglevel, nullptr, false);
  if (system == nullptr) return nullptr;
  kpxapp::setUpAccess(system, access);
  kpxapp::addWebStrings(system);
  // The printer's icon in the pages' bar and the browser's tab (PAPPL adds
  // its own only where none is set).
  papplSystemAddResourceData(system, "/favicon.png", "image/png", kpx_icon_128, kpx_icon_128_size);
  papplSystemAddResourceData(system, "/navicon.png", "image/png", kpx_icon_48, kpx_icon_48_size);
  // The local socket PAPPL adds next: root's in a directory of root and the
  // administrators only, and the socket itself as soon as it is there.
  static std::string socketPath = localSocketPath();
  if (getuid() == 0 && std::getenv("SNAP_COMMON") == nullptr)
    kpxapp::prepareSocketDirectory(KPX_PAPPL_SOCKDIR, access.adminGroup);
  static std::string socketGroup = access.adminGroup;
  papplSystemAddTimerCallback(
      system, 0, 0,
      [](pappl_system_t *, void *) {
        kpxapp::restrictLocalSocket(socketPath, socketGroup);
        return false;
      },
      nullptr);
  // Bounds: clients served at once (more wait), decoded PNG and JPEG (a
  // Legal page at 1200 dpi in grey; PAPPL's own limit is a gigabyte).
  papplSystemSetMaxClients(system, 64);
  if (!shared) papplSystemSetHostName(system, "localhost");
  if (!papplSystemAddListeners(system, shared ? (std::strcmp(listen, "any") ? listen : nullptr) : "localhost")) {
    papplSystemDelete(system);
    return nullptr;
  }
  papplSystemSetPrinterDrivers(system, 1, kpxapp::g_drivers, kpxapp::autoAdd, kpxapp::printerCreated,
                               kpxapp::driverCallback, nullptr);
  kpxapp::addDocumentFilters(system);
  static pappl_version_t version{};
  std::snprintf(version.name, sizeof version.name, "kpx7720mw-printer-app");
  std::snprintf(version.sversion, sizeof version.sversion, "%s", kVersion);
  version.version[0] = 1;
  papplSystemSetVersions(system, 1, &version);
  papplSystemSetFooterHTML(system, "KPX7720MW Printer Application");
  if (state != nullptr) {
    static std::string stateFile = state;
    papplSystemLoadState(system, stateFile.c_str());
    papplSystemSetSaveCallback(system, saveState, const_cast<char *>(stateFile.c_str()));
  }
  // After the state, which keeps PAPPL's image limits too.
  papplSystemSetMaxImageSize(system, kMaxImageBytes, kMaxImageSide, kMaxImageSide);
  kpxapp::updateUsbOwner(system, nullptr, false);
  return system;
}

}  // namespace

int main(int argc, char *argv[]) {
  signal(SIGPIPE, SIG_IGN);
  if (const char *slash = std::strrchr(argv[0], '/')) g_baseName = slash + 1;
  else g_baseName = argv[0];
  kpxapp::registerDevices(kpxapp::kDeviceId);
  return papplMainloop(argc, argv, kVersion, nullptr, 1, kpxapp::g_drivers, kpxapp::autoAdd, kpxapp::driverCallback,
                       nullptr, nullptr, systemCallback, nullptr, nullptr);
}
