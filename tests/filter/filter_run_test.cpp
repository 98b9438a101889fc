// The built filters run as CUPS runs them, with real Ghostscript (or a
// stand-in interpreter where a test needs the interpreter to misbehave),
// and the test playing the backend on the other end of every channel.
#include <gtest/gtest.h>
#include <glob.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <string>
#include <vector>

#include "harness.h"

using namespace kpxtest;

namespace {

const std::string kOpening = "\x1b%-12345X\n\x1b#+54321X_ZUVA@PJL\n@PJL SET RENDERMODE=GRAYSCALE\n";
const std::string kTrailer = "\x1b%-12345X\n\x1b#+54321X_ZUVA@PJL EOJ\n\x1b%-12345X";
const std::string kCancel = "\x1b%-12345X\n\x1b#+54321X_ZUVA@PJL CANCEL\n\x1b%-12345X";
const std::string kKeyReason =
    "输入数字密码无效，请在电脑端打印队列中取消任务，并重新设置四位密码，重新打印";
const std::string kUsbPpd = std::string(KPX_PPD_DIR) + "/KPX7720MW.ppd";
const std::string kNetPpd = std::string(KPX_PPD_DIR) + "/KPX7720MW-net.ppd";

std::string hostName() {
  utsname u{};
  uname(&u);
  return u.nodename;
}

std::string fakeTimeLibrary() {
  glob_t g{};
  std::string found;
  if (glob("/usr/lib/*/faketime/libfaketime.so.1", 0, nullptr, &g) == 0 && g.gl_pathc > 0) found = g.gl_pathv[0];
  globfree(&g);
  return found;
}

size_t count(const std::string &haystack, const std::string &needle) {
  size_t n = 0;
  for (size_t at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + needle.size())) ++n;
  return n;
}

bool endsWith(const std::string &s, const std::string &tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// The ticket lines between the opening and the page data.
std::vector<std::string> ticketLines(const std::string &stream) {
  std::vector<std::string> lines;
  size_t start = stream.find(kOpening);
  if (start == std::string::npos) return lines;
  size_t end = stream.find("@PJL ENTER LANGUAGE", start);
  std::string ticket = stream.substr(start + kOpening.size(), end - start - kOpening.size());
  size_t pos = 0;
  while (pos < ticket.size()) {
    size_t nl = ticket.find('\n', pos);
    lines.push_back(ticket.substr(pos, nl - pos));
    pos = nl == std::string::npos ? ticket.size() : nl + 1;
  }
  return lines;
}

bool hasLine(const std::vector<std::string> &lines, const std::string &line) {
  for (const auto &l : lines)
    if (l == line) return true;
  return false;
}

class FilterRunTest : public ::testing::Test {
 protected:
  FilterSandbox box;

  FilterRun job(bool net, const std::string &options, const std::string &ppd, const std::string &input) {
    FilterRun r;
    r.program = net ? KPX_FILTER_NET : KPX_FILTER_USB;
    r.args = {net ? "KPX7720MW-net" : "KPX7720MW", "42", "alice", "report", "1", options};
    r.env = box.env(ppd);
    r.input = input;
    return r;
  }

  // Fixes the clock at a moment whose ISO week-based year is not its
  // calendar year, so that time-dependent bytes are predictable.
  void fixClock(FilterRun &r) {
    std::string lib = fakeTimeLibrary();
    ASSERT_FALSE(lib.empty()) << "libfaketime is needed (Debian package faketime)";
    r.env["LD_PRELOAD"] = lib;
    r.env["FAKETIME"] = "@2024-12-30 10:00:00";
    r.env["FAKETIME_DONT_FAKE_MONOTONIC"] = "1";
    r.env["ASAN_OPTIONS"] = std::string(getenv("ASAN_OPTIONS") ? getenv("ASAN_OPTIONS") : "") +
                            ":verify_asan_link_order=0";
  }

  // Replaces the interpreter by a shell script.
  void fakeInterpreter(const std::string &body) {
    std::string path = box.usbDir() + "/kpx7720mw/bin/gs";
    unlink(path.c_str());
    std::ofstream(path) << "#!/bin/sh\n" << body;
    chmod(path.c_str(), 0755);
  }

  std::string usbState() { return readFile(box.usbDir() + "/config/printerState"); }
  std::string usbLog() { return readFile(box.usbDir() + "/print_log"); }
};

// What Ghostscript's pxlmono device opens its output with at 300/600 dpi.
const std::string kGsOpening600 = "\x1b%-12345X@PJL SET RENDERMODE=GRAYSCALE\n@PJL SET RESOLUTION=600\n";

}  // namespace

