// Starts kpx7720mw-sim for one test (ports chosen by the system, everything
// in a private temporary directory) and talks to it.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "sim_test_util.h"

namespace simtest {

class SimProcess {
 public:
  // usb: run under umockdev-wrapper with --usb.
  explicit SimProcess(const std::vector<std::string> &extraArgs = {}, bool usb = false);
  ~SimProcess();
  SimProcess(const SimProcess &) = delete;
  SimProcess &operator=(const SimProcess &) = delete;

  bool ready() const { return ready_; }
  int tcpPort() const { return tcpPort_; }
  int udpPort() const { return udpPort_; }
  const std::string &controlPath() const { return control_; }
  const std::string &usbDir() const { return usbDir_; }
  std::string jobsDir() const { return dir_.file("jobs"); }
  std::string readyFile() const { return dir_.file("ready"); }
  const TempDir &dir() const { return dir_; }
  pid_t pid() const { return pid_; }
  std::string log() const;
  std::string startupError() const { return startupError_; }

  // kpx7720mw-sim ctl --socket ... args...
  RunResult ctl(const std::vector<std::string> &args, int timeoutMs = 30000) const;

  // Waits for the process to end (after quit or a signal); exit status or -1.
  int waitExit(int timeoutMs);

  // Runs the libusb test client against the testbed.
  RunResult usbClient(const std::vector<std::string> &ops, int timeoutMs = 20000) const;

 private:
  TempDir dir_;
  pid_t pid_ = -1;
  bool ready_ = false;
  int tcpPort_ = 0, udpPort_ = 0;
  std::string control_, usbDir_, startupError_;
};

// Minimal socket helpers for the tests (loopback only).
int connectTcp(int port);
bool sendAll(int fd, const std::string &data);
// Reads what arrives within timeoutMs (stops early once `want` bytes came).
std::string readFor(int fd, int timeoutMs, size_t want = 1 << 20);

}  // namespace simtest
