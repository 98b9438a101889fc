// usb_communicate against the simulator's emulated printer. Each test starts
// its own simulator (under umockdev-wrapper) and runs the link in a separate
// client process (usblink_client.cpp) under the umockdev preload library;
// the client prints what every call returned and every debug line the link
// wrote, in order.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "sim_test_util.h"

using simtest::RunResult;
using simtest::TempDir;

namespace {

using simtest::countOf;
using simtest::hexOf;
using simtest::Lines;
using simtest::splitLines;
using simtest::valueOf;

const std::string kCheckStatus = hexOf("CheckStatus?");
const std::string kSend = "send:" + kCheckStatus;
const std::string kIdleReply = hexOf("CODE=10001\r");
const std::string kMonitorReadLog = "log ReadCmd libusb_bulk_transfer return = ";

struct ClientRun {
  int status = -1;
  Lines out;
  Lines timings;  // "OP ms=T", one per operation
  std::string err;

  // Milliseconds taken by the n-th operation called `op` (0-based), or -1.
  long ms(const std::string &op, int n = 0) const {
    for (const std::string &t : timings) {
      if (t.compare(0, op.size() + 4, op + " ms=") != 0) continue;
      if (n-- == 0) return std::atol(t.c_str() + op.size() + 4);
    }
    return -1;
  }
};

// One simulator with the emulated USB printer, ended when the test ends.
class UsbSim {
 public:
  explicit UsbSim(const std::vector<std::string> &options)
      : sim_(KPX_SIM_PROGRAM, KPX_SIM_START_SCRIPT, dir_.path(), dir_.path(), options) {}

  const std::string &error() const { return sim_.error(); }
  RunResult ctl(const std::vector<std::string> &args) const { return sim_.ctl(args); }

  Lines usbLog() const { return splitLines(ctl({"usb-log"}).out); }

  // Runs the link client with the configuration flag (--monitor/--setup).
  ClientRun client(const std::string &config, const std::vector<std::string> &ops) const {
    std::vector<std::string> argv = {KPX_USBLINK_CLIENT, config, "--ctl", KPX_SIM_PROGRAM, sim_.socket()};
    argv.insert(argv.end(), ops.begin(), ops.end());
    RunResult r = simtest::run(
        argv, {"UMOCKDEV_DIR=" + sim_.usbDir(), "LD_PRELOAD=libumockdev-preload.so.0"}, 30000);
    ClientRun c;
    c.status = r.status;
    c.out = splitLines(r.out);
    c.err = r.err;
    for (const std::string &l : splitLines(r.err))
      if (l.find(" ms=") != std::string::npos) c.timings.push_back(l);
    return c;
  }

 private:
  TempDir dir_;
  simtest::DetachedUsbSim sim_;
};

#define START_SIM(var, ...)     \
  UsbSim var{__VA_ARGS__};      \
  ASSERT_EQ(var.error(), "")

std::string readLine(int result, const std::string &dataHex) {
  return "read " + std::to_string(result) + " guard=ok data=" + dataHex;
}

}  // namespace

// ---------------------------------------------------------------------------
// Presence and opening

TEST(UsbLinkOpen, NoPrinterOnTheBusThenPluggedIn) {
  START_SIM(sim, {"--unplugged"});
  ClientRun c = sim.client("--monitor", {"fds", "check", "init", "fds", "ctl:replug", "check",
                                         "init", kSend, "read:512", "release", "fds"});
  ASSERT_EQ(c.status, 0) << c.err;
  ASSERT_EQ(c.out.size(), 14u) << ::testing::PrintToString(c.out);
  // A failed open leaves nothing behind.
  EXPECT_EQ(c.out[4], c.out[0]);
  EXPECT_EQ(c.out[13], c.out[0]);
  EXPECT_EQ(Lines(c.out.begin() + 1, c.out.end() - 1),
            (Lines{"check 0", "log find device error", "init 252", c.out[0], "ctl 0", "check 1",
                   "init 0", "send 0", kMonitorReadLog + "0", readLine(11, kIdleReply),
                   "log release Device", "release 0"}));

  // The setup tool's configuration logs the same on a missing printer.
  ASSERT_EQ(sim.ctl({"unplug"}).status, 0);
  c = sim.client("--setup", {"check", "init"});
  EXPECT_EQ(c.out, (Lines{"check 0", "log find device error", "init 252"}));
}

