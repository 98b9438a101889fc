// The running simulator over its raw TCP print port, its UDP status port and
// its control socket.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>

#include "printstream.h"
#include "sim_process.h"

using namespace simtest;

namespace {

const std::string kLock(kpxsim::kLockQuery);

// One real 3-page job as the filter sends it (ticket, PCL XL, trailer).
const std::string &threePageJob() {
  static std::string job;
  if (job.empty()) {
    TempDir dir;
    job = filterStream(ghostscriptPxl(dir, textPages(3), 600), 600, typicalTicketLines()) +
          std::string(kpxsim::kEojTrailer);
  }
  return job;
}

#define START_SIM(var, ...)                         \
  SimProcess var{__VA_ARGS__};                      \
  ASSERT_TRUE(var.ready()) << var.startupError()

// Sends bytes on a fresh connection, optionally reads the answer, closes.
std::string sendJob(const SimProcess &sim, const std::string &bytes, int readMs = 0) {
  int fd = connectTcp(sim.tcpPort());
  EXPECT_GE(fd, 0);
  if (fd < 0) return "";
  EXPECT_TRUE(sendAll(fd, bytes));
  shutdown(fd, SHUT_WR);
  std::string back = readMs ? readFor(fd, readMs) : "";
  close(fd);
  return back;
}

class UdpClient {
 public:
  UdpClient() {
    fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr *>(&sa), sizeof sa);
  }
  ~UdpClient() { close(fd_); }
  void send(int port, const std::string &data) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sendto(fd_, data.data(), data.size(), 0, reinterpret_cast<sockaddr *>(&to), sizeof to);
  }
  // One datagram, or nullopt when none came in time.
  std::optional<std::string> receive(int timeoutMs) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) <= 0) return std::nullopt;
    char buf[2048];
    ssize_t n = recv(fd_, buf, sizeof buf, 0);
    if (n < 0) return std::nullopt;
    return std::string(buf, static_cast<size_t>(n));
  }

 private:
  int fd_ = -1;
};

}  // namespace

TEST(SimTcp, JobIsReceivedKeptAndSummarised) {
  START_SIM(sim);
  const std::string &job = threePageJob();
  sendJob(sim, job);
  RunResult w = sim.ctl({"wait-jobs", "1", "20"});
  ASSERT_EQ(w.status, 0) << w.err;

  RunResult jobs = sim.ctl({"jobs"});
  ASSERT_EQ(jobs.status, 0);
  EXPECT_EQ(valueOf(jobs.out, "job"), "1");
  EXPECT_EQ(valueOf(jobs.out, "pages"), "3");
  EXPECT_EQ(valueOf(jobs.out, "end"), "trailer");
  EXPECT_EQ(valueOf(jobs.out, "pclxl"), "ok");
  EXPECT_EQ(valueOf(jobs.out, "ticket"), "yes");
  EXPECT_EQ(valueOf(jobs.out, "set.USERNAME"), "alice");
  EXPECT_EQ(valueOf(jobs.out, "bytes"), std::to_string(job.size()));
  EXPECT_EQ(valueOf(jobs.out, "peer").rfind("127.0.0.1:", 0), 0u);

  std::string prn, txt;
  ASSERT_TRUE(readFile(sim.jobsDir() + "/job-0001.prn", prn));
  EXPECT_EQ(prn, job);
  ASSERT_TRUE(readFile(sim.jobsDir() + "/job-0001.txt", txt));
  EXPECT_EQ(valueOf(txt, "pages"), "3");
  EXPECT_EQ(valueOf(txt, "file"), sim.jobsDir() + "/job-0001.prn");
  EXPECT_EQ(txt + "\n", jobs.out);  // the same record in memory and on disk

  // A second, cancelled job gets the next number.
  std::string partial = job.substr(0, job.size() / 2) + std::string(kpxsim::kCancelSequence);
  sendJob(sim, partial);
  ASSERT_EQ(sim.ctl({"wait-jobs", "2", "20"}).status, 0);
  ASSERT_TRUE(readFile(sim.jobsDir() + "/job-0002.txt", txt));
  EXPECT_EQ(valueOf(txt, "end"), "cancel");
  EXPECT_NE(valueOf(txt, "pclxl"), "ok");
}

