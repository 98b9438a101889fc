#include "filterflow.h"

#include <cups/cups.h>
#include <cups/ppd.h>
#include <cups/sidechannel.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "docinput.h"
#include "filterio.h"
#include "geometry.h"
#include "interpreter.h"
#include "jobsettings.h"
#include "pagecount.h"
#include "paths.h"
#include "printer_protocol.h"
#include "ppdchoices.h"
#include "printerstatus.h"
#include "records.h"
#include "ticket.h"

namespace kpx {

namespace {

// Exit statuses.
constexpr int kExitOk = 0;      // printed, or cancelled by the user
constexpr int kExitFailed = 1;  // CUPS marks the job failed

// The code a cancellation reports when the printer stopped taking data
// (otherwise the code is the cancelling signal).
constexpr int kStallCancelCode = 14;
// Drain failures (or two-second write stalls) in a row that are tolerated;
// the next one cancels the job.
constexpr int kToleratedDrainFailures = 10;
// A back-channel reply longer than this is a printer state worth recording.
constexpr ssize_t kBackChannelStateMinimum = 20;
// How long a job with a rejected key waits in the queue for the user.
constexpr int kRejectedKeyWaitSeconds = 600;
// How long the end of a job waits for status the printer sent while the
// last pages went out: the backend often reads it from the printer only
// while it drains the last data, and passes it on just after.
constexpr int kFinalStatusWaitMs = 200;

// How a job ends.
enum class Ending { Completed, ConversionFailed, KeyRejected };

// A cancellation noted somewhere in the flow (a signal, or a printer that
// stopped taking data). It unwinds to runFilter, which ends the job.
struct Cancellation {
  int code;
};

// What the endings need to know about the job in progress.
struct RunningJob {
  const FilterVariant *variant = nullptr;
  RecordPaths paths;
  JobSettings settings;
  bool ticketSent = false;
  // The job's log block is written when the job ends, with the pages that
  // went to the printer; the copies are known from the start.
  bool logBlockDue = false;
  int copies = 1;
};
RunningJob g_job;

void writeState(const char *text, int attempts = 8) {
  if (g_job.variant->writesStateFile) io::replaceRecord(g_job.paths.printerState, text, attempts, true);
}

// Writes a short control sequence to the printer unless the backend has
// stopped taking data altogether, so that a stalled printer cannot keep the
// filter from finishing.
void sendControl(std::string_view bytes, int waitMs) {
  pollfd p{STDOUT_FILENO, POLLOUT, 0};
  int r;
  while ((r = poll(&p, 1, waitMs)) < 0 && errno == EINTR) {
  }
  if (r <= 0 || (p.revents & (POLLERR | POLLNVAL))) {
    io::report("DEBUG:[ZUVA-KPX7720MW] printer not taking data, control sequence not sent\n");
    return;
  }
  io::writeToPrinter(bytes.data(), bytes.size());
}

// Appends the job's log block (if the job got that far) and its closing
// text in one write.
void closeLog(const char *closing) {
  std::string text;
  if (g_job.logBlockDue) {
    g_job.logBlockDue = false;
    text = formatLogBlock(*g_job.variant, g_job.settings, g_job.copies, pagesSent());
  }
  text += closing;
  if (!text.empty()) io::appendLog(g_job.paths.printLog, text);
}

// Takes back the reasons of a rejected key: ours, and the Chinese sentence
// that earlier versions of the filter set as a reason.
void endKeyReasons() {
  withdrawKeyRejected();
  io::report("STATE: -%s\n", kKeyReason);
}

// Raises the cancellation if a signal asked for it.
void checkpoint() {
  if (int sig = io::pendingSignal()) throw Cancellation{sig};
}

// The orderly end of a cancelled job (code: the signal, or kStallCancelCode).
int cancelJob(int code) {
  signal(SIGPIPE, SIG_IGN);
  io::report("DEBUG:[ZUVA-KPX7720MW]cancel job=%d;\n", code);

  char data[512] = {};
  int datalen = sizeof data;
  sendControl(kCancelSequence, 5000);
  io::drainOutput(1.0, data, &datalen, /*interruptible=*/false);

  endKeyReasons();
  reportJobEnd(g_job.settings.jobId);
  writeState(kStateReady);
  closeLog(kLogCancelled);
  cupsCancelJob(g_job.settings.printerName.c_str(), std::atoi(g_job.settings.jobId.c_str()));
  return kExitOk;
}

void sendTrailer() {
  sendControl(kEndOfJobTrailer, 5000);
  char data[512] = {};
  int datalen = sizeof data;
  if (io::drainOutput(g_job.variant->trailerDrainSeconds, data, &datalen) == io::kCancelled) checkpoint();
}

// The conversion failed: tell CUPS (so the job is marked failed rather
// than completed) and close the job towards the printer.
int conversionFailed() {
  io::report("ERROR: The document could not be converted for the printer; see the CUPS error log.\n");
  if (g_job.ticketSent) sendTrailer();
  closeLog("");
  writeState(kStateReady);
  return kExitFailed;
}

// A key with one to three digits (or not four digits at all): the job
// waits in the queue for the user to cancel it, then fails.
int keyRejected() {
  reportKeyRejected();
  writeState(kStatePasswdError);
  if (!io::pauseFor(kRejectedKeyWaitSeconds * 1000)) checkpoint();
  // The job stays in the queue, stopped: so do the reasons and the message.
  reportJobEnd(g_job.settings.jobId);
  return kExitFailed;
}

// The printer stream failed outright (no standard output, or a full
// device): nothing more can reach the printer. A backend that went away is
// not this: its SIGPIPE cancels the job.
struct StreamFailure {
  int error;
};

void checkOutput() {
  if (io::outputError() == 0) return;
  checkpoint();
  throw StreamFailure{io::outputError()};
}

// The job could not be sent: it ends as a failure, without its closing.
int streamFailed(int error) {
  io::report("DEBUG:[ZUVA-KPX7720MW] printer stream not writable: %s\n", std::strerror(error));
  io::report("ERROR: The job could not be sent to the printer.\n");
  closeLog("");
  writeState(kStateReady);
  return kExitFailed;
}

// The printed job: the trailer goes out once the printer has the data.
int completed() {
  char data[512] = {};
  int datalen = sizeof data;
  if (io::drainOutput(1.0, data, &datalen) == io::kCancelled) checkpoint();
  sendTrailer();
  checkpoint();
  checkOutput();
  // Status the printer sent while the last pages went out.
  char status[512];
  // Only a printer behind a CUPS backend (DEVICE_URI set) can still answer.
  const int wait = std::getenv("DEVICE_URI") != nullptr ? kFinalStatusWaitMs : 0;
  ssize_t got = io::readBackChannel(status, sizeof status, wait);
  if (got > 0) learnPrinterStatus(std::string_view(status, static_cast<size_t>(got)));
  if (g_job.variant->statusOverUdp) askNetworkPrinterStatus();

  writeState(kStateReady);
  closeLog(kLogCompleted);
  endKeyReasons();
  reportJobEnd(g_job.settings.jobId);
  return kExitOk;
}

// Writes bytes to the printer. A printer that takes nothing at all for two
// seconds is treated like one that fails a drain request: after
// kToleratedDrainFailures such stalls in a row the next one cancels the job
// (the backend would otherwise hold the filter in its write for good).
size_t writeChunkToPrinter(const char *data, size_t length) {
  size_t sent = 0;
  int stalls = 0;
  while (sent < length) {
    bool stalled = false;
    size_t n = io::writeToPrinter(data + sent, length - sent, 2000, &stalled);
    sent += n;
    checkpoint();
    if (!stalled) break;
    if (n > 0) stalls = 0;
    io::report("[ZUVA-KPX7720MW] DEBUG: printer took no data for 2 s\n");
    if (stalls >= kToleratedDrainFailures) throw Cancellation{kStallCancelCode};
    ++stalls;
    if (!io::pauseFor(500)) checkpoint();
  }
  return sent;
}

// Sends page data chunk by chunk, the ticket ahead of the first, pacing on
// the printer with drain requests.
class PrinterStream {
 public:
  explicit PrinterStream(const std::string &ticket) : ticket_(ticket) {}

