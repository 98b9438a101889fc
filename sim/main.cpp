// kpx7720mw-sim: stands in for one KPX7720MW printer (raw TCP print port,
// UDP status port, emulated USB device) for tests, benchmarks and the demo.
// "kpx7720mw-sim ctl ..." is the client of its control socket,
// "kpx7720mw-sim render ..." renders a kept job's pages.
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "control.h"
#include "logger.h"
#include "model.h"
#include "pclxl_render.h"
#include "printer_media.h"
#include "printstream.h"
#include "server.h"
#include "textutil.h"
#include "usb_device.h"

using namespace kpxsim;

namespace {

const char kUsage[] =
    "usage: kpx7720mw-sim [options]\n"
    "       kpx7720mw-sim ctl [--socket PATH] [--timeout S] COMMAND [ARGS...]\n"
    "       kpx7720mw-sim render JOBFILE [--out DIR]\n"
    "\n"
    "options:\n"
    "  --tcp ADDR:PORT|off      raw print port (default 127.0.0.1 at the printer's print port; 0 = any free)\n"
    "  --udp ADDR:PORT|off      status port (default 127.0.0.1 at the printer's status port)\n"
    "  --control PATH           control socket (default $XDG_RUNTIME_DIR/kpx7720mw-sim.sock)\n"
    "  --usb                    emulate the USB device (run under umockdev-wrapper)\n"
    "  --usb-dir-file PATH      write the umockdev testbed directory to PATH\n"
    "  --no-kernel-driver       the kernel printer driver does not hold the device\n"
    "  --unplugged              start with the USB device unplugged\n"
    "  --usb-mode MODE          normal|silent|empty|single-byte\n"
    "  --usb-script HEX,...     answers for the first IN transfers\n"
    "  --release-fail           releasing interface 0 fails\n"
    "  --status LINES           status line(s); repeatable (10001 or CODE=10001, \\r separates)\n"
    "  --lock MODE              free|busy|silent|script:C,C,... (default free)\n"
    "  --ip A/M/G               network settings (default 192.168.1.100/255.255.255.0/192.168.1.1)\n"
    "  --udp-mode MODE          normal|empty|silent\n"
    "  --backstatus TEXT        status text sent back on each print connection\n"
    "  --backstatus-after KIB   ... once this much PCL XL data arrived (default 0)\n"
    "  --stall                  start with print connections stalled\n"
    "  --rcvbuf BYTES           receive buffer of print connections (default 16384, 0 = system)\n"
    "  --jobs-dir DIR           keep job-NNNN.prn and job-NNNN.txt there\n"
    "  --log FILE               log here instead of stderr\n"
    "  --ready-file PATH        written once everything is listening\n"
    "  --allow-any-address      allow non-loopback listening addresses\n"
    "  -h, --help\n";

std::string defaultControlPath() {
  const char *rt = std::getenv("XDG_RUNTIME_DIR");
  if (rt && *rt) return std::string(rt) + "/kpx7720mw-sim.sock";
  return "/tmp/kpx7720mw-sim-" + std::to_string(getuid()) + ".sock";
}

int usageError(const std::string &msg) {
  std::fprintf(stderr, "kpx7720mw-sim: %s\n", msg.c_str());
  return 2;
}

int runCtl(int argc, char **argv) {
  std::string path = defaultControlPath();
  double timeout = 30;
  int i = 2;
  for (; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--socket" && i + 1 < argc) {
      path = argv[++i];
    } else if (a == "--timeout" && i + 1 < argc) {
      timeout = std::atof(argv[++i]);
    } else {
      break;
    }
  }
  if (i >= argc) {
    std::fprintf(stderr, "%s\n%s", kUsage, controlUsage());
    return 2;
  }
  std::vector<std::string> args(argv + i, argv + argc);
  ControlCommand cmd;
  std::string err;
  if (!parseControlCommand(args, cmd, err)) return usageError(err);
  if (cmd.kind == ControlCommand::Kind::WaitJobs) timeout = cmd.timeoutSeconds + 10;

  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un sa{};
  sa.sun_family = AF_UNIX;
  if (path.size() >= sizeof sa.sun_path) return usageError("socket path too long");
  std::strcpy(sa.sun_path, path.c_str());
  if (connect(fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa) != 0) {
    std::fprintf(stderr, "kpx7720mw-sim ctl: cannot connect to %s: %s\n", path.c_str(),
                 std::strerror(errno));
    close(fd);
    return 3;
  }
  std::string request;
  for (const std::string &a : args) {
    request += a;
    request += '\0';
  }
  size_t off = 0;
  while (off < request.size()) {
    ssize_t n = send(fd, request.data() + off, request.size() - off, MSG_NOSIGNAL);
    if (n <= 0) {
      std::fprintf(stderr, "kpx7720mw-sim ctl: send failed: %s\n", std::strerror(errno));
      close(fd);
      return 3;
    }
    off += static_cast<size_t>(n);
  }
  shutdown(fd, SHUT_WR);
  std::string reply;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(static_cast<long>(timeout * 1000));
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0) {
      std::fprintf(stderr, "kpx7720mw-sim ctl: no reply within %.0f s\n", timeout);
      close(fd);
      return 3;
    }
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
    char buf[65536];
    ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n <= 0) break;
    reply.append(buf, static_cast<size_t>(n));
  }
  close(fd);
  if (startsWith(reply, "OK\n")) {
    std::fwrite(reply.data() + 3, 1, reply.size() - 3, stdout);
    return 0;
  }
  if (startsWith(reply, "ERR ")) {
    std::fprintf(stderr, "kpx7720mw-sim ctl: %s", reply.c_str() + 4);
    return 1;
  }
  std::fprintf(stderr, "kpx7720mw-sim ctl: unexpected reply \"%s\"\n", escapeText(reply).c_str());
  return 3;
}

