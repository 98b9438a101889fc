// The other processes of this job: the scheduler starts the filters and the
// backend of a job as its children, each with the job id as its first
// argument. Once the filters before us are done and we have closed our
// output, what is left of them is the backend finishing with the printer.
#pragma once

#include <sys/types.h>

#include <string>

namespace kpx {

// Whether a process other than `self`, child of `parent`, alive (not a
// zombie), runs with `jobId` as its first argument. procRoot is "/proc"
// except in tests.
bool otherJobProcessAlive(const std::string &procRoot, pid_t parent, pid_t self, const std::string &jobId);

}  // namespace kpx
