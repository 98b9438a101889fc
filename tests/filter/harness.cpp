#include "harness.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace kpxtest {

namespace {

double nowSeconds() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec + ts.tv_nsec / 1e9;
}

void setNonBlocking(int fd) { fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK); }

// Moves fd to `target` in the child, whatever fds are in the way.
void placeFd(int fd, int target) {
  if (fd == target) {
    fcntl(fd, F_SETFD, 0);
    return;
  }
  dup2(fd, target);
}

bool readInto(int fd, std::string &out) {
  char buf[65536];
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n > 0) {
      out.append(buf, static_cast<size_t>(n));
      continue;
    }
    if (n == 0) return false;  // end
    if (errno == EINTR) continue;
    return errno == EAGAIN;    // still open
  }
}

}  // namespace

FilterResult runFilter(const FilterRun &run) {
  // The filter may be gone while we still answer on its channels.
  signal(SIGPIPE, SIG_IGN);
  FilterResult result;
  int out[2], err[2], back[2], side[2];
  if (pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC) || pipe2(back, O_CLOEXEC) ||
      socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, side))
    throw std::runtime_error("cannot create channels");

  std::vector<std::string> envStrings;
  for (const auto &kv : run.env) envStrings.push_back(kv.first + "=" + kv.second);
  std::vector<char *> envp, argv;
  for (std::string &s : envStrings) envp.push_back(&s[0]);
  envp.push_back(nullptr);
  std::vector<std::string> args = run.args;
  for (std::string &s : args) argv.push_back(&s[0]);
  argv.push_back(nullptr);

  int in = open(run.input.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) throw std::runtime_error("cannot open input " + run.input);

  const double start = nowSeconds();
  pid_t pid = fork();
  if (pid == 0) {
    // Get every source fd above 4 first so that placing them cannot clash.
    int fdIn = fcntl(in, F_DUPFD_CLOEXEC, 10), fdOut = fcntl(out[1], F_DUPFD_CLOEXEC, 10);
    int fdErr = fcntl(err[1], F_DUPFD_CLOEXEC, 10), fdBack = fcntl(back[0], F_DUPFD_CLOEXEC, 10);
    int fdSide = fcntl(side[1], F_DUPFD_CLOEXEC, 10);
    placeFd(fdIn, 0);
    if (run.closeOutput) {
      close(1);
    } else if (!run.outputPath.empty()) {
      int file = open(run.outputPath.c_str(), O_WRONLY);
      if (file < 0) _exit(125);
      placeFd(file, 1);
    } else {
      placeFd(fdOut, 1);
    }
    placeFd(fdErr, 2);
    if (run.closeBackChannel) close(3); else placeFd(fdBack, 3);
    if (run.closeSideChannel) close(4); else placeFd(fdSide, 4);
    signal(SIGPIPE, SIG_DFL);
    execve(run.program.c_str(), argv.data(), envp.data());
    _exit(126);
  }
  close(in);
  close(out[1]);
  close(err[1]);
  close(back[0]);
  close(side[1]);
  setNonBlocking(out[0]);
  setNonBlocking(err[0]);
  setNonBlocking(side[0]);

  bool outOpen = true, errOpen = true, sideOpen = true, backOpen = true;
  std::string sideBuf;
  int wstatus = 0;
  bool reaped = false;

  auto sendSignal = [&]() {
    if (!result.signalSent) {
      kill(pid, run.signal);
      result.signalSent = true;
    }
  };

  while (outOpen || errOpen || !reaped) {
    if (nowSeconds() - start > run.timeoutMs / 1000.0) {
      kill(pid, SIGKILL);
      result.timedOut = true;
      waitpid(pid, &wstatus, 0);
      reaped = true;
      break;
    }
    pollfd fds[3];
    nfds_t n = 0;
    int iOut = -1, iErr = -1, iSide = -1;
    const bool stalled = run.stallAfterOutputBytes > 0 && result.outputBytes >= run.stallAfterOutputBytes;
    if (stalled && reaped) outOpen = false;
    if (outOpen && !stalled) { iOut = n; fds[n++] = {out[0], POLLIN, 0}; }
    if (errOpen) { iErr = n; fds[n++] = {err[0], POLLIN, 0}; }
    if (sideOpen) { iSide = n; fds[n++] = {side[0], POLLIN, 0}; }
    poll(fds, n, 20);

    if (iOut >= 0 && fds[iOut].revents) {
      size_t before = result.output.size();
      outOpen = readInto(out[0], result.output);
      result.outputBytes += result.output.size() - before;
      if (!run.keepOutput) result.output.clear();
    }
    if (run.onPoll && !reaped) run.onPoll(pid);
    if (iErr >= 0 && fds[iErr].revents) errOpen = readInto(err[0], result.errors);
    if (run.closeChannelsAfterOutputBytes > 0 && result.outputBytes >= run.closeChannelsAfterOutputBytes &&
        backOpen) {
      close(back[1]);
      close(side[0]);
      backOpen = sideOpen = false;
      iSide = -1;
    }
    if (run.backChannel && backOpen) {
      std::string reply = run.backChannel(result.output, result.drainRequests);
      if (!reply.empty()) {
        ssize_t ignored = write(back[1], reply.data(), reply.size());
        (void)ignored;
      }
    }
    if (iSide >= 0 && fds[iSide].revents) {
      sideOpen = readInto(side[0], sideBuf);
      // Side-channel messages: command, status, 16-bit length, data.
      while (sideBuf.size() >= 4) {
        size_t len = (static_cast<unsigned char>(sideBuf[2]) << 8) | static_cast<unsigned char>(sideBuf[3]);
        if (sideBuf.size() < 4 + len) break;
        unsigned char command = static_cast<unsigned char>(sideBuf[0]);
        sideBuf.erase(0, 4 + len);
        int index = result.drainRequests++;
        int status = 1;
        if (command == 2 && run.drainStatus) status = run.drainStatus(index);
        if (status >= 0) {
          unsigned char reply[4] = {command, static_cast<unsigned char>(status), 0, 0};
          ssize_t ignored = write(side[0], reply, sizeof reply);
          (void)ignored;
        }
      }
    }
    if (!run.signalWhenErrorsContain.empty() && result.errors.find(run.signalWhenErrorsContain) != std::string::npos)
      sendSignal();
    if (run.signalAfterOutputBytes > 0 && result.output.size() >= run.signalAfterOutputBytes) sendSignal();
    if (!reaped) {
      // Once both output streams ended the filter is about to be gone.
      int flags = ((outOpen && !stalled) || errOpen) ? WNOHANG : 0;
      if (waitpid(pid, &wstatus, flags) == pid) reaped = true;
    }
  }
  result.seconds = nowSeconds() - start;
  close(out[0]);
  close(err[0]);
  if (backOpen) {
    close(back[1]);
    close(side[0]);
  }
  if (!result.timedOut && WIFEXITED(wstatus)) {
    result.exited = true;
    result.status = WEXITSTATUS(wstatus);
  }
  return result;
}