TEST(UsbLinkOpen, TakesThePrinterFromTheKernelDriver) {
  START_SIM(sim, {});
  EXPECT_EQ(valueOf(sim.ctl({"state"}).out, "kernel_driver"), "usblp");
  ClientRun c = sim.client("--setup", {"check", "init", kSend, "read:512", "release"});
  ASSERT_EQ(c.status, 0) << c.err;
  EXPECT_EQ(c.out, (Lines{"check 1", "init 0", "send 0", readLine(11, kIdleReply), "release 0"}));
  Lines log = sim.usbLog();
  EXPECT_EQ(countOf(log, "detach usblp"), 1) << sim.ctl({"usb-log"}).out;
  EXPECT_EQ(countOf(log, "attach usblp"), 0);
  // Not given back to the kernel driver after the release.
  EXPECT_EQ(valueOf(sim.ctl({"state"}).out, "kernel_driver"), "none");

  // The next opening finds the driver gone and says so.
  c = sim.client("--setup", {"init", kSend, "read:512", "release"});
  EXPECT_EQ(c.out, (Lines{"log kernel driver not active", "init 0", "send 0",
                          readLine(11, kIdleReply), "release 0"}));
}

TEST(UsbLinkOpen, PrinterNotHeldByTheKernelDriver) {
  START_SIM(sim, {"--no-kernel-driver"});
  ClientRun c = sim.client("--monitor", {"init", kSend, "read:512", "release"});
  ASSERT_EQ(c.status, 0) << c.err;
  EXPECT_EQ(c.out, (Lines{"log kernel driver not active", "init 0", "send 0",
                          kMonitorReadLog + "0", readLine(11, kIdleReply), "log release Device",
                          "release 0"}));
  EXPECT_EQ(countOf(sim.usbLog(), "detach usblp"), 0);
}

// ---------------------------------------------------------------------------
// Commands and replies

TEST(UsbLinkExchange, CommandBytesAndReplies) {
  START_SIM(sim, {"--status", "CODE=44114", "--status", "CODE=10023"});
  ASSERT_EQ(sim.ctl({"usb-log", "clear"}).status, 0);
  // Two commands in a row (the second claim is harmless), a presence test
  // while the device is open, then both replies.
  ClientRun c = sim.client("--setup", {"init", kSend, kSend, "check", "read:512", "read:512",
                                       "send:" + hexOf("CheckIP?"), "read:512", "release"});
  ASSERT_EQ(c.status, 0) << c.err;
  const std::string reply = hexOf("CODE=44114\rCODE=10023\r");
  EXPECT_EQ(c.out, (Lines{"init 0", "send 0", "send 0", "check 1", readLine(22, reply),
                          readLine(22, reply), "send 0",
                          readLine(18, hexOf("IPadd:") + "c0a80164ffffff00c0a80101"),
                          "release 0"}));
  Lines log = sim.usbLog();
  EXPECT_EQ(countOf(log, "out " + kCheckStatus), 2) << sim.ctl({"usb-log"}).out;
  EXPECT_EQ(countOf(log, "out " + hexOf("CheckIP?")), 1);
  EXPECT_EQ(countOf(log, "claim 0"), 1);
  EXPECT_EQ(countOf(log, "release 0"), 1);
  // Nothing but whole commands went out.
  for (const std::string &l : log) {
    if (l.compare(0, 4, "out ") == 0) {
      EXPECT_TRUE(l == "out " + kCheckStatus || l == "out " + hexOf("CheckIP?")) << l;
    }
  }
}

TEST(UsbLinkExchange, SilentPrinterTimesOut) {
  START_SIM(sim, {"--usb-mode", "silent"});
  ClientRun c = sim.client("--monitor", {"init", kSend, "read:512", "ctl:usb-mode,normal",
                                         kSend, "read:512", "release"});
  ASSERT_EQ(c.status, 0) << c.err;
  // The link stays usable after a timed-out read.
  EXPECT_EQ(c.out, (Lines{"init 0", "send 0", kMonitorReadLog + "-7", "log read Error",
                          readLine(254, ""), "ctl 0", "send 0", kMonitorReadLog + "0",
                          readLine(11, kIdleReply), "log release Device", "release 0"}));
  long ms = c.ms("read");
  EXPECT_GE(ms, 900) << "the monitor waits 1000 ms";
  EXPECT_LT(ms, 3000);
  EXPECT_GE(countOf(sim.usbLog(), "cancel in"), 1);

  ASSERT_EQ(sim.ctl({"usb-mode", "silent"}).status, 0);
  c = sim.client("--setup", {"init", kSend, "read:512", "release"});
  EXPECT_EQ(c.out, (Lines{"log kernel driver not active", "init 0", "send 0", "log read Error",
                          readLine(254, ""), "release 0"}));
  ms = c.ms("read");
  EXPECT_GE(ms, 400) << "the setup tool waits 500 ms";
  EXPECT_LT(ms, 3000);
}

