// netipset against the simulator's emulated USB printer. Each test starts
// its own simulator (under umockdev-wrapper) and runs the real window in
// the driver process (usb_driver.cpp) under umockdev's preload library,
// offscreen; the queue tools are stand-ins that record their calls.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>
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

bool contains(const Lines &lines, const std::string &line) { return countOf(lines, line) > 0; }

Lines withPrefix(const Lines &lines, const std::string &prefix) {
  Lines out;
  for (const std::string &l : lines)
    if (l.compare(0, prefix.size(), prefix) == 0) out.push_back(l);
  return out;
}

const std::string kNotFound = "查找打印机失败，请检查打印机USB连接状况或添加网络打印机";
const std::string kQueryOk = "获取当前打印机IP地址成功！";
const std::string kQueryFailed = "获取当前打印机IP地址失败！";
const std::string kAddOk = "添加网络打印机成功！";

const std::string kQueryOut = "out " + hexOf("CheckIP?");
// 192.168.1.10 / 255.255.255.0 / 192.168.1.1
const std::string kExampleBlockHex = "c0a8010affffff00c0a80101";
const std::string kExampleReplyHex = hexOf("IPadd:") + kExampleBlockHex;
const std::string kExampleIp = "192.168.1.10/255.255.255.0/192.168.1.1";

std::string shownState(const std::string &mode, const std::string &ip, const std::string &mask,
                       const std::string &gw, const std::string &status) {
  return "state mode=" + mode + " ip=" + ip + " mask=" + mask + " gateway=" + gw +
         " ip_label=" + ip + " mask_label=" + mask + " gateway_label=" + gw + " netIp=" + ip +
         " visible=1 status=" + status;
}
const std::string kExampleShown =
    shownState("usb", "192.168.1.10", "255.255.255.0", "192.168.1.1", kQueryOk);
const std::string kBlankUsb = shownState("usb", "", "", "", kQueryFailed);

struct DriverRun {
  int status = -1;
  Lines out;
  std::string err;
  Lines logs() const { return withPrefix(out, "log "); }
  Lines states() const { return withPrefix(out, "state "); }
  long ms(const std::string &op) const {
    for (const std::string &l : splitLines(err))
      if (l.compare(0, op.size() + 4, op + " ms=") == 0) return std::atol(l.c_str() + op.size() + 4);
    return -1;
  }
};

// One simulator with the emulated USB printer, and a directory of stand-in
// queue tools and an install tree for the window.
class UsbRig {
 public:
  explicit UsbRig(const std::vector<std::string> &options)
      : sim_(KPX_SIM_PROGRAM, KPX_SIM_START_SCRIPT, dir_.file("sim"), dir_.path(), options) {
    mkdir(dir_.file("bin").c_str(), 0755);
    mkdir(dir_.file("run").c_str(), 0700);
    mkdir(dir_.file("root").c_str(), 0755);
    mkdir(dir_.file("root/KPX7720MW_net").c_str(), 0755);
    mkdir(dir_.file("root/KPX7720MW_net/config").c_str(), 0755);
    for (const char *tool : {"lpadmin", "cups"}) {
      std::string path = dir_.file(std::string("bin/") + tool);
      simtest::writeFile(path, std::string("#!/bin/sh\necho \"") + tool + " $*\" >> '" +
                                   dir_.file("calls") + "'\n");
      chmod(path.c_str(), 0755);
    }
  }

  const std::string &error() const { return sim_.error(); }
  RunResult ctl(const std::vector<std::string> &args) const { return sim_.ctl(args); }
  Lines usbLog() const { return splitLines(ctl({"usb-log"}).out); }
  std::string simState(const std::string &key) const { return valueOf(ctl({"state"}).out, key); }

  Lines calls() const {
    std::string text;
    simtest::readFile(dir_.file("calls"), text);
    return splitLines(text);
  }
  std::string netIpInfo() const {
    std::string text = "(none)";
    simtest::readFile(dir_.file("root/KPX7720MW_net/config/netIpInfo"), text);
    return text;
  }

