// The simulator's socket side: raw TCP print port, UDP status port and the
// control socket, all served by one poll() loop on the calling thread.
#pragma once

#include <netinet/in.h>

#include <chrono>
#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "logger.h"
#include "model.h"

namespace kpxsim {

class UsbEmulator;

struct Endpoint {
  sockaddr_in addr{};
  std::string text() const;
};

// "ADDR:PORT" (IPv4 dotted address or "localhost"). Non-loopback addresses
// are refused unless allowAny.
bool parseEndpoint(const std::string &text, bool allowAny, Endpoint &out, std::string &err);

struct ServerConfig {
  std::optional<Endpoint> tcp;
  std::optional<Endpoint> udp;
  std::string controlPath;
  std::string jobsDir;    // "" keeps jobs in memory only
  std::string readyFile;  // written once everything listens
  std::string usbDirFile;
  int rcvbuf = 16384;  // SO_RCVBUF of print connections, 0 = system default
};

class Server {
 public:
  Server(ServerConfig cfg, PrinterState &st, std::mutex &m, Logger &log, UsbEmulator *usb);
  ~Server();
  Server(const Server &) = delete;
  Server &operator=(const Server &) = delete;

  // Binds every socket and writes the ready and USB directory files.
  bool start(std::string &err);
  // Runs until "quit" or SIGTERM/SIGINT; returns the exit status.
  int run();

 private:
  struct PrintConn {
    int fd = -1;
    std::string peer;
    std::string data;
    size_t lockPos = 0;
    bool inJob = false;
    int jobId = 0;
    std::string started, lastByte;
    FILE *prn = nullptr;
    std::string prnPath;
    size_t written = 0;  // bytes of data already in the .prn file
    size_t pclxlAt = std::string::npos;
    size_t scanFrom = 0;
    bool backSent = false;
    std::string out;
  };
  struct CtlConn {
    int fd = -1;
    std::string in;
    std::string out;
    bool replied = false;
    bool waiting = false;
    int waitCount = 0;
    std::chrono::steady_clock::time_point deadline;
  };

  bool bindTcp(std::string &err);
  bool bindUdp(std::string &err);
  bool bindControl(std::string &err);
  bool writeFiles(std::string &err);
  void acceptPrint();
  void readPrint(PrintConn &c);
  void processLock(PrintConn &c);
  void startJob(PrintConn &c);
  void checkBackStatus(PrintConn &c);
  void flushOut(int fd, std::string &out);
  void endPrint(PrintConn &c);
  void recordJob(const char *channel, int id, const std::string &peer, const std::string &started,
                 const std::string &lastByte,
                 const std::string &file, const std::string &data);
  void recordUsbPrints();
  void readUdp();
  void acceptControl();
  void readControl(CtlConn &c);
  void execute(CtlConn &c);
  void checkWaiters();
  std::string jobPath(int id, const char *ext) const;

  ServerConfig cfg_;
  PrinterState &st_;
  std::mutex &mutex_;
  Logger &log_;
  UsbEmulator *usb_;
  int tcpFd_ = -1, udpFd_ = -1, ctlFd_ = -1;
  int wakePipe_[2] = {-1, -1};
  int nextJob_ = 1;
  bool quit_ = false;
  std::list<PrintConn> prints_;
  std::list<CtlConn> ctls_;
};

}  // namespace kpxsim
