#include "server.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "control.h"
#include "textutil.h"
#include "usb_device.h"

namespace kpxsim {

namespace {

volatile sig_atomic_t gWakeFd = -1;

void onSignal(int) {
  if (gWakeFd >= 0) {
    char c = 'q';
    ssize_t r = write(gWakeFd, &c, 1);
    (void)r;
  }
}

std::string peerText(const sockaddr_in &a) {
  char buf[INET_ADDRSTRLEN] = "?";
  inet_ntop(AF_INET, &a.sin_addr, buf, sizeof buf);
  return std::string(buf) + ":" + std::to_string(ntohs(a.sin_port));
}

std::string errnoText(const std::string &what) { return what + ": " + std::strerror(errno); }

bool writeFileAtomically(const std::string &path, const std::string &content, std::string &err) {
  std::string tmp = path + ".tmp" + std::to_string(getpid());
  FILE *f = std::fopen(tmp.c_str(), "w");
  if (!f) {
    err = errnoText("cannot write " + tmp);
    return false;
  }
  std::fwrite(content.data(), 1, content.size(), f);
  if (std::fclose(f) != 0 || std::rename(tmp.c_str(), path.c_str()) != 0) {
    err = errnoText("cannot write " + path);
    std::remove(tmp.c_str());
    return false;
  }
  return true;
}

bool makeDirs(const std::string &path) {
  std::string cur;
  for (const std::string &part : split(path, '/')) {
    cur += part;
    if (!cur.empty()) mkdir(cur.c_str(), 0755);
    cur += '/';
  }
  struct stat sb{};
  return stat(path.c_str(), &sb) == 0 && S_ISDIR(sb.st_mode);
}

}  // namespace

std::string Endpoint::text() const { return peerText(addr); }

bool parseEndpoint(const std::string &text, bool allowAny, Endpoint &out, std::string &err) {
  size_t colon = text.rfind(':');
  if (colon == std::string::npos) {
    err = "expected ADDR:PORT, got '" + text + "'";
    return false;
  }
  std::string host = text.substr(0, colon);
  uint64_t port = 0;
  if (!parseUnsigned(text.substr(colon + 1), port) || port > 65535) {
    err = "bad port in '" + text + "'";
    return false;
  }
  if (host == "localhost") host = "127.0.0.1";
  Endpoint e;
  e.addr.sin_family = AF_INET;
  e.addr.sin_port = htons(static_cast<uint16_t>(port));
  if (inet_pton(AF_INET, host.c_str(), &e.addr.sin_addr) != 1) {
    err = "not an IPv4 address: '" + host + "'";
    return false;
  }
  if (!allowAny && (ntohl(e.addr.sin_addr.s_addr) >> 24) != 127) {
    err = "refusing non-loopback address " + host + " (use --allow-any-address)";
    return false;
  }
  out = e;
  return true;
}

Server::Server(ServerConfig cfg, PrinterState &st, std::mutex &m, Logger &log, UsbEmulator *usb)
    : cfg_(std::move(cfg)), st_(st), mutex_(m), log_(log), usb_(usb) {}

Server::~Server() {
  for (PrintConn &c : prints_) {
    if (c.prn) std::fclose(c.prn);
    close(c.fd);
  }
  for (CtlConn &c : ctls_) close(c.fd);
  if (tcpFd_ >= 0) close(tcpFd_);
  if (udpFd_ >= 0) close(udpFd_);
  if (ctlFd_ >= 0) {
    close(ctlFd_);
    unlink(cfg_.controlPath.c_str());
  }
  if (!cfg_.readyFile.empty()) unlink(cfg_.readyFile.c_str());
  gWakeFd = -1;
  for (int fd : wakePipe_)
    if (fd >= 0) close(fd);
}

bool Server::bindTcp(std::string &err) {
  tcpFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  int one = 1;
  setsockopt(tcpFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  // Set before listen() so that accepted sockets start with a small window.
  if (cfg_.rcvbuf > 0) setsockopt(tcpFd_, SOL_SOCKET, SO_RCVBUF, &cfg_.rcvbuf, sizeof cfg_.rcvbuf);
  if (bind(tcpFd_, reinterpret_cast<sockaddr *>(&cfg_.tcp->addr), sizeof cfg_.tcp->addr) != 0 ||
      listen(tcpFd_, 16) != 0) {
    err = errnoText("tcp " + cfg_.tcp->text());
    return false;
  }
  socklen_t len = sizeof cfg_.tcp->addr;
  getsockname(tcpFd_, reinterpret_cast<sockaddr *>(&cfg_.tcp->addr), &len);
  return true;
}

bool Server::bindUdp(std::string &err) {
  udpFd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (bind(udpFd_, reinterpret_cast<sockaddr *>(&cfg_.udp->addr), sizeof cfg_.udp->addr) != 0) {
    err = errnoText("udp " + cfg_.udp->text());
    return false;
  }
  socklen_t len = sizeof cfg_.udp->addr;
  getsockname(udpFd_, reinterpret_cast<sockaddr *>(&cfg_.udp->addr), &len);
  return true;
}

bool Server::bindControl(std::string &err) {
  sockaddr_un sa{};
  sa.sun_family = AF_UNIX;
  if (cfg_.controlPath.size() >= sizeof sa.sun_path) {
    err = "control socket path too long: " + cfg_.controlPath;
    return false;
  }
  std::strcpy(sa.sun_path, cfg_.controlPath.c_str());
  // A socket file left by a dead simulator is replaced; a live one is not.
  int probe = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (connect(probe, reinterpret_cast<sockaddr *>(&sa), sizeof sa) == 0) {
    close(probe);
    err = "another simulator answers on " + cfg_.controlPath;
    return false;
  }
  close(probe);
  unlink(cfg_.controlPath.c_str());
  ctlFd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (bind(ctlFd_, reinterpret_cast<sockaddr *>(&sa), sizeof sa) != 0 || listen(ctlFd_, 16) != 0) {
    err = errnoText("control socket " + cfg_.controlPath);
    close(ctlFd_);
    ctlFd_ = -1;
    return false;
  }
  return true;
}

bool Server::start(std::string &err) {
  if (pipe2(wakePipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
    err = errnoText("pipe");
    return false;
  }
  gWakeFd = wakePipe_[1];
  struct sigaction sa{};
  sa.sa_handler = onSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);

  if (!cfg_.jobsDir.empty()) {
    if (!makeDirs(cfg_.jobsDir)) {
      err = errnoText("cannot create jobs directory " + cfg_.jobsDir);
      return false;
    }
    // Continue the numbering of jobs already in the directory.
    if (DIR *d = opendir(cfg_.jobsDir.c_str())) {
      while (dirent *e = readdir(d)) {
        int n = 0;
        if (std::sscanf(e->d_name, "job-%d.prn", &n) == 1 && n >= nextJob_) nextJob_ = n + 1;
      }
      closedir(d);
    }
  }
  if (cfg_.tcp && !bindTcp(err)) return false;
  if (cfg_.udp && !bindUdp(err)) return false;
  if (!bindControl(err)) return false;
  return writeFiles(err);
}

bool Server::writeFiles(std::string &err) {
  std::string usbDir = usb_ ? usb_->rootDir() : std::string();
  if (!cfg_.usbDirFile.empty() && usb_ && !writeFileAtomically(cfg_.usbDirFile, usbDir + "\n", err))
    return false;
  std::string ready = "pid=" + std::to_string(getpid()) + "\n";
  ready += "tcp=" + (cfg_.tcp ? cfg_.tcp->text() : std::string("off")) + "\n";
  ready += "udp=" + (cfg_.udp ? cfg_.udp->text() : std::string("off")) + "\n";
  ready += "control=" + cfg_.controlPath + "\n";
  ready += "usb_dir=" + (usb_ ? usbDir : std::string("off")) + "\n";
  if (!cfg_.readyFile.empty() && !writeFileAtomically(cfg_.readyFile, ready, err)) return false;
  std::string line = ready;
  for (char &ch : line)
    if (ch == '\n') ch = ' ';
  log_.log("sim", "ready " + line);
  return true;
}

std::string Server::jobPath(int id, const char *ext) const {
  char name[32];
  std::snprintf(name, sizeof name, "job-%04d.%s", id, ext);
  return cfg_.jobsDir + "/" + name;
}

int Server::run() {
  std::vector<pollfd> fds;
  while (!quit_) {
    bool stalled;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stalled = st_.stall;
    }
    fds.clear();
    fds.push_back({wakePipe_[0], POLLIN, 0});
    if (tcpFd_ >= 0) fds.push_back({tcpFd_, POLLIN, 0});
    if (udpFd_ >= 0) fds.push_back({udpFd_, POLLIN, 0});
    fds.push_back({ctlFd_, POLLIN, 0});
    // While stalled, print connections are not read at all (not even for a
    // hang-up), so that their senders fill the small receive window and block.
    size_t firstPrint = fds.size();
    std::vector<PrintConn *> polled;
    for (PrintConn &c : prints_) {
      short ev = 0;
      if (!stalled) ev |= POLLIN;
      if (!c.out.empty()) ev |= POLLOUT;
      if (!ev) continue;
      fds.push_back({c.fd, ev, 0});
      polled.push_back(&c);
    }
    size_t firstCtl = fds.size();
    for (CtlConn &c : ctls_) {
      short ev = c.replied ? POLLOUT : (c.waiting ? 0 : POLLIN);
      fds.push_back({c.fd, ev, 0});
    }
    // Wake up now and then: stall changes and wait-jobs deadlines.
    int r = poll(fds.data(), fds.size(), 100);
    if (r < 0 && errno != EINTR) {
      log_.log("sim", errnoText("poll"));
      return 1;
    }
    if (fds[0].revents & POLLIN) {
      char buf[16];
      while (read(wakePipe_[0], buf, sizeof buf) > 0) {
      }
      log_.log("sim", "signal received, stopping");
      break;
    }
    size_t i = 1;
    if (tcpFd_ >= 0 && (fds[i++].revents & POLLIN)) acceptPrint();
    if (udpFd_ >= 0 && (fds[i++].revents & POLLIN)) readUdp();
    bool ctlReady = fds[i].revents & POLLIN;

    for (size_t k = 0; k < polled.size(); ++k) {
      PrintConn &c = *polled[k];
      short re = fds[firstPrint + k].revents;
      if (re & POLLOUT) flushOut(c.fd, c.out);
      if (!stalled && (re & (POLLIN | POLLHUP | POLLERR))) readPrint(c);
    }
    prints_.remove_if([](const PrintConn &c) { return c.fd < 0; });
    i = firstCtl;
    for (auto it = ctls_.begin(); it != ctls_.end(); ++i) {
      CtlConn &c = *it;
      short re = fds[i].revents;
      if (!c.replied && (re & (POLLIN | POLLHUP))) readControl(c);
      if (c.replied && (re & POLLOUT)) flushOut(c.fd, c.out);
      if (c.replied && c.out.empty()) {
        close(c.fd);
        it = ctls_.erase(it);
      } else {
        ++it;
      }
    }
    if (ctlReady) acceptControl();
    recordUsbPrints();
    checkWaiters();
  }
  // Let pending control replies (the answer to "quit") reach their clients.
  for (CtlConn &c : ctls_) {
    if (!c.replied) continue;
    for (int tries = 0; tries < 50 && !c.out.empty(); ++tries) {
      flushOut(c.fd, c.out);
      if (!c.out.empty()) usleep(10000);
    }
  }
  log_.log("sim", "stopped");
  return 0;
}

void Server::acceptPrint() {
  for (;;) {
    sockaddr_in peer{};
    socklen_t len = sizeof peer;
    int fd = accept4(tcpFd_, reinterpret_cast<sockaddr *>(&peer), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    if (cfg_.rcvbuf > 0) setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &cfg_.rcvbuf, sizeof cfg_.rcvbuf);
    PrintConn c;
    c.fd = fd;
    c.peer = peerText(peer);
    prints_.push_back(std::move(c));
    log_.log("tcp", "connection from " + prints_.back().peer);
  }
}

void Server::flushOut(int fd, std::string &out) {
  while (!out.empty()) {
    ssize_t n = send(fd, out.data(), out.size(), MSG_NOSIGNAL);
    if (n <= 0) {
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
      out.clear();  // the peer is gone; nothing more to deliver
      return;
    }
    out.erase(0, static_cast<size_t>(n));
  }
}

void Server::readPrint(PrintConn &c) {
  char buf[65536];
  bool eof = false;
  // Bounded per wake-up, so that one fast sender does not starve the rest.
  for (int rounds = 0; rounds < 16; ++rounds) {
    ssize_t n = recv(c.fd, buf, sizeof buf, 0);
    if (n > 0) {
      c.data.append(buf, static_cast<size_t>(n));
      c.lastByte = isoNow();
      continue;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) break;
    if (n < 0) log_.log("tcp", c.peer + " " + errnoText("receive"));
    eof = true;
    break;
  }
  if (!c.inJob) processLock(c);
  if (c.inJob) {
    if (c.prn && c.data.size() > c.written) {
      std::fwrite(c.data.data() + c.written, 1, c.data.size() - c.written, c.prn);
      c.written = c.data.size();
    }
    checkBackStatus(c);
  }
  if (!c.out.empty()) flushOut(c.fd, c.out);
  if (eof) endPrint(c);
}

void Server::processLock(PrintConn &c) {
  while (!c.inJob) {
    size_t avail = c.data.size() - c.lockPos;
    std::string_view rest(c.data.data() + c.lockPos, avail);
    if (avail >= kLockQuery.size() && startsWith(rest, kLockQuery)) {
      std::optional<std::string> answer;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        answer = st_.lock.answer();
        ++st_.lockQueries;
      }
      c.lockPos += kLockQuery.size();
      if (answer) c.out += *answer;
      log_.log("tcp", c.peer + " " + std::string(kLockQuery) + " -> " +
                          (answer ? "\"" + escapeText(*answer) + "\"" : std::string("no answer")));
      continue;
    }
    // The status query the driver's command jobs send through the backend
    // is answered on the connection like the lock query.
    if (avail >= kCheckStatus.size() && startsWith(rest, kCheckStatus)) {
      std::string reply;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        reply = buildStatusReply(st_.statusLines);
      }
      c.lockPos += kCheckStatus.size();
      c.out += reply;
      log_.log("tcp", c.peer + " " + std::string(kCheckStatus) + " -> \"" + escapeText(reply) + "\"");
      continue;
    }
    if (avail < kLockQuery.size() && (startsWith(kLockQuery, rest) || startsWith(kCheckStatus, rest)))
      return;  // wait for more
    startJob(c);
  }
}