  DriverRun driver(const std::vector<std::string> &steps) const {
    std::vector<std::string> argv = {KPX_NETIPSET_DRIVER, "--ctl", KPX_SIM_PROGRAM, sim_.socket()};
    argv.insert(argv.end(), steps.begin(), steps.end());
    RunResult r = simtest::run(
        argv,
        {"UMOCKDEV_DIR=" + sim_.usbDir(), "LD_PRELOAD=libumockdev-preload.so.0",
         "QT_QPA_PLATFORM=offscreen", "XDG_RUNTIME_DIR=" + dir_.file("run"),
         "KPX_COMMAND_DIR=" + dir_.file("bin"), "ZUVA_PRINTERS_ROOT=" + dir_.file("root")},
        60000);
    DriverRun d;
    d.status = r.status;
    d.out = splitLines(r.out);
    d.err = r.err;
    return d;
  }

 private:
  TempDir dir_;
  simtest::DetachedUsbSim sim_;
};

#define START_RIG(var, ...) \
  UsbRig var{__VA_ARGS__};  \
  ASSERT_EQ(var.error(), "")

}  // namespace

// ------------------------------------------------------------------ start

TEST(UsbStart, PrinterOnUsbShowsItsSettings) {
  START_RIG(rig, {"--ip", kExampleIp});
  DriverRun d = rig.driver({"start", "state"});
  ASSERT_EQ(d.status, 0) << d.err;
  ASSERT_EQ(d.states().size(), 1u);
  EXPECT_EQ(d.states()[0], kExampleShown);
  EXPECT_EQ(d.logs(),
            (Lines{"log device attached", "log write and read pinrter", "log ip = 192.",
                   "log ip = 192.168.", "log ip = 192.168.1.", "log ip = 192.168.1.10.",
                   "log mask = 255.", "log mask = 255.255.", "log mask = 255.255.255.",
                   "log mask = 255.255.255.0.", "log port = 192.", "log port = 192.168.",
                   "log port = 192.168.1.", "log port = 192.168.1.1."}));
  // One query, one answer, and the printer released again.
  EXPECT_EQ(rig.usbLog(), (Lines{"detach usblp", "claim 0", kQueryOut, "in " + kExampleReplyHex,
                                 "release 0"}));
  EXPECT_LT(d.ms("start"), 400);
}

TEST(UsbStart, WithoutPrinterNetworkModeThenFindPrinter) {
  START_RIG(rig, {"--unplugged", "--ip", kExampleIp});
  DriverRun d = rig.driver({"start", "state", "ctl:replug", "click:findPrinter", "state",
                            "ctl:unplug", "click:findPrinter", "state"});
  ASSERT_EQ(d.status, 0) << d.err;
  Lines states = d.states();
  ASSERT_EQ(states.size(), 3u);
  EXPECT_EQ(states[0], shownState("network", "", "", "", kNotFound));
  EXPECT_EQ(states[1], kExampleShown);
  // Not found again: network mode; the values read before stay.
  EXPECT_EQ(states[2], shownState("network", "192.168.1.10", "255.255.255.0", "192.168.1.1",
                                  kNotFound));
  Lines logs = d.logs();
  ASSERT_GE(logs.size(), 1u);
  EXPECT_EQ(logs[0], "log device disattach");
  EXPECT_TRUE(contains(logs, "log check ip"));
  EXPECT_EQ(countOf(logs, "log on_findPrinter_clicked"), 4);
  EXPECT_EQ(logs.back(), "log device disattach");
  EXPECT_EQ(countOf(rig.usbLog(), kQueryOut), 1);
}

// ------------------------------------------------------------------ query