TEST_F(FilterRunTest, DefaultsWithoutPpdGiveTheDocumentedStreamByteForByte) {
  std::string doc = box.write("doc.ps", textDocument(3));
  FilterRun r = job(false, "", "", doc);
  fixClock(r);
  FilterResult res = runFilter(r);
  ASSERT_TRUE(res.exited) << res.errors;
  EXPECT_EQ(res.status, 0) << res.errors;

  const std::string ticket = kOpening +
      "@PJL SET REPRINT=OFF\n@PJL SET HOLD=OFF\n"
      "@PJL SET USERNAME=\"alice\"\n@PJL SET JOBNAME=\"report\"\n"
      "@PJL PRINTLOG ITEM = 1,PRINTER\n"
      "@PJL PRINTLOG ITEM = 2,Mon,30,Dec 2025 10:00:00\n"
      "@PJL PRINTLOG ITEM = 3,alice\n"
      "@PJL PRINTLOG ITEM = 4," + hostName() + "\n"
      "@PJL SET JOBTIME = 20251230100000\n"
      "@PJL JOB NAME=\"report\"\n"
      "@PJL SET RESOLUTION=600\n@PJL SET HQMMODE=OFF\n@PJL SET ECONOMODE=OFF\n"
      "@PJL SET SOURCETRAY=AUTO\n@PJL SET MEDIATYPE=REGULAR\n"
      "@PJL SET LESSPAPERCURL=OFF\n@PJL SET FIXINTENSITYUP=OFF\n";
  std::string gs = ghostscriptOutput({"gs", "-dBATCH", "-dPARANOIDSAFER", "-dNOMEDIAATTRS", "-dNOINTERPOLATE",
                                      "-sDEVICE=pxlmono", "-dNumRenderingThreads=4", "-r600x600", "-g4961x7016",
                                      "-q", "-dMediaPosition=1", "-dNOPAUSE", "-dSAFER", "-sOutputFile=-", "-"},
                                     doc);
  ASSERT_EQ(gs.compare(0, kGsOpening600.size(), kGsOpening600), 0) << "unexpected Ghostscript opening";
  ASSERT_EQ(kGsOpening600.size(), 63u);
  EXPECT_TRUE(res.output == ticket + gs.substr(63) + kTrailer) << "stream differs";
  EXPECT_EQ(res.output.substr(0, ticket.size()), ticket);

  // Records: settings, state and the job's log block with its closing text.
  EXPECT_EQ(readFile(box.usbDir() + "/config/printerInfo"),
            "resolution:600dpi;\npapersize:A4;\ninputslot:AUTO;\nmediatype:PLAIN;\nduplex:None;\n");
  EXPECT_EQ(usbState(), "CODE=10001");
  EXPECT_EQ(usbLog(), std::string(51, '*') + "\n打印机名称：KPX7720MW\n日期:2025年12月30日10:00:00 Monday\n"
                      "任务ID：42\n用户名：alice\n文件名：report\n打印份数：1\n文档页数：3\n"
                      "resolution:600dpi\npapersize:A4;\ninputslot:AUTO;\nmediatype:PLAIN;\nduplex:单面打印\n"
                      "\n打印任务完成\n");
  for (const char *f : {"/config/printerInfo", "/config/printerState", "/print_log"})
    EXPECT_EQ(fileMode(box.usbDir() + f), 0644u) << f;

  // CUPS sees the job start and end.
  EXPECT_NE(res.errors.find("INFO:打印机正在打印\n"), std::string::npos);
  EXPECT_TRUE(endsWith(res.errors, "STATE: -" + kKeyReason + "\nINFO:空闲\n")) << res.errors;
  EXPECT_NE(res.errors.find("[ZUVA-KPX7720MW] DEBUG:resolution = -r600x600\n"), std::string::npos);
}

