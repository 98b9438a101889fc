// The job's document as the interpreter takes it. CUPS hands the filter
// PostScript (after pstops) or PDF (after pdftopdf), on standard input, or
// by file name when the filter is the first of the job. PostScript streams
// on to the interpreter; a PDF reaches it by file name, copied into the
// job's temporary directory first when it comes through a pipe. The copy
// goes with this object, however the job ends.
#pragma once

#include <unistd.h>

#include <string>

#include "document.h"

namespace kpx {

class JobDocument {
 public:
  enum class Opened { Ok, Cancelled, Failed };

  JobDocument() = default;
  ~JobDocument();
  JobDocument(const JobDocument &) = delete;
  JobDocument &operator=(const JobDocument &) = delete;

  // fileName: the filter's sixth argument, or null to read standard input.
  // Failed leaves the reason in error().
  Opened open(const char *fileName);

  DocumentFormat format() const { return format_; }
  // A PDF's file name, empty for PostScript.
  const std::string &path() const { return path_; }
  // PostScript: where the rest comes from, and what was read of it already.
  int fd() const { return fd_; }
  const std::string &head() const { return head_; }
  const std::string &error() const { return error_; }

 private:
  Opened spool(int from);

  DocumentFormat format_ = DocumentFormat::PostScript;
  std::string path_, head_, error_;
  int fd_ = STDIN_FILENO;
  bool ownsFd_ = false;
  bool spooled_ = false;  // path_ is our copy
};

}  // namespace kpx