TEST(UsbQuery, SingleByteThenTheGoodReply) {
  START_RIG(rig, {"--ip", kExampleIp});
  ASSERT_EQ(rig.ctl({"usb-script", "00"}).status, 0);
  DriverRun d = rig.driver({"start", "state"});
  ASSERT_EQ(d.status, 0) << d.err;
  EXPECT_EQ(d.states(), Lines{kExampleShown});
  EXPECT_EQ(withPrefix(rig.usbLog(), "in "), (Lines{"in 00", "in " + kExampleReplyHex}));
}

TEST(UsbQuery, FortyNineSingleBytesAreStillWaitedOut) {
  START_RIG(rig, {"--ip", kExampleIp});
  ASSERT_EQ(rig.ctl({"usb-script", "00*49"}).status, 0);
  DriverRun d = rig.driver({"start", "state"});
  ASSERT_EQ(d.status, 0) << d.err;
  EXPECT_EQ(d.states(), Lines{kExampleShown});
  Lines in = withPrefix(rig.usbLog(), "in ");
  EXPECT_EQ(in.size(), 50u);
  EXPECT_EQ(in.back(), "in " + kExampleReplyHex);
}

TEST(UsbQuery, FiftySingleBytesEndTheQuery) {
  START_RIG(rig, {"--ip", kExampleIp, "--usb-mode", "single-byte"});
  DriverRun d = rig.driver({"start", "state"});
  ASSERT_EQ(d.status, 0) << d.err;
  EXPECT_EQ(d.states(), Lines{kBlankUsb});
  Lines log = rig.usbLog();
  EXPECT_EQ(countOf(log, "in 00"), 50);
  EXPECT_EQ(withPrefix(log, "in ").size(), 50u);
  EXPECT_EQ(log.back(), "release 0");
}

TEST(UsbQuery, SilentPrinterTimesOutOnce) {
  START_RIG(rig, {"--ip", kExampleIp});
  // First a good query fills the form; then the printer stops answering.
  DriverRun d = rig.driver({"start", "state", "ctl:usb-mode,silent", "click:findPrinter", "state"});
  ASSERT_EQ(d.status, 0) << d.err;
  Lines states = d.states();
  ASSERT_EQ(states.size(), 2u);
  EXPECT_EQ(states[0], kExampleShown);
  // Everything blanked, netIp too; USB mode stays.
  EXPECT_EQ(states[1], kBlankUsb);
  long ms = d.ms("click findPrinter");
  EXPECT_GE(ms, 480);
  EXPECT_LT(ms, 1400);  // one read of 500 ms, not more
  Lines log = rig.usbLog();
  EXPECT_EQ(countOf(log, kQueryOut), 2);
  EXPECT_EQ(countOf(log, "cancel in"), 1);
  EXPECT_EQ(log.back(), "release 0");
}

TEST(UsbQuery, EndlessOtherRepliesAreGivenUpOnWithinTwoSeconds) {
  START_RIG(rig, {"--ip", kExampleIp});
  // 30,000 status replies before the answer: more than 20 s of reading.
  const std::string other = hexOf("CODE=10001\r") + "*10000";
  ASSERT_EQ(rig.ctl({"usb-script", other + "," + other + "," + other}).status, 0);
  DriverRun d = rig.driver({"start", "state"});
  ASSERT_EQ(d.status, 0) << d.err;
  EXPECT_EQ(d.states(), Lines{kBlankUsb});
  EXPECT_LT(d.ms("start"), 2500);
  EXPECT_NE(rig.simState("usb_script_left"), "0");
}

