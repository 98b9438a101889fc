#include "sim_test_util.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "printstream.h"

namespace simtest {

Lines splitLines(const std::string &text) {
  Lines out;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t eol = text.find('\n', pos);
    if (eol == std::string::npos) eol = text.size();
    out.push_back(text.substr(pos, eol - pos));
    pos = eol + 1;
  }
  return out;
}

std::string valueOf(const std::string &text, const std::string &key) {
  for (const std::string &l : splitLines(text))
    if (l.compare(0, key.size() + 1, key + "=") == 0) return l.substr(key.size() + 1);
  return "";
}

std::string hexOf(const std::string &bytes) {
  static const char d[] = "0123456789abcdef";
  std::string h;
  for (unsigned char c : bytes) {
    h += d[c >> 4];
    h += d[c & 15];
  }
  return h;
}

int countOf(const Lines &lines, const std::string &line) {
  int n = 0;
  for (const std::string &l : lines) n += l == line;
  return n;
}

TempDir::TempDir() {
  const char *base = std::getenv("TMPDIR");
  std::string tmpl = std::string(base && *base ? base : "/tmp") + "/kpxsim-test-XXXXXX";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  if (mkdtemp(buf.data())) path_ = buf.data();
}

TempDir::~TempDir() {
  if (!path_.empty() && path_.find("/kpxsim-test-") != std::string::npos) {
    run({"rm", "-rf", path_}, {}, 20000);
  }
}

bool readFile(const std::string &path, std::string &out) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return false;
  std::stringstream ss;
  ss << f.rdbuf();
  out = ss.str();
  return true;
}

bool writeFile(const std::string &path, const std::string &data) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(data.data(), static_cast<std::streamsize>(data.size()));
  return static_cast<bool>(f);
}