  // Writes a chunk (the ticket ahead of the first); the bytes of the chunk
  // written.
  size_t write(const char *data, size_t n) {
    if (first_) {
      first_ = false;
      size_t written = writeChunkToPrinter(ticket_.data(), ticket_.size());
      g_job.ticketSent = written > 0;
      if (written != ticket_.size())
        io::report("[ZUVA-KPX7720MW] DEBUG: send to printer head error writecont != %d\n",
                   static_cast<int>(ticket_.size()));
      checkOutput();
    }
    const size_t sent = writeChunkToPrinter(data, n);
    shortWrite_ = sent != n;
    return sent;
  }

  // Once the chunk's pages are counted.
  void written() {
    if (shortWrite_)
      io::report("[ZUVA-KPX7720MW] DEBUG: send to printer error writecont != bytes_read\n");
    checkpoint();
    checkOutput();
    paceOnPrinter();
  }

 private:
  void paceOnPrinter() {
    const FilterVariant &v = *g_job.variant;
    int datalen = 1;
    int result = io::drainOutput(2.0, status_, &datalen);
    if (result == io::kCancelled) checkpoint();
    io::report("[ZUVA-KPX7720MW] DEBUG: send to printer  status = %d\n", result);
    if (v.copiesBackChannelStatus)
      io::report("[ZUVA-KPX7720MW] DEBUG: data = %s\n", withoutControlBytes(status_).c_str());
    if (result == CUPS_SC_STATUS_OK) {
      failures_ = 0;
    } else {
      io::report("[ZUVA-KPX7720MW] DEBUG: send to printer error status = %d\n", result);
      if (isCountedDrainFailure(v, result)) {
        if (failures_ >= kToleratedDrainFailures) throw Cancellation{kStallCancelCode};
        ++failures_;
        if (!io::pauseFor(500)) checkpoint();
      }
    }
    std::memset(status_, 0, sizeof status_);
    ssize_t got = io::readBackChannel(status_, sizeof status_ - 1, 0);
    if (got > 0) learnPrinterStatus(std::string_view(status_, static_cast<size_t>(got)));
    if (v.copiesBackChannelStatus && got > kBackChannelStateMinimum) writeState(status_, 4);
  }

