#include "sim_process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace simtest {

namespace {
int portOf(const std::string &endpoint) {
  size_t colon = endpoint.rfind(':');
  return colon == std::string::npos ? 0 : std::atoi(endpoint.c_str() + colon + 1);
}
}  // namespace

SimProcess::SimProcess(const std::vector<std::string> &extraArgs, bool usb) {
  control_ = dir_.file("ctl.sock");
  std::vector<std::string> argv;
  if (usb) argv.push_back("umockdev-wrapper");
  argv.insert(argv.end(), {KPXSIM_PROGRAM, "--tcp", "127.0.0.1:0", "--udp", "127.0.0.1:0",
                           "--control", control_, "--ready-file", dir_.file("ready"), "--log",
                           dir_.file("sim.log"), "--jobs-dir", dir_.file("jobs")});
  if (usb) argv.insert(argv.end(), {"--usb", "--usb-dir-file", dir_.file("usb-dir")});
  // Later options win, so tests may override the defaults above.
  argv.insert(argv.end(), extraArgs.begin(), extraArgs.end());

  std::string outFile = dir_.file("sim.out");
  pid_ = fork();
  if (pid_ == 0) {
    int fd = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) {
      dup2(fd, 1);
      dup2(fd, 2);
    }
    // umockdev makes its testbed under TMPDIR: keep it inside our directory.
    setenv("TMPDIR", dir_.path().c_str(), 1);
    std::vector<char *> args;
    for (const std::string &a : argv) args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  std::string ready;
  while (std::chrono::steady_clock::now() < deadline) {
    if (readFile(dir_.file("ready"), ready) && !ready.empty()) break;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (ready.empty()) {
    std::string out;
    readFile(outFile, out);
    startupError_ = "simulator not ready: " + out + log();
    return;
  }
  tcpPort_ = portOf(valueOf(ready, "tcp"));
  udpPort_ = portOf(valueOf(ready, "udp"));
  usbDir_ = valueOf(ready, "usb_dir");
  ready_ = true;
}

SimProcess::~SimProcess() {
  if (pid_ <= 0) return;
  ctl({"quit"}, 5000);
  if (waitExit(5000) < 0 && pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

int SimProcess::waitExit(int timeoutMs) {
  if (pid_ <= 0) return -1;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return -1;
}

std::string SimProcess::log() const {
  std::string s;
  readFile(dir_.file("sim.log"), s);
  return s;
}

RunResult SimProcess::ctl(const std::vector<std::string> &args, int timeoutMs) const {
  std::vector<std::string> argv = {KPXSIM_PROGRAM, "ctl", "--socket", control_};
  argv.insert(argv.end(), args.begin(), args.end());
  return run(argv, {}, timeoutMs);
}

RunResult SimProcess::usbClient(const std::vector<std::string> &ops, int timeoutMs) const {
  std::vector<std::string> argv = {KPXSIM_USB_CLIENT};
  argv.insert(argv.end(), ops.begin(), ops.end());
  return run(argv, {"UMOCKDEV_DIR=" + usbDir_, "LD_PRELOAD=libumockdev-preload.so.0"}, timeoutMs);
}

int connectTcp(int port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<uint16_t>(port));
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

bool sendAll(int fd, const std::string &data) {
  size_t off = 0;
  while (off < data.size()) {
    ssize_t n = send(fd, data.data() + off, data.size() - off, MSG_NOSIGNAL);
    if (n <= 0) return false;
    off += static_cast<size_t>(n);
  }
  return true;
}

std::string readFor(int fd, int timeoutMs, size_t want) {
  std::string got;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (got.size() < want) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0) break;
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
    char buf[4096];
    ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n <= 0) break;
    got.append(buf, static_cast<size_t>(n));
  }
  return got;
}

}  // namespace simtest