void Server::startJob(PrintConn &c) {
  c.inJob = true;
  c.jobId = nextJob_++;
  c.started = isoNow();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++st_.jobsStarted;
  }
  if (!cfg_.jobsDir.empty()) {
    c.prnPath = jobPath(c.jobId, "prn");
    c.prn = std::fopen(c.prnPath.c_str(), "wb");
    if (!c.prn) log_.log("tcp", errnoText("cannot write " + c.prnPath));
  }
  log_.log("tcp", c.peer + " job " + std::to_string(c.jobId) + " started");
}

void Server::checkBackStatus(PrintConn &c) {
  if (c.backSent) return;
  std::string text;
  size_t afterKib;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    text = st_.backStatus;
    afterKib = st_.backStatusAfterKib;
  }
  if (text.empty()) return;
  if (c.pclxlAt == std::string::npos) {
    static const std::string_view kMark = " HP-PCL XL";
    size_t from = c.scanFrom > kMark.size() ? c.scanFrom - kMark.size() : 0;
    size_t p = std::string_view(c.data).find(kMark, from);
    c.scanFrom = c.data.size();
    if (p == std::string::npos) return;
    c.pclxlAt = p == 0 ? 0 : p - 1;
  }
  if (c.data.size() - c.pclxlAt < afterKib * 1024) return;
  c.backSent = true;
  c.out += text;
  log_.log("tcp", c.peer + " job " + std::to_string(c.jobId) + " status sent back: \"" +
                      escapeText(text) + "\"");
}

