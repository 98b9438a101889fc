#include "printerstatus.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "filterio.h"
#include "jobprocesses.h"
#include "printer_protocol.h"
#include "status_codes.h"
#include "statusquery.h"
#include "status_report.h"

namespace kpx {

namespace {

constexpr size_t kMaxCommandFile = 65536;
constexpr int kUsbAnswerWaitMs = 3000;
// How long the end of a job waits for the backend to finish with the printer.
constexpr int kBackendEndWaitMs = 10000;

StatusReporter &reporter() {
  static StatusReporter r(std::getenv("PRINTER_STATE_REASONS") != nullptr ? std::getenv("PRINTER_STATE_REASONS") : "");
  return r;
}

std::string deviceUri() {
  const char *uri = std::getenv("DEVICE_URI");
  return uri != nullptr ? uri : "";
}

// The status answer to "CheckStatus?" on the back channel: what arrives
// within the wait, up to the end of its last line.
std::string readUsbAnswer() {
  std::string answer;
  char buffer[512];
  for (int waited = 0; waited < kUsbAnswerWaitMs && answer.size() < protocol::kMaxStatusReply; waited += 250) {
    ssize_t n = io::readBackChannel(buffer, sizeof buffer, 250);
    if (n == io::kCancelled) break;
    if (n > 0) answer.append(buffer, static_cast<size_t>(n));
    if (!answer.empty() && answer.back() == '\r') break;
  }
  return answer;
}

void reportLines(const std::vector<std::string> &lines) {
  for (const std::string &line : lines) io::report("%s", line.c_str());
}

}  // namespace

void learnPrinterStatus(std::string_view text) { reportLines(reporter().learn(statusCodesIn(text))); }

void reportKeyRejected() { reportLines(reporter().add(state::kKeyRejected)); }

void withdrawKeyRejected() { reportLines(reporter().withdraw(state::kKeyRejected)); }

void reportJobStart() {
  const std::string problem = reporter().problemTitle();
  io::report("INFO:%s\n", problem.empty() ? "打印机正在打印" : problem.c_str());
}

void reportJobEnd(const std::string &jobId) {
  const std::string problem = reporter().problemTitle();
  if (problem.empty()) {
    io::report("INFO:空闲\n");
    return;
  }
  // The backend's last words ("Waiting for printer to finish.") would take
  // the message's place for good: the printer stream is closed so that the
  // backend finishes, and the message follows once it has.
  if (std::getenv("DEVICE_URI") != nullptr) {
    int null = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (null >= 0) {
      dup2(null, STDOUT_FILENO);
      close(null);
    }
    for (int waited = 0; waited < kBackendEndWaitMs; waited += 50) {
      if (!otherJobProcessAlive("/proc", getppid(), getpid(), jobId)) break;
      if (!io::pauseFor(50)) break;
    }
  }
  reportLines(heldMessage(problem));
}

void askNetworkPrinterStatus() {
  std::optional<std::string> answer = queryPrinterStatus(printerHostOf(deviceUri()));
  if (answer)
    learnPrinterStatus(*answer);
  else
    io::report("DEBUG:[ZUVA-KPX7720MW] no status answer from the printer\n");
}

namespace {
int g_pagesSent = 0;
}  // namespace

void reportPageSent(int copies) { io::report("PAGE: %d %d\n", ++g_pagesSent, copies); }

int pagesSent() { return g_pagesSent; }

namespace {

// ReportLevels and ReportStatus: the printer's status, asked over UDP
// (network queue) or with "CheckStatus?" through the backend (USB queue).
void askPrinterStatus(const FilterVariant &variant) {
  if (variant.statusOverUdp) {
    askNetworkPrinterStatus();
    return;
  }
  io::prepareOutput();
  io::writeToPrinter(protocol::kStatusQuery.data(), protocol::kStatusQuery.size(), 5000);
  char data[64] = {};
  int datalen = sizeof data;
  io::drainOutput(5.0, data, &datalen);
  std::string answer = readUsbAnswer();
  if (answer.empty())
    io::report("DEBUG:[ZUVA-KPX7720MW] no status answer from the printer\n");
  else
    learnPrinterStatus(answer);
}

}  // namespace

bool isCommandJob() {
  const char *type = std::getenv("CONTENT_TYPE");
  return type != nullptr && std::strcmp(type, "application/vnd.cups-command") == 0;
}

int runCommandJob(const FilterVariant &variant, const char *jobId, const char *fileName) {
  // The command file comes as a file name when we are the first filter.
  int fd = STDIN_FILENO;
  if (fileName != nullptr && (fd = open(fileName, O_RDONLY | O_CLOEXEC)) < 0) {
    io::report("ERROR: Unable to open the command file.\n");
    return 1;
  }
  std::string file;
  char buffer[4096];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    file.append(buffer, static_cast<size_t>(n));
    if (file.size() > kMaxCommandFile) break;
  }
  if (fd != STDIN_FILENO) close(fd);
  bool report = false;
  size_t start = 0;
  while (start < file.size()) {
    size_t end = file.find('\n', start);
    if (end == std::string::npos) end = file.size();
    std::string line = file.substr(start, end - start);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.pop_back();
    if (line == "ReportLevels" || line == "ReportStatus")
      report = true;
    else if (!line.empty() && line[0] != '#')
      io::report("DEBUG:[ZUVA-KPX7720MW] command not supported: %.40s\n", line.c_str());
    start = end + 1;
  }
  if (report) askPrinterStatus(variant);
  // A command job ends like any job: cupsd would clear a message it does not
  // see held.
  reportJobEnd(jobId);
  return 0;
}

}  // namespace kpx
