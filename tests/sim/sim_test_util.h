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