TEST_F(FilterRunTest, OptionSetsReachTicketInterpreterAndRecords) {
  struct Case {
    std::string options;
    std::vector<std::string> lines;         // expected ticket lines
    std::vector<std::string> absent;        // lines that must not be there
    std::vector<std::string> gsArgs;        // expected interpreter arguments
    std::string info;                       // expected printerInfo
    std::string logDuplex;                  // expected last line of the log block
  };
  const std::vector<Case> cases = {
      {"PageSize=B5 Resolution=1200dpi InputSlot=TRAY2 MediaType=LABLE Duplex=DuplexTumble ResizePage=5 "
       "TonerSaveMode=ON PrintDensity=3 ImprovePrintOutput=ImproveTonerFixing QuiteMode=ON Sleep=30minutes",
       {"@PJL SET RESOLUTION=TR1200", "@PJL SET PAPERFEEDSPEED=FULL", "@PJL SET HQMMODE=OFF",
        "@PJL SET PRINTSCALINGRATE=500", "@PJL SET ECONOMODE=ON", "@PJL SET SOURCETRAY=TRAY2",
        "@PJL SET PCLT2FIX=ON", "@PJL SET PAPER=JISB5", "@PJL SET MEDIATYPE=LABEL", "@PJL SET DENSITY=3",
        "@PJL SET DEVBIASADJUST=3", "@PJL SET LESSPAPERCURL=OFF", "@PJL SET FIXINTENSITYUP=ON",
        "@PJL SET QUIETMODE=ON", "@PJL DEFAULT AUTOSLEEP=ON", "@PJL DEFAULT TIMEOUTSLEEP=30",
        "@PJL SET AUTOSLEEP=ON", "@PJL SET TIMEOUTSLEEP=30"},
       {"@PJL SET ECONOMODE=OFF"},
       {"gs", "-dBATCH", "-dPARANOIDSAFER", "-dNOMEDIAATTRS", "-dDuplex", "-dTumble", "-dNOINTERPOLATE",
        "-sDEVICE=pxlmono", "-dNumRenderingThreads=4", "-r1200x1200", "-dMediaPosition=5", "-g8536x12082", "-q",
        "-dNOPAUSE", "-dSAFER", "-sOutputFile=-", "-"},
       "resolution:1200dpi;\npapersize:B5;\ninputslot:TRAY2;\nmediatype:LABLE;\nduplex:DuplexTumble;\n",
       "duplex:短边翻转"},
      {"PageSize=Letter Resolution=300dpi InputSlot=MPTRAY MediaType=THICKERPAPER2 Duplex=DuplexNoTumble "
       "ImprovePrintOutput=ReducePaperCurl Sleep=2minutes PrintDensity=-2",
       {"@PJL SET RESOLUTION=300", "@PJL SET HQMMODE=OFF", "@PJL SET ECONOMODE=OFF",
        "@PJL SET SOURCETRAY=MPTRAY", "@PJL SET PCLMPFIX=ON", "@PJL SET MEDIATYPE=THICK2",
        "@PJL SET DENSITY=-2", "@PJL SET DEVBIASADJUST=-2", "@PJL SET LESSPAPERCURL=ON",
        "@PJL SET FIXINTENSITYUP=OFF", "@PJL DEFAULT TIMEOUTSLEEP=2", "@PJL SET TIMEOUTSLEEP=2"},
       {"@PJL SET PAPER=JISB5", "@PJL SET QUIETMODE=ON"},
       {"gs", "-dBATCH", "-dPARANOIDSAFER", "-dNOMEDIAATTRS", "-dDuplex", "-dNOINTERPOLATE", "-sDEVICE=pxlmono",
        "-dNumRenderingThreads=4", "-r300x300", "-g2550x3300", "-q", "-dMediaPosition=3", "-dNOPAUSE",
        "-dSAFER", "-sOutputFile=-", "-"},
       "resolution:300dpi;\npapersize:Letter;\ninputslot:MPTRAY;\nmediatype:THICKERPAPER2;\n"
       "duplex:DuplexNoTumble;\n",
       "duplex:长边翻转"},
      {"PageSize=Custom.612x792 InputSlot=TRAY3 MediaType=ENV Resolution=2400dpi",
       {"@PJL SET RESOLUTION=HQ1200", "@PJL SET PAPERFEEDSPEED=FULL", "@PJL SET SOURCETRAY=TRAY3",
        "@PJL SET PCLT3FIX=ON", "@PJL SET MEDIATYPE=ENVELOPES"},
       {"@PJL SET DENSITY=0"},
       {"gs", "-dBATCH", "-dPARANOIDSAFER", "-dNOMEDIAATTRS", "-dNOINTERPOLATE", "-sDEVICE=pxlmono",
        "-dNumRenderingThreads=4", "-r1200x1200", "-g10203x13198", "-q", "-dMediaPosition=7", "-dNOPAUSE",
        "-dSAFER", "-sOutputFile=-", "-"},
       "resolution:2400dpi;\npapersize:Custom;\ninputslot:TRAY3;\nmediatype:ENV;\nduplex:None;\n",
       "duplex:单面打印"},
  };
  std::string doc = box.write("doc.ps", textDocument(2));
  for (const Case &c : cases) {
    SCOPED_TRACE(c.options);
    FilterRun r = job(false, c.options, kUsbPpd, doc);
    FilterResult res = runFilter(r);
    ASSERT_TRUE(res.exited);
    ASSERT_EQ(res.status, 0) << res.errors;
    auto lines = ticketLines(res.output);
    for (const auto &l : c.lines) EXPECT_TRUE(hasLine(lines, l)) << l;
    for (const auto &l : c.absent) EXPECT_FALSE(hasLine(lines, l)) << l;

    std::string gs = ghostscriptOutput(c.gsArgs, doc);
    bool fourDigits = std::find(c.gsArgs.begin(), c.gsArgs.end(), "-r1200x1200") != c.gsArgs.end();
    size_t opening = fourDigits ? 64 : 63;
    size_t ticketEnd = res.output.find("@PJL ENTER LANGUAGE");
    ASSERT_NE(ticketEnd, std::string::npos);
    EXPECT_TRUE(res.output.substr(ticketEnd) == gs.substr(opening) + kTrailer) << "page data differs";

    EXPECT_EQ(readFile(box.usbDir() + "/config/printerInfo"), c.info);
    std::string log = usbLog();
    EXPECT_TRUE(endsWith(log, c.logDuplex + "\n\n打印任务完成\n")) << log;
    unlink((box.usbDir() + "/print_log").c_str());
  }
}

