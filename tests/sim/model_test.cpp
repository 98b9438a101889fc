// Printer state and command answers without any I/O: status and IP replies,
// the lock script, the USB answer modes and the control commands.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "control.h"
#include "model.h"
#include "textutil.h"

using namespace kpxsim;

namespace {
std::string hexOf(const std::string &s) { return toHex(s); }
}  // namespace

TEST(StatusLines, ArgumentsBecomeCodeLines) {
  std::vector<std::string> lines;
  std::string err;
  ASSERT_TRUE(parseStatusArgs({"10001", "CODE=10023", "TONER=40"}, lines, err)) << err;
  EXPECT_EQ(lines, (std::vector<std::string>{"CODE=10001", "CODE=10023", "TONER=40"}));
  ASSERT_TRUE(parseStatusArgs({"CODE=44114\rCODE=10001\r"}, lines, err));
  EXPECT_EQ(lines, (std::vector<std::string>{"CODE=44114", "CODE=10001"}));
  ASSERT_TRUE(parseStatusArgs({"44114\\r10001"}, lines, err));  // typed escape
  EXPECT_EQ(lines, (std::vector<std::string>{"CODE=44114", "CODE=10001"}));
  EXPECT_FALSE(parseStatusArgs({"paperjam"}, lines, err));
  EXPECT_FALSE(parseStatusArgs({"-5"}, lines, err));
  EXPECT_EQ(buildStatusReply({"CODE=10001", "CODE=10023"}), "CODE=10001\rCODE=10023\r");
  EXPECT_EQ(buildStatusReply({}), "");
}

TEST(IpSettings, TextBlockAndReplies) {
  IpSettings ip{};
  std::string err;
  ASSERT_TRUE(parseIpSettings("192.168.1.10/255.255.255.0/192.168.1.1", ip, err)) << err;
  EXPECT_EQ(hexOf(buildIpReply(ip)), "49506164643ac0a8010affffff00c0a80101");
  EXPECT_EQ(formatIpSettings(ip), "192.168.1.10/255.255.255.0/192.168.1.1");
  for (const char *bad : {"192.168.1.10/255.255.255.0", "1.2.3/4.5.6.7/8.9.10.11",
                          "1.2.3.256/0.0.0.0/0.0.0.0", "a.b.c.d/0.0.0.0/0.0.0.0", ""})
    EXPECT_FALSE(parseIpSettings(bad, ip, err)) << bad;

  // The set command of 10.0.0.5 / 255.0.0.0 / 10.0.0.1, byte for byte.
  std::string set;
  ASSERT_TRUE(fromHex("53657449503d0a000005ff0000000a0000013b", set));
  ASSERT_TRUE(parseSetIp(set, ip));
  EXPECT_EQ(formatIpSettings(ip), "10.0.0.5/255.0.0.0/10.0.0.1");
  EXPECT_FALSE(parseSetIp(set.substr(0, 18), ip));
  EXPECT_FALSE(parseSetIp(set + ";", ip));
  std::string noSemicolon = set;
  noSemicolon.back() = ':';
  EXPECT_FALSE(parseSetIp(noSemicolon, ip));
}

TEST(LockResponder, Modes) {
  LockResponder r;
  std::string err;
  ASSERT_TRUE(LockResponder::parse("free", r, err));
  EXPECT_EQ(r.answer(), std::optional<std::string>("CODE=1\r"));
  ASSERT_TRUE(LockResponder::parse("busy", r, err));
  EXPECT_EQ(r.answer(), std::optional<std::string>("CODE=2\r"));
  ASSERT_TRUE(LockResponder::parse("silent", r, err));
  EXPECT_EQ(r.answer(), std::nullopt);
  ASSERT_TRUE(LockResponder::parse("script:2,silent,0,1", r, err)) << err;
  EXPECT_EQ(r.answer(), std::optional<std::string>("CODE=2\r"));
  EXPECT_EQ(r.answer(), std::nullopt);
  EXPECT_EQ(r.answer(), std::optional<std::string>("CODE=0\r"));
  EXPECT_EQ(r.answer(), std::optional<std::string>("CODE=1\r"));
  EXPECT_EQ(r.answer(), std::optional<std::string>("CODE=1\r"));  // stays at the last
  EXPECT_FALSE(LockResponder::parse("script:", r, err));
  EXPECT_FALSE(LockResponder::parse("script:1,x", r, err));
  EXPECT_FALSE(LockResponder::parse("locked", r, err));
}

