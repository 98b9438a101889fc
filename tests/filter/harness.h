// Runs a built filter the way CUPS does: argv[0] is the queue name, the job
// arrives on standard input, the printer stream leaves on standard output,
// the back channel is fd 3 and the side channel fd 4. The test plays the
// backend: it answers drain requests, puts printer replies on the back
// channel and may send signals at chosen moments.
#pragma once

#include <sys/types.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace kpxtest {

struct FilterRun {
  std::string program;                       // path of the filter executable
  std::vector<std::string> args;             // argv[0..] as CUPS passes them
  std::map<std::string, std::string> env;    // the whole environment of the filter
  std::string input;                         // file to use as standard input

  // Status to answer the n-th drain request with (0-based); a negative value
  // leaves it unanswered. Default: always OK (1).
  std::function<int(int n)> drainStatus;
  // Bytes to put on the back channel, asked about 50 times a second with
  // the whole output so far and the number of drain requests seen.
  std::function<std::string(const std::string &output, int drains)> backChannel;
  // Sends `signal` once stderr contains this text (empty: never).
  std::string signalWhenErrorsContain;
  // Sends `signal` once this many output bytes arrived (0: never).
  size_t signalAfterOutputBytes = 0;
  int signal = 15;
  int timeoutMs = 60000;
  bool closeBackChannel = false;   // start with fd 3 closed
  bool closeSideChannel = false;   // start with fd 4 closed
  // Closes the backend's ends of the back and side channels once this many
  // output bytes arrived (0: never), like a backend that went away.
  size_t closeChannelsAfterOutputBytes = 0;
  bool closeOutput = false;        // start with fd 1 closed
  std::string outputPath;          // non-empty: fd 1 opened on this file (e.g. /dev/full)
  // Stops reading the printer stream once this many bytes arrived (0:
  // never), like a printer that no longer takes data.
  size_t stallAfterOutputBytes = 0;
  bool keepOutput = true;          // false: count the printer stream, do not keep it
  // Called about 50 times a second with the filter's pid while it runs.
  std::function<void(pid_t)> onPoll;
};

struct FilterResult {
  bool exited = false;   // ended by exit (not by a signal, not timed out)
  int status = -1;       // exit status when exited
  bool timedOut = false;
  std::string output;    // the printer stream
  size_t outputBytes = 0;
  std::string errors;    // standard error
  int drainRequests = 0;
  bool signalSent = false;
  double seconds = 0;
};

FilterResult runFilter(const FilterRun &run);

// A private install tree and spool for one test, removed afterwards.
class FilterSandbox {
 public:
  FilterSandbox();
  ~FilterSandbox();
  FilterSandbox(const FilterSandbox &) = delete;
  FilterSandbox &operator=(const FilterSandbox &) = delete;

  const std::string &dir() const { return dir_; }
  std::string root() const { return dir_ + "/root"; }
  std::string spool() const { return dir_ + "/spool"; }
  std::string usbDir() const { return root() + "/KPX7720MW"; }
  std::string netDir() const { return root() + "/KPX7720MW_net"; }

  // Environment for a filter run: PPD (empty: none), the install root, the
  // spool, a fixed time zone and a CUPS server nobody listens on.
  std::map<std::string, std::string> env(const std::string &ppd) const;
  // Writes a file inside the sandbox and returns its path.
  std::string write(const std::string &name, const std::string &content) const;

 private:
  std::string dir_;
};

std::string readFile(const std::string &path);
bool fileExists(const std::string &path);
unsigned fileMode(const std::string &path);

// A PostScript document of `pages` pages of text (DSC comments included).
std::string textDocument(int pages, const std::string &extraHeader = "");
// A PostScript document of `pages` full-page grey images.
std::string imageDocument(int pages);

// Runs Ghostscript's pxlmono device as the filter would and returns its output.
std::string ghostscriptOutput(const std::vector<std::string> &args, const std::string &inputFile);

}  // namespace kpxtest
