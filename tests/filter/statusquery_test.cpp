// The network filter's one status query, against a stand-in printer on a
// loopback address: only the printer's address counts, oversized answers
// are passed over, silence costs at most the wait, and the query never goes
// out from the monitor's port.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "status_report.h"
#include "statusquery.h"

namespace {

int udpSocket(const char *address, int port = 0) {
  int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  inet_pton(AF_INET, address, &a.sin_addr);
  if (bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) < 0) {
    close(fd);
    return -1;
  }
  return fd;
}

int portOf(int fd) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len);
  return ntohs(a.sin_port);
}

void sendTo(int fd, const sockaddr_in &to, const std::string &data) {
  sendto(fd, data.data(), data.size(), 0, reinterpret_cast<const sockaddr *>(&to), sizeof to);
}

TEST(StatusQuery, OnlyAWellSizedAnswerFromThePrinterCounts) {
  int printer = udpSocket("127.0.0.1");
  int stranger = udpSocket("127.0.0.2");
  ASSERT_GE(printer, 0);
  ASSERT_GE(stranger, 0);
  std::string query;
  int fromPort = 0;
  std::thread answer([&] {
    char buf[64];
    sockaddr_in from{};
    socklen_t len = sizeof from;
    ssize_t n = recvfrom(printer, buf, sizeof buf, 0, reinterpret_cast<sockaddr *>(&from), &len);
    if (n <= 0) return;
    query.assign(buf, static_cast<size_t>(n));
    fromPort = ntohs(from.sin_port);
    sendTo(stranger, from, "CODE=44114\r");                // not the printer
    sendTo(printer, from, std::string(kpx::protocol::kMaxStatusReply + 1, 'x'));  // too long to be a status
    sendTo(printer, from, "CODE=10209\r");
  });
  std::optional<std::string> got = kpx::queryPrinterStatus("127.0.0.1", portOf(printer));
  answer.join();
  EXPECT_EQ(query, "GetStatus;");
  EXPECT_NE(fromPort, kpx::protocol::kMonitorStatusPort);
  EXPECT_EQ(got, std::optional<std::string>("CODE=10209\r"));
  close(printer);
  close(stranger);
}

TEST(StatusQuery, ASilentPrinterCostsAtMostTheWait) {
  int printer = udpSocket("127.0.0.1");
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(kpx::queryPrinterStatus("127.0.0.1", portOf(printer)).has_value());
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(seconds, 0.9);
  EXPECT_LT(seconds, 1.5);
  close(printer);
}

TEST(StatusQuery, ThePrintersAddressComesFromTheSocketUri) {
  EXPECT_EQ(kpx::printerHostOf("socket://192.168.1.20:9100"), "192.168.1.20");
  EXPECT_EQ(kpx::printerHostOf("socket://printer.lan/?waiteof=false"), "printer.lan");
  EXPECT_EQ(kpx::printerHostOf("socket://user@10.0.0.5:9100"), "10.0.0.5");
  EXPECT_EQ(kpx::printerHostOf("socket://[fe80::1]:9100"), "");
  EXPECT_EQ(kpx::printerHostOf("usb://ZUVA/KPX7720MW?serial=1"), "");
}

}  // namespace