TEST(UsbModel, CommandsQueueReplies) {
  PrinterState st;
  st.statusLines = {"CODE=10023", "CODE=10001"};
  EXPECT_EQ(usbIn(st, 512), std::nullopt);  // nothing asked yet: the read waits
  usbOut(st, "CheckStatus?");
  usbOut(st, "CheckIP?");
  EXPECT_EQ(usbIn(st, 512), std::optional<std::string>("CODE=10023\rCODE=10001\r"));
  EXPECT_EQ(hexOf(*usbIn(st, 512)), "49506164643ac0a80164ffffff00c0a80101");
  EXPECT_EQ(usbIn(st, 512), std::nullopt);

  // Unknown commands and near misses queue nothing.
  usbOut(st, "CheckStatus");
  usbOut(st, "checkip?");
  usbOut(st, "SetIP=short;");
  EXPECT_EQ(usbIn(st, 512), std::nullopt);
  EXPECT_EQ(formatIpSettings(st.ip), "192.168.1.100/255.255.255.0/192.168.1.1");

  std::string set;
  ASSERT_TRUE(fromHex("53657449503d0a000005ff0000000a0000013b", set));
  usbOut(st, set);
  EXPECT_EQ(formatIpSettings(st.ip), "10.0.0.5/255.0.0.0/10.0.0.1");
  EXPECT_EQ(usbIn(st, 512), std::nullopt);  // SetIP has no reply
  EXPECT_EQ(st.usbLog.back(), "out 53657449503d0a000005ff0000000a0000013b");

  // A reply longer than the read is cut to the read's size.
  usbOut(st, "CheckStatus?");
  EXPECT_EQ(usbIn(st, 4), std::optional<std::string>("CODE"));
}

TEST(UsbModel, PrintDataBecomesAJobUntilItEnds) {
  PrinterState st;
  const std::string ticket = "\x1b%-12345X\n\x1b#+54321X_ZUVA@PJL\n@PJL SET RENDERMODE=GRAYSCALE\n";
  usbOut(st, "junk before any job");
  EXPECT_TRUE(st.usbPrint.empty());  // not a job: it does not open with the UEL
  usbOut(st, ticket);
  // Everything that follows belongs to the job, even what looks like junk,
  // but the printer's commands are still answered.
  usbOut(st, "CheckStatus");
  usbOut(st, "CheckStatus?");
  usbOut(st, "\x1b%-12345X");
  EXPECT_EQ(st.usbPrint, ticket + "CheckStatus" + "\x1b%-12345X");
  EXPECT_EQ(usbIn(st, 512), std::optional<std::string>("CODE=10001\r"));
  EXPECT_TRUE(st.usbPrintsDone.empty());

  st.usbPrintStarted = "2026-01-01T00:00:00.000";
  endUsbPrint(st);
  ASSERT_EQ(st.usbPrintsDone.size(), 1u);
  EXPECT_EQ(st.usbPrintsDone.front().data, ticket + "CheckStatus" + "\x1b%-12345X");
  EXPECT_EQ(st.usbPrintsDone.front().started, "2026-01-01T00:00:00.000");
  EXPECT_TRUE(st.usbPrint.empty());
  EXPECT_TRUE(st.usbPrintStarted.empty());

  // Ending with no job in progress records nothing; the next job starts afresh.
  endUsbPrint(st);
  EXPECT_EQ(st.usbPrintsDone.size(), 1u);
  usbOut(st, "not a job");
  EXPECT_TRUE(st.usbPrint.empty());
  usbOut(st, ticket);
  endUsbPrint(st);
  ASSERT_EQ(st.usbPrintsDone.size(), 2u);
  EXPECT_EQ(st.usbPrintsDone.back().data, ticket);
}

TEST(UsbModel, QueueIsBounded) {
  PrinterState st;
  for (int i = 0; i < 20; ++i) usbOut(st, "CheckStatus?");
  EXPECT_EQ(st.usbReplies.size(), kMaxQueuedUsbReplies);
}

