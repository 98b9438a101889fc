#include "logger.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <sys/time.h>

namespace kpxsim {

std::string isoNow() {
  timeval tv{};
  gettimeofday(&tv, nullptr);
  tm t{};
  localtime_r(&tv.tv_sec, &t);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03ld", t.tm_year + 1900,
                t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec,
                static_cast<long>(tv.tv_usec / 1000));
  return buf;
}

Logger::~Logger() {
  if (file_) std::fclose(file_);
}

bool Logger::openFile(const std::string &path, std::string &err) {
  FILE *f = std::fopen(path.c_str(), "a");
  if (!f) {
    err = "cannot open log file " + path + ": " + std::strerror(errno);
    return false;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  if (file_) std::fclose(file_);
  file_ = f;
  return true;
}

void Logger::log(const char *area, const std::string &message) {
  std::string line = isoNow() + " " + area + ": " + message + "\n";
  std::lock_guard<std::mutex> lock(mutex_);
  FILE *out = file_ ? file_ : stderr;
  std::fwrite(line.data(), 1, line.size(), out);
  std::fflush(out);
}

}  // namespace kpxsim