TEST(UsbQuery, LowerCasePrefixIsSkipped) {
  START_RIG(rig, {"--ip", kExampleIp});
  // 10.9.9.9 / 255.0.0.0 / 10.0.0.1 behind "ipadd:", then the real answer.
  std::string lower = hexOf("ipadd:") + "0a090909ff0000000a000001";
  ASSERT_EQ(rig.ctl({"usb-script", lower}).status, 0);
  DriverRun d = rig.driver({"start", "state"});
  ASSERT_EQ(d.status, 0) << d.err;
  EXPECT_EQ(d.states(), Lines{kExampleShown});
  EXPECT_EQ(withPrefix(rig.usbLog(), "in "), (Lines{"in " + lower, "in " + kExampleReplyHex}));

  // Followed by silence it ends in the failure.
  ASSERT_EQ(rig.ctl({"usb-mode", "silent"}).status, 0);
  ASSERT_EQ(rig.ctl({"usb-script", lower}).status, 0);
  d = rig.driver({"start", "state"});
  EXPECT_EQ(d.states(), Lines{kBlankUsb});
}

TEST(UsbQuery, TwentyByteReplyLastTwoBytesIgnored) {
  START_RIG(rig, {"--ip", kExampleIp});
  // 10.1.2.3 / 255.255.0.0 / 10.1.0.1 and two more bytes.
  std::string reply = hexOf("IPadd:") + "0a010203ffff00000a0100010102";
  ASSERT_EQ(rig.ctl({"usb-script", reply}).status, 0);
  DriverRun d = rig.driver({"start", "state"});
  ASSERT_EQ(d.status, 0) << d.err;
  EXPECT_EQ(d.states(),
            Lines{shownState("usb", "10.1.2.3", "255.255.0.0", "10.1.0.1", kQueryOk)});
  EXPECT_EQ(withPrefix(rig.usbLog(), "in "), Lines{"in " + reply});
}

TEST(UsbQuery, ShortReplyWithThePrefixIsAFailure) {
  START_RIG(rig, {"--ip", kExampleIp});
  ASSERT_EQ(rig.ctl({"usb-script", hexOf("IPadd:") + "0a0102"}).status, 0);
  DriverRun d = rig.driver({"start", "state"});
  ASSERT_EQ(d.status, 0) << d.err;
  EXPECT_EQ(d.states(), Lines{kBlankUsb});
  EXPECT_EQ(withPrefix(rig.usbLog(), "in ").size(), 1u);
}

TEST(UsbQuery, EmptyReplyIsAReadFailure) {
  START_RIG(rig, {"--ip", kExampleIp, "--usb-mode", "empty"});
  DriverRun d = rig.driver({"start", "state"});
  ASSERT_EQ(d.status, 0) << d.err;
  EXPECT_EQ(d.states(), Lines{kBlankUsb});
  EXPECT_LT(d.ms("start"), 400);  // failed at once, no timeout
}

// -------------------------------------------------------------------- set

TEST(UsbSet, SendsTheNineteenBytesThenInstallsTheQueue) {
  START_RIG(rig, {"--ip", "192.168.1.100/255.255.255.0/192.168.1.1"});
  // Leading zeros are dropped before anything is sent or installed.
  DriverRun d = rig.driver({"start", "ctl:usb-log,clear", "type:ipEdit=192.168.001.010",
                            "type:maskEdit=255.255.255.0", "type:portEdit=192.168.1.1",
                            "click:IDOK", "state", "ctl:usb-log,clear",
                            "type:ipEdit=010.000.0.05", "type:maskEdit=255.000.000.000",
                            "type:portEdit=10.0.0.001", "click:IDOK", "click:findPrinter", "state"});
  ASSERT_EQ(d.status, 0) << d.err;
  // The second set, then the query that reads it back.
  Lines log = rig.usbLog();
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log[0], "claim 0");
  EXPECT_EQ(log[1], "out 53657449503d0a000005ff0000000a0000013b");
  EXPECT_EQ(log[2], "release 0");
  EXPECT_EQ(rig.simState("ip"), "10.0.0.5/255.0.0.0/10.0.0.1");
  Lines states = d.states();
  ASSERT_EQ(states.size(), 2u);
  EXPECT_EQ(states[0], "state mode=usb ip=192.168.1.10 mask=255.255.255.0 gateway=192.168.1.1 "
                       "ip_label=192.168.1.100 mask_label=255.255.255.0 "
                       "gateway_label=192.168.1.1 netIp=192.168.1.10 visible=1 status=" +
                           kAddOk);
  EXPECT_EQ(states[1], shownState("usb", "10.0.0.5", "255.0.0.0", "10.0.0.1", kQueryOk));
  EXPECT_EQ(rig.calls(),
            (Lines{"lpadmin -p KPX7720MW-net -m KPX7720MW-net.ppd -v socket://192.168.1.10:9100 -E",
                   "lpadmin -d KPX7720MW-net", "cups restart",
                   "lpadmin -p KPX7720MW-net -m KPX7720MW-net.ppd -v socket://10.0.0.5:9100 -E",
                   "lpadmin -d KPX7720MW-net", "cups restart"}));
  EXPECT_EQ(rig.netIpInfo(), "10.0.0.5");
}

