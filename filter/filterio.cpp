#include "filterio.h"

#include <cups/backend.h>
#include <cups/sidechannel.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace kpx::io {

namespace {

constexpr int kBackChannelFd = 3;  // CUPS passes the back channel on fd 3

volatile sig_atomic_t g_signal = 0;
int g_wakePipe[2] = {-1, -1};
bool g_backChannelGone = false;
int g_outputError = 0;

extern "C" void onCancelSignal(int sig) {
  int saved = errno;
  if (g_signal == 0) g_signal = sig;
  if (g_wakePipe[1] >= 0) {
    char b = 1;
    ssize_t ignored = write(g_wakePipe[1], &b, 1);
    (void)ignored;
  }
  errno = saved;
}

long long nowMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void pause5ms() {
  timespec ts{0, 5 * 1000 * 1000};
  while (nanosleep(&ts, &ts) < 0 && errno == EINTR) {
  }
}

std::string dirOf(const std::string &path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string baseOf(const std::string &path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

void reportOpenError(const std::string &path, int err) {
  report("DEBUG:[ZUVA-KPX7720MW]open file error %s\n", path.c_str());
  report("DEBUG:[ZUVA-KPX7720MW] error number=%d, reason:%s\n", err, std::strerror(err));
}

}  // namespace

bool writeAll(int fd, const char *data, size_t length) {
  while (length > 0) {
    ssize_t n = write(fd, data, length);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    length -= static_cast<size_t>(n);
  }
  return true;
}

// Moves fd to 10 or above: fds 3 and 4 belong to the CUPS back and side
// channels even when they happen not to be open (a filter run by hand).
static int highFd(int fd) {
  if (fd < 0 || fd >= 10) return fd;
  int moved = fcntl(fd, F_DUPFD_CLOEXEC, 10);
  close(fd);
  return moved;
}

void openMissingStandardFds() {
  for (int fd = 0; fd <= 4; ++fd) {
    if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
    int mode = O_RDWR;
    if (fd == STDIN_FILENO || fd == STDOUT_FILENO || fd == kBackChannelFd) mode = O_RDONLY;
    if (fd == STDERR_FILENO) mode = O_WRONLY;
    int opened = open("/dev/null", mode);  // the lowest free number: fd itself
    if (opened >= 0 && opened != fd) {
      dup2(opened, fd);
      close(opened);
    }
    if (fd == kBackChannelFd) g_backChannelGone = true;
  }
}

void installCancelHandlers(const FilterVariant &v) {
  if (g_wakePipe[0] < 0) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
      g_wakePipe[0] = highFd(fds[0]);
      g_wakePipe[1] = highFd(fds[1]);
      if (g_wakePipe[1] >= 0) fcntl(g_wakePipe[1], F_SETFL, O_NONBLOCK);
      if (g_wakePipe[0] >= 0) fcntl(g_wakePipe[0], F_SETFL, O_NONBLOCK);
    }
  }
  struct sigaction sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sa_handler = onCancelSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = 0;  // no SA_RESTART: blocking calls return EINTR
  sigaction(SIGPIPE, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  if (v.catchesSigint) sigaction(SIGINT, &sa, nullptr);
}

int pendingSignal() { return g_signal; }

int cancelWakeFd() { return g_wakePipe[0]; }

Wait waitReadable(int fd, int timeoutMs) {
  const long long deadline = timeoutMs < 0 ? 0 : nowMs() + timeoutMs;
  for (;;) {
    if (g_signal != 0) return Wait::Cancelled;
    pollfd fds[2];
    nfds_t n = 0;
    if (g_wakePipe[0] >= 0) fds[n++] = {g_wakePipe[0], POLLIN, 0};
    const nfds_t watched = n;
    if (fd >= 0) fds[n++] = {fd, POLLIN, 0};
    int wait = -1;
    if (timeoutMs >= 0) {
      long long left = deadline - nowMs();
      if (left < 0) left = 0;
      wait = static_cast<int>(left);
    }
    int r = poll(fds, n, wait);
    if (r < 0) {
      if (errno == EINTR) continue;
      return Wait::Ready;  // let the caller's own call report the error
    }
    if (g_signal != 0) return Wait::Cancelled;
    if (r == 0) return Wait::Timeout;
    if (fd >= 0 && fds[watched].revents != 0) return Wait::Ready;
    if (watched > 0 && fds[0].revents != 0) {
      // A wake-up without a signal noted: empty the pipe so it cannot spin us.
      char junk[64];
      while (read(g_wakePipe[0], junk, sizeof junk) > 0) {
      }
    }
    if (timeoutMs >= 0 && nowMs() >= deadline) return Wait::Timeout;
  }
}

bool pauseFor(int ms) { return waitReadable(-1, ms) != Wait::Cancelled; }

int drainOutput(double timeoutSeconds, char *data, int *datalen, bool interruptible) {
  if (!interruptible)
    return cupsSideChannelDoRequest(CUPS_SC_CMD_DRAIN_OUTPUT, data, datalen, timeoutSeconds);

  // The same request as cupsSideChannelDoRequest, with the wait for the
  // answer watching for cancellation too.
  if (cupsSideChannelWrite(CUPS_SC_CMD_DRAIN_OUTPUT, CUPS_SC_STATUS_NONE, nullptr, 0, timeoutSeconds) != 0)
    return CUPS_SC_STATUS_TIMEOUT;
  switch (waitReadable(CUPS_SC_FD, static_cast<int>(timeoutSeconds * 1000))) {
    case Wait::Cancelled: return kCancelled;
    case Wait::Timeout: return CUPS_SC_STATUS_TIMEOUT;
    case Wait::Ready: break;
  }
  cups_sc_command_t command = CUPS_SC_CMD_NONE;
  cups_sc_status_t status = CUPS_SC_STATUS_NONE;
  if (cupsSideChannelRead(&command, &status, data, datalen, 1.0) != 0) return CUPS_SC_STATUS_TIMEOUT;
  if (command != CUPS_SC_CMD_DRAIN_OUTPUT) return CUPS_SC_STATUS_BAD_MESSAGE;
  return status;
}

ssize_t readBackChannel(char *buffer, size_t length, int timeoutMs) {
  // Without a back channel (none given, or closed by the backend) the
  // printer is one that does not reply: the wait is the same.
  if (g_backChannelGone) return waitReadable(-1, timeoutMs) == Wait::Cancelled ? kCancelled : -1;
  // cupsBackChannelRead goes on to a blocking read even when its own wait
  // timed out, so it is only called once data is there; and never without
  // a back channel, where it would go round for good.
  if (fcntl(kBackChannelFd, F_GETFD) < 0) return -1;
  switch (waitReadable(kBackChannelFd, timeoutMs)) {
    case Wait::Cancelled: return kCancelled;
    case Wait::Timeout: return -1;
    case Wait::Ready: break;
  }
  ssize_t n = cupsBackChannelRead(buffer, length, 0.0);
  if (n == 0) {
    // Readable with nothing to read: the other end is closed for good.
    report("DEBUG:[ZUVA-KPX7720MW] back channel closed\n");
    g_backChannelGone = true;
    return -1;
  }
  return n;
}

void prepareOutput() {
  struct stat st;
  if (fstat(STDOUT_FILENO, &st) == 0 && (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)))
    fcntl(STDOUT_FILENO, F_SETFL, fcntl(STDOUT_FILENO, F_GETFL) | O_NONBLOCK);
}

