#include "printer_protocol.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <climits>
#include <cstring>

namespace kpx::protocol {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Blanks, an optional sign, digits, blanks: the whole text, within int.
std::optional<int> signedField(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && isBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  const size_t from = i;
  long long value = 0;
  for (; i < text.size() && isDigit(text[i]); ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) return std::nullopt;
  }
  if (i == from) return std::nullopt;
  while (i < text.size() && isBlank(text[i])) ++i;
  if (i != text.size()) return std::nullopt;
  if (negative) value = -value;
  if (value > INT_MAX || value < INT_MIN) return std::nullopt;
  return static_cast<int>(value);
}

std::optional<int> numberAfterMark(std::string_view rest, const CodeDialect &d) {
  size_t i = 0;
  if (d.number == CodeNumber::DigitRun) {
    while (i < rest.size() && isDigit(rest[i])) ++i;
    if (i == 0 || i > static_cast<size_t>(d.maxDigits)) return std::nullopt;
  } else {
    while (i < rest.size() && isBlank(rest[i])) ++i;
    rest.remove_prefix(i);
    for (i = 0; i < rest.size() && i < static_cast<size_t>(d.maxDigits) && !isBlank(rest[i]); ++i)
      if (!isDigit(rest[i])) return std::nullopt;
    if (i == 0) return std::nullopt;
  }
  int value = 0;
  for (size_t k = 0; k < i; ++k) value = value * 10 + (rest[k] - '0');
  return value;
}

long long nowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000LL + ts.tv_nsec / 1000000;
}

Readiness pollReadable(int fd, int timeoutMs) {
  pollfd p{fd, POLLIN, 0};
  // An interrupted poll reads as ready: the read that follows finds
  // nothing and the wait goes on.
  return poll(&p, 1, timeoutMs) == 0 ? Readiness::Timeout : Readiness::Ready;
}

struct Socket {
  int fd = -1;
  ~Socket() {
    if (fd >= 0) close(fd);
  }
};

}  // namespace

std::optional<int> codeOfLine(std::string_view line, const CodeDialect &d) {
  if (d.number == CodeNumber::FirstField) {
    size_t eq = line.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    std::string_view field = line.substr(eq + 1);
    field = field.substr(0, field.find_first_of(std::string_view("=\0", 2)));
    return signedField(field);
  }
  size_t at = line.find(d.mark);
  if (at == std::string_view::npos || (d.markStartsLine && at != 0)) return std::nullopt;
  return numberAfterMark(line.substr(at + d.mark.size()), d);
}

std::vector<CodeLine> codeLines(std::string_view reply, const CodeDialect &d) {
  std::vector<CodeLine> lines;
  if (d.maxReply != 0 && reply.size() > d.maxReply) return lines;
  size_t start = 0;
  while (start <= reply.size()) {
    size_t end = reply.find_first_of(d.lineEnds, start);
    if (end == std::string_view::npos) end = reply.size();
    std::string_view line = reply.substr(start, end - start);
    size_t at = line.find(d.mark);
    if (at != std::string_view::npos && (!d.markStartsLine || at == 0)) lines.push_back({line, codeOfLine(line, d)});
    start = end + 1;
  }
  return lines;
}

std::vector<int> codesIn(std::string_view reply, const CodeDialect &d) {
  std::vector<int> codes;
  for (const CodeLine &l : codeLines(reply, d))
    if (l.code) codes.push_back(*l.code);
  return codes;
}

LockReplyScan scanLockReply(const char *reply, int lastCode) {
  LockReplyScan scan;
  scan.lastCode = lastCode;
  for (const CodeLine &l : codeLines(reply, kLockDialect)) {
    scan.lastCode = l.code.value_or(kNoReplyCode);
    if (scan.lastCode == 1) {
      scan.mayPrint = true;
      break;
    }
  }
  return scan;
}

LockOutcome lockOutcome(const LockReplyScan &scan) {
  if (scan.mayPrint) return LockOutcome::MayPrint;
  if (scan.lastCode == 2 || scan.lastCode == kNoReplyCode) return LockOutcome::NoAnswer;
  return LockOutcome::ReadAgain;
}

UdpStatusResult exchangeUdpStatus(const UdpStatusQuery &q) {
  using Outcome = UdpStatusResult::Outcome;
  UdpStatusResult result;
  if (q.host.empty()) return result;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo *found = nullptr;
  if (getaddrinfo(q.host.c_str(), std::to_string(q.port).c_str(), &hints, &found) != 0 || found == nullptr) {
    result.outcome = Outcome::Unresolved;
    return result;
  }
  sockaddr_in printer{};
  std::memcpy(&printer, found->ai_addr, sizeof printer);
  freeaddrinfo(found);

  Socket s;
  s.fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  // A port of our own, chosen by the system; the monitor's port stays free.
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  socklen_t len = sizeof local;
  if (s.fd < 0 || bind(s.fd, reinterpret_cast<sockaddr *>(&local), sizeof local) < 0 ||
      getsockname(s.fd, reinterpret_cast<sockaddr *>(&local), &len) < 0 ||
      ntohs(local.sin_port) == kMonitorStatusPort) {
    result.outcome = Outcome::NoSocket;
    return result;
  }
  if (sendto(s.fd, kUdpStatusQuery.data(), kUdpStatusQuery.size(), 0, reinterpret_cast<sockaddr *>(&printer),
             sizeof printer) != static_cast<ssize_t>(kUdpStatusQuery.size())) {
    result.outcome = Outcome::NotSent;
    result.error = errno;
    return result;
  }

  const long long deadline = nowMs() + q.waitMs;
  std::string buffer(q.maxReply + 1, '\0');
  for (long long left; (left = deadline - nowMs()) > 0;) {
    Readiness ready = q.wait ? q.wait(s.fd, static_cast<int>(left)) : pollReadable(s.fd, static_cast<int>(left));
    if (ready == Readiness::Cancelled) result.outcome = Outcome::Cancelled;
    if (ready != Readiness::Ready) return result;
    sockaddr_in from{};
    socklen_t fromLen = sizeof from;
    ssize_t n = recvfrom(s.fd, buffer.data(), buffer.size(), MSG_TRUNC | MSG_DONTWAIT,
                         reinterpret_cast<sockaddr *>(&from), &fromLen);
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN || errno == ECONNREFUSED) continue;
      return result;
    }
    if (from.sin_addr.s_addr != printer.sin_addr.s_addr) continue;
    if (static_cast<size_t>(n) > q.maxReply) continue;
    result.outcome = Outcome::Answered;
    result.reply.assign(buffer.data(), static_cast<size_t>(n));
    return result;
  }
  return result;
}

}  // namespace kpx::protocol
