#include "interpreter.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <optional>

#include "pclxl_pages.h"

namespace kpx {

namespace {

void sleepMs(int ms) {
  timespec ts{ms / 1000, (ms % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) < 0 && errno == EINTR) {
  }
}

// The interpreter's process until it is collected: whatever way the run
// ends, it does not outlive it.
class Child {
 public:
  explicit Child(pid_t pid) : pid_(pid) {}
  ~Child() { stop(); }
  Child(const Child &) = delete;
  Child &operator=(const Child &) = delete;

  // Ends it politely, then for good after two seconds, and collects it.
  void stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    for (int i = 0; i < 100; ++i) {
      pid_t r = waitpid(pid_, &status_, WNOHANG);
      if (r == pid_ || (r < 0 && errno != EINTR)) {
        collected_ = r == pid_;
        pid_ = -1;
        return;
      }
      sleepMs(20);
    }
    kill(pid_, SIGKILL);
    pid_t r;
    while ((r = waitpid(pid_, &status_, 0)) < 0 && errno == EINTR) {
    }
    collected_ = r == pid_;
    pid_ = -1;
  }

  // Waits for its end; false when the wait failed (errno) or was cut short
  // by a cancellation (then it is stopped).
  bool wait(const std::function<bool()> &cancelled, bool *wasCancelled) {
    pid_t r;
    while ((r = waitpid(pid_, &status_, 0)) < 0 && errno == EINTR) {
      if (cancelled && cancelled()) {
        *wasCancelled = true;
        stop();
        return false;
      }
    }
    if (r < 0) return false;
    collected_ = true;
    pid_ = -1;
    return true;
  }

  // Collects it if it has ended; whether it has.
  bool ended() {
    if (pid_ <= 0) return collected_;
    if (waitpid(pid_, &status_, WNOHANG) != pid_) return false;
    collected_ = true;
    pid_ = -1;
    return true;
  }

  bool collected() const { return collected_; }
  int status() const { return status_; }

 private:
  pid_t pid_;
  int status_ = 0;
  bool collected_ = false;
};

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { reset(); }
  Fd(const Fd &) = delete;
  Fd &operator=(const Fd &) = delete;
  int get() const { return fd_; }
  void reset(int fd = -1) {
    if (fd_ >= 0) close(fd_);
    fd_ = fd;
  }

 private:
  int fd_;
};

constexpr int kPumpReadFailed = 2;
constexpr int kPumpWriteFailed = 3;

// The process that gives the interpreter inputHead and then the rest of
// input, through the pipe whose write end is `to`. Only calls that are safe
// after fork (the printer application forks from a threaded process).
[[noreturn]] void pumpInput(const std::string &head, int input, int to) {
  signal(SIGPIPE, SIG_DFL);
  signal(SIGTERM, SIG_DFL);
  static char buffer[65536];
  const char *data = head.data();
  ssize_t left = static_cast<ssize_t>(head.size());
  for (;;) {
    while (left > 0) {
      const ssize_t w = write(to, data, static_cast<size_t>(left));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) _exit(kPumpWriteFailed);  // the interpreter stopped reading
      data += w;
      left -= w;
    }
    const ssize_t r = read(input, buffer, sizeof buffer);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0 && errno == EAGAIN) {
      pollfd p{input, POLLIN, 0};
      poll(&p, 1, -1);
      continue;
    }
    if (r <= 0) _exit(r == 0 ? 0 : kPumpReadFailed);
    data = buffer;
    left = r;
  }
}

}  // namespace

