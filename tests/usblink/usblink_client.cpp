// Test client: drives one usb_communicate object through the operations
// given on the command line and prints one line per operation, with every
// debug line the link writes (captured through the Qt message handler) as
// "log TEXT" in the order it happened:
//
//   --monitor | --setup     configuration (before the operations; default monitor)
//   --ctl PROGRAM SOCKET    simulator control program and socket for "ctl:"
//   check                -> "check 1" / "check 0"
//   init                 -> "init R"
//   send:HEX             -> "send R"
//   read:N               -> "read R guard=ok|broken data=HEX"
//                           N-byte buffer followed by a guard region; data is
//                           the first min(R, N) bytes, or, for R = 254, the
//                           first 254 bytes only when any of them changed
//   release              -> "release R"
//   ctl:ARG,ARG...       -> "ctl S"   (exit status of the control command)
//   fds                  -> "fds N"   (open file descriptors of this process)
//   session              -> "session R open=0|1" (a UsbSession on the link begins)
//   session-end          -> "session-end"  (it ends)
//   renew                -> "renew"   (the link object is destroyed, a new one made)
//
// How long each operation took goes to standard error as "OP ms=T".
// Run it with UMOCKDEV_DIR=<testbed> LD_PRELOAD=libumockdev-preload.so.0.
#include <dirent.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QtGlobal>
#include <QDebug>
#include <QString>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "usb_communicate.h"
#include "usb_session.h"

namespace {

const unsigned char kFill = 0xA5;
const size_t kGuard = 256;

void captureLog(QtMsgType, const QMessageLogContext &, const QString &msg) {
  std::printf("log %s\n", msg.toUtf8().constData());
  std::fflush(stdout);
}

std::string hex(const unsigned char *p, size_t n) {
  static const char d[] = "0123456789abcdef";
  std::string s;
  for (size_t i = 0; i < n; ++i) {
    s += d[p[i] >> 4];
    s += d[p[i] & 15];
  }
  return s;
}

bool unhex(const std::string &h, std::vector<unsigned char> &out) {
  if (h.size() % 2) return false;
  out.clear();
  for (size_t i = 0; i < h.size(); i += 2) {
    char *end = nullptr;
    std::string byte = h.substr(i, 2);
    long v = std::strtol(byte.c_str(), &end, 16);
    if (*end) return false;
    out.push_back(static_cast<unsigned char>(v));
  }
  return true;
}

int countFds() {
  int n = 0;
  DIR *d = opendir("/proc/self/fd");
  if (!d) return -1;
  while (dirent *e = readdir(d))
    if (e->d_name[0] != '.') ++n;
  closedir(d);
  return n - 1;  // the directory stream itself
}

// Runs the simulator's control command without the umockdev preload.
int runCtl(const std::string &program, const std::string &socket, const std::string &args) {
  std::vector<std::string> argv = {program, "ctl", "--socket", socket};
  size_t pos = 0;
  while (pos <= args.size()) {
    size_t comma = args.find(',', pos);
    if (comma == std::string::npos) comma = args.size();
    argv.push_back(args.substr(pos, comma - pos));
    pos = comma + 1;
  }
  std::fflush(stdout);
  pid_t pid = fork();
  if (pid == 0) {
    unsetenv("LD_PRELOAD");
    std::vector<char *> a;
    for (std::string &s : argv) a.push_back(&s[0]);
    a.push_back(nullptr);
    if (!freopen("/dev/null", "w", stdout)) _exit(126);
    execv(a[0], a.data());
    _exit(127);
  }
  if (pid < 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

int main(int argc, char **argv) {
  qInstallMessageHandler(captureLog);
  usb_communicate::Config config = usb_communicate::kMonitorConfig;
  std::string ctlProgram, ctlSocket;
  int first = 1;
  for (; first < argc; ++first) {
    std::string a = argv[first];
    if (a == "--monitor") {
      config = usb_communicate::kMonitorConfig;
    } else if (a == "--setup") {
      config = usb_communicate::kSetupConfig;
    } else if (a == "--ctl" && first + 2 < argc) {
      ctlProgram = argv[++first];
      ctlSocket = argv[++first];
    } else {
      break;
    }
  }

  const UsbLog qtLog = [](const std::string &line) { qDebug().noquote() << QString::fromStdString(line); };
  auto owner = std::make_unique<usb_communicate>(config, qtLog);
  std::optional<UsbSession> session;
  for (int i = first; i < argc; ++i) {
    std::string op = argv[i];
    size_t colon = op.find(':');
    std::string name = op.substr(0, colon);
    std::string arg = colon == std::string::npos ? "" : op.substr(colon + 1);
    auto t0 = std::chrono::steady_clock::now();

    if (name == "check") {
      bool found = owner->checkUSBDevice();
      std::printf("check %d\n", found ? 1 : 0);
    } else if (name == "init") {
      int r = traceCode(owner->initDevice());
      std::printf("init %d\n", r);
    } else if (name == "send") {
      std::vector<unsigned char> data;
      if (!unhex(arg, data)) {
        std::printf("send bad-hex\n");
        return 2;
      }
      int r = traceCode(owner->SendCmd(data.data(), static_cast<unsigned int>(data.size())));
      std::printf("send %d\n", r);
    } else if (name == "read") {
      size_t n = static_cast<size_t>(std::strtoul(arg.c_str(), nullptr, 10));
      std::vector<unsigned char> buf(n + kGuard, kFill);
      const UsbRead read = owner->ReadCmd(buf.data(), static_cast<unsigned int>(n));
      int r = read.status == UsbStatus::Ok ? static_cast<int>(read.bytes) : traceCode(read.status);
      bool guardOk = true;
      for (size_t k = n; k < buf.size(); ++k) guardOk = guardOk && buf[k] == kFill;
      size_t shown = r < 0 ? 0 : std::min(static_cast<size_t>(r), n);
      if (read.status != UsbStatus::Ok) {
        bool changed = false;
        for (size_t k = 0; k < shown; ++k) changed = changed || buf[k] != kFill;
        if (!changed) shown = 0;
      }
      std::printf("read %d guard=%s data=%s\n", r, guardOk ? "ok" : "broken",
                  hex(buf.data(), shown).c_str());
    } else if (name == "release") {
      int r = traceCode(owner->releaseDevice());
      std::printf("release %d\n", r);
    } else if (name == "ctl") {
      if (ctlProgram.empty()) {
        std::printf("ctl no-socket\n");
        return 2;
      }
      std::printf("ctl %d\n", runCtl(ctlProgram, ctlSocket, arg));
    } else if (name == "session") {
      session.emplace(*owner);
      std::printf("session %d open=%d\n", traceCode(session->result()), session->isOpen() ? 1 : 0);
    } else if (name == "session-end") {
      session.reset();
      std::printf("session-end\n");
    } else if (name == "renew") {
      session.reset();
      owner = std::make_unique<usb_communicate>(config, qtLog);
      std::printf("renew\n");
    } else if (name == "fds") {
      std::printf("fds %d\n", countFds());
    } else {
      std::printf("%s unknown-op\n", name.c_str());
      return 2;
    }
    std::fflush(stdout);
    long ms = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                    std::chrono::steady_clock::now() - t0)
                                    .count());
    std::fprintf(stderr, "%s ms=%ld\n", name.c_str(), ms);
  }
  return 0;
}