RunResult run(const std::vector<std::string> &argv, const std::vector<std::string> &env,
              int timeoutMs) {
  RunResult r;
  int outPipe[2], errPipe[2];
  if (pipe2(outPipe, O_CLOEXEC) != 0) return r;
  if (pipe2(errPipe, O_CLOEXEC) != 0) {
    close(outPipe[0]);
    close(outPipe[1]);
    return r;
  }
  pid_t pid = fork();
  if (pid == 0) {
    dup2(outPipe[1], 1);
    dup2(errPipe[1], 2);
    int devnull = open("/dev/null", O_RDONLY);
    if (devnull >= 0) dup2(devnull, 0);
    for (const std::string &e : env) putenv(strdup(e.c_str()));
    std::vector<char *> args;
    for (const std::string &a : argv) args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  close(outPipe[1]);
  close(errPipe[1]);
  if (pid < 0) {
    close(outPipe[0]);
    close(errPipe[0]);
    return r;
  }
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  bool outOpen = true, errOpen = true, killed = false;
  while (outOpen || errOpen) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0) {
      kill(pid, SIGKILL);
      killed = true;
      break;
    }
    pollfd fds[2] = {{outOpen ? outPipe[0] : -1, POLLIN, 0}, {errOpen ? errPipe[0] : -1, POLLIN, 0}};
    if (poll(fds, 2, static_cast<int>(left)) <= 0) continue;
    char buf[65536];
    for (int i = 0; i < 2; ++i) {
      if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      ssize_t n = read(fds[i].fd, buf, sizeof buf);
      if (n <= 0) {
        (i == 0 ? outOpen : errOpen) = false;
      } else {
        (i == 0 ? r.out : r.err).append(buf, static_cast<size_t>(n));
      }
    }
  }
  close(outPipe[0]);
  close(errPipe[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  r.status = (!killed && WIFEXITED(status)) ? WEXITSTATUS(status) : -1;
  return r;
}

std::string textPages(int pages) {
  std::string ps =
      "%!PS\n/Helvetica findfont 14 scalefont setfont\n"
      "1 1 " + std::to_string(pages) + " { /n exch def\n"
      "  72 760 moveto (Page ) show n 4 string cvs show\n"
      "  0 1 30 { /l exch def 72 720 l 20 mul sub moveto\n"
      "    (The quick brown fox jumps over the lazy dog, line ) show l 3 string cvs show } for\n"
      "  newpath 72 80 moveto 520 80 lineto 2 setlinewidth stroke\n"
      "  showpage } for\n";
  return ps;
}

std::string imagePage() {
  return "%!PS\n/Times-Roman findfont 18 scalefont setfont 72 740 moveto (Image page) show\n"
         "/s 16384 string def 0 1 16383 { s exch dup 13 mul 255 and put } for\n"
         "gsave 100 200 translate 400 400 scale\n"
         "128 128 8 [128 0 0 -128 0 128] { s } image grestore\n"
         "newpath 300 650 60 0 360 arc 0.5 setgray fill showpage\n";
}

std::string ghostscriptPxl(const TempDir &dir, const std::string &postscript, int dpi, bool duplex) {
  static int counter = 0;
  std::string base = dir.file("job" + std::to_string(++counter));
  EXPECT_TRUE(writeFile(base + ".ps", postscript));
  const char *geometry = dpi == 300 ? "-g2480x3508" : dpi == 600 ? "-g4961x7016" : "-g9922x14032";
  std::vector<std::string> argv = {"gs", "-q", "-dBATCH", "-dNOPAUSE", "-dSAFER", "-sDEVICE=pxlmono",
                                   "-r" + std::to_string(dpi) + "x" + std::to_string(dpi), geometry};
  if (duplex) argv.push_back("-dDuplex");
  argv.push_back("-sOutputFile=" + base + ".pxl");
  argv.push_back(base + ".ps");
  RunResult r = run(argv, {}, 120000);
  EXPECT_EQ(r.status, 0) << "gs failed: " << r.err;
  std::string out;
  EXPECT_TRUE(readFile(base + ".pxl", out));
  return out;
}

std::string filterStream(const std::string &gsOutput, int dpi, const std::vector<std::string> &pjlLines) {
  size_t preamble = dpi >= 1000 ? 64 : 63;
  std::string s(kpxsim::kTicketOpening);
  for (const std::string &l : pjlLines) s += l + "\n";
  if (gsOutput.size() > preamble) s += gsOutput.substr(preamble);
  return s;
}

std::vector<std::string> typicalTicketLines() {
  return {
      "@PJL SET REPRINT=OFF",
      "@PJL SET HOLD=OFF",
      "@PJL SET USERNAME=\"alice\"",
      "@PJL SET JOBNAME=\"report\"",
      "@PJL PRINTLOG ITEM = 1,PRINTER",
      "@PJL PRINTLOG ITEM = 2,Mon,06,Jan 2025 10:11:12",
      "@PJL PRINTLOG ITEM = 3,alice",
      "@PJL PRINTLOG ITEM = 4,host1",
      "@PJL SET JOBTIME = 20250106101112",
      "@PJL JOB NAME=\"report\"",
      "@PJL SET RESOLUTION=600",
      "@PJL SET HQMMODE=OFF",
      "@PJL SET ECONOMODE=OFF",
      "@PJL SET SOURCETRAY=AUTO",
      "@PJL SET MEDIATYPE=REGULAR",
      "@PJL SET LESSPAPERCURL=OFF",
      "@PJL SET FIXINTENSITYUP=OFF",
  };
}

DetachedUsbSim::DetachedUsbSim(const std::string &program, const std::string &startScript,
                               const std::string &simDir, const std::string &tmpDir,
                               const std::vector<std::string> &options)
    : program_(program) {
  std::vector<std::string> argv = {startScript, simDir, "--usb"};
  argv.insert(argv.end(), options.begin(), options.end());
  RunResult r = run(argv, {"TMPDIR=" + tmpDir, "KPX7720MW_SIM=" + program}, 30000);
  pid_ = std::atoi(valueOf(r.out, "pid").c_str());
  usbDir_ = valueOf(r.out, "usb_dir");
  socket_ = simDir + "/ctl.sock";
  if (r.status != 0 || pid_ <= 0 || usbDir_.empty() || usbDir_ == "off")
    error_ = "simulator did not start: " + r.out + r.err;
}

DetachedUsbSim::~DetachedUsbSim() {
  if (pid_ <= 0) return;
  ctl({"quit"});
  for (int i = 0; i < 250 && kill(pid_, 0) == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  if (kill(pid_, 0) == 0) {
    kill(pid_, SIGKILL);
    for (int i = 0; i < 100 && kill(pid_, 0) == 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

RunResult DetachedUsbSim::ctl(const std::vector<std::string> &args) const {
  std::vector<std::string> argv = {program_, "ctl", "--socket", socket_};
  argv.insert(argv.end(), args.begin(), args.end());
  return run(argv, {}, 30000);
}

}  // namespace simtest