InterpreterResult runInterpreter(const InterpreterRun &run) {
  InterpreterResult result;
  auto cancelled = [&run] { return run.cancelled && run.cancelled(); };

  std::vector<std::string> args = run.args;
  Fd nullInput;
  int input = run.inputFd;
  if (!run.document.empty()) {
    if (!args.empty() && args.back() == "-") args.back() = run.document;
    nullInput.reset(open("/dev/null", O_RDONLY | O_CLOEXEC));
    if (nullInput.get() < 0) {
      result.failedStep = "open";
      result.error = errno;
      return result;
    }
    input = nullInput.get();
  }
  // The pipe a process of ours fills with inputHead and the rest of the
  // input (started after the interpreter, below).
  Fd pumped, pumpTo;
  if (run.document.empty() && !run.inputHead.empty()) {
    int p[2];
    if (pipe2(p, O_CLOEXEC) < 0) {
      result.failedStep = "pipe";
      result.error = errno;
      return result;
    }
    pumped.reset(p[0]);
    pumpTo.reset(p[1]);
    input = pumped.get();
  }
  std::vector<char *> argv;
  for (std::string &a : args) argv.push_back(&a[0]);
  argv.push_back(nullptr);

  int fds[2];
  if (pipe2(fds, O_CLOEXEC) < 0) {
    result.failedStep = "pipe";
    result.error = errno;
    return result;
  }
  Fd output(fds[0]);
  const pid_t pid = fork();
  if (pid < 0) {
    result.failedStep = "fork";
    result.error = errno;
    close(fds[1]);
    return result;
  }
  if (pid == 0) {
    if (input != STDIN_FILENO) dup2(input, STDIN_FILENO);
    dup2(fds[1], STDOUT_FILENO);
    if (run.errorFd >= 0) dup2(run.errorFd, STDERR_FILENO);
    for (int fd : run.closeInChild) close(fd);
    signal(SIGPIPE, SIG_DFL);
    execv(run.program.c_str(), argv.data());
    const int err = errno;
    if (run.execFailed) run.execFailed(err);
    _exit(127);
  }
  close(fds[1]);
  nullInput.reset();
  Child child(pid);
  // Stopped (if still copying) once the interpreter is collected; declared
  // after it, so stopped first on an early return.
  std::optional<Child> pump;
  if (pumpTo.get() >= 0) {
    const pid_t pumpPid = fork();
    if (pumpPid < 0) {
      result.failedStep = "fork";
      result.error = errno;
      return result;
    }
    if (pumpPid == 0) {
      // Nothing but its two ends: not the printer stream, not the channels.
      close(output.get());
      close(pumped.get());
      if (run.inputFd != STDOUT_FILENO && pumpTo.get() != STDOUT_FILENO) close(STDOUT_FILENO);
      for (int fd : run.closeInChild)
        if (fd != run.inputFd && fd != pumpTo.get()) close(fd);
      pumpInput(run.inputHead, run.inputFd, pumpTo.get());
    }
    pump.emplace(pumpPid);
  }
  pumped.reset();
  pumpTo.reset();
  // Room for the interpreter to keep rendering while a chunk goes out; the
  // default 64 KiB pipe would hold it up at every chunk.
  fcntl(output.get(), F_SETPIPE_SZ, static_cast<int>(4 * kInterpreterChunk));
  if (run.started) run.started(pid);

  PclXlPageCounter counter;
  bool stopped = false;
  // Gives data to the sink; false once it stops.
  auto give = [&](const char *data, size_t length) {
    result.output = true;
    SinkResult s = run.sink(data, length);
    for (int copies : counter.feed(data, std::min(s.taken, length))) {
      ++result.pages;
      if (run.pageSent) run.pageSent(copies);
    }
    return s.goOn && (!run.afterSink || run.afterSink());
  };
  std::string pending;  // page data waiting for a whole chunk
  auto deliver = [&](const char *data, size_t length) {
    if (!run.wholeChunks) return length == 0 || give(data, length);
    pending.append(data, length);
    size_t at = 0;
    bool goOn = true;
    while (goOn && pending.size() - at >= kInterpreterChunk) {
      goOn = give(pending.data() + at, kInterpreterChunk);
      at += kInterpreterChunk;
    }
    pending.erase(0, at);
    return goOn;
  };

  const size_t expected = preambleLength(run.resolutionArg);
  const size_t openingLimit = std::max(expected, kPreambleSearchLimit);
  std::string head;
  bool headDone = false, atEnd = false;
  std::vector<char> buffer(kInterpreterChunk);
  std::chrono::steady_clock::duration interpreting{};
  int wake = run.wakeFd;
  result.end = InterpreterResult::End::Finished;

  while (!atEnd && !stopped) {
    if (cancelled()) {
      result.end = InterpreterResult::End::Cancelled;
      break;
    }
    if (run.timeLimitSeconds > 0 && interpreting > std::chrono::seconds(run.timeLimitSeconds)) {
      result.end = InterpreterResult::End::TimedOut;
      break;
    }
    pollfd p[2] = {{output.get(), POLLIN, 0}, {wake, POLLIN, 0}};
    const auto waitStart = std::chrono::steady_clock::now();
    const int r = poll(p, wake >= 0 ? 2 : 1, run.pollMs);
    interpreting += std::chrono::steady_clock::now() - waitStart;
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) {
      if (run.readFailed) run.readFailed(errno);
      atEnd = true;
    } else if (r == 0 || p[0].revents == 0) {
      // A wake-up that is not a cancellation is not waited for again.
      if (wake >= 0 && p[1].revents != 0 && !cancelled()) wake = -1;
      continue;
    }
    size_t n = 0;
    if (!atEnd) {
      const size_t want = headDone ? buffer.size() : std::min(buffer.size(), openingLimit - head.size());
      const ssize_t got = read(output.get(), buffer.data(), want);
      if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (got < 0 && run.readFailed) run.readFailed(errno);
      if (got <= 0) atEnd = true;
      n = got > 0 ? static_cast<size_t>(got) : 0;
    }
    if (!headDone) {
      head.append(buffer.data(), n);
      PreambleVerdict verdict = classifyPreamble(head, expected, atEnd);
      if (verdict.action == PreambleVerdict::Action::NeedMore) continue;
      headDone = true;
      if (run.openingDropped) run.openingDropped(verdict);
      head.erase(0, verdict.discard);
      stopped = !head.empty() && !deliver(head.data(), head.size());
      head.clear();
    } else {
      stopped = !deliver(buffer.data(), n);
    }
    if (atEnd && !stopped && !pending.empty()) stopped = !give(pending.data(), pending.size());
  }
  if (stopped) result.end = InterpreterResult::End::Refused;

  if (result.end != InterpreterResult::End::Finished) {
    child.stop();
  } else {
    bool waitCancelled = false;
    if (!child.wait(run.cancelled, &waitCancelled)) {
      if (waitCancelled) {
        result.end = InterpreterResult::End::Cancelled;
      } else {
        result.failedStep = "wait";
        result.error = errno;
      }
    }
  }
  // The input cut short (the copying process killed, or the input not
  // readable) fails a run that looked finished: the interpreter saw an end
  // of the document that was not there. It stopping to read is no fault.
  if (pump && result.end == InterpreterResult::End::Finished && pump->ended()) {
    const int st = pump->status();
    const bool whole = (WIFEXITED(st) && (WEXITSTATUS(st) == 0 || WEXITSTATUS(st) == kPumpWriteFailed)) ||
                       (WIFSIGNALED(st) && WTERMSIG(st) == SIGPIPE);
    result.inputCut = !whole;
  }
  output.reset();
  result.collected = child.collected();
  result.waitStatus = child.status();
  return result;
}

}  // namespace kpx
