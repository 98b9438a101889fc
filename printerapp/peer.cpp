#include "peer.h"

#include <netinet/in.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kpxapp {

std::string socketTableEndpoint(const sockaddr *address) {
  char text[64];
  if (address->sa_family == AF_INET) {
    const auto *in = reinterpret_cast<const sockaddr_in *>(address);
    std::snprintf(text, sizeof text, "%08X:%04X", in->sin_addr.s_addr, ntohs(in->sin_port));
    return text;
  }
  if (address->sa_family != AF_INET6) return "";
  const auto *in6 = reinterpret_cast<const sockaddr_in6 *>(address);
  uint32_t words[4];
  std::memcpy(words, &in6->sin6_addr, sizeof words);
  if (IN6_IS_ADDR_V4MAPPED(&in6->sin6_addr)) {
    std::snprintf(text, sizeof text, "%08X:%04X", words[3], ntohs(in6->sin6_port));
  } else {
    std::snprintf(text, sizeof text, "%08X%08X%08X%08X:%04X", words[0], words[1], words[2], words[3],
                  ntohs(in6->sin6_port));
  }
  return text;
}

long socketTableOwner(std::string_view table, std::string_view local, std::string_view remote) {
  // "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode"
  while (!table.empty()) {
    size_t end = table.find('\n');
    std::string_view line = table.substr(0, end);
    table.remove_prefix(end == std::string_view::npos ? table.size() : end + 1);
    std::string_view fields[8];
    size_t n = 0;
    while (n < 8) {
      size_t start = line.find_first_not_of(' ');
      if (start == std::string_view::npos) break;
      line.remove_prefix(start);
      size_t stop = line.find(' ');
      fields[n++] = line.substr(0, stop);
      line.remove_prefix(stop == std::string_view::npos ? line.size() : stop);
    }
    if (n < 8 || fields[1] != local || fields[2] != remote) continue;
    std::string uid(fields[7]);
    char *rest = nullptr;
    long value = std::strtol(uid.c_str(), &rest, 10);
    if (rest != uid.c_str() && *rest == '\0' && value >= 0) return value;
  }
  return -1;
}

}  // namespace kpxapp