// An ended job: its summary on disk (job-NNNN.txt), in the log and in the
// list that "jobs" and "wait-jobs" report.
void Server::recordJob(const char *channel, int id, const std::string &peer, const std::string &started,
                       const std::string &lastByte,
                       const std::string &file, const std::string &data) {
  JobRecord j;
  j.id = id;
  j.peer = peer;
  j.started = started;
  j.ended = isoNow();
  j.lastByte = lastByte;
  j.file = file;
  j.summary = analyzePrintStream(data, true);
  std::string text = formatJobRecord(j);
  if (!cfg_.jobsDir.empty()) {
    std::string err;
    if (!writeFileAtomically(jobPath(id, "txt"), text, err)) log_.log(channel, err);
  }
  const PrintStreamSummary &s = j.summary;
  log_.log(channel, peer + " job " + std::to_string(id) + " ended: " + std::to_string(s.totalBytes) +
                        " bytes, end=" + endName(s.end) + ", pclxl=" + pclxlName(s.pclxl) +
                        ", pages=" + std::to_string(s.pages) +
                        (s.pclxlError.empty() ? "" : " (" + s.pclxlError + ")"));
  std::lock_guard<std::mutex> lock(mutex_);
  st_.jobs.push_back(std::move(j));
}

// Jobs the USB side received: numbered and kept like the TCP ones.
void Server::recordUsbPrints() {
  std::deque<PrinterState::UsbPrint> done;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    done.swap(st_.usbPrintsDone);
    st_.jobsStarted += static_cast<int>(done.size());
  }
  for (PrinterState::UsbPrint &p : done) {
    int id = nextJob_++;
    std::string file;
    if (!cfg_.jobsDir.empty()) {
      std::string err;
      file = jobPath(id, "prn");
      if (!writeFileAtomically(file, p.data, err)) {
        log_.log("usb", err);
        file.clear();
      }
    }
    recordJob("usb", id, "usb", p.started, "", file, p.data);
  }
}