TEST(UsbModel, ModesShapeInTransfers) {
  PrinterState st;
  st.usbMode = UsbMode::Silent;
  usbOut(st, "CheckStatus?");
  EXPECT_EQ(usbIn(st, 512), std::nullopt);
  st.usbMode = UsbMode::Empty;
  EXPECT_EQ(usbIn(st, 512), std::optional<std::string>(""));
  st.usbMode = UsbMode::SingleByte;
  EXPECT_EQ(usbIn(st, 512), std::optional<std::string>(std::string(1, '\0')));
  st.usbPlugged = false;
  st.usbMode = UsbMode::Normal;
  EXPECT_EQ(usbIn(st, 512), std::nullopt);
}

TEST(UsbModel, ScriptAnswersFirstThenModeResumes) {
  PrinterState st;
  std::vector<std::string> script;
  std::string err;
  ASSERT_TRUE(parseUsbScript("697061646401,00*3,,49506164643a0102030405060708090a0b0c0d0e", script, err)) << err;
  ASSERT_EQ(script.size(), 6u);
  EXPECT_EQ(script[1], std::string(1, '\0'));
  EXPECT_EQ(script[4], "");
  st.usbScript.assign(script.begin(), script.end());
  usbOut(st, "CheckIP?");
  EXPECT_EQ(*usbIn(st, 512), "ipadd\x01");
  for (int i = 0; i < 3; ++i) EXPECT_EQ(usbIn(st, 512)->size(), 1u);
  EXPECT_EQ(*usbIn(st, 512), "");
  EXPECT_EQ(usbIn(st, 512)->size(), 20u);
  // Script done: the queued reply to CheckIP? comes now.
  EXPECT_EQ(usbIn(st, 512)->substr(0, 6), "IPadd:");
  EXPECT_EQ(usbIn(st, 512), std::nullopt);

  EXPECT_FALSE(parseUsbScript("0g", script, err));
  EXPECT_FALSE(parseUsbScript("abc", script, err));
  EXPECT_FALSE(parseUsbScript("00*0", script, err));
  EXPECT_FALSE(parseUsbScript("00*x", script, err));
}

TEST(UdpModel, GetStatusOnly) {
  PrinterState st;
  st.statusLines = {"CODE=44114"};
  EXPECT_EQ(udpDatagram(st, "GetStatus;", "127.0.0.1:9102"), std::optional<std::string>("CODE=44114\r"));
  EXPECT_EQ(udpDatagram(st, "GetStatus", "127.0.0.1:9102"), std::nullopt);
  EXPECT_EQ(udpDatagram(st, "GetStatus;;", "127.0.0.1:9102"), std::nullopt);
  st.udpMode = UdpMode::Empty;
  EXPECT_EQ(udpDatagram(st, "GetStatus;", "127.0.0.1:9102"), std::optional<std::string>(""));
  st.udpMode = UdpMode::Silent;
  EXPECT_EQ(udpDatagram(st, "GetStatus;", "127.0.0.1:9102"), std::nullopt);
  ASSERT_EQ(st.udpLog.size(), 5u);
  EXPECT_NE(st.udpLog[1].find("ignored"), std::string::npos);
  EXPECT_NE(st.udpLog[0].find("127.0.0.1:9102"), std::string::npos);
}