TEST_F(FilterRunTest, SecurePrintHoldsTheJobUnderItsKey) {
  std::string doc = box.write("doc.ps", textDocument(1));
  FilterResult res = runFilter(job(false, "Passwd1=4 Passwd2=0 Passwd3=7 Passwd4=1", kUsbPpd, doc));
  ASSERT_EQ(res.status, 0) << res.errors;
  const std::string expected = kOpening +
      "@PJL SET REPRINT=OFF\n@PJL SET HOLD=STORE\n@PJL SET HOLDTYPE=PRIVATE\n@PJL SET HOLDKEY=4071\n"
      "@PJL SET USERNAME=\"alice\"\n@PJL SET LOGINUSER=\"alice\"\n@PJL SET JOBNAME=\"report\"\n"
      "@PJL PRINTLOG ITEM = 1,PRINTER\n";
  EXPECT_EQ(res.output.substr(0, expected.size()), expected);
}

TEST_F(FilterRunTest, IncompleteKeyWaitsAndACancelDuringTheWaitEndsItInOrder) {
  std::string doc = box.write("doc.ps", textDocument(1));
  FilterRun r = job(false, "Passwd1=1 Passwd2=2", kUsbPpd, doc);
  r.signalWhenErrorsContain = "STATE: +com.zuva.kpx7720mw-99999-error\n";
  FilterResult res = runFilter(r);
  ASSERT_TRUE(res.signalSent);
  ASSERT_TRUE(res.exited);
  EXPECT_EQ(res.status, 0);
  EXPECT_LT(res.seconds, 10.0) << "the 600-second wait must end with the cancellation";
  EXPECT_EQ(res.output, kCancel) << "nothing but the cancel sequence reaches the printer";
  EXPECT_EQ(usbState(), "CODE=10001");
  EXPECT_EQ(usbLog(), "\n打印任务被用户取消\n");
  EXPECT_FALSE(fileExists(box.usbDir() + "/config/printerInfo"));
  EXPECT_NE(res.errors.find("DEBUG:[ZUVA-KPX7720MW]cancel job=15;\n"), std::string::npos);
  // The rejection shows as a keyword clients can look up, with the message;
  // the cancel takes both back (and the sentence earlier versions set).
  EXPECT_NE(res.errors.find("STATE: +other-error\nINFO:安全打印密码错误\n"), std::string::npos) << res.errors;
  EXPECT_EQ(res.errors.find("STATE: +" + kKeyReason), std::string::npos);
  EXPECT_NE(res.errors.find("STATE: -com.zuva.kpx7720mw-99999-error\nSTATE: -other-error\nINFO:\nSTATE: -" + kKeyReason +
                            "\nINFO:空闲\n"),
            std::string::npos)
      << res.errors;
}

TEST_F(FilterRunTest, KeysThatAreNotFourDigitsAreRejected) {
  // Three digits on the network queue: rejected, no state file is written.
  std::string doc = box.write("doc.ps", textDocument(1));
  FilterRun r = job(true, "Passwd1=1 Passwd2=2 Passwd3=3", kNetPpd, doc);
  r.signalWhenErrorsContain = "STATE: +";
  FilterResult res = runFilter(r);
  ASSERT_TRUE(res.signalSent);
  EXPECT_EQ(res.output.find("LockPrinter?"), std::string::npos);
  EXPECT_EQ(res.output.find(kOpening), std::string::npos);
  EXPECT_FALSE(fileExists(box.netDir() + "/config/printerState"));
}