  const std::string &ticket_;
  bool first_ = true;
  bool shortWrite_ = false;
  int failures_ = 0;
  char status_[512] = {};
};

// Runs the interpreter on the document and streams its output to the
// printer behind the job ticket; false when the conversion failed.
bool convert(const std::string &interpreter, const JobDocument &document, const RasterArgs &raster, Duplex duplex,
             const std::string &mediaPosition, const std::string &ticket) {
  PrinterStream printer(ticket);
  // A cancellation or stream failure met while sending: it unwinds once the
  // interpreter is collected.
  std::exception_ptr stop;

  InterpreterRun run;
  run.program = interpreter;
  run.args = interpreterArgs(duplex, raster, mediaPosition);
  // PostScript from pstops carries its copies; a PDF from pdftopdf leaves
  // uncollated copies to the printer.
  if (document.format() == DocumentFormat::Pdf)
    addDocumentRequests(run.args, printerCopiesAfterPdftopdf(std::atoi(g_job.settings.copies.c_str()),
                                                             g_job.settings.options),
                        0, 0);
  run.document = document.path();
  run.inputFd = document.fd();
  run.inputHead = document.head();
  // It has no business with the CUPS channels.
  run.closeInChild = {3, 4};
  run.resolutionArg = raster.resolution;
  run.wakeFd = io::cancelWakeFd();
  run.cancelled = [] { return io::pendingSignal() != 0; };
  run.started = [&raster](pid_t) {
    io::report("[ZUVA-KPX7720MW] DEBUG:resolution = %s\n", raster.resolution.c_str());
  };
  run.execFailed = [&interpreter](int err) {
    io::report("DEBUG:[ZUVA-KPX7720MW]execl() of pstopxl ('%s') failed, errno=%d (%s)\n", interpreter.c_str(), err,
               std::strerror(err));
  };
  run.openingDropped = [](const PreambleVerdict &verdict) {
    if (!verdict.expectedShape)
      io::report("DEBUG:[ZUVA-KPX7720MW] unexpected interpreter opening text, dropped %zu bytes of job control\n",
                 verdict.discard);
  };
  run.readFailed = [](int err) {
    io::report("DEBUG:[ZUVA-KPX7720MW] read from the interpreter failed: %s\n", std::strerror(err));
  };
  run.sink = [&](const char *data, size_t n) {
    try {
      return SinkResult{printer.write(data, n), true};
    } catch (...) {
      stop = std::current_exception();
      return SinkResult{0, false};
    }
  };
  run.afterSink = [&] {
    try {
      printer.written();
      return true;
    } catch (...) {
      stop = std::current_exception();
      return false;
    }
  };
  run.pageSent = reportPageSent;

  const InterpreterResult r = runInterpreter(run);
  if (stop) std::rethrow_exception(stop);
  switch (r.end) {
    case InterpreterResult::End::Cancelled: checkpoint(); break;
    case InterpreterResult::End::NotStarted:
      if (std::strcmp(r.failedStep, "pipe") == 0)
        io::report("Unable to create pipe to talk to pstopxl process. errno = %d (%s)\n", r.error,
                   std::strerror(r.error));
      else
        io::report("Unable to fork a pstopxl process. errno=%d (%s)\n", r.error, std::strerror(r.error));
      return false;
    case InterpreterResult::End::Refused:
    case InterpreterResult::End::TimedOut:
    case InterpreterResult::End::Finished: break;
  }
  signal(SIGPIPE, SIG_IGN);
  if (!r.collected) {
    io::report("DEBUG:[ZUVA-KPX7720MW]Wait for pstopxl process to terminated failed. errno = %d (%s)\n", r.error,
               std::strerror(r.error));
    return false;
  }
  const int wstatus = r.waitStatus;
  if (r.inputCut) {
    io::report("DEBUG:[ZUVA-KPX7720MW] the document ended early: its copy to pstopxl was cut short\n");
    return false;
  }
  if (WIFEXITED(wstatus) && WEXITSTATUS(wstatus) == 0) return true;
  if (WIFEXITED(wstatus))
    io::report("DEBUG:[ZUVA-KPX7720MW]pstopxl failed.  Exit code=%d\n", WEXITSTATUS(wstatus));
  else if (WIFSIGNALED(wstatus))
    io::report("DEBUG:[ZUVA-KPX7720MW]pstopxl process died due to a signal %d.\n", WTERMSIG(wstatus));
  else
    io::report("DEBUG:[ZUVA-KPX7720MW]pstopxl process died with exit code %d\n", wstatus);
  return false;
}

// The copies the spooled document asks for. Its page comments are not
// what the job log counts: documents that reach us converted from PDF,
// images or text carry none, so the log counts the pages sent instead.
int spooledCopies(const std::string &jobId) {
  const std::string path = spoolPath(cupsRequestRoot(), jobId);
  io::report("DEBUG:[ZUVA-KPX7720MW] psfilepth for get Page Count= %s\n", path.c_str());
  SpoolScan scan;
  if (FILE *f = std::fopen(path.c_str(), "re")) {
    char line[kSpoolLineBuffer];
    while (std::fgets(line, sizeof line, f) != nullptr) scanSpoolLine(line, scan);
    std::fclose(f);
  }
  return spoolCopies(scan);
}

// Asks the network printer whether it may print now: 0 yes, 2 no usable
// answer (ask again later).
int checkLockPrinter() {
  static char reply[10240];
  std::memset(reply, 0, sizeof reply);
  int datalen = sizeof reply;
  int lastCode = protocol::kNoReplyCode;

  io::writeToPrinter(protocol::kLockQuery.data(), protocol::kLockQuery.size());
  checkpoint();
  checkOutput();
  if (io::drainOutput(10.0, reply, &datalen) == io::kCancelled) checkpoint();

  for (;;) {
    std::memset(reply, 0, sizeof reply);
    ssize_t n = io::readBackChannel(reply, sizeof reply - 1, 10000);
    if (n == io::kCancelled) checkpoint();
    if (n <= 3) {
      lastCode = protocol::kNoReplyCode;
      datalen = sizeof reply;
      if (io::drainOutput(10.0, reply, &datalen) == io::kCancelled) checkpoint();
      for (int i = 0; i < 3; ++i) {
        std::memset(reply, 0, sizeof reply);
        n = io::readBackChannel(reply, sizeof reply - 1, 2000);
        if (n == io::kCancelled) checkpoint();
        if (n > 1) break;
      }
    }
    if (n > 0) learnPrinterStatus(std::string_view(reply, static_cast<size_t>(n)));
    protocol::LockReplyScan scan = protocol::scanLockReply(reply, lastCode);
    lastCode = scan.lastCode;
    switch (protocol::lockOutcome(scan)) {
      case protocol::LockOutcome::MayPrint: return 0;
      case protocol::LockOutcome::NoAnswer: return 2;
      case protocol::LockOutcome::ReadAgain: break;
    }
  }
}

void waitForPrinterLock() {
  for (;;) {
    int outcome = checkLockPrinter();
    if (outcome == 0) return;
    if (outcome == 1)
      io::report("INFO:打印机忙，请稍后\n");
    else
      io::report("INFO:正在连接打印机，请稍后\n");
    if (!io::pauseFor(1000)) checkpoint();
  }
}

struct PpdCloser {
  void operator()(ppd_file_t *ppd) const { ppdClose(ppd); }
};
using PpdFile = std::unique_ptr<ppd_file_t, PpdCloser>;

// The queue's PPD (CUPS names it in PPD), or none.
PpdFile openPpd() {
  const char *path = std::getenv("PPD");
  if (path == nullptr) return nullptr;
  PpdFile ppd(ppdOpenFile(path));
  if (!ppd) {
    int line = 0;
    ppd_status_t status = ppdLastError(&line);
    io::report("DEBUG:[ZUVA-KPX7720MW] cannot open the PPD %s: %s (line %d); using the defaults\n", path,
               ppdErrorString(status), line);
  }
  return ppd;
}

// Reads the job's choices from the PPD as CUPS marked them; the key's
// verdict and the custom size range come back beside them.
SecureKey readChoices(JobSettings &s, CustomSizeRange *range) {
  PpdFile ppd = openPpd();
  // What the PPD does not mark falls back to the printer's defaults.
  s.pageSize = defaultMediaSize().keyword;
  s.mediaType = defaultMediaType().keyword;
  s.inputSlot = autoInputSlot().keyword;
  s.duplex = defaultDuplexMode().keyword;
  s.resolution = defaultResolution().keyword;
  *range = kDefaultCustomRange;
  return applyPpdChoices(ppd.get(), s.options, s, range);
}

// The job from its settings to the last byte of page data.
Ending runJob(const FilterVariant &variant, const char *fileName) {
  JobSettings &s = g_job.settings;
  CustomSizeRange range;
  SecureKey key = readChoices(s, &range);
  checkpoint();

  if (key.verdict == SecureKey::Verdict::Incomplete) return Ending::KeyRejected;
  s.key = key.key;
  // A key rejected in an earlier job is that job's matter.
  withdrawKeyRejected();

  io::replaceRecord(g_job.paths.printerInfo, formatPrinterInfo(s), 8, false);
  checkpoint();

  g_job.copies = std::max(std::atoi(s.copies.c_str()), spooledCopies(s.jobId));
  g_job.logBlockDue = true;
  writeState(kStatePrinting);
  checkpoint();

  const Duplex duplex = duplexModeFor(s.duplex);
  RasterArgs raster = rasterArgsFor(s.pageSize, s.resolution, s.customSize, range);
  if (!raster.fallback.empty())
    io::report("DEBUG:[ZUVA-KPX7720MW] %s; printing A4 at 600 dpi\n", withoutControlBytes(raster.fallback).c_str());
  Ticket ticket = buildTicket(s);

  JobDocument document;
  switch (document.open(fileName)) {
    case JobDocument::Opened::Ok: break;
    case JobDocument::Opened::Cancelled: checkpoint(); break;
    case JobDocument::Opened::Failed:
      io::report("DEBUG:[ZUVA-KPX7720MW] %s\n", document.error().c_str());
      return Ending::ConversionFailed;
  }
  checkpoint();
  io::report("DEBUG:[ZUVA-KPX7720MW] document: %s\n",
             document.format() == DocumentFormat::Pdf ? ("PDF " + document.path()).c_str() : "PostScript");

  if (variant.statusOverUdp) askNetworkPrinterStatus();
  if (variant.checksLock) waitForPrinterLock();
  checkpoint();

  reportJobStart();
  if (!convert(g_job.paths.interpreter, document, raster, duplex, ticket.mediaPosition, ticket.text))
    return Ending::ConversionFailed;
  checkpoint();
  return Ending::Completed;
}

int finish(Ending ending) {
  switch (ending) {
    case Ending::Completed: return completed();
    case Ending::ConversionFailed: return conversionFailed();
    case Ending::KeyRejected: return keyRejected();
  }
  return kExitFailed;
}

}  // namespace

int runFilter(const FilterVariant &variant, int argc, char **argv) {
  io::openMissingStandardFds();
  if (argc < 6) {
    std::fprintf(stderr, "Usage: %s job-id user title copies options [file]\n", argc > 0 ? argv[0] : variant.programName);
    return kExitFailed;
  }
  g_job.variant = &variant;
  g_job.paths = recordPathsFor(variant, printersRoot());
  JobSettings &s = g_job.settings;

  io::installCancelHandlers(variant);
  io::prepareOutput();

  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  JobTimes times = formatJobTimes(local);
  s.logTime = times.logTime;
  s.jobTime = times.jobTime;
  s.logDate = times.logDate;

  utsname un{};
  if (uname(&un) == 0)
    s.hostName = un.nodename;
  else
    io::report("DEBUG:[ZUVA-KPX7720MW] get uname error");

  s.printerName = argv[0];
  s.jobId = argv[1];
  s.user = argv[2];
  s.title = argv[3];
  s.copies = argv[4];
  s.options = argv[5];
  try {
    checkpoint();
    return finish(runJob(variant, argc > 6 && argv[6][0] != '\0' ? argv[6] : nullptr));
  } catch (const Cancellation &c) {
    return cancelJob(c.code);
  } catch (const StreamFailure &f) {
    return streamFailed(f.error);
  }
}

}  // namespace kpx