void Server::endPrint(PrintConn &c) {
  if (!c.out.empty()) flushOut(c.fd, c.out);
  if (!c.inJob) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (c.data.empty()) {
      ++st_.emptyConnections;
    } else if (c.lockPos == c.data.size()) {
      ++st_.lockOnlyConnections;
    }
  }
  if (!c.inJob && !c.data.empty() && c.lockPos != c.data.size()) startJob(c);  // a cut lock query
  if (c.inJob) {
    if (c.prn) {
      if (c.data.size() > c.written)
        std::fwrite(c.data.data() + c.written, 1, c.data.size() - c.written, c.prn);
      std::fclose(c.prn);
      c.prn = nullptr;
    }
    recordJob("tcp", c.jobId, c.peer, c.started, c.lastByte, c.prnPath, c.data);
  } else {
    log_.log("tcp", c.peer + " closed" +
                        (c.data.empty() ? std::string(" without data")
                                        : " after " + std::to_string(c.lockPos / kLockQuery.size()) +
                                              " lock queries"));
  }
  close(c.fd);
  c.fd = -1;
  c.data.clear();
  c.data.shrink_to_fit();
}

void Server::readUdp() {
  char buf[65536];
  for (int rounds = 0; rounds < 64; ++rounds) {
    sockaddr_in peer{};
    socklen_t len = sizeof peer;
    ssize_t n = recvfrom(udpFd_, buf, sizeof buf, 0, reinterpret_cast<sockaddr *>(&peer), &len);
    if (n < 0) return;
    std::string from = peerText(peer);
    std::optional<std::string> reply;
    std::string last;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      reply = udpDatagram(st_, std::string_view(buf, static_cast<size_t>(n)), from);
      last = st_.udpLog.back();
    }
    log_.log("udp", last);
    if (reply)
      sendto(udpFd_, reply->data(), reply->size(), 0, reinterpret_cast<sockaddr *>(&peer), len);
  }
}