TEST(UsbSet, WorkedExampleBytes) {
  START_RIG(rig, {});
  DriverRun d = rig.driver({"start", "ctl:usb-log,clear", "type:ipEdit=192.168.1.10",
                            "type:maskEdit=255.255.255.0", "type:portEdit=192.168.1.1",
                            "click:IDOK"});
  ASSERT_EQ(d.status, 0) << d.err;
  EXPECT_EQ(rig.usbLog(), (Lines{"claim 0", "out " + hexOf("SetIP=") + kExampleBlockHex + "3b",
                                 "release 0"}));
  EXPECT_EQ(rig.simState("ip"), kExampleIp);
  EXPECT_EQ(rig.netIpInfo(), "192.168.1.10");
}

TEST(UsbSet, CancelTouchesNeitherPrinterNorCups) {
  START_RIG(rig, {"--ip", kExampleIp});
  DriverRun d = rig.driver({"start", "ctl:usb-log,clear", "type:ipEdit=10.0.0.5",
                            "type:maskEdit=255.0.0.0", "type:portEdit=10.0.0.1",
                            "click:IDCANCEL", "state"});
  ASSERT_EQ(d.status, 0) << d.err;
  EXPECT_EQ(rig.usbLog(), Lines{});
  EXPECT_EQ(rig.simState("ip"), kExampleIp);
  EXPECT_EQ(rig.calls(), Lines{});
  EXPECT_EQ(rig.netIpInfo(), "(none)");
  ASSERT_EQ(d.states().size(), 1u);
  EXPECT_NE(d.states()[0].find(" visible=0 "), std::string::npos) << d.states()[0];
}

TEST(UsbSet, UnpluggedAtSetTimeSwitchesToNetworkMode) {
  START_RIG(rig, {"--ip", kExampleIp});
  DriverRun d = rig.driver({"start", "ctl:unplug", "type:ipEdit=10.0.0.5",
                            "type:maskEdit=255.0.0.0", "type:portEdit=10.0.0.1", "click:IDOK",
                            "state"});
  ASSERT_EQ(d.status, 0) << d.err;
  Lines logs = d.logs();
  ASSERT_FALSE(logs.empty());
  EXPECT_EQ(logs.back(), "log device disattach");
  ASSERT_EQ(d.states().size(), 1u);
  EXPECT_NE(d.states()[0].find("state mode=network "), std::string::npos) << d.states()[0];
  EXPECT_NE(d.states()[0].find(" netIp=10.0.0.5 "), std::string::npos) << d.states()[0];
  for (const std::string &l : rig.usbLog())
    EXPECT_EQ(l.find("out " + hexOf("SetIP=")), std::string::npos) << l;
  EXPECT_EQ(rig.simState("ip"), kExampleIp);
  EXPECT_NE(d.states()[0].find(" status=" + kNotFound), std::string::npos) << d.states()[0];
  // No queue for an address the printer never got.
  EXPECT_EQ(rig.calls(), Lines{});
  EXPECT_EQ(rig.netIpInfo(), "(none)");
}
