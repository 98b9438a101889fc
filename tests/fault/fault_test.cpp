// Faults injected into whole runs of the built filters. Whatever happens,
// every run must end whole: the printer stream ends with the trailer or the
// cancel sequence (or holds nothing), printerState holds one whole code,
// printerInfo is whole, every job log block is whole, and a job that could
// not be printed says so (exit status 1 and an "ERROR:" line).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "harness.h"

using namespace kpxtest;

namespace {

const std::string kTrailer = "\x1b%-12345X\n\x1b#+54321X_ZUVA@PJL EOJ\n\x1b%-12345X";
const std::string kCancel = "\x1b%-12345X\n\x1b#+54321X_ZUVA@PJL CANCEL\n\x1b%-12345X";
const std::string kCompleted = "\n打印任务完成\n";
const std::string kCancelled = "\n打印任务被用户取消\n";
const std::string kBlockStart = std::string(51, '*') + "\n";
const std::string kUsbPpd = std::string(KPX_PPD_DIR) + "/KPX7720MW.ppd";

bool endsWith(const std::string &s, const std::string &tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

size_t count(const std::string &s, const std::string &needle) {
  size_t n = 0;
  for (size_t at = s.find(needle); at != std::string::npos; at = s.find(needle, at + needle.size())) ++n;
  return n;
}

struct LogShape {
  bool whole = true;
  int blocks = 0, completed = 0, cancelled = 0;
};

// Reads a job log as whole blocks, each followed by any closing texts.
LogShape logShape(const std::string &log) {
  static const char *const kLabels[] = {"打印机名称：", "日期:", "任务ID：", "用户名：", "文件名：", "打印份数：",
                                        "文档页数：", "resolution:", "papersize:", "inputslot:", "mediatype:"};
  LogShape shape;
  size_t pos = 0;
  auto closings = [&]() {
    for (;;) {
      if (log.compare(pos, kCompleted.size(), kCompleted) == 0) {
        pos += kCompleted.size();
        ++shape.completed;
      } else if (log.compare(pos, kCancelled.size(), kCancelled) == 0) {
        pos += kCancelled.size();
        ++shape.cancelled;
      } else {
        return;
      }
    }
  };
  closings();
  while (pos < log.size()) {
    if (log.compare(pos, kBlockStart.size(), kBlockStart) != 0) return shape.whole = false, shape;
    pos += kBlockStart.size();
    for (const char *label : kLabels) {
      size_t nl = log.find('\n', pos);
      if (nl == std::string::npos || log.compare(pos, std::strlen(label), label) != 0) return shape.whole = false, shape;
      pos = nl + 1;
    }
    if (log.compare(pos, 7, "duplex:") == 0) pos = log.find('\n', pos) + 1;
    ++shape.blocks;
    closings();
  }
  return shape;
}

class FaultTest : public ::testing::Test {
 protected:
  FilterSandbox box;
  std::string usbDir = box.usbDir();

  FilterRun job(const std::string &input, bool net = false) {
    FilterRun r;
    r.program = net ? KPX_FILTER_NET : KPX_FILTER_USB;
    r.args = {net ? "KPX7720MW-net" : "KPX7720MW", "42", "alice", "report", "1", ""};
    r.env = box.env(net ? std::string(KPX_PPD_DIR) + "/KPX7720MW-net.ppd" : kUsbPpd);
    r.input = input;
    return r;
  }

  // The invariants of every ending; `failed`: the job must end as a failure.
  void expectWholeEnding(const FilterResult &res, bool failed, const std::string &dir = "") {
    const std::string d = dir.empty() ? usbDir : dir;
    ASSERT_TRUE(res.exited) << "killed or timed out\n" << res.errors;
    EXPECT_TRUE(res.output.empty() || endsWith(res.output, kTrailer) || endsWith(res.output, kCancel))
        << "stream ends in " << res.output.substr(res.output.size() - std::min<size_t>(60, res.output.size()));
    if (fileExists(d + "/config/printerState")) {
      EXPECT_TRUE(std::regex_match(readFile(d + "/config/printerState"), std::regex("CODE=[0-9]+")));
    }
    if (fileExists(d + "/config/printerInfo")) {
      EXPECT_TRUE(std::regex_match(readFile(d + "/config/printerInfo"),
                                   std::regex("resolution:[^\n]*;\npapersize:[^\n]*;\ninputslot:[^\n]*;\n"
                                              "mediatype:[^\n]*;\nduplex:[^\n]*;\n")));
    }
    EXPECT_TRUE(logShape(readFile(d + "/print_log")).whole) << readFile(d + "/print_log");
    if (failed) {
      EXPECT_EQ(res.status, 1) << res.errors;
      EXPECT_NE(res.errors.find("ERROR:"), std::string::npos) << res.errors;
      EXPECT_EQ(logShape(readFile(d + "/print_log")).completed, 0);
    } else {
      EXPECT_EQ(res.status, 0) << res.errors;
    }
  }

  // Mounts a small tmpfs over the USB queue's directory, with the
  // interpreter link and config directory in place. False when not root
  // or mounting is not allowed here.
  bool mountRecords(const char *size) {
    if (geteuid() != 0) return false;
    std::string opts = std::string("size=") + size;
    if (mount("tmpfs", usbDir.c_str(), "tmpfs", 0, opts.c_str()) != 0) return false;
    mounted_ = true;
    mkdir((usbDir + "/config").c_str(), 0755);
    mkdir((usbDir + "/kpx7720mw").c_str(), 0755);
    mkdir((usbDir + "/kpx7720mw/bin").c_str(), 0755);
    return symlink("/usr/bin/gs", (usbDir + "/kpx7720mw/bin/gs").c_str()) == 0;
  }
  void TearDown() override {
    if (mounted_) umount2(usbDir.c_str(), MNT_DETACH);
  }

 private:
  bool mounted_ = false;
};

#define SKIP_UNLESS_MOUNTED(ok) \
  if (!(ok)) GTEST_SKIP() << "needs root and permission to mount a tmpfs (CI runs it as root)"

TEST_F(FaultTest, FullRecordDirectoryKeepsTheLogWholeAndTheJobPrints) {
  SKIP_UNLESS_MOUNTED(mountRecords("64k"));
  // A log with room for 96 more bytes in its last page, on a full disk: a
  // 292-byte block would be cut, a 20-byte closing text still fits.
  std::string earlier;
  while (earlier.size() < 4000) earlier += kCompleted;
  std::ofstream(usbDir + "/print_log", std::ios::binary) << earlier;
  std::ofstream(usbDir + "/config/printerState") << "CODE=10001";
  ASSERT_NE(std::system(("dd if=/dev/zero of=" + usbDir + "/filler bs=4k 2>/dev/null").c_str()), 0);
  std::string doc = box.write("doc.ps", textDocument(1));
  for (int run = 0; run < 2; ++run) {
    FilterResult res = runFilter(job(doc));
    expectWholeEnding(res, false);
    EXPECT_TRUE(endsWith(res.output, kTrailer));
    const std::string log = readFile(usbDir + "/print_log");
    EXPECT_EQ(log.compare(0, earlier.size(), earlier), 0);
    EXPECT_EQ(logShape(log).blocks, 0);
    EXPECT_NE(res.errors.find("job log not written"), std::string::npos);
  }
}

TEST_F(FaultTest, ReadOnlyRecordDirectoryCostsOnlyTheRecords) {
  SKIP_UNLESS_MOUNTED(mountRecords("1m"));
  std::ofstream(usbDir + "/config/printerState") << "CODE=10001";
  ASSERT_EQ(mount(nullptr, usbDir.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
  std::string doc = box.write("doc.ps", textDocument(1));
  FilterResult res = runFilter(job(doc));
  expectWholeEnding(res, false);
  EXPECT_TRUE(endsWith(res.output, kTrailer));
  EXPECT_EQ(readFile(usbDir + "/config/printerState"), "CODE=10001");
}

TEST_F(FaultTest, KilledInterpreterFailsTheJob) {
  // Each page followed by 256 KiB of comments, so that the document is
  // still being copied while the first pages flow.
  std::string text = imageDocument(6);
  const std::string padding = std::string(4096, '%').replace(4095, 1, "\n");
  for (size_t at = text.find("showpage\n"); at != std::string::npos; at = text.find("showpage\n", at + 1)) {
    std::string block;
    for (int i = 0; i < 64; ++i) block += padding;
    text.insert(at + 9, block);
    at += block.size();
  }
  std::string doc = box.write("doc.ps", text);
  // The interpreter itself, and the process that copies the document to
  // it: either one killed while pages flow leaves the job failed, not
  // printed short.
  const struct {
    const char *process;  // its /proc comm
    const char *reported;
  } victims[] = {{"gs", "died due to a signal 9"}, {"pstopxl_7720mw", "the document ended early"}};
  for (const auto &v : victims) {
    SCOPED_TRACE(v.process);
    FilterRun r = job(doc);
    pid_t filter = 0;
    bool killed = false;
    r.onPoll = [&](pid_t p) { filter = p; };
    r.backChannel = [&](const std::string &out, int) {
      if (killed || out.size() <= 1000 || filter <= 0) return std::string();
      std::istringstream children(
          readFile("/proc/" + std::to_string(filter) + "/task/" + std::to_string(filter) + "/children"));
      for (pid_t child; children >> child;)
        if (readFile("/proc/" + std::to_string(child) + "/comm") == std::string(v.process) + "\n")
          killed = kill(child, SIGKILL) == 0;
      return std::string();
    };
    FilterResult res = runFilter(r);
    ASSERT_TRUE(killed);
    expectWholeEnding(res, true);
    EXPECT_TRUE(endsWith(res.output, kTrailer));
    EXPECT_NE(res.errors.find(v.reported), std::string::npos) << res.errors;
    EXPECT_EQ(readFile(usbDir + "/config/printerState"), "CODE=10001");
  }
}

TEST_F(FaultTest, UnwritablePrinterStreamFailsTheJob) {
  std::string doc = box.write("doc.ps", textDocument(2));
  for (int closed = 0; closed < 2; ++closed) {
    SCOPED_TRACE(closed ? "standard output closed" : "standard output on /dev/full");
    unlink((usbDir + "/print_log").c_str());
    FilterRun r = job(doc);
    r.closeOutput = closed;
    r.outputPath = closed ? "" : "/dev/full";
    FilterResult res = runFilter(r);
    expectWholeEnding(res, true);
    EXPECT_EQ(readFile(usbDir + "/config/printerState"), "CODE=10001");
    EXPECT_EQ(logShape(readFile(usbDir + "/print_log")).blocks, 1);
  }
}

TEST_F(FaultTest, MissingOrClosedChannelsLoseNoPageData) {
  std::string doc = box.write("doc.ps", imageDocument(2));
  FilterResult plain = runFilter(job(doc));
  expectWholeEnding(plain, false);

  // Absent from the start: the same stream, and no page data taken for
  // printer status.
  FilterRun r = job(doc);
  r.closeBackChannel = r.closeSideChannel = true;
  FilterResult res = runFilter(r);
  expectWholeEnding(res, false);
  EXPECT_EQ(res.output.size(), plain.output.size());
  EXPECT_EQ(count(res.errors, "DEBUG:Open Debug File="), 2u) << "printing, ready, nothing between";
  EXPECT_EQ(readFile(usbDir + "/config/printerState"), "CODE=10001");

  // Closed by the backend mid-job: the next drain request meets a broken
  // pipe, which cancels the job as the backend's going away does.
  r = job(doc);
  r.closeChannelsAfterOutputBytes = 1;
  res = runFilter(r);
  expectWholeEnding(res, false);
  EXPECT_EQ(readFile(usbDir + "/config/printerState"), "CODE=10001");
}

TEST_F(FaultTest, NetworkFilterWithoutBackChannelWaitsAsForASilentPrinterAndCancels) {
  std::string doc = box.write("doc.ps", textDocument(1));
  FilterRun r = job(doc, true);
  r.closeBackChannel = true;
  int polls = 0;
  // One lock query, then a quiet wait: SIGTERM after two seconds of it.
  r.onPoll = [&](pid_t p) {
    if (++polls == 100) kill(p, SIGTERM);
  };
  FilterResult res = runFilter(r);
  expectWholeEnding(res, false, box.netDir());
  EXPECT_EQ(res.output, "LockPrinter?" + kCancel);
  EXPECT_LT(res.seconds, 10.0);
}

// SIGTERM at a spread of moments, from the first record written to the
// last bytes of the stream. KPX_FAULT_ROUNDS moments (default 6).
TEST_F(FaultTest, SigtermAtAnyMomentEndsWhole) {
  std::string doc = box.write("doc.ps", imageDocument(2));
  const FilterResult plain = runFilter(job(doc));
  ASSERT_EQ(plain.status, 0) << plain.errors;
  const char *env = std::getenv("KPX_FAULT_ROUNDS");
  const int rounds = env != nullptr ? std::max(1, std::atoi(env)) : 6;
  const char *const kSteps[] = {"psfilepth", "Open Debug File", "INFO:打印机正在打印", "resolution = "};
  for (int i = 0; i < rounds; ++i) {
    FilterRun r = job(doc);
    if (i < 4) {
      r.signalWhenErrorsContain = kSteps[i];
    } else {
      // Spread over the stream; a prime stride keeps many rounds apart.
      r.signalAfterOutputBytes = 1 + (size_t(i - 4) * 7919 * 97) % plain.outputBytes;
    }
    SCOPED_TRACE(i < 4 ? r.signalWhenErrorsContain : std::to_string(r.signalAfterOutputBytes) + " bytes");
    unlink((usbDir + "/print_log").c_str());
    FilterResult res = runFilter(r);
    expectWholeEnding(res, false);
    EXPECT_EQ(readFile(usbDir + "/config/printerState"), "CODE=10001");
    const LogShape log = logShape(readFile(usbDir + "/print_log"));
    EXPECT_EQ(log.completed + log.cancelled, 1);
  }
}

TEST_F(FaultTest, EightJobsAtOnceOnOneRecordTree) {
  std::string doc = box.write("doc.ps", textDocument(2));
  std::vector<FilterResult> results(8);
  std::vector<std::thread> jobs;
  for (int i = 0; i < 8; ++i)
    jobs.emplace_back([&, i] {
      FilterRun r = job(doc);
      r.args[1] = std::to_string(100 + i);
      r.args[3] = "report " + std::string(200, char('a' + i));
      results[i] = runFilter(r);
    });
  for (std::thread &t : jobs) t.join();
  for (const FilterResult &res : results) expectWholeEnding(res, false);
  const LogShape log = logShape(readFile(usbDir + "/print_log"));
  EXPECT_EQ(log.blocks, 8);
  EXPECT_EQ(log.completed, 8);
}

}  // namespace