TEST(UsbLinkExchange, EmptyReplyCountsOnlyForTheMonitor) {
  START_SIM(sim, {"--usb-mode", "empty"});
  ClientRun c = sim.client("--monitor", {"init", kSend, "read:512", "release"});
  ASSERT_EQ(c.status, 0) << c.err;
  EXPECT_EQ(c.out, (Lines{"init 0", "send 0", kMonitorReadLog + "0", readLine(0, ""),
                          "log release Device", "release 0"}));
  c = sim.client("--setup", {"init", kSend, "read:512", "release"});
  EXPECT_EQ(c.out, (Lines{"log kernel driver not active", "init 0", "send 0", "log read Error",
                          readLine(254, ""), "release 0"}));
}

TEST(UsbLinkExchange, SingleByteReply) {
  START_SIM(sim, {"--usb-mode", "single-byte", "--no-kernel-driver"});
  for (const std::string config : {"--monitor", "--setup"}) {
    ClientRun c = sim.client(config, {"init", kSend, "read:512", "read:1"});
    ASSERT_EQ(c.status, 0) << c.err;
    Lines results;
    for (const std::string &l : c.out)
      if (l.compare(0, 4, "log ") != 0) results.push_back(l);
    EXPECT_EQ(results, (Lines{"init 0", "send 0", readLine(1, "00"), readLine(1, "00")}))
        << config;
  }
}

TEST(UsbLinkExchange, ScriptedRepliesInOrder) {
  START_SIM(sim, {"--no-kernel-driver", "--usb-script", "414243,,ff*2"});
  ClientRun c = sim.client("--monitor", {"init", "read:512", "read:512", "read:512", "read:512"});
  ASSERT_EQ(c.status, 0) << c.err;
  EXPECT_EQ(c.out, (Lines{"log kernel driver not active", "init 0", kMonitorReadLog + "0",
                          readLine(3, "414243"), kMonitorReadLog + "0", readLine(0, ""),
                          kMonitorReadLog + "0", readLine(1, "ff"), kMonitorReadLog + "0",
                          readLine(1, "ff")}));

  ASSERT_EQ(sim.ctl({"usb-script", "0d0a,,"}).status, 0);
  c = sim.client("--setup", {"init", "read:512", "read:512", "read:512"});
  EXPECT_EQ(c.out, (Lines{"log kernel driver not active", "init 0", readLine(2, "0d0a"),
                          "log read Error", readLine(254, ""), "log read Error",
                          readLine(254, "")}));
}

TEST(UsbLinkExchange, ReplyLongerThanTheBufferStaysInside) {
  std::string longReply;
  for (int i = 0; i < 300; ++i) longReply += static_cast<char>(i * 7 + 1);
  std::string reply254 = longReply.substr(0, 254), reply255 = longReply.substr(0, 255);
  START_SIM(sim, {"--no-kernel-driver"});
  ASSERT_EQ(sim.ctl({"usb-script", hexOf(longReply) + "*3," + hexOf(reply254) + "," +
                                       hexOf(reply255)})
                .status,
            0);
  ClientRun c = sim.client("--setup", {"init", "read:16", "read:1", "read:0", "read:512",
                                       "read:512"});
  ASSERT_EQ(c.status, 0) << c.err;
  ASSERT_EQ(c.out.size(), 8u) << ::testing::PrintToString(c.out);
  EXPECT_EQ(c.out[2], readLine(16, hexOf(longReply.substr(0, 16))));
  EXPECT_EQ(c.out[3], readLine(1, hexOf(longReply.substr(0, 1))));
  // A zero-length buffer receives nothing; for the setup tool that is a failed read.
  EXPECT_EQ(c.out[4], "log read Error");
  EXPECT_EQ(c.out[5], readLine(254, ""));
  // A 254-byte reply returns 254 like a failure; its bytes are there all the same.
  EXPECT_EQ(c.out[6], readLine(254, hexOf(reply254)));
  EXPECT_EQ(c.out[7], readLine(255, hexOf(reply255)));
}

// ---------------------------------------------------------------------------
// Release