void Server::acceptControl() {
  for (;;) {
    int fd = accept4(ctlFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    CtlConn c;
    c.fd = fd;
    ctls_.push_back(std::move(c));
  }
}

void Server::readControl(CtlConn &c) {
  char buf[4096];
  for (;;) {
    ssize_t n = recv(c.fd, buf, sizeof buf, 0);
    if (n > 0) {
      c.in.append(buf, static_cast<size_t>(n));
      if (c.in.size() > 1024 * 1024) {
        c.out = "ERR request too long\n";
        c.replied = true;
        return;
      }
      continue;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    break;  // end of request
  }
  execute(c);
}

void Server::execute(CtlConn &c) {
  // The request is the arguments, each ended by a NUL byte.
  std::vector<std::string> args;
  size_t start = 0;
  for (size_t i = 0; i < c.in.size(); ++i) {
    if (c.in[i] == '\0') {
      args.push_back(c.in.substr(start, i - start));
      start = i + 1;
    }
  }
  ControlCommand cmd;
  std::string err;
  c.replied = true;
  if (!parseControlCommand(args, cmd, err)) {
    c.out = "ERR " + err + "\n";
    log_.log("ctl", "rejected: " + err);
    return;
  }
  std::string shown;
  for (const std::string &a : args) shown += (shown.empty() ? "" : " ") + escapeText(a);
  log_.log("ctl", shown);
  std::string body;
  bool handled;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    handled = applyControlCommand(st_, cmd, body);
  }
  if (handled) {
    c.out = "OK\n" + body;
    return;
  }
  using K = ControlCommand::Kind;
  switch (cmd.kind) {
    case K::Unplug:
    case K::Replug: {
      if (!usb_) {
        c.out = "ERR USB emulation is off (start with --usb)\n";
        return;
      }
      bool ok = cmd.kind == K::Unplug ? usb_->unplug(err) : usb_->replug(err);
      c.out = ok ? "OK\n" : "ERR " + err + "\n";
      return;
    }
    case K::WaitJobs:
      c.replied = false;
      c.waiting = true;
      c.waitCount = cmd.count;
      c.deadline = std::chrono::steady_clock::now() +
                   std::chrono::milliseconds(static_cast<long>(cmd.timeoutSeconds * 1000));
      checkWaiters();
      return;
    case K::Quit:
      c.out = "OK\nbye\n";
      quit_ = true;
      return;
    default:
      c.out = "ERR not handled\n";
      return;
  }
}

void Server::checkWaiters() {
  size_t ended;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ended = st_.jobs.size();
  }
  auto now = std::chrono::steady_clock::now();
  for (CtlConn &c : ctls_) {
    if (!c.waiting) continue;
    if (ended >= static_cast<size_t>(c.waitCount)) {
      c.out = "OK\njobs_ended=" + std::to_string(ended) + "\n";
    } else if (now >= c.deadline) {
      c.out = "ERR timeout: " + std::to_string(ended) + " of " + std::to_string(c.waitCount) +
              " jobs ended\n";
    } else {
      continue;
    }
    c.waiting = false;
    c.replied = true;
    flushOut(c.fd, c.out);
  }
}

}  // namespace kpxsim