size_t writeToPrinter(const void *data, size_t length, int stallMs, bool *stalled) {
  const char *p = static_cast<const char *>(data);
  size_t done = 0;
  if (stalled != nullptr) *stalled = false;
  while (done < length) {
    ssize_t n = write(STDOUT_FILENO, p + done, length - done);
    if (n >= 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (errno == EINTR && g_signal == 0) continue;
    if (errno != EAGAIN) {
      if (errno != EINTR && g_outputError == 0) g_outputError = errno;
      break;
    }
    // The backend is not taking data: wait until it does, for a while.
    if (g_signal != 0) break;
    pollfd fds[2] = {{STDOUT_FILENO, POLLOUT, 0}, {g_wakePipe[0], POLLIN, 0}};
    int r = poll(fds, g_wakePipe[0] >= 0 ? 2 : 1, stallMs);
    if (r == 0) {
      if (stalled != nullptr) *stalled = true;
      break;
    }
    if (r < 0 && errno != EINTR) break;
  }
  return done;
}

int outputError() { return g_outputError; }

void report(const char *format, ...) {
  char line[2048];
  va_list ap;
  va_start(ap, format);
  int n = std::vsnprintf(line, sizeof line, format, ap);
  va_end(ap);
  if (n < 0) return;
  size_t len = static_cast<size_t>(n) < sizeof line ? static_cast<size_t>(n) : sizeof line - 1;
  writeAll(STDERR_FILENO, line, len);
}

bool replaceRecord(const std::string &path, const std::string &content, int attempts, bool stateFile) {
  const std::string tmpl = dirOf(path) + "/." + baseOf(path) + ".XXXXXX";
  for (int i = 0; i < attempts; ++i) {
    std::string tmp = tmpl;
    int fd = mkostemp(&tmp[0], O_CLOEXEC);
    if (fd < 0) {
      int err = errno;
      if (stateFile)
        report("[ZUVA-KPX7720MW] DEBUG:Can not Open Debug File=%s!!! errno=%d\n", path.c_str(), err);
      else
        reportOpenError(path, err);
      if (i + 1 < attempts) pause5ms();
      continue;
    }
    if (stateFile) report("[ZUVA-KPX7720MW] DEBUG:Open Debug File=%s ok\n", path.c_str());
    fchmod(fd, 0644);
    bool ok = writeAll(fd, content.data(), content.size());
    ok = (close(fd) == 0) && ok;
    if (ok && rename(tmp.c_str(), path.c_str()) == 0) return true;
    report("DEBUG:[ZUVA-KPX7720MW] could not replace %s: %s\n", path.c_str(), std::strerror(errno));
    unlink(tmp.c_str());
    return false;
  }
  return false;
}

int openLog(const std::string &path) {
  for (int i = 0; i < 8; ++i) {
    int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
      // A new log is made readable by everyone, whatever our umask.
      fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
      if (fd >= 0) fchmod(fd, 0644);
      else if (errno == EEXIST) fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    }
    if (fd >= 0) return fd;
    reportOpenError(path, errno);
    if (i + 1 < 8) pause5ms();
  }
  return -1;
}

void appendAndClose(int fd, const std::string &text) {
  while (flock(fd, LOCK_EX) < 0 && errno == EINTR) {
  }
  struct stat st;
  const bool sized = fstat(fd, &st) == 0;
  ssize_t n;
  while ((n = write(fd, text.data(), text.size())) < 0 && errno == EINTR) {
  }
  if (n != static_cast<ssize_t>(text.size())) {
    int err = n < 0 ? errno : ENOSPC;
    bool undone = n <= 0 || (sized && ftruncate(fd, st.st_size) == 0);
    report("DEBUG:[ZUVA-KPX7720MW] job log not written (%s), %s\n", std::strerror(err),
           undone ? "nothing of it kept" : "a part of it could not be removed");
  }
  close(fd);  // releases the lock
}

void appendLog(const std::string &path, const std::string &text) {
  int fd = openLog(path);
  if (fd >= 0) appendAndClose(fd, text);
}

}  // namespace kpx::io