TEST(SimTcp, JobNumbersContinueInAnExistingDirectory) {
  TempDir jobs;
  ASSERT_TRUE(writeFile(jobs.file("job-0007.prn"), "old"));
  START_SIM(sim, {"--jobs-dir", jobs.path()});
  sendJob(sim, threePageJob());
  ASSERT_EQ(sim.ctl({"wait-jobs", "1", "20"}).status, 0);
  std::string prn;
  EXPECT_TRUE(readFile(jobs.file("job-0008.prn"), prn));
  EXPECT_EQ(prn, threePageJob());
  EXPECT_TRUE(readFile(jobs.file("job-0007.prn"), prn));
  EXPECT_EQ(prn, "old");
}

TEST(SimTcp, LockModesSeenByAClient) {
  START_SIM(sim);
  struct Case {
    const char *mode;
    std::vector<std::string> answers;  // "" = no answer
  };
  const std::vector<Case> cases = {
      {"free", {"CODE=1\r"}},
      {"busy", {"CODE=2\r", "CODE=2\r"}},
      {"silent", {""}},
      {"script:2,silent,2,1", {"CODE=2\r", "", "CODE=2\r", "CODE=1\r", "CODE=1\r"}},
  };
  int lockOnly = 0;
  for (const Case &c : cases) {
    SCOPED_TRACE(c.mode);
    ASSERT_EQ(sim.ctl({"lock", c.mode}).status, 0);
    int fd = connectTcp(sim.tcpPort());
    ASSERT_GE(fd, 0);
    for (const std::string &want : c.answers) {
      ASSERT_TRUE(sendAll(fd, kLock));
      std::string got = readFor(fd, want.empty() ? 300 : 5000, want.size() ? want.size() : 1);
      EXPECT_EQ(got, want);
    }
    close(fd);
    ++lockOnly;
  }
  // Connections with lock queries only are not jobs.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  RunResult state = sim.ctl({"state"});
  EXPECT_EQ(valueOf(state.out, "lock_only_connections"), std::to_string(lockOnly));
  EXPECT_EQ(valueOf(state.out, "jobs_started"), "0");
  EXPECT_EQ(valueOf(state.out, "lock_queries"), "9");
}

TEST(SimTcp, LockQueryThenJobOnOneConnection) {
  START_SIM(sim, {"--lock", "script:2,1"});
  int fd = connectTcp(sim.tcpPort());
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(sendAll(fd, kLock));
  EXPECT_EQ(readFor(fd, 5000, 7), "CODE=2\r");
  // The query may arrive in pieces.
  ASSERT_TRUE(sendAll(fd, "Lock"));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  ASSERT_TRUE(sendAll(fd, "Printer?"));
  EXPECT_EQ(readFor(fd, 5000, 7), "CODE=1\r");
  ASSERT_TRUE(sendAll(fd, threePageJob()));
  close(fd);
  ASSERT_EQ(sim.ctl({"wait-jobs", "1", "20"}).status, 0);
  RunResult jobs = sim.ctl({"jobs"});
  EXPECT_EQ(valueOf(jobs.out, "lock_queries"), "2");
  EXPECT_EQ(valueOf(jobs.out, "pages"), "3");
  EXPECT_EQ(valueOf(jobs.out, "bytes"), std::to_string(threePageJob().size() + 24));
}

TEST(SimTcp, StatusIsSentBackWhileTheJobStreams) {
  const std::string text = "CODE=10023\rCODE=10001\rCODE=10023\r";
  START_SIM(sim, {"--backstatus", "CODE=10023\\rCODE=10001\\rCODE=10023\\r"});
  EXPECT_EQ(sendJob(sim, threePageJob(), 2000), text);

  // Only after the given amount of page data: a 3-page job is far below 4 MiB.
  ASSERT_EQ(sim.ctl({"backstatus", "CODE=10001 printing status text", "4096"}).status, 0);
  EXPECT_EQ(sendJob(sim, threePageJob(), 500), "");
  ASSERT_EQ(sim.ctl({"backstatus", "off"}).status, 0);
  EXPECT_EQ(sendJob(sim, threePageJob(), 500), "");
  ASSERT_EQ(sim.ctl({"wait-jobs", "3", "20"}).status, 0);
}