TEST(ControlCommands, ParseAndApply) {
  PrinterState st;
  ControlCommand c;
  std::string err, reply;
  auto apply = [&](std::vector<std::string> args) {
    EXPECT_TRUE(parseControlCommand(args, c, err)) << args[0] << ": " << err;
    return applyControlCommand(st, c, reply);
  };
  EXPECT_TRUE(apply({"status", "10001", "10023"}));
  EXPECT_EQ(buildStatusReply(st.statusLines), "CODE=10001\rCODE=10023\r");
  EXPECT_TRUE(apply({"lock", "script:2,1"}));
  EXPECT_EQ(st.lock.mode(), LockResponder::Mode::Script);
  EXPECT_TRUE(apply({"stall", "on"}));
  EXPECT_TRUE(st.stall);
  EXPECT_TRUE(apply({"backstatus", "CODE=10023\\rCODE=10001\\r", "64"}));
  EXPECT_EQ(st.backStatus, "CODE=10023\rCODE=10001\r");
  EXPECT_EQ(st.backStatusAfterKib, 64u);
  EXPECT_TRUE(apply({"backstatus", "off"}));
  EXPECT_EQ(st.backStatus, "");
  usbOut(st, "CheckStatus?");
  EXPECT_TRUE(apply({"usb-mode", "single-byte"}));
  EXPECT_EQ(st.usbMode, UsbMode::SingleByte);
  EXPECT_TRUE(st.usbReplies.empty());  // a mode change drops stale replies
  EXPECT_TRUE(apply({"usb-script", "00*2,01"}));
  EXPECT_EQ(st.usbScript.size(), 3u);
  EXPECT_TRUE(apply({"usb-script", "clear"}));
  EXPECT_TRUE(st.usbScript.empty());
  EXPECT_TRUE(apply({"ip", "10.1.2.3/255.255.0.0/10.1.0.1"}));
  EXPECT_EQ(formatIpSettings(st.ip), "10.1.2.3/255.255.0.0/10.1.0.1");
  EXPECT_TRUE(apply({"release-fail", "on"}));
  EXPECT_TRUE(st.releaseFail);
  EXPECT_TRUE(apply({"udp-mode", "empty"}));
  EXPECT_EQ(st.udpMode, UdpMode::Empty);
  EXPECT_TRUE(apply({"state"}));
  EXPECT_NE(reply.find("ip=10.1.2.3/255.255.0.0/10.1.0.1\n"), std::string::npos) << reply;
  EXPECT_NE(reply.find("status=CODE=10001\\rCODE=10023\\r\n"), std::string::npos) << reply;
  EXPECT_NE(reply.find("release_fail=on\n"), std::string::npos);
  EXPECT_TRUE(apply({"usb-log"}));
  EXPECT_EQ(reply, "out 436865636b5374617475733f\n");
  EXPECT_TRUE(apply({"usb-log", "clear"}));
  EXPECT_TRUE(st.usbLog.empty());

  // Commands the program carries out itself.
  EXPECT_FALSE(apply({"unplug"}));
  EXPECT_FALSE(apply({"replug"}));
  EXPECT_FALSE(apply({"quit"}));
  EXPECT_FALSE(apply({"wait-jobs", "3", "2.5"}));
  EXPECT_EQ(c.count, 3);
  EXPECT_DOUBLE_EQ(c.timeoutSeconds, 2.5);
}

TEST(ControlCommands, BadCommandsAreRejected) {
  ControlCommand c;
  std::string err;
  const std::vector<std::vector<std::string>> bad = {
      {},
      {"frobnicate"},
      {"status"},
      {"status", "jam"},
      {"lock"},
      {"lock", "maybe"},
      {"stall", "yes"},
      {"stall", "on", "off"},
      {"backstatus"},
      {"backstatus", "text", "many"},
      {"usb-mode", "loud"},
      {"usb-script", "zz"},
      {"ip", "1.2.3.4"},
      {"release-fail"},
      {"udp-mode", "x"},
      {"wait-jobs", "1"},
      {"wait-jobs", "x", "1"},
      {"wait-jobs", "1", "-1"},
      {"usb-log", "all"},
      {"quit", "now"},
      {"unplug", "1"},
  };
  for (const auto &args : bad) {
    err.clear();
    EXPECT_FALSE(parseControlCommand(args, c, err)) << (args.empty() ? "(none)" : args[0]);
    EXPECT_FALSE(err.empty());
  }
}

TEST(Text, EscapesRoundTrip) {
  std::string raw = std::string("a\\b\rc\nd\te\x01\x7f\xe4\xb8\xad", 14);
  std::string esc = escapeText(raw);
  EXPECT_EQ(esc, "a\\\\b\\rc\\nd\\te\\x01\\x7f\xe4\xb8\xad");
  EXPECT_EQ(unescapeText(esc), raw);
  EXPECT_EQ(unescapeText("\\e%-12345X\\x41\\q"), "\x1b%-12345XA\\q");
  std::string bytes;
  EXPECT_TRUE(fromHex("00 ff:10", bytes));
  EXPECT_EQ(bytes, std::string("\x00\xff\x10", 3));
  EXPECT_FALSE(fromHex("0", bytes));
  EXPECT_EQ(showBytes("CODE=1\r"), "\"CODE=1\\r\"");
  EXPECT_EQ(showBytes(std::string("IP\xc0", 3)), "hex:4950c0");
}
