// One reply read under each reader's rules: the filter's, the printer
// application's, the monitors' and the lock check's. The rows are the
// readers' own earlier cases; where their rules part, the columns differ.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "printer_protocol.h"

namespace {

using namespace kpx::protocol;

// The codes of the lines that carry the mark, "?" for one that does not read.
std::string read(const std::string &reply, const CodeDialect &dialect) {
  std::string out;
  for (const CodeLine &l : codeLines(reply, dialect)) {
    if (!out.empty()) out += ',';
    out += l.code ? std::to_string(*l.code) : "?";
  }
  return out;
}

TEST(CodeReplies, EachReaderKeepsItsRules) {
  struct Row {
    std::string reply;
    const char *filter, *app, *monitor, *lock;
  } rows[] = {
      {"CODE=10001\r", "10001", "10001", "10001", "10001"},
      {"CODE=10023\rCODE=10209\r", "10023,10209", "10023,10209", "10023,10209", "10023,10209"},
      {"\nCODE=44114\r\n", "44114", "44114", "44114", "44114"},
      // Line feeds end lines for the application only.
      {"CODE=10209\nCODE=40409", "10209", "10209,40409", "?", "10209,40409"},
      // The monitors read the first '=' of the line.
      {"STATUS=1 CODE=44114", "44114", "44114", "?", "44114"},
      {"CODE=10023=x", "10023", "10023", "10023", "10023"},
      {"CODE=\rCODE=abc\rCODE=-5\r", "?,?,?", "?,?,?", "?,?,-5", "?,?,?"},
      // Digits: six for the filter, five for the application, int for the
      // monitors; the lock check reads the first five characters.
      {"CODE=123456", "123456", "?", "123456", "12345"},
      {"CODE=000001\r", "1", "?", "1", "0"},
      {"CODE=12345678901234567890", "?", "?", "?", "12345"},
      // Junk after the digits, blanks before them.
      {"CODE=1x\r", "1", "1", "?", "?"},
      {"CODE= 1\r", "?", "?", "1", "1"},
      {"TONER=40\r", "", "", "", ""},
      {"E=1", "", "", "", "1"},
      // Only the filter bounds the reply.
      {"CODE=44114\r" + std::string(5000, 'x'), "", "44114", "44114", "44114"},
  };
  for (const Row &r : rows) {
    SCOPED_TRACE(r.reply.substr(0, 40));
    EXPECT_EQ(read(r.reply, kFilterDialect), r.filter);
    EXPECT_EQ(read(r.reply, kAppDialect), r.app);
    EXPECT_EQ(read(r.reply, kMonitorDialect), r.monitor);
    EXPECT_EQ(read(r.reply, kLockDialect), r.lock);
  }
}

TEST(UdpStatus, TheCancelHookEndsTheWait) {
  int printer = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  ASSERT_EQ(bind(printer, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);
  ASSERT_EQ(getsockname(printer, reinterpret_cast<sockaddr *>(&a), &len), 0);

  UdpStatusQuery q;
  q.host = "127.0.0.1";
  q.port = ntohs(a.sin_port);
  q.waitMs = 60000;
  int asked = 0;
  q.wait = [&](int, int timeoutMs) {
    ++asked;
    EXPECT_GT(timeoutMs, 0);
    return Readiness::Cancelled;
  };
  UdpStatusResult r = exchangeUdpStatus(q);
  EXPECT_EQ(r.outcome, UdpStatusResult::Outcome::Cancelled);
  EXPECT_EQ(asked, 1);
  char buf[32];
  ssize_t n = recv(printer, buf, sizeof buf, MSG_DONTWAIT);
  EXPECT_EQ(std::string(buf, n > 0 ? static_cast<size_t>(n) : 0), std::string(kUdpStatusQuery));
  close(printer);
}

}  // namespace
