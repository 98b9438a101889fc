#include "docinput.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "filterio.h"

namespace kpx {

namespace {

// Reads what is there, waiting for it unless a cancellation comes first:
// the count, 0 at the end, -1 on an error (errno), or io::kCancelled.
ssize_t readSome(int fd, char *buffer, size_t length) {
  for (;;) {
    if (io::waitReadable(fd, -1) == io::Wait::Cancelled) return io::kCancelled;
    const ssize_t n = read(fd, buffer, length);
    if (n >= 0) return n;
    if (errno != EINTR && errno != EAGAIN) return -1;
  }
}

}  // namespace

JobDocument::~JobDocument() {
  if (spooled_) unlink(path_.c_str());
  if (ownsFd_) close(fd_);
}

JobDocument::Opened JobDocument::open(const char *fileName) {
  if (fileName != nullptr) {
    fd_ = ::open(fileName, O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
      error_ = std::string("cannot open ") + fileName + ": " + std::strerror(errno);
      fd_ = STDIN_FILENO;
      return Opened::Failed;
    }
    ownsFd_ = true;
  }
  char head[kDocumentHeadLength];
  size_t got = 0;
  while (got < sizeof head) {
    const ssize_t n = readSome(fd_, head + got, sizeof head - got);
    if (n == io::kCancelled) return Opened::Cancelled;
    if (n < 0) {
      error_ = std::string("cannot read the document: ") + std::strerror(errno);
      return Opened::Failed;
    }
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  head_.assign(head, got);
  format_ = documentFormat(head_);
  if (format_ == DocumentFormat::PostScript) {
    // A file is read again from its start.
    if (ownsFd_ && lseek(fd_, 0, SEEK_SET) == 0) head_.clear();
    return Opened::Ok;
  }
  if (fileName != nullptr) {
    path_ = fileName;
    return Opened::Ok;
  }
  return spool(fd_);
}

// Copies the PDF from the pipe into the job's temporary directory (cupsd
// gives each job's filters TMPDIR, and empties it after the job).
JobDocument::Opened JobDocument::spool(int from) {
  const char *dir = std::getenv("TMPDIR");
  std::string name = std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/kpx7720mw-XXXXXX.pdf";
  const int to = mkostemps(&name[0], 4, O_CLOEXEC);
  if (to < 0) {
    error_ = "cannot create a copy of the document in " + name + ": " + std::strerror(errno);
    return Opened::Failed;
  }
  path_ = name;
  spooled_ = true;
  Opened result = Opened::Ok;
  std::vector<char> buffer(262144);
  bool ok = io::writeAll(to, head_.data(), head_.size());
  while (ok) {
    const ssize_t n = readSome(from, buffer.data(), buffer.size());
    if (n == io::kCancelled) {
      result = Opened::Cancelled;
      break;
    }
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    ok = io::writeAll(to, buffer.data(), static_cast<size_t>(n));
  }
  // (A full disk may show only at close.)
  if ((close(to) != 0 || !ok) && result != Opened::Cancelled) {
    error_ = "cannot copy the document to " + path_ + ": " + std::strerror(errno);
    result = Opened::Failed;
  }
  head_.clear();
  return result;
}

}  // namespace kpx
