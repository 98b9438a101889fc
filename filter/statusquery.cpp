#include "statusquery.h"

#include <cstring>

#include "filterio.h"

namespace kpx {

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
  using Outcome = protocol::UdpStatusResult::Outcome;
  protocol::UdpStatusQuery query;
  query.host = host;
  query.port = port;
  query.waitMs = waitMs;
  query.wait = [](int fd, int timeoutMs) {
    switch (io::waitReadable(fd, timeoutMs)) {
      case io::Wait::Ready: return protocol::Readiness::Ready;
      case io::Wait::Timeout: return protocol::Readiness::Timeout;
      case io::Wait::Cancelled: break;
    }
    return protocol::Readiness::Cancelled;
  };
  protocol::UdpStatusResult result = protocol::exchangeUdpStatus(query);
  if (result.outcome == Outcome::Unresolved)
    io::report("DEBUG:[ZUVA-KPX7720MW] status query: cannot resolve the printer's address\n");
  else if (result.outcome == Outcome::NotSent)
    io::report("DEBUG:[ZUVA-KPX7720MW] status query not sent: %s\n", std::strerror(result.error));
  if (result.outcome != Outcome::Answered) return std::nullopt;
  return result.reply;
}

}  // namespace kpx