TEST(UsbLinkRelease, ReleaseThenOpenAgainFromScratch) {
  START_SIM(sim, {});
  ASSERT_EQ(sim.ctl({"usb-log", "clear"}).status, 0);
  ClientRun c = sim.client("--monitor", {"fds", "init", kSend, "read:512", "release", "fds",
                                         "init", kSend, "read:512", "release", "fds"});
  ASSERT_EQ(c.status, 0) << c.err;
  ASSERT_EQ(c.out.size(), 16u) << ::testing::PrintToString(c.out);
  EXPECT_EQ(c.out[7], c.out[0]) << "the first release left something open";
  EXPECT_EQ(c.out[15], c.out[0]) << "the second release left something open";
  EXPECT_EQ(Lines(c.out.begin() + 8, c.out.begin() + 15),
            (Lines{"log kernel driver not active", "init 0", "send 0", kMonitorReadLog + "0",
                   readLine(11, kIdleReply), "log release Device", "release 0"}));
  // A new handle each time: the interface is claimed anew after each opening.
  Lines events;
  for (const std::string &l : sim.usbLog())
    if (l == "claim 0" || l == "release 0" || l == "detach usblp") events.push_back(l);
  EXPECT_EQ(events, (Lines{"detach usblp", "claim 0", "release 0", "claim 0", "release 0"}));
}

TEST(UsbLinkRelease, RefusedReleaseKeepsTheLinkOpen) {
  START_SIM(sim, {"--no-kernel-driver"});
  ClientRun c = sim.client(
      "--monitor", {"fds", "init", kSend, "read:512", "ctl:release-fail,on", "release", kSend,
                    "read:512", "ctl:release-fail,off", "release", "fds"});
  ASSERT_EQ(c.status, 0) << c.err;
  ASSERT_EQ(c.out.size(), 17u) << ::testing::PrintToString(c.out);
  EXPECT_EQ(c.out[16], c.out[0]);
  EXPECT_EQ(Lines(c.out.begin() + 1, c.out.end() - 1),
            (Lines{"log kernel driver not active", "init 0", "send 0", kMonitorReadLog + "0",
                   readLine(11, kIdleReply), "ctl 0", "log release Device",
                   "log Cannot Release Interface", "release 255", "send 0",
                   kMonitorReadLog + "0", readLine(11, kIdleReply), "ctl 0",
                   "log release Device", "release 0"}));
  Lines log = sim.usbLog();
  EXPECT_EQ(countOf(log, "release 0 refused"), 1);
  EXPECT_EQ(countOf(log, "release 0"), 1);

  ASSERT_EQ(sim.ctl({"release-fail", "on"}).status, 0);
  c = sim.client("--setup", {"init", kSend, "release", "ctl:release-fail,off", "release", "init",
                             kSend, "read:512", "release"});
  EXPECT_EQ(c.out, (Lines{"log kernel driver not active", "init 0", "send 0",
                          "log Cannot Release Interface", "release 255", "ctl 0", "release 0",
                          "log kernel driver not active", "init 0", "send 0",
                          readLine(11, kIdleReply), "release 0"}));
}

// ---------------------------------------------------------------------------
// Unplugging

TEST(UsbLinkUnplug, UnplugWhileOpenThenReplug) {
  START_SIM(sim, {});
  ClientRun c = sim.client("--monitor", {"fds", "init", kSend, "read:512", "ctl:unplug", kSend,
                                         "read:512", "release", "check", "ctl:replug", "check",
                                         "init", kSend, "read:512", "release", "fds"});
  ASSERT_EQ(c.status, 0) << c.err;
  ASSERT_GE(c.out.size(), 2u);
  // Opening again after the lost device leaves nothing of the old one behind.
  EXPECT_EQ(c.out.back(), c.out.front());

  // Whether the claim or the transfer notices the missing device first
  // depends on when libusb has seen the removal; both are failures.
  Lines expected = {c.out.front(), "init 0", "send 0", kMonitorReadLog + "0",
                    readLine(11, kIdleReply), "ctl 0"};
  size_t at = expected.size();
  ASSERT_GT(c.out.size(), at + 1);
  if (c.out[at] == "log Cannot Claim Interface") {
    expected.insert(expected.end(), {"log Cannot Claim Interface", "send 253"});
  } else {
    expected.insert(expected.end(), {"log Write Error", "send 253"});
  }
  at = expected.size();
  ASSERT_GT(c.out.size(), at + 1);
  if (c.out[at] == "log Cannot Claim Interface") {
    expected.insert(expected.end(), {"log Cannot Claim Interface", readLine(254, "")});
  } else {
    expected.insert(expected.end(), {kMonitorReadLog + "-4", "log read Error", readLine(254, "")});
  }
  // The lost device cannot be released; the link stays open until the
  // next opening replaces it.
  expected.insert(expected.end(),
                  {"log release Device", "log Cannot Release Interface", "release 255", "check 0",
                   "ctl 0", "check 1", "init 0", "send 0", kMonitorReadLog + "0",
                   readLine(11, kIdleReply), "log release Device", "release 0", c.out.front()});
  EXPECT_EQ(c.out, expected);
}