TEST(SimTcp, StallMakesTheWriterBlock) {
  START_SIM(sim);
  ASSERT_EQ(sim.ctl({"stall", "on"}).status, 0);
  int fd = connectTcp(sim.tcpPort());
  ASSERT_GE(fd, 0);
  int sndbuf = 65536;
  setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &sndbuf, sizeof sndbuf);
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);

  std::string chunk(16384, 'x');
  size_t sent = 0;
  bool blocked = false;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (std::chrono::steady_clock::now() < deadline && sent < (64u << 20)) {
    ssize_t n = send(fd, chunk.data(), chunk.size(), MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<size_t>(n);
      continue;
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      // Give the receiver a chance, in case it is reading after all.
      pollfd p{fd, POLLOUT, 0};
      if (poll(&p, 1, 500) == 0) {
        blocked = true;
        break;
      }
      continue;
    }
    FAIL() << "send failed: " << errno;
  }
  EXPECT_TRUE(blocked) << sent << " bytes accepted while stalled";
  EXPECT_LT(sent, 1u << 20);

  // Resume: everything sent so far arrives, and the job ends normally.
  ASSERT_EQ(sim.ctl({"stall", "off"}).status, 0);
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  ASSERT_TRUE(sendAll(fd, "tail"));
  close(fd);
  ASSERT_EQ(sim.ctl({"wait-jobs", "1", "20"}).status, 0);
  RunResult jobs = sim.ctl({"jobs"});
  EXPECT_EQ(valueOf(jobs.out, "bytes"), std::to_string(sent + 4));
  EXPECT_EQ(valueOf(jobs.out, "end"), "disconnect");
}

TEST(SimTcp, EmptyConnectionIsNoJob) {
  START_SIM(sim);
  int fd = connectTcp(sim.tcpPort());
  ASSERT_GE(fd, 0);
  close(fd);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  RunResult state = sim.ctl({"state"});
  EXPECT_EQ(valueOf(state.out, "empty_connections"), "1");
  EXPECT_EQ(valueOf(state.out, "jobs_started"), "0");
  EXPECT_EQ(sim.ctl({"jobs"}).out, "");
}

TEST(SimUdp, GetStatusIsAnsweredToTheSender) {
  START_SIM(sim, {"--status", "CODE=10001"});
  UdpClient udp;
  udp.send(sim.udpPort(), "GetStatus;");
  EXPECT_EQ(udp.receive(3000), std::optional<std::string>("CODE=10001\r"));

  ASSERT_EQ(sim.ctl({"status", "44114", "10023"}).status, 0);
  udp.send(sim.udpPort(), "GetStatus;");
  EXPECT_EQ(udp.receive(3000), std::optional<std::string>("CODE=44114\rCODE=10023\r"));

  udp.send(sim.udpPort(), "Hello");  // logged, not answered
  EXPECT_EQ(udp.receive(300), std::nullopt);

  ASSERT_EQ(sim.ctl({"udp-mode", "empty"}).status, 0);
  udp.send(sim.udpPort(), "GetStatus;");
  EXPECT_EQ(udp.receive(3000), std::optional<std::string>(""));

  ASSERT_EQ(sim.ctl({"udp-mode", "silent"}).status, 0);
  udp.send(sim.udpPort(), "GetStatus;");
  EXPECT_EQ(udp.receive(300), std::nullopt);

  RunResult log = sim.ctl({"udp-log"});
  ASSERT_EQ(log.status, 0);
  EXPECT_NE(log.out.find("\"Hello\" -> ignored"), std::string::npos) << log.out;
  EXPECT_NE(log.out.find("-> empty datagram"), std::string::npos) << log.out;
  EXPECT_NE(log.out.find("-> no reply (silent)"), std::string::npos) << log.out;
}