FilterSandbox::FilterSandbox() {
  const char *base = std::getenv("TMPDIR");
  std::string tmpl = std::string(base && *base ? base : "/tmp") + "/kpxfilter.XXXXXX";
  if (mkdtemp(&tmpl[0]) == nullptr) throw std::runtime_error("mkdtemp failed");
  dir_ = tmpl;
  for (const char *d : {"/root", "/root/KPX7720MW", "/root/KPX7720MW/config", "/root/KPX7720MW/kpx7720mw",
                        "/root/KPX7720MW/kpx7720mw/bin", "/root/KPX7720MW_net", "/root/KPX7720MW_net/config",
                        "/spool"})
    mkdir((dir_ + d).c_str(), 0755);
  if (symlink("/usr/bin/gs", (dir_ + "/root/KPX7720MW/kpx7720mw/bin/gs").c_str()) != 0)
    throw std::runtime_error("cannot link the interpreter");
}

FilterSandbox::~FilterSandbox() {
  std::string cmd = "rm -rf '" + dir_ + "'";
  int ignored = std::system(cmd.c_str());
  (void)ignored;
}

std::map<std::string, std::string> FilterSandbox::env(const std::string &ppd) const {
  std::map<std::string, std::string> e;
  e["PATH"] = "/usr/bin:/bin";
  e["ZUVA_PRINTERS_ROOT"] = root();
  e["CUPS_REQUESTROOT"] = spool();
  e["CUPS_SERVER"] = dir_ + "/no-cupsd.sock";  // cupsCancelJob must not reach a real scheduler
  e["TZ"] = "UTC";
  e["TMPDIR"] = dir_;
  if (!ppd.empty()) e["PPD"] = ppd;
  for (const char *name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"})
    if (const char *v = std::getenv(name)) e[name] = v;
  return e;
}

std::string FilterSandbox::write(const std::string &name, const std::string &content) const {
  std::string path = dir_ + "/" + name;
  std::ofstream(path, std::ios::binary) << content;
  return path;
}

std::string readFile(const std::string &path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

bool fileExists(const std::string &path) { return access(path.c_str(), F_OK) == 0; }

unsigned fileMode(const std::string &path) {
  struct stat st{};
  if (stat(path.c_str(), &st) != 0) return 0;
  return st.st_mode & 07777;
}

std::string textDocument(int pages, const std::string &extraHeader) {
  std::ostringstream ps;
  ps << "%!PS-Adobe-3.0\n%%Pages: " << pages << "\n" << extraHeader << "%%EndComments\n";
  ps << "/Helvetica findfont 14 scalefont setfont\n";
  for (int p = 1; p <= pages; ++p) {
    ps << "%%Page: " << p << " " << p << "\n";
    for (int line = 0; line < 40; ++line)
      ps << "72 " << 760 - line * 17 << " moveto (Page " << p << " line " << line
         << ": the quick brown fox jumps over the lazy dog) show\n";
    ps << "showpage\n";
  }
  ps << "%%EOF\n";
  return ps.str();
}

std::string imageDocument(int pages) {
  std::ostringstream ps;
  ps << "%!PS-Adobe-3.0\n%%Pages: " << pages << "\n%%EndComments\n";
  for (int p = 1; p <= pages; ++p) {
    ps << "%%Page: " << p << " " << p << "\n";
    // A full-page 8-bit grey image computed in PostScript (a gradient with
    // a per-page twist) so that every page carries real raster data.
    ps << "gsave 36 36 translate 523 770 scale\n"
       << "/row 400 string def /y 0 def\n"
       << "400 400 8 [400 0 0 -400 0 400]\n"
       << "{ /y y 1 add def 0 1 399 { row exch dup dup y add " << p
       << " mul 7 mod 30 mul exch 255 mul 400 idiv add 255 and put } for row }\n"
       << "image grestore showpage\n";
  }
  ps << "%%EOF\n";
  return ps.str();
}

std::string ghostscriptOutput(const std::vector<std::string> &args, const std::string &inputFile) {
  std::string cmd = "/usr/bin/gs";
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "-") continue;
    cmd += " '" + args[i] + "'";
  }
  cmd += " - < '" + inputFile + "'";
  std::string output;
  FILE *p = popen(cmd.c_str(), "r");
  if (!p) throw std::runtime_error("cannot run gs");
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) output.append(buf, n);
  pclose(p);
  return output;
}

}  // namespace kpxtest
