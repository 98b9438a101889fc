// The emulated USB printer seen through plain libusb calls of a separate
// client process (tests/sim/usb_client.cpp), with the simulator running
// under umockdev-wrapper.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "printstream.h"
#include "sim_process.h"
#include "textutil.h"

using namespace simtest;

namespace {

#define START_USB_SIM(var, ...)                     \
  SimProcess var{__VA_ARGS__};                      \
  ASSERT_TRUE(var.ready()) << var.startupError()

std::vector<std::string> lines(const std::string &text) {
  std::vector<std::string> out;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t eol = text.find('\n', pos);
    if (eol == std::string::npos) eol = text.size();
    out.push_back(text.substr(pos, eol - pos));
    pos = eol + 1;
  }
  return out;
}


const std::string kCheckStatus = hexOf("CheckStatus?");
const std::string kCheckIp = hexOf("CheckIP?");
// The usual opening of an exchange: find, open, take the interface.
const std::vector<std::string> kOpen = {"open", "detach", "claim"};

std::vector<std::string> ops(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const auto &p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

}  // namespace

TEST(SimUsb, CheckStatusAndCheckIp) {
  START_USB_SIM(sim, {"--status", "CODE=10001", "--ip", "192.168.1.10/255.255.255.0/192.168.1.1"}, true);
  EXPECT_EQ(sim.usbDir().rfind(sim.dir().path() + "/umockdev.", 0), 0u) << sim.usbDir();
  RunResult r = sim.usbClient({"find", "open", "kda", "detach", "kda", "claim", "write:" + kCheckStatus,
                               "read:512", "write:" + kCheckIp, "read:512", "release", "close"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(lines(r.out), (std::vector<std::string>{
                              "find count=1 addr=2",
                              "open rc=0",
                              "kda rc=1",
                              "detach rc=0",
                              "kda rc=0",
                              "claim rc=0",
                              "write rc=0 n=12",
                              "read rc=0 n=11 hex=" + hexOf("CODE=10001\r"),
                              "write rc=0 n=8",
                              "read rc=0 n=18 hex=49506164643ac0a8010affffff00c0a80101",
                              "release rc=0",
                              "close rc=0",
                          }));
  r = sim.usbClient({"open", "devid"});
  EXPECT_EQ(lines(r.out).back(),
            "devid rc=0 id=MFG:ZUVA;CMD:PJL,PCLXL;MDL:KPX7720MW;CLS:PRINTER;DES:ZUVA KPX7720MW;");
  // The status follows the control socket.
  ASSERT_EQ(sim.ctl({"status", "44114", "10023"}).status, 0);
  r = sim.usbClient(ops({kOpen, {"write:" + kCheckStatus, "read:512"}}));
  EXPECT_EQ(lines(r.out).back(), "read rc=0 n=22 hex=" + hexOf("CODE=44114\rCODE=10023\r"));
}

TEST(SimUsb, SetIpIsRecordedByteForByte) {
  START_USB_SIM(sim, {}, true);
  const std::string set = "53657449503d0a000005ff0000000a0000013b";
  RunResult r = sim.usbClient(ops({kOpen, {"write:" + set, "write:" + kCheckIp, "read:512"}}));
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<std::string> out = lines(r.out);
  EXPECT_EQ(out[3], "write rc=0 n=19");
  EXPECT_EQ(out.back(), "read rc=0 n=18 hex=49506164643a0a000005ff0000000a000001");
  RunResult log = sim.ctl({"usb-log"});
  ASSERT_EQ(log.status, 0);
  EXPECT_NE(log.out.find("out " + set + "\n"), std::string::npos) << log.out;
  EXPECT_EQ(valueOf(sim.ctl({"state"}).out, "ip"), "10.0.0.5/255.0.0.0/10.0.0.1");
}

TEST(SimUsb, SilentModeTimesOutAndTheNextExchangeWorks) {
  START_USB_SIM(sim, {"--usb-mode", "silent"}, true);
  auto t0 = std::chrono::steady_clock::now();
  RunResult r = sim.usbClient(ops({kOpen, {"write:" + kCheckStatus, "read:512:500"}}));
  double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  EXPECT_EQ(lines(r.out).back(), "read rc=-7 n=0 hex=");  // LIBUSB_ERROR_TIMEOUT
  EXPECT_GE(took, 0.5);
  EXPECT_LT(took, 10.0);
  EXPECT_NE(sim.ctl({"usb-log"}).out.find("cancel in"), std::string::npos);

  // The cancelled transfer was reaped: the same client carries on.
  ASSERT_EQ(sim.ctl({"usb-mode", "normal"}).status, 0);
  r = sim.usbClient(ops({kOpen, {"read:512:300", "write:" + kCheckStatus, "read:512:1000"}}));
  std::vector<std::string> out = lines(r.out);
  ASSERT_EQ(out.size(), 6u) << r.out;
  EXPECT_EQ(out[3], "read rc=-7 n=0 hex=");  // nothing asked: a read waits
  EXPECT_EQ(out[5], "read rc=0 n=11 hex=" + hexOf("CODE=10001\r"));
}

TEST(SimUsb, EmptyAndSingleByteModes) {
  START_USB_SIM(sim, {"--usb-mode", "empty"}, true);
  RunResult r = sim.usbClient(ops({kOpen, {"write:" + kCheckStatus, "read:512", "read:512"}}));
  std::vector<std::string> out = lines(r.out);
  ASSERT_EQ(out.size(), 6u) << r.out;
  EXPECT_EQ(out[4], "read rc=0 n=0 hex=");
  EXPECT_EQ(out[5], "read rc=0 n=0 hex=");

  ASSERT_EQ(sim.ctl({"usb-mode", "single-byte"}).status, 0);
  r = sim.usbClient(ops({kOpen, {"write:" + kCheckIp, "read:512", "read:512"}}));
  out = lines(r.out);
  ASSERT_EQ(out.size(), 6u) << r.out;
  EXPECT_EQ(out[4], "read rc=0 n=1 hex=00");
  EXPECT_EQ(out[5], "read rc=0 n=1 hex=00");
}

TEST(SimUsb, ScriptedAnswersThenTheModeResumes) {
  START_USB_SIM(sim, {}, true);
  // Lower-case prefix, three single bytes, a 20-byte reply, then the queued reply.
  const std::string lower = hexOf("ipadd:") + "0102030405060708090a0b0c";
  const std::string twenty = hexOf("IPadd:") + "c0a80164ffffff00c0a801010000";
  ASSERT_EQ(sim.ctl({"usb-script", lower + ",00*3," + twenty}).status, 0);
  RunResult r = sim.usbClient(ops({kOpen, {"write:" + kCheckIp, "read:512", "read:512", "read:512",
                                           "read:512", "read:512", "read:512", "read:512:300"}}));
  std::vector<std::string> out = lines(r.out);
  ASSERT_EQ(out.size(), 11u) << r.out;
  EXPECT_EQ(out[4], "read rc=0 n=18 hex=" + lower);
  EXPECT_EQ(out[5], "read rc=0 n=1 hex=00");
  EXPECT_EQ(out[7], "read rc=0 n=1 hex=00");
  EXPECT_EQ(out[8], "read rc=0 n=20 hex=" + twenty);
  EXPECT_EQ(out[9], "read rc=0 n=18 hex=49506164643ac0a80164ffffff00c0a80101");
  EXPECT_EQ(out[10], "read rc=-7 n=0 hex=");
  EXPECT_EQ(valueOf(sim.ctl({"state"}).out, "usb_script_left"), "0");
}

TEST(SimUsb, UnplugAndReplug) {
  START_USB_SIM(sim, {}, true);
  ASSERT_EQ(sim.ctl({"unplug"}).status, 0);
  RunResult r = sim.usbClient({"find", "open"});
  EXPECT_EQ(lines(r.out), (std::vector<std::string>{"find count=0 addr=", "open rc=-5"}));
  EXPECT_NE(sim.ctl({"unplug"}).status, 0);  // already gone

  ASSERT_EQ(sim.ctl({"replug"}).status, 0);
  r = sim.usbClient(ops({{"find"}, kOpen, {"write:" + kCheckStatus, "read:512"}}));
  std::vector<std::string> out = lines(r.out);
  ASSERT_EQ(out.size(), 6u) << r.out;
  EXPECT_EQ(out[0], "find count=1 addr=3");  // a new device number
  EXPECT_EQ(out[2], "detach rc=0");          // usblp bound again
  EXPECT_EQ(out[5], "read rc=0 n=11 hex=" + hexOf("CODE=10001\r"));
  EXPECT_NE(sim.ctl({"replug"}).status, 0);
}

TEST(SimUsb, UnplugFailsAPendingRead) {
  START_USB_SIM(sim, {"--usb-mode", "silent"}, true);
  RunResult r;
  std::thread client([&] { r = sim.usbClient(ops({kOpen, {"read:512:5000"}})); });
  // Unplug once the read is waiting.
  for (int i = 0; i < 100; ++i) {
    if (sim.log().find("claimed interface 0") != std::string::npos) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  auto t0 = std::chrono::steady_clock::now();
  ASSERT_EQ(sim.ctl({"unplug"}).status, 0);
  client.join();
  double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  EXPECT_EQ(lines(r.out).back(), "read rc=-4 n=0 hex=");  // LIBUSB_ERROR_NO_DEVICE
  EXPECT_LT(took, 4.0);
}

TEST(SimUsb, KernelDriverDetach) {
  {
    START_USB_SIM(sim, {}, true);
    RunResult r = sim.usbClient({"open", "kda", "claim", "detach", "detach", "claim", "kda"});
    EXPECT_EQ(lines(r.out), (std::vector<std::string>{"open rc=0", "kda rc=1", "claim rc=-6",
                                                      "detach rc=0", "detach rc=-5", "claim rc=0",
                                                      "kda rc=0"}));
    // Detached stays detached for the next client.
    r = sim.usbClient({"open", "kda", "claim"});
    EXPECT_EQ(lines(r.out), (std::vector<std::string>{"open rc=0", "kda rc=0", "claim rc=0"}));
    EXPECT_EQ(valueOf(sim.ctl({"state"}).out, "kernel_driver"), "none");
    // Re-attaching gives the interface back to usblp.
    r = sim.usbClient({"open", "attach", "kda", "claim"});
    EXPECT_EQ(lines(r.out), (std::vector<std::string>{"open rc=0", "attach rc=0", "kda rc=1", "claim rc=-6"}));
  }
  {
    START_USB_SIM(sim, {"--no-kernel-driver"}, true);
    RunResult r = sim.usbClient({"open", "kda", "claim", "write:" + kCheckStatus, "read:512"});
    std::vector<std::string> out = lines(r.out);
    ASSERT_EQ(out.size(), 5u) << r.out;
    EXPECT_EQ(out[1], "kda rc=0");
    EXPECT_EQ(out[2], "claim rc=0");
    EXPECT_EQ(out[4], "read rc=0 n=11 hex=" + hexOf("CODE=10001\r"));
  }
}

TEST(SimUsb, ReleaseCanBeMadeToFail) {
  START_USB_SIM(sim, {}, true);
  ASSERT_EQ(sim.ctl({"release-fail", "on"}).status, 0);
  RunResult r = sim.usbClient(ops({kOpen, {"release", "close"}}));
  EXPECT_EQ(lines(r.out)[3], "release rc=-99");  // LIBUSB_ERROR_OTHER
  ASSERT_EQ(sim.ctl({"release-fail", "off"}).status, 0);
  r = sim.usbClient(ops({kOpen, {"release", "release"}}));
  std::vector<std::string> out = lines(r.out);
  EXPECT_EQ(out[3], "release rc=0");
  EXPECT_EQ(out[4], "release rc=-5");  // not claimed any more
}

TEST(SimUsb, StartsUnpluggedAndNeedsTheWrapper) {
  {
    START_USB_SIM(sim, {"--unplugged"}, true);
    EXPECT_EQ(lines(sim.usbClient({"find"}).out)[0], "find count=0 addr=");
    ASSERT_EQ(sim.ctl({"replug"}).status, 0);
    EXPECT_EQ(lines(sim.usbClient({"find"}).out)[0], "find count=1 addr=3");
  }
  TempDir dir;
  RunResult r = run({KPXSIM_PROGRAM, "--usb", "--tcp", "off", "--udp", "off", "--control",
                     dir.file("c.sock")}, {"LD_PRELOAD="}, 10000);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("umockdev-wrapper"), std::string::npos) << r.err;
}

// Print data sent to the emulated printer becomes a job like one on the
// print port: numbered, kept on disk and analysed, once the interface is
// released (a job cut off by unplugging is kept as it arrived).
TEST(SimUsb, PrintDataBecomesAJob) {
  START_USB_SIM(sim, {}, true);
  const std::string job = std::string(kpxsim::kUel) + "\n\x1b#+54321X_ZUVA@PJL\n@PJL SET JOBNAME=\"usb.ps\"\n" +
                          "@PJL ENTER LANGUAGE = PCLXL\n";
  const std::string trailer = "\x1b%-12345X\n\x1b#+54321X_ZUVA@PJL EOJ\n\x1b%-12345X";
  RunResult r = sim.usbClient(ops({kOpen, {"write:" + hexOf(job), "write:" + kCheckStatus, "read:512",
                                           "write:" + hexOf(trailer)}}));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(lines(r.out)[5], "read rc=0 n=11 hex=" + hexOf("CODE=10001\r"));  // answered mid-job
  EXPECT_EQ(valueOf(sim.ctl({"jobs"}).out, "job"), "");  // not released yet
  r = sim.usbClient(ops({kOpen, {"release"}}));
  ASSERT_EQ(r.status, 0) << r.err;
  RunResult w = sim.ctl({"wait-jobs", "1", "10"});
  ASSERT_EQ(w.status, 0) << w.out << w.err;
  std::string jobs = sim.ctl({"jobs"}).out;
  EXPECT_EQ(valueOf(jobs, "peer"), "usb") << jobs;
  EXPECT_EQ(valueOf(jobs, "bytes"), std::to_string(job.size() + trailer.size())) << jobs;
  EXPECT_EQ(valueOf(jobs, "end"), "trailer") << jobs;
  std::string prn;
  ASSERT_TRUE(readFile(sim.dir().path() + "/jobs/job-0001.prn", prn));
  EXPECT_EQ(prn, job + trailer);

  // Unplugged in the middle: the job ends with what arrived.
  r = sim.usbClient(ops({kOpen, {"write:" + hexOf(job)}}));
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_EQ(sim.ctl({"unplug"}).status, 0);
  w = sim.ctl({"wait-jobs", "2", "10"});
  ASSERT_EQ(w.status, 0) << w.out << w.err;
  ASSERT_TRUE(readFile(sim.dir().path() + "/jobs/job-0002.prn", prn));
  EXPECT_EQ(prn, job);
}