TEST(UsbLinkUnplug, UnplugBeforeTheFirstTransferFailsTheClaim) {
  START_SIM(sim, {"--no-kernel-driver"});
  ClientRun c = sim.client("--setup", {"init", "ctl:unplug", kSend, "read:512", "ctl:replug",
                                       "init", kSend, "read:512", "release"});
  ASSERT_EQ(c.status, 0) << c.err;
  EXPECT_EQ(c.out, (Lines{"log kernel driver not active", "init 0", "ctl 0",
                          "log Cannot Claim Interface", "send 253",
                          "log Cannot Claim Interface", "read 254 guard=ok data=", "ctl 0",
                          "log kernel driver not active", "init 0", "send 0",
                          readLine(11, kIdleReply), "release 0"}));
}

TEST(UsbLinkUnplug, PendingReadEndsWhenThePrinterGoes) {
  START_SIM(sim, {"--usb-mode", "silent"});
  ClientRun c;
  std::thread client([&] { c = sim.client("--monitor", {"init", kSend, "read:512"}); });
  // Unplug once the command went out, while the read waits for its reply.
  bool sent = false;
  for (int i = 0; i < 200 && !sent; ++i) {
    sent = countOf(sim.usbLog(), "out " + kCheckStatus) > 0;
    if (!sent) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  RunResult unplug = sim.ctl({"unplug"});
  client.join();
  ASSERT_TRUE(sent);
  ASSERT_EQ(unplug.status, 0);
  ASSERT_EQ(c.status, 0) << c.err;
  // Not a timeout (-7): the device is gone (-4).
  EXPECT_EQ(c.out, (Lines{"init 0", "send 0", kMonitorReadLog + "-4", "log read Error",
                          readLine(254, "")}));
}

// ---------------------------------------------------------------------------
// Scoped use: a session and the link's own end let go of the printer

TEST(UsbLinkScoped, SessionAndLinkReleaseWhatTheyHold) {
  START_SIM(sim, {"--no-kernel-driver"});
  ASSERT_EQ(sim.ctl({"usb-log", "clear"}).status, 0);
  // A session opens, carries the exchange and releases at its end; a link
  // destroyed while open gives everything back (the next one opens at once).
  ClientRun c = sim.client("--monitor", {"fds", "session", kSend, "read:512", "session-end", "fds", "init",
                                         kSend, "renew", "fds", "init", kSend, "release", "fds"});
  ASSERT_EQ(c.status, 0) << c.err;
  ASSERT_EQ(c.out.size(), 21u) << ::testing::PrintToString(c.out);
  EXPECT_EQ(Lines(c.out.begin() + 1, c.out.begin() + 9),
            (Lines{"log device attached", "log kernel driver not active", "session 0 open=1", "send 0",
                   kMonitorReadLog + "0", readLine(11, kIdleReply), "log release Device", "session-end"}));
  EXPECT_EQ(c.out[9], c.out[0]) << "the session left something open";
  EXPECT_EQ(Lines(c.out.begin() + 10, c.out.begin() + 14),
            (Lines{"log kernel driver not active", "init 0", "send 0", "renew"}));
  EXPECT_EQ(c.out[14], c.out[0]) << "the destroyed link left something open";
  EXPECT_EQ(Lines(c.out.begin() + 16, c.out.end()), (Lines{"init 0", "send 0", "log release Device", "release 0", c.out[0]}));
  Lines events;
  for (const std::string &l : sim.usbLog())
    if (l == "claim 0" || l == "release 0") events.push_back(l);
  EXPECT_EQ(events, (Lines{"claim 0", "release 0", "claim 0", "release 0", "claim 0", "release 0"}));

  // No printer: nothing opened, nothing released.
  ASSERT_EQ(sim.ctl({"unplug"}).status, 0);
  c = sim.client("--monitor", {"session", "session-end"});
  EXPECT_EQ(c.out, (Lines{"log device disattach", "session 255 open=0", "session-end"}));
}