// Renders the PCL XL part of a job file: one line per page on stdout, with
// --out DIR also DIR/page-N.pbm. Status 1 for data that does not render,
// 2 for wrong arguments or files that cannot be read or written.
int runRender(int argc, char **argv) {
  std::string job, outDir;
  for (int i = 2; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--out" && i + 1 < argc)
      outDir = argv[++i];
    else if (job.empty() && !a.empty() && a[0] != '-')
      job = a;
    else
      return usageError("render: unexpected argument " + a);
  }
  if (job.empty()) return usageError("render: no job file");
  std::ifstream in(job, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof()) {
    std::fprintf(stderr, "kpx7720mw-sim render: cannot read %s\n", job.c_str());
    return 2;
  }
  PrintStreamSummary s = analyzePrintStream(bytes, true);
  if (s.pclxl == PrintStreamSummary::Pclxl::None) {
    std::fprintf(stderr, "kpx7720mw-sim render: no PCL XL in %s\n", job.c_str());
    return 1;
  }
  PclxlRenderOptions opt;
  opt.media = printerMediaSizes();
  bool writeFailed = false;
  PclxlRenderResult r = renderPclxl(std::string_view(bytes).substr(s.pclxlOffset), opt, [&](RenderedPage &p) {
    std::printf("%s\n", pageLine(p).c_str());
    if (outDir.empty()) return true;
    std::string path = outDir + "/page-" + std::to_string(p.number) + ".pbm";
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    std::string pbm = toPbm(p);
    f.write(pbm.data(), static_cast<std::streamsize>(pbm.size()));
    if (!f.good()) {
      std::fprintf(stderr, "kpx7720mw-sim render: cannot write %s\n", path.c_str());
      writeFailed = true;
    }
    return !writeFailed;
  });
  std::fflush(stdout);
  if (writeFailed) return 2;
  if (!r.error.empty()) {
    std::fprintf(stderr, "kpx7720mw-sim render: %s (in the stream from offset %zu)\n", r.error.c_str(),
                 s.pclxlOffset);
    return 1;
  }
  if (!r.complete) {
    std::fprintf(stderr, "kpx7720mw-sim render: the stream ends before EndSession\n");
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc >= 2 && std::string(argv[1]) == "ctl") return runCtl(argc, argv);
  if (argc >= 2 && std::string(argv[1]) == "render") return runRender(argc, argv);

  PrinterState st;
  ServerConfig cfg;
  std::string tcpText = "127.0.0.1:" + std::to_string(kpx::protocol::kPrintPort),
              udpText = "127.0.0.1:" + std::to_string(kpx::protocol::kStatusPort), logFile;
  bool usb = false, allowAny = false;
  std::vector<std::string> statusArgs;
  std::string err;

  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](std::string &out) {
      if (i + 1 >= argc) return false;
      out = argv[++i];
      return true;
    };
    std::string v;
    if (a == "-h" || a == "--help") {
      std::fputs(kUsage, stdout);
      std::fputs("\ncontrol ", stdout);
      std::fputs(controlUsage(), stdout);
      return 0;
    } else if (a == "--usb") {
      usb = true;
    } else if (a == "--no-kernel-driver") {
      st.kernelDriverBound = st.kernelDriverOnPlug = false;
    } else if (a == "--unplugged") {
      st.usbPlugged = false;
    } else if (a == "--release-fail") {
      st.releaseFail = true;
    } else if (a == "--stall") {
      st.stall = true;
    } else if (a == "--allow-any-address") {
      allowAny = true;
    } else if (!value(v)) {
      return usageError(a.rfind("--", 0) == 0 ? a + " needs a value (or is unknown)" : "unknown argument " + a);
    } else if (a == "--tcp") {
      tcpText = v;
    } else if (a == "--udp") {
      udpText = v;
    } else if (a == "--control") {
      cfg.controlPath = v;
    } else if (a == "--usb-dir-file") {
      cfg.usbDirFile = v;
    } else if (a == "--usb-mode") {
      if (!parseUsbMode(v, st.usbMode)) return usageError("bad --usb-mode " + v);
    } else if (a == "--usb-script") {
      std::vector<std::string> script;
      if (!parseUsbScript(v, script, err)) return usageError("--usb-script: " + err);
      st.usbScript.assign(script.begin(), script.end());
    } else if (a == "--status") {
      statusArgs.push_back(v);
    } else if (a == "--lock") {
      if (!LockResponder::parse(v, st.lock, err)) return usageError(err);
    } else if (a == "--ip") {
      if (!parseIpSettings(v, st.ip, err)) return usageError("--ip: " + err);
    } else if (a == "--udp-mode") {
      if (!parseUdpMode(v, st.udpMode)) return usageError("bad --udp-mode " + v);
    } else if (a == "--backstatus") {
      st.backStatus = unescapeText(v);
    } else if (a == "--backstatus-after") {
      uint64_t kib = 0;
      if (!parseUnsigned(v, kib)) return usageError("bad --backstatus-after " + v);
      st.backStatusAfterKib = static_cast<size_t>(kib);
    } else if (a == "--rcvbuf") {
      uint64_t n = 0;
      if (!parseUnsigned(v, n) || n > (64u << 20)) return usageError("bad --rcvbuf " + v);
      cfg.rcvbuf = static_cast<int>(n);
    } else if (a == "--jobs-dir") {
      cfg.jobsDir = v;
    } else if (a == "--log") {
      logFile = v;
    } else if (a == "--ready-file") {
      cfg.readyFile = v;
    } else {
      return usageError("unknown option " + a);
    }
  }
  if (!statusArgs.empty()) {
    if (!parseStatusArgs(statusArgs, st.statusLines, err)) return usageError(err);
  }
  if (tcpText != "off") {
    Endpoint e;
    if (!parseEndpoint(tcpText, allowAny, e, err)) return usageError("--tcp: " + err);
    cfg.tcp = e;
  }
  if (udpText != "off") {
    Endpoint e;
    if (!parseEndpoint(udpText, allowAny, e, err)) return usageError("--udp: " + err);
    cfg.udp = e;
  }
  if (cfg.controlPath.empty()) cfg.controlPath = defaultControlPath();
  if (!usb && !cfg.usbDirFile.empty()) return usageError("--usb-dir-file needs --usb");

  Logger log;
  if (!logFile.empty() && !log.openFile(logFile, err)) return usageError(err);

  std::mutex mutex;
  std::unique_ptr<UsbEmulator> emulator;
  if (usb) {
    emulator = std::make_unique<UsbEmulator>(mutex, st, log);
    if (!emulator->start(err)) {
      log.log("sim", err);
      return 1;
    }
  }
  int status;
  {
    Server server(cfg, st, mutex, log, emulator.get());
    if (!server.start(err)) {
      log.log("sim", err);
      return 1;
    }
    status = server.run();
  }
  emulator.reset();
  return status;
}
