// One line per exchange, with a timestamp, to stderr or a log file.
// Safe to call from the socket loop and the USB handler thread.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>

namespace kpxsim {

class Logger {
 public:
  Logger() = default;
  ~Logger();
  Logger(const Logger &) = delete;
  Logger &operator=(const Logger &) = delete;

  bool openFile(const std::string &path, std::string &err);
  void log(const char *area, const std::string &message);

 private:
  std::mutex mutex_;
  FILE *file_ = nullptr;  // null: stderr
};

// Local time as "2025-01-31T12:34:56.789".
std::string isoNow();

}  // namespace kpxsim
