// Helpers shared by the simulator tests: temporary directories, child
// processes, and real Ghostscript output wrapped the way the print filter
// sends it.
#pragma once

#include <string>
#include <vector>

namespace simtest {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;
  const std::string &path() const { return path_; }
  std::string file(const std::string &name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Output of a child process or the simulator, taken apart line by line.
using Lines = std::vector<std::string>;
Lines splitLines(const std::string &text);
// The value of the first "key=value" line, empty when there is none.
std::string valueOf(const std::string &text, const std::string &key);
// Lower-case hex digits of every byte.
std::string hexOf(const std::string &bytes);
// How many lines equal `line`.
int countOf(const Lines &lines, const std::string &line);

bool readFile(const std::string &path, std::string &out);
bool writeFile(const std::string &path, const std::string &data);

struct RunResult {
  int status = -1;  // exit status, or -1 (killed, timeout, not started)
  std::string out;  // standard output
  std::string err;  // standard error
};

// Runs argv[0] (searched in PATH) with extra "NAME=VALUE" environment
// entries; the child is killed after timeoutMs.
RunResult run(const std::vector<std::string> &argv, const std::vector<std::string> &env = {},
              int timeoutMs = 30000);

// A simulator with the emulated USB printer, started by
// kpx7720mw-sim-start.sh in simDir (with TMPDIR=tmpDir for umockdev's
// testbed). The script leaves it running, so it is not our child: the
// destructor asks it to quit and kills it if it does not go.
class DetachedUsbSim {
 public:
  DetachedUsbSim(const std::string &program, const std::string &startScript, const std::string &simDir,
                 const std::string &tmpDir, const std::vector<std::string> &options);
  ~DetachedUsbSim();
  DetachedUsbSim(const DetachedUsbSim &) = delete;
  DetachedUsbSim &operator=(const DetachedUsbSim &) = delete;

  // Empty when it started; else what the start script printed.
  const std::string &error() const { return error_; }
  const std::string &usbDir() const { return usbDir_; }
  const std::string &socket() const { return socket_; }
  // kpx7720mw-sim ctl --socket ... args...
  RunResult ctl(const std::vector<std::string> &args) const;

 private:
  std::string program_;
  int pid_ = -1;
  std::string usbDir_, socket_, error_;
};

// PostScript jobs to feed Ghostscript.
std::string textPages(int pages);
std::string imagePage();

// Ghostscript pxlmono output for a PostScript text (-r DPI, A4 geometry of
// that resolution, optional duplex). Fails the calling test on error.
std::string ghostscriptPxl(const TempDir &dir, const std::string &postscript, int dpi,
                           bool duplex = false);

// The filter's ticket opening, the given PJL lines, then the Ghostscript
// output without its own opening lines (63 bytes, 64 at 1200 dpi).
std::string filterStream(const std::string &gsOutput, int dpi,
                         const std::vector<std::string> &pjlLines);

// PJL lines of a typical ticket (no hold, user alice, title report).
std::vector<std::string> typicalTicketLines();

}  // namespace simtest