TEST(SimControl, StateErrorsAndWaits) {
  START_SIM(sim, {"--status", "10001\\r10023", "--lock", "busy", "--ip",
                  "10.0.0.5/255.0.0.0/10.0.0.1", "--stall"});
  RunResult state = sim.ctl({"state"});
  ASSERT_EQ(state.status, 0) << state.err;
  EXPECT_EQ(valueOf(state.out, "status"), "CODE=10001\\rCODE=10023\\r");
  EXPECT_EQ(valueOf(state.out, "lock"), "busy");
  EXPECT_EQ(valueOf(state.out, "ip"), "10.0.0.5/255.0.0.0/10.0.0.1");
  EXPECT_EQ(valueOf(state.out, "stall"), "on");
  EXPECT_EQ(valueOf(state.out, "usb"), "off");

  RunResult bad = sim.ctl({"lock", "sometimes"});
  EXPECT_NE(bad.status, 0);
  EXPECT_NE(bad.err.find("lock mode"), std::string::npos) << bad.err;
  EXPECT_NE(sim.ctl({"bogus"}).status, 0);
  RunResult noUsb = sim.ctl({"unplug"});
  EXPECT_EQ(noUsb.status, 1);
  EXPECT_NE(noUsb.err.find("--usb"), std::string::npos);

  auto t0 = std::chrono::steady_clock::now();
  RunResult timeout = sim.ctl({"wait-jobs", "1", "0.5"});
  double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  EXPECT_EQ(timeout.status, 1);
  EXPECT_NE(timeout.err.find("timeout: 0 of 1"), std::string::npos) << timeout.err;
  EXPECT_GE(took, 0.45);
  EXPECT_LT(took, 5.0);

  // wait-jobs returns as soon as the job has ended.
  ASSERT_EQ(sim.ctl({"stall", "off"}).status, 0);
  std::thread sender([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    sendJob(sim, threePageJob());
  });
  RunResult w = sim.ctl({"wait-jobs", "1", "20"});
  sender.join();
  EXPECT_EQ(w.status, 0);
  EXPECT_EQ(w.out, "jobs_ended=1\n");

  RunResult noSim = run({KPXSIM_PROGRAM, "ctl", "--socket", sim.dir().file("nothing.sock"), "state"});
  EXPECT_NE(noSim.status, 0);
}

TEST(SimControl, QuitAndSigtermStopCleanly) {
  {
    START_SIM(sim);
    RunResult q = sim.ctl({"quit"});
    EXPECT_EQ(q.status, 0);
    EXPECT_EQ(sim.waitExit(5000), 0);
    struct stat sb{};
    EXPECT_NE(stat(sim.controlPath().c_str(), &sb), 0);  // socket removed
    EXPECT_NE(stat(sim.readyFile().c_str(), &sb), 0);    // ready file removed
  }
  {
    START_SIM(sim);
    kill(sim.pid(), SIGTERM);
    EXPECT_EQ(sim.waitExit(5000), 0);
    EXPECT_NE(sim.log().find("signal received"), std::string::npos);
  }
}

TEST(SimControl, OnlyLoopbackAddresses) {
  for (const std::vector<std::string> &args :
       {std::vector<std::string>{"--tcp", "0.0.0.0:0"}, {"--udp", "192.0.2.1:9101"},
        {"--tcp", "example:9100"}, {"--tcp", "127.0.0.1:70000"}}) {
    TempDir dir;
    std::vector<std::string> argv = {KPXSIM_PROGRAM, "--control", dir.file("c.sock")};
    argv.insert(argv.end(), args.begin(), args.end());
    RunResult r = run(argv, {}, 10000);
    EXPECT_EQ(r.status, 2) << args[1];
    EXPECT_FALSE(r.err.empty());
  }
  TempDir dir;
  RunResult r = run({KPXSIM_PROGRAM, "--control", dir.file("c.sock"), "--tcp", "0.0.0.0:0"});
  EXPECT_NE(r.err.find("--allow-any-address"), std::string::npos) << r.err;
}

TEST(SimControl, StartScriptRunsItInTheBackground) {
  TempDir dir;
  RunResult r = run({"bash", KPXSIM_START_SCRIPT, dir.file("sim")},
                    {std::string("KPX7720MW_SIM=") + KPXSIM_PROGRAM}, 20000);
  ASSERT_EQ(r.status, 0) << r.err;
  int pid = std::atoi(valueOf(r.out, "pid").c_str());
  ASSERT_GT(pid, 0);
  EXPECT_EQ(valueOf(r.out, "control"), dir.file("sim/ctl.sock"));
  EXPECT_NE(valueOf(r.out, "tcp"), "127.0.0.1:0");
  RunResult q = run({KPXSIM_PROGRAM, "ctl", "--socket", dir.file("sim/ctl.sock"), "quit"});
  EXPECT_EQ(q.status, 0);
  // The simulator is no child of ours: look at its state (a zombie is gone).
  auto alive = [pid] {
    std::string stat;
    if (!readFile("/proc/" + std::to_string(pid) + "/stat", stat)) return false;
    size_t paren = stat.rfind(')');
    return paren != std::string::npos && paren + 2 < stat.size() && stat[paren + 2] != 'Z';
  };
  for (int i = 0; i < 100 && alive(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(alive()) << "simulator still running";
}