TEST_F(FilterRunTest, NetworkFilterWaitsForTheLockBeforePrinting) {
  std::string doc = box.write("doc.ps", textDocument(1));
  // Free at once.
  {
    FilterRun r = job(true, "", kNetPpd, doc);
    int answered = 0;
    r.backChannel = [&](const std::string &out, int) -> std::string {
      if (static_cast<int>(count(out, "LockPrinter?")) > answered) {
        ++answered;
        return "CODE=1\r";
      }
      return "";
    };
    FilterResult res = runFilter(r);
    ASSERT_EQ(res.status, 0) << res.errors;
    EXPECT_EQ(res.output.substr(0, 12 + kOpening.size()), "LockPrinter?" + kOpening);
    EXPECT_TRUE(endsWith(res.output, kTrailer));
    EXPECT_EQ(res.errors.find("INFO:正在连接打印机，请稍后"), std::string::npos);
    EXPECT_FALSE(fileExists(box.netDir() + "/config/printerState"));
    EXPECT_NE(readFile(box.netDir() + "/print_log").find("打印机名称：KPX7720MW-net\n"), std::string::npos);
  }
  // Busy twice, then free: one query per pass, the connecting message per busy answer.
  {
    FilterRun r = job(true, "", kNetPpd, doc);
    int answered = 0;
    r.backChannel = [&](const std::string &out, int) -> std::string {
      if (static_cast<int>(count(out, "LockPrinter?")) > answered) {
        ++answered;
        return answered < 3 ? "CODE=2\r" : "CODE=1\r";
      }
      return "";
    };
    FilterResult res = runFilter(r);
    ASSERT_EQ(res.status, 0) << res.errors;
    EXPECT_EQ(res.output.substr(0, 36 + kOpening.size()), "LockPrinter?LockPrinter?LockPrinter?" + kOpening);
    EXPECT_EQ(count(res.errors, "INFO:正在连接打印机，请稍后\n"), 2u);
  }
  // A reply with code 0 makes the filter read the back channel again
  // without a new query; the printer's later "go" then starts the job.
  {
    FilterRun r = job(true, "", kNetPpd, doc);
    int step = 0;
    auto said0 = std::chrono::steady_clock::now();
    r.backChannel = [&](const std::string &out, int) -> std::string {
      if (step == 0 && count(out, "LockPrinter?") == 1) {
        step = 1;
        said0 = std::chrono::steady_clock::now();
        return "CODE=0\r";
      }
      if (step == 1 && std::chrono::steady_clock::now() - said0 > std::chrono::milliseconds(400)) {
        step = 2;
        return "CODE=1\r";
      }
      return "";
    };
    FilterResult res = runFilter(r);
    ASSERT_EQ(res.status, 0) << res.errors;
    EXPECT_EQ(step, 2);
    EXPECT_EQ(count(res.output, "LockPrinter?"), 1u);
    EXPECT_EQ(res.errors.find("INFO:正在连接打印机"), std::string::npos);
    EXPECT_TRUE(endsWith(res.output, kTrailer));
  }
}

TEST_F(FilterRunTest, SilentPrinterKeepsTheLockWaitUntilCancelled) {
  std::string doc = box.write("doc.ps", textDocument(1));
  FilterRun r = job(true, "", kNetPpd, doc);
  r.signalAfterOutputBytes = 12;  // right after the lock query
  r.signal = SIGINT;              // the network filter also takes SIGINT
  FilterResult res = runFilter(r);
  ASSERT_TRUE(res.exited);
  EXPECT_EQ(res.status, 0);
  EXPECT_LT(res.seconds, 5.0) << "the 10-second back-channel wait must end on the signal";
  EXPECT_EQ(res.output, "LockPrinter?" + kCancel);
  EXPECT_TRUE(endsWith(readFile(box.netDir() + "/print_log"), "\n打印任务被用户取消\n"));
  EXPECT_NE(res.errors.find("cancel job=2;"), std::string::npos);
}

TEST_F(FilterRunTest, DrainFailuresAreToleratedTenTimesAndTheEleventhCancels) {
  // A stand-in interpreter with enough output for twelve 256 KiB chunks.
  fakeInterpreter(
      "printf '\\033%%-12345X@PJL SET RENDERMODE=GRAYSCALE\\n@PJL SET RESOLUTION=600\\n'\n"
      "printf '@PJL ENTER LANGUAGE = PCLXL\\n'\n"
      "head -c 3145728 /dev/zero\n");
  std::string doc = box.write("doc.ps", textDocument(1));
  {
    FilterRun r = job(false, "", kUsbPpd, doc);
    r.drainStatus = [](int n) { return n < 10 ? 4 : 1; };  // ten "no response", then OK
    FilterResult res = runFilter(r);
    ASSERT_EQ(res.status, 0) << res.errors;
    EXPECT_TRUE(endsWith(res.output, kTrailer));
    EXPECT_EQ(count(res.errors, "send to printer error status = 4"), 10u);
    EXPECT_EQ(res.output.find(kCancel), std::string::npos);
  }
  {
    FilterRun r = job(false, "", kUsbPpd, doc);
    r.drainStatus = [](int) { return 3; };  // every drain times out
    FilterResult res = runFilter(r);
    ASSERT_TRUE(res.exited);
    EXPECT_EQ(res.status, 0);
    EXPECT_EQ(count(res.errors, "send to printer error status = 3"), 11u);
    EXPECT_NE(res.errors.find("cancel job=14;"), std::string::npos);
    EXPECT_TRUE(endsWith(res.output, kCancel));
    EXPECT_EQ(res.output.find(kTrailer), std::string::npos);
    EXPECT_EQ(usbState(), "CODE=10001");
    EXPECT_TRUE(endsWith(usbLog(), "\n打印任务被用户取消\n"));
  }
  {
    // An I/O error counts on the network queue only.
    FilterRun usb = job(false, "", kUsbPpd, doc);
    usb.drainStatus = [](int) { return 2; };
    FilterResult res = runFilter(usb);
    EXPECT_EQ(res.status, 0);
    EXPECT_TRUE(endsWith(res.output, kTrailer));

    FilterRun net = job(true, "", kNetPpd, doc);
    net.drainStatus = [](int) { return 2; };
    int answered = 0;
    net.backChannel = [&](const std::string &out, int) -> std::string {
      if (static_cast<int>(count(out, "LockPrinter?")) > answered) {
        ++answered;
        return "CODE=1\r";
      }
      return "";
    };
    FilterResult netRes = runFilter(net);
    EXPECT_EQ(netRes.status, 0);
    EXPECT_TRUE(endsWith(netRes.output, kCancel));
  }
}

