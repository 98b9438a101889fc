#include "statusquery.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <cstring>

#include "filterio.h"
#include "status_report.h"

namespace kpx {

namespace {

long long nowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000LL + ts.tv_nsec / 1000000;
}

struct Socket {
  int fd = -1;
  ~Socket() {
    if (fd >= 0) close(fd);
  }
};

}  // namespace

std::string printerHostOf(std::string_view uri) {
  constexpr std::string_view scheme = "socket://";
  if (uri.substr(0, scheme.size()) != scheme) return "";
  std::string_view rest = uri.substr(scheme.size());
  rest = rest.substr(0, rest.find_first_of("/?"));
  if (size_t at = rest.rfind('@'); at != std::string_view::npos) rest = rest.substr(at + 1);
  if (!rest.empty() && rest[0] == '[') return "";  // IPv6: the printer speaks IPv4 only
  return std::string(rest.substr(0, rest.find(':')));
}

std::optional<std::string> queryPrinterStatus(const std::string &host, int port, int waitMs) {
  if (host.empty()) return std::nullopt;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo *found = nullptr;
  if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 || found == nullptr) {
    io::report("DEBUG:[ZUVA-KPX7720MW] status query: cannot resolve the printer's address\n");
    return std::nullopt;
  }
  sockaddr_in printer{};
  std::memcpy(&printer, found->ai_addr, sizeof printer);
  freeaddrinfo(found);

  Socket s;
  s.fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (s.fd < 0) return std::nullopt;
  // A port of our own, chosen by the system; the monitor's port stays free.
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  socklen_t len = sizeof local;
  if (bind(s.fd, reinterpret_cast<sockaddr *>(&local), sizeof local) < 0 ||
      getsockname(s.fd, reinterpret_cast<sockaddr *>(&local), &len) < 0 || ntohs(local.sin_port) == kMonitorStatusPort)
    return std::nullopt;
  if (sendto(s.fd, kStatusQuery.data(), kStatusQuery.size(), 0, reinterpret_cast<sockaddr *>(&printer),
             sizeof printer) != static_cast<ssize_t>(kStatusQuery.size())) {
    io::report("DEBUG:[ZUVA-KPX7720MW] status query not sent: %s\n", std::strerror(errno));
    return std::nullopt;
  }

  const long long deadline = nowMs() + waitMs;
  char buffer[kMaxStatusText + 1];
  for (long long left; (left = deadline - nowMs()) > 0;) {
    io::Wait w = io::waitReadable(s.fd, static_cast<int>(left));
    if (w != io::Wait::Ready) return std::nullopt;
    sockaddr_in from{};
    socklen_t fromLen = sizeof from;
    ssize_t n = recvfrom(s.fd, buffer, sizeof buffer, MSG_TRUNC | MSG_DONTWAIT, reinterpret_cast<sockaddr *>(&from),
                         &fromLen);
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN || errno == ECONNREFUSED) continue;
      return std::nullopt;
    }
    if (from.sin_addr.s_addr != printer.sin_addr.s_addr) continue;
    if (static_cast<size_t>(n) > kMaxStatusText) continue;
    return std::string(buffer, static_cast<size_t>(n));
  }
  return std::nullopt;
}

}  // namespace kpx
