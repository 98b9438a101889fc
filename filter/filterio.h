// The filter's edges: signals, waits that a cancellation cuts short, the
// CUPS side and back channels, standard output and the record files.
//
// A cancellation signal only sets a flag and wakes a self-pipe; every wait
// below watches that pipe, so the job flow notices the signal within its
// current step and runs the cancellation on the main flow.
#pragma once

#include <sys/types.h>

#include <string>

#include "variant.h"

namespace kpx::io {

// Gives every one of fds 0-4 that is not open a stand-in on /dev/null, so
// that nothing the filter creates later takes the number of a CUPS stream
// or channel. A missing standard output is opened read-only: the printer
// stream then fails to take data instead of swallowing it. A missing back
// channel reads as a printer that never replies. Call before anything else.
void openMissingStandardFds();

// Installs the cancellation handler for SIGPIPE and SIGTERM (and SIGINT
// where the variant says so). System calls are not restarted after it.
void installCancelHandlers(const FilterVariant &v);

// The first cancellation signal caught, 0 while none.
int pendingSignal();

// A descriptor that turns readable once a cancellation signal is caught
// (-1 before installCancelHandlers), for waits outside this file.
int cancelWakeFd();

enum class Wait { Ready, Timeout, Cancelled };

// Waits until fd is readable (fd < 0: just waits), the timeout passes
// (timeoutMs < 0: none) or a cancellation signal arrives.
Wait waitReadable(int fd, int timeoutMs);

// Sleeps; false when a cancellation signal cut the sleep short.
bool pauseFor(int ms);

// Returned by drainOutput and readBackChannel when a signal cut them short.
constexpr int kCancelled = -1000;

// CUPS_SC_CMD_DRAIN_OUTPUT on the side channel: the CUPS status (1 OK,
// 2 I/O error, 3 timeout, 4 no response, ...), or kCancelled when
// interruptible and a cancellation signal arrived first.
int drainOutput(double timeoutSeconds, char *data, int *datalen, bool interruptible = true);

// Reads the back channel once data is there, waiting at most timeoutMs
// (0: not at all). Returns what cupsBackChannelRead returns, -1 when
// nothing came, or kCancelled.
ssize_t readBackChannel(char *buffer, size_t length, int timeoutMs);

// Lets writes to the printer stream time out: standard output becomes
// non-blocking when it is a pipe or socket (as CUPS gives it).
void prepareOutput();

// Writes to the printer stream (standard output). Returns the bytes
// written; fewer than asked when the backend is gone, a signal arrived, the
// stream failed, or the printer took nothing for stallMs (then *stalled is
// set).
size_t writeToPrinter(const void *data, size_t length, int stallMs = -1, bool *stalled = nullptr);

// The errno of the first write to the printer stream that failed outright
// (not one cut short by a signal or a full pipe), 0 while none did.
int outputError();

// Writes all of data to a blocking descriptor (a file); false on an error
// (errno).
bool writeAll(int fd, const char *data, size_t length);

// A line (or text) for CUPS on standard error.
void report(const char *format, ...) __attribute__((format(printf, 1, 2)));

// Replaces a record file atomically (temporary file + rename), readable by
// everyone. Tries to create the temporary file `attempts` times, 5 ms apart.
// stateFile selects the state file's messages.
bool replaceRecord(const std::string &path, const std::string &content, int attempts, bool stateFile);

// Opens the job log for appending (8 tries, 5 ms apart); -1 when it fails.
int openLog(const std::string &path);

// Appends text with one write and closes the log. The text goes in whole
// or not at all: a short write (a full disk) is undone, with a DEBUG line.
// Concurrent jobs on one log take turns (an exclusive lock per append).
void appendAndClose(int fd, const std::string &text);

// openLog + appendAndClose.
void appendLog(const std::string &path, const std::string &text);

}  // namespace kpx::io