TEST_F(FilterRunTest, APrinterThatStopsTakingDataGetsTheJobCancelled) {
  fakeInterpreter("printf '\\033%%-12345X@PJL SET RENDERMODE=GRAYSCALE\\n@PJL SET RESOLUTION=600\\n'\n"
                  "printf '@PJL ENTER LANGUAGE = PCLXL\\n'\n"
                  "head -c 2000000 /dev/zero\n");
  std::string doc = box.write("doc.ps", textDocument(1));
  FilterRun r = job(false, "", kUsbPpd, doc);
  r.stallAfterOutputBytes = 300000;  // the backend's pipe fills, the write cannot finish
  FilterResult res = runFilter(r);
  ASSERT_TRUE(res.exited) << res.errors;
  EXPECT_EQ(res.status, 0);
  EXPECT_EQ(count(res.errors, "printer took no data for 2 s"), 11u);
  EXPECT_NE(res.errors.find("cancel job=14;"), std::string::npos);
  EXPECT_EQ(usbState(), "CODE=10001");
  EXPECT_TRUE(endsWith(usbLog(), "\n打印任务被用户取消\n"));
  EXPECT_LT(res.seconds, 60.0);
}

TEST_F(FilterRunTest, SigtermMidStreamCancelsAfterTheDataSentAndStopsTheInterpreter) {
  std::string pidFile = box.dir() + "/interpreter.pid";
  fakeInterpreter("echo $$ > '" + pidFile + "'\n"
                  "printf '\\033%%-12345X@PJL SET RENDERMODE=GRAYSCALE\\n@PJL SET RESOLUTION=600\\n'\n"
                  "printf '@PJL ENTER LANGUAGE = PCLXL\\n'\n"
                  "head -c 300000 /dev/zero\n"
                  "exec sleep 60\n");
  std::string doc = box.write("doc.ps", textDocument(1));
  FilterRun r = job(false, "", kUsbPpd, doc);
  r.signalWhenErrorsContain = "send to printer  status = 1";
  FilterResult res = runFilter(r);
  ASSERT_TRUE(res.exited);
  EXPECT_EQ(res.status, 0);
  EXPECT_LT(res.seconds, 10.0);
  ASSERT_TRUE(endsWith(res.output, kCancel));
  // Ticket + the first full chunk, then the cancel sequence right behind it.
  size_t ticketEnd = res.output.find("@PJL ENTER LANGUAGE");
  ASSERT_NE(ticketEnd, std::string::npos);
  EXPECT_EQ(res.output.size() - ticketEnd - kCancel.size(), 262144u);
  EXPECT_EQ(usbState(), "CODE=10001");
  EXPECT_TRUE(endsWith(usbLog(), "\n打印任务被用户取消\n"));
  pid_t interpreter = std::stoi(readFile(pidFile));
  EXPECT_NE(kill(interpreter, 0), 0) << "the interpreter was left running";
}

TEST_F(FilterRunTest, PrinterStatusOnTheBackChannelReplacesTheStateWhenLongerThan20Bytes) {
  std::string doc = box.write("doc.ps", textDocument(1));
  for (size_t len : {20u, 21u}) {
    SCOPED_TRACE(len);
    FilterRun r = job(false, "", kUsbPpd, doc);
    bool sent = false;
    std::string text = std::string("CODE=44114\rCODE=10023\r").substr(0, len);
    text.resize(len, '\r');
    r.backChannel = [&](const std::string &out, int) -> std::string {
      if (!sent && !out.empty()) {
        sent = true;
        return text;
      }
      return "";
    };
    FilterResult res = runFilter(r);
    ASSERT_EQ(res.status, 0) << res.errors;
    // printing, (status text), ready
    EXPECT_EQ(count(res.errors, "DEBUG:Open Debug File="), len > 20 ? 3u : 2u);
    EXPECT_EQ(usbState(), "CODE=10001");
  }
}

