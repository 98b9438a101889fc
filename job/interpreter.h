// One run of the interpreter for a job: started with an argument vector (no
// shell), its own job-control text at the start of its output dropped, the
// rest streamed to the printer through the caller's sink with its pages
// counted as they go, then collected. A cancellation or a printer that
// stops taking data ends it early; the interpreter is then stopped and
// collected too, so that nothing of it outlives the run.
#pragma once

#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "geometry.h"

namespace kpx {

// Chunks of the interpreter's output as they go to the printer.
constexpr size_t kInterpreterChunk = 262144;

// What the sink did with the bytes it was given: how many of them reached
// the printer (pages are counted in those), and whether to go on.
struct SinkResult {
  size_t taken = 0;
  bool goOn = true;
};

struct InterpreterRun {
  std::string program;            // the interpreter's path
  std::vector<std::string> args;  // argv, "gs" first; the document is the final "-"
  // The document: this file, named in place of the final "-" (the
  // interpreter's standard input is then /dev/null), or, when empty, what
  // inputFd holds, as the interpreter's standard input.
  std::string document;
  int inputFd = STDIN_FILENO;
  // Bytes the caller already read from inputFd (to tell the document's
  // format): the interpreter gets them first, then the rest of inputFd,
  // through a pipe a small process of ours fills.
  std::string inputHead;
  int errorFd = -1;                 // the interpreter's standard error; -1: ours
  std::vector<int> closeInChild;    // descriptors the interpreter has no business with
  std::string resolutionArg;        // "-r600x600": how long its opening text is
  // Longest the interpreter may take of its own time (waiting for its
  // output, not for the printer), 0 without limit.
  int timeLimitSeconds = 0;
  // Whether the sink gets whole chunks (kInterpreterChunk, the last one
  // shorter) or what each read brings.
  bool wholeChunks = true;
  // Readable once cancelled() turns true (a signal's self-pipe), -1 when
  // there is none; waits also end every pollMs to ask cancelled().
  int wakeFd = -1;
  int pollMs = 1000;

  // The page data (never the opening text); nothing is asked of it when the
  // interpreter writes nothing but its opening.
  std::function<SinkResult(const char *data, size_t length)> sink;
  // After each piece the sink took and whose pages were counted (pacing on
  // the printer); false stops as a refusal does.
  std::function<bool()> afterSink;
  std::function<bool()> cancelled;                 // asked between steps
  std::function<void(int copies)> pageSent;        // each page end the printer took
  std::function<void(pid_t)> started;              // the interpreter runs
  std::function<void(const PreambleVerdict &)> openingDropped;  // the verdict on its opening text
  std::function<void(int error)> readFailed;       // the output ends early
  // In the interpreter's process, when it could not be executed (it then
  // exits with 127).
  std::function<void(int error)> execFailed;
};

struct InterpreterResult {
  enum class End {
    Finished,     // the interpreter ran to its end; see exitStatus
    NotStarted,   // see failedStep and error
    Cancelled,    // cancelled() said so
    Refused,      // the sink stopped taking data
    TimedOut,     // beyond timeLimitSeconds
  };
  End end = End::NotStarted;
  const char *failedStep = "";  // "pipe", "fork" or "wait"
  int error = 0;                // errno of the failed step
  int waitStatus = 0;           // as waitpid gives it, when collected
  bool collected = false;       // waitStatus is the interpreter's
  bool output = false;          // page data came after the opening text
  int pages = 0;                // page ends the printer took
  bool inputCut = false;        // the input (inputHead's) ended before the document did


  bool succeeded() const {
    return end == End::Finished && collected && !inputCut && WIFEXITED(waitStatus) && WEXITSTATUS(waitStatus) == 0;
  }
};

// Runs the interpreter to its end, or until cancelled, refused or out of
// time. Never leaves the interpreter running.
InterpreterResult runInterpreter(const InterpreterRun &run);

}  // namespace kpx
