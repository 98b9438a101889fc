// One job at a time on a printer's device, each job once: the application's
// defence against PAPPL running a job twice (pappl_guard.cpp, fault 2). Not
// part of appcore: it blocks threads.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>

namespace kpxapp {

// Lets one job at a time use a printer's device, each job once. PAPPL
// 1.3.1 checks for a job to start before the job it started last has
// marked itself processing, so it may run one job in two threads, or start
// the next job while a job cancelled at that moment still starts; all of
// them write to the same device, and their data would share one connection
// to the printer.
class DeviceGate {
 public:
  struct Entry {
    bool prints = false;  // this run holds the gate and prints the job
    bool ok = false;      // otherwise: how the run that printed the job ended
  };
  // Waits until no other job holds the gate and takes it. Another run of a
  // job that holds or held the gate does not print: it waits until the run
  // that prints is done and gets its result, so that the job ends the same
  // whichever of its runs ends last.
  Entry enter(int job);
  // Whether a run of the job holds or held the gate (does not wait).
  bool knows(int job);
  // Frees the gate when job holds it; ok is how its run ended.
  void leave(int job, bool ok);

 private:
  struct Done {
    int job;
    bool ok;
  };
  Done *findDone(int job);
  std::mutex mutex_;
  std::condition_variable freed_;
  int owner_ = 0;
  std::deque<Done> done_;  // the latest jobs that held the gate
};

}  // namespace kpxapp