TEST_F(FilterRunTest, ConversionFailureIsReportedAsAFailedJob) {
  std::string doc = box.write("doc.ps", textDocument(1));
  {
    fakeInterpreter("printf '\\033%%-12345X@PJL SET RENDERMODE=GRAYSCALE\\n@PJL SET RESOLUTION=600\\n'\n"
                    "printf '@PJL ENTER LANGUAGE = PCLXL\\nDATA'\nexit 3\n");
    FilterResult res = runFilter(job(false, "", kUsbPpd, doc));
    ASSERT_TRUE(res.exited);
    EXPECT_EQ(res.status, 1);
    EXPECT_NE(res.errors.find("DEBUG:[ZUVA-KPX7720MW]pstopxl failed.  Exit code=3\n"), std::string::npos);
    EXPECT_EQ(count(res.errors, "\nERROR:"), 1u);
    EXPECT_TRUE(endsWith(res.output, "@PJL ENTER LANGUAGE = PCLXL\nDATA" + kTrailer)) << "trailer after the ticket";
    EXPECT_EQ(usbState(), "CODE=10001");
    std::string log = usbLog();
    EXPECT_TRUE(endsWith(log, "duplex:单面打印\n")) << "the block stays without closing text";
    EXPECT_EQ(res.errors.find("INFO:空闲"), std::string::npos);
  }
  {
    // The interpreter cannot be started at all: nothing reaches the printer.
    unlink((box.usbDir() + "/kpx7720mw/bin/gs").c_str());
    unlink((box.usbDir() + "/print_log").c_str());
    FilterResult res = runFilter(job(false, "", kUsbPpd, doc));
    EXPECT_EQ(res.status, 1);
    EXPECT_NE(res.errors.find("execl() of pstopxl ('" + box.usbDir() + "/kpx7720mw/bin/gs') failed, errno=2"),
              std::string::npos);
    EXPECT_EQ(res.output, "");
    EXPECT_EQ(usbState(), "CODE=10001");
  }
  {
    // Killed by a signal.
    fakeInterpreter("kill -9 $$\n");
    FilterResult res = runFilter(job(false, "", kUsbPpd, doc));
    EXPECT_EQ(res.status, 1);
    EXPECT_NE(res.errors.find("pstopxl process died due to a signal 9."), std::string::npos);
  }
}

TEST_F(FilterRunTest, InterpreterWithAnotherOpeningLosesOnlyItsJobControlText) {
  fakeInterpreter("printf '\\033%%-12345X@PJL SET RENDERMODE=GRAY\\n@PJL SET RESOLUTION=600\\n@PJL SET X=1\\n'\n"
                  "printf '@PJL ENTER LANGUAGE = PCLXL\\n) HP-PCL XL;2;1\\n'\n");
  std::string doc = box.write("doc.ps", textDocument(1));
  FilterResult res = runFilter(job(false, "", kUsbPpd, doc));
  ASSERT_EQ(res.status, 0) << res.errors;
  EXPECT_TRUE(endsWith(res.output, "@PJL SET FIXINTENSITYUP=OFF\n@PJL ENTER LANGUAGE = PCLXL\n) HP-PCL XL;2;1\n" +
                                       kTrailer));
  EXPECT_NE(res.errors.find("unexpected interpreter opening text"), std::string::npos);

  // Output no longer than the opening: no ticket, only the trailer.
  fakeInterpreter("printf '\\033%%-12345X@PJL SET RENDERMODE=GRAYSCALE\\n@PJL SET RESOLUTION=600\\n'\n");
  res = runFilter(job(false, "", kUsbPpd, doc));
  EXPECT_EQ(res.status, 0);
  EXPECT_EQ(res.output, kTrailer);
}

TEST_F(FilterRunTest, UnwritableRecordsCostOnlyTheRecords) {
  // The config directory is missing and the job log is a directory.
  std::string cmd = "rm -rf '" + box.usbDir() + "/config' && mkdir '" + box.usbDir() + "/print_log'";
  ASSERT_EQ(system(cmd.c_str()), 0);
  std::string doc = box.write("doc.ps", textDocument(1));
  FilterResult res = runFilter(job(false, "", kUsbPpd, doc));
  ASSERT_EQ(res.status, 0) << res.errors;
  EXPECT_TRUE(endsWith(res.output, kTrailer));
  // printerInfo and one log open (block and closing text at the end), eight
  // tries each; the state file's own messages.
  EXPECT_EQ(count(res.errors, "DEBUG:[ZUVA-KPX7720MW]open file error "), 16u);
  EXPECT_EQ(count(res.errors, "DEBUG:Can not Open Debug File="), 16u);
}

TEST_F(FilterRunTest, NetworkSuppliedTextsCannotInjectPjl) {
  std::string doc = box.write("doc.ps", textDocument(1));
  FilterRun r = job(false, "", kUsbPpd, doc);
  r.args[2] = "mallory\"\n@PJL SET HOLD=OFF";
  r.args[3] = "报告\x1b%-12345X@PJL RESET\r\n@PJL SET REPRINT=ON";
  FilterResult res = runFilter(r);
  ASSERT_EQ(res.status, 0) << res.errors;
  auto lines = ticketLines(res.output);
  EXPECT_TRUE(hasLine(lines, "@PJL SET USERNAME=\"mallory' @PJL SET HOLD=OFF\""));
  EXPECT_TRUE(hasLine(lines, "@PJL SET JOBNAME=\"报告 %-12345X@PJL RESET  @PJL SET REPRINT=ON\""));
  EXPECT_EQ(count(res.output.substr(0, res.output.find("@PJL ENTER LANGUAGE")), "\x1b"), 2u);
  size_t holdLines = 0;
  for (const auto &l : lines) holdLines += l.rfind("@PJL SET HOLD", 0) == 0;
  EXPECT_EQ(holdLines, 1u);
  // The job log keeps its line structure too.
  std::string log = usbLog();
  EXPECT_NE(log.find("\n用户名：mallory\" @PJL SET HOLD=OFF\n"), std::string::npos) << log;
}

