#include "jobprocesses.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>

namespace kpx {

namespace {

// What a /proc file holds now; empty when it cannot be read (the process
// may end while we read it).
std::string readAll(const std::string &path) {
  std::string text;
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return text;
  char buffer[4096];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text.append(buffer, static_cast<size_t>(n));
    if (text.size() > 65536) break;
  }
  close(fd);
  return text;
}

// State and parent of a process from its stat line ("pid (name) S ppid ...";
// the name may hold spaces and parentheses); false when unreadable.
bool stateAndParent(const std::string &stat, char *state, pid_t *parent) {
  const size_t close = stat.rfind(')');
  if (close == std::string::npos) return false;
  std::istringstream rest(stat.substr(close + 1));
  long ppid = 0;
  if (!(rest >> *state >> ppid)) return false;
  *parent = static_cast<pid_t>(ppid);
  return true;
}

}  // namespace

bool otherJobProcessAlive(const std::string &procRoot, pid_t parent, pid_t self, const std::string &jobId) {
  DIR *dir = opendir(procRoot.c_str());
  if (dir == nullptr) return false;
  bool found = false;
  while (dirent *entry = readdir(dir)) {
    char *end = nullptr;
    const long pid = std::strtol(entry->d_name, &end, 10);
    if (end == entry->d_name || *end != '\0' || pid == self) continue;
    const std::string base = procRoot + "/" + entry->d_name;
    char state = 0;
    pid_t ppid = 0;
    if (!stateAndParent(readAll(base + "/stat"), &state, &ppid) || ppid != parent || state == 'Z' || state == 'X')
      continue;
    const std::string cmdline = readAll(base + "/cmdline");
    const size_t first = cmdline.find('\0');
    if (first == std::string::npos) continue;
    const size_t second = cmdline.find('\0', first + 1);
    if (cmdline.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1) == jobId) {
      found = true;
      break;
    }
  }
  closedir(dir);
  return found;
}

}  // namespace kpx