TEST_F(FilterRunTest, CopiesComeFromTheSpooledDocumentAndPagesFromWhatWasSent) {
  std::string doc = box.write("doc.ps", textDocument(1));
  box.write("spool/d00042-001", "%!PS-Adobe-3.0\n%%Pages: (atend)\n%%Requirements: numcopies(5)\n%%Pages: 7\n");
  FilterRun r = job(false, "", kUsbPpd, doc);
  r.args[4] = "3";
  r.args.push_back(doc);  // named, as CUPS names it to the first filter of a job
  FilterResult res = runFilter(r);
  ASSERT_EQ(res.status, 0) << res.errors;
  std::string log = usbLog();
  EXPECT_NE(log.find("打印份数：5\n文档页数：1\n"), std::string::npos) << log;
  EXPECT_NE(res.errors.find("psfilepth for get Page Count= " + box.spool() + "/d00042-001\n"), std::string::npos);
  EXPECT_NE(res.output.find("@PJL ENTER LANGUAGE"), std::string::npos);
}

TEST_F(FilterRunTest, UnknownPageSizeFallsBackToA4At600) {
  std::string doc = box.write("doc.ps", textDocument(1));
  FilterRun r = job(false, "PageSize=Custom.20x20", kUsbPpd, doc);
  FilterResult res = runFilter(r);
  ASSERT_EQ(res.status, 0) << res.errors;
  EXPECT_NE(res.errors.find("printing A4 at 600 dpi"), std::string::npos);
  EXPECT_NE(res.errors.find("DEBUG:resolution = -r600x600"), std::string::npos);
}

// A PPD libcups cannot read leaves the job on the defaults, as with no PPD,
// and the log says why.
TEST_F(FilterRunTest, UnreadablePpdPrintsWithTheDefaultsAndLogsTheReason) {
  std::string doc = box.write("doc.ps", textDocument(1));
  std::string broken = box.write("broken.ppd", "not a PPD\n");
  FilterRun withoutPpd = job(false, "InputSlot=TRAY2", "", doc);
  FilterRun withBroken = job(false, "InputSlot=TRAY2", broken, doc);
  fixClock(withoutPpd);
  fixClock(withBroken);
  FilterResult plain = runFilter(withoutPpd);
  FilterResult res = runFilter(withBroken);
  ASSERT_EQ(res.status, 0) << res.errors;
  EXPECT_EQ(res.output, plain.output);
  EXPECT_NE(res.errors.find("DEBUG:[ZUVA-KPX7720MW] cannot open the PPD " + broken + ": Missing asterisk in column 1 (line 1)"),
            std::string::npos)
      << res.errors;
  EXPECT_EQ(plain.errors.find("cannot open the PPD"), std::string::npos);
}

TEST_F(FilterRunTest, WithoutCupsChannelsTheJobStillEndsPromptly) {
  // Run by hand, fds 3 and 4 are not open: drains fail at once instead of
  // waiting (or spinning) on whatever else took those numbers.
  std::string doc = box.write("doc.ps", textDocument(1));
  FilterRun r = job(false, "", kUsbPpd, doc);
  r.closeBackChannel = true;
  r.closeSideChannel = true;
  FilterResult res = runFilter(r);
  ASSERT_TRUE(res.exited);
  EXPECT_EQ(res.status, 0) << res.errors;
  EXPECT_TRUE(endsWith(res.output, kTrailer));
  EXPECT_NE(res.errors.find("send to printer  status = 3"), std::string::npos);
  EXPECT_LT(res.seconds, 3.0) << "a drain waited for its whole timeout";
}

TEST(FilterCommandLine, FewerThanSixArgumentsPrintUsageAndFail) {
  FilterSandbox box;
  std::string doc = box.write("doc.ps", "%!PS\n");
  FilterRun r;
  r.program = KPX_FILTER_USB;
  r.args = {"KPX7720MW", "1", "alice", "title", "1"};
  r.env = box.env("");
  r.input = doc;
  FilterResult res = runFilter(r);
  ASSERT_TRUE(res.exited);
  EXPECT_EQ(res.status, 1);
  EXPECT_NE(res.errors.find("Usage: "), std::string::npos);
  EXPECT_EQ(res.output, "");
}
