// Record files for the monitors (printerInfo, print_log, printerState) and
// the two filter variants.
#include <gtest/gtest.h>

#include <cups/sidechannel.h>

#include <ostream>
#include <string>
#include <vector>

#include "records.h"
#include "text_lines.h"
#include "variant.h"

namespace {

using kpx::JobSettings;

// U+FF1A FULLWIDTH COLON, used after every label of the job log but one.
#define FW "\xEF\xBC\x9A"

JobSettings sampleJob() {
  JobSettings job;
  job.printerName = "KPX7720MW";
  job.jobId = "42";
  job.user = "alice";
  job.title = "季度报告.pdf";
  job.copies = "1";
  job.resolution = "1200dpi";
  job.pageSize = "Letter";
  job.inputSlot = "TRAY1";
  job.mediaType = "THICK";
  job.duplex = "DuplexNoTumble";
  job.logDate = "2025年12月30日14:05:09 Monday";
  return job;
}

TEST(PrinterInfo, FiveLines) {
  EXPECT_EQ(kpx::formatPrinterInfo(sampleJob()),
            "resolution:1200dpi;\n"
            "papersize:Letter;\n"
            "inputslot:TRAY1;\n"
            "mediatype:THICK;\n"
            "duplex:DuplexNoTumble;\n");
  // Defaults, and a duplex value outside the three keywords, unchanged.
  JobSettings job;
  job.duplex = "Booklet";
  EXPECT_EQ(kpx::formatPrinterInfo(job),
            "resolution:600dpi;\npapersize:A4;\ninputslot:AUTO;\nmediatype:PLAIN;\nduplex:Booklet;\n");
}

struct BlockCase {
  const char *name;
  const kpx::FilterVariant *variant;
  const char *duplex;
  const char *printerLine;
  const char *duplexLine;  // empty: the block has 12 lines
};
std::ostream &operator<<(std::ostream &os, const BlockCase &x) { return os << x.name; }

class LogBlock : public ::testing::TestWithParam<BlockCase> {};

TEST_P(LogBlock, LineByLine) {
  const BlockCase &c = GetParam();
  JobSettings job = sampleJob();
  job.duplex = c.duplex;
  std::vector<std::string> want = {
      std::string(51, '*') + "\n",
      c.printerLine,
      "日期:2025年12月30日14:05:09 Monday\n",
      "任务ID" FW "42\n",
      "用户名" FW "alice\n",
      "文件名" FW "季度报告.pdf\n",
      "打印份数" FW "3\n",
      "文档页数" FW "17\n",
      "resolution:1200dpi\n",
      "papersize:Letter;\n",
      "inputslot:TRAY1;\n",
      "mediatype:THICK;\n",
  };
  if (*c.duplexLine) want.push_back(c.duplexLine);
  const std::string block = kpx::formatLogBlock(*c.variant, job, 3, 17);
  EXPECT_EQ(linesOf(block), want);
}

INSTANTIATE_TEST_SUITE_P(
    Variants, LogBlock,
    ::testing::Values(
        BlockCase{"UsbSimplex", &kpx::kUsbFilter, "None", "打印机名称" FW "KPX7720MW\n", "duplex:单面打印\n"},
        BlockCase{"UsbShortEdge", &kpx::kUsbFilter, "DuplexTumble", "打印机名称" FW "KPX7720MW\n",
                  "duplex:短边翻转\n"},
        BlockCase{"UsbLongEdge", &kpx::kUsbFilter, "DuplexNoTumble", "打印机名称" FW "KPX7720MW\n",
                  "duplex:长边翻转\n"},
        BlockCase{"UsbOtherDuplex", &kpx::kUsbFilter, "Booklet", "打印机名称" FW "KPX7720MW\n", ""},
        BlockCase{"NetSimplex", &kpx::kNetFilter, "None", "打印机名称" FW "KPX7720MW-net\n", "duplex:单面打印\n"},
        BlockCase{"NetShortEdge", &kpx::kNetFilter, "DuplexTumble", "打印机名称" FW "KPX7720MW-net\n",
                  "duplex:短边翻转\n"},
        BlockCase{"NetLongEdge", &kpx::kNetFilter, "DuplexNoTumble", "打印机名称" FW "KPX7720MW-net\n",
                  "duplex:长边翻转\n"},
        BlockCase{"NetOtherDuplex", &kpx::kNetFilter, "", "打印机名称" FW "KPX7720MW-net\n", ""}),
    [](const ::testing::TestParamInfo<BlockCase> &i) { return std::string(i.param.name); });

TEST(LogBlock, ExactBytesOfTheUsbBlock) {
  EXPECT_EQ(kpx::formatLogBlock(kpx::kUsbFilter, sampleJob(), 1, 0),
            "***************************************************\n"
            "\xe6\x89\x93\xe5\x8d\xb0\xe6\x9c\xba\xe5\x90\x8d\xe7\xa7\xb0\xef\xbc\x9aKPX7720MW\n"
            "\xe6\x97\xa5\xe6\x9c\x9f:2025年12月30日14:05:09 Monday\n"
            "任务ID：42\n用户名：alice\n文件名：季度报告.pdf\n打印份数：1\n文档页数：0\n"
            "resolution:1200dpi\npapersize:Letter;\ninputslot:TRAY1;\nmediatype:THICK;\n"
            "duplex:长边翻转\n");
}

// A title with line ends must not add lines to the log block.
TEST(LogBlock, TitleCannotBreakTheBlock) {
  JobSettings job = sampleJob();
  job.title = "a\nb\r\x1b" "c";
  job.user = "u\n";
  std::vector<std::string> lines = linesOf(kpx::formatLogBlock(kpx::kUsbFilter, job, 1, 1));
  ASSERT_EQ(lines.size(), 13u);
  EXPECT_EQ(lines[4], "用户名" FW "u \n");
  EXPECT_EQ(lines[5], "文件名" FW "a b  c\n");
}

TEST(RecordTexts, Constants) {
  EXPECT_STREQ(kpx::kStatePrinting, "CODE=10023");
  EXPECT_STREQ(kpx::kStateReady, "CODE=10001");
  EXPECT_STREQ(kpx::kStatePasswdError, "CODE=99999");
  EXPECT_STREQ(kpx::kLogCompleted, "\n打印任务完成\n");
  EXPECT_STREQ(kpx::kLogCancelled, "\n打印任务被用户取消\n");
  // "STATE: +" + reason + "\n" is 123 bytes on the wire.
  EXPECT_EQ(std::string("STATE: +") + kpx::kKeyReason + "\n",
            "STATE: +输入数字密码无效，请在电脑端打印队列中取消任务，并重新设置四位密码，重新打印\n");
  EXPECT_EQ((std::string("STATE: +") + kpx::kKeyReason + "\n").size(), 123u);
}

TEST(RecordPaths, UnderTheInstallRoot) {
  kpx::RecordPaths usb = kpx::recordPathsFor(kpx::kUsbFilter, "/opt/zuva/Printers");
  EXPECT_EQ(usb.printerInfo, "/opt/zuva/Printers/KPX7720MW/config/printerInfo");
  EXPECT_EQ(usb.printerState, "/opt/zuva/Printers/KPX7720MW/config/printerState");
  EXPECT_EQ(usb.printLog, "/opt/zuva/Printers/KPX7720MW/print_log");
  EXPECT_EQ(usb.interpreter, "/opt/zuva/Printers/KPX7720MW/kpx7720mw/bin/gs");

  kpx::RecordPaths net = kpx::recordPathsFor(kpx::kNetFilter, "/opt/zuva/Printers");
  EXPECT_EQ(net.printerInfo, "/opt/zuva/Printers/KPX7720MW_net/config/printerInfo");
  EXPECT_EQ(net.printerState, "");
  EXPECT_EQ(net.printLog, "/opt/zuva/Printers/KPX7720MW_net/print_log");
  EXPECT_EQ(net.interpreter, "/opt/zuva/Printers/KPX7720MW/kpx7720mw/bin/gs");

  kpx::RecordPaths test = kpx::recordPathsFor(kpx::kNetFilter, "/tmp/t1/root");
  EXPECT_EQ(test.printerInfo, "/tmp/t1/root/KPX7720MW_net/config/printerInfo");
  EXPECT_EQ(test.printLog, "/tmp/t1/root/KPX7720MW_net/print_log");
  EXPECT_EQ(test.interpreter, "/tmp/t1/root/KPX7720MW/kpx7720mw/bin/gs");
}

// --- Variants ---------------------------------------------------------------------

TEST(Variant, Fields) {
  const kpx::FilterVariant &u = kpx::kUsbFilter;
  EXPECT_STREQ(u.programName, "pstopxl_7720mw");
  EXPECT_STREQ(u.queueName, "KPX7720MW");
  EXPECT_STREQ(u.installSubdir, "KPX7720MW");
  EXPECT_TRUE(u.writesStateFile);
  EXPECT_FALSE(u.catchesSigint);
  EXPECT_FALSE(u.checksLock);
  EXPECT_TRUE(u.copiesBackChannelStatus);
  EXPECT_FALSE(u.ioErrorIsDrainFailure);
  EXPECT_EQ(u.trailerDrainSeconds, 3);

  const kpx::FilterVariant &n = kpx::kNetFilter;
  EXPECT_STREQ(n.programName, "pstopxl_7720mw_net");
  EXPECT_STREQ(n.queueName, "KPX7720MW-net");
  EXPECT_STREQ(n.installSubdir, "KPX7720MW_net");
  EXPECT_FALSE(n.writesStateFile);
  EXPECT_TRUE(n.catchesSigint);
  EXPECT_TRUE(n.checksLock);
  EXPECT_FALSE(n.copiesBackChannelStatus);
  EXPECT_TRUE(n.ioErrorIsDrainFailure);
  EXPECT_EQ(n.trailerDrainSeconds, 5);
}

TEST(Variant, CountedDrainFailures) {
  struct Case {
    int status;
    bool usb, net;
  };
  const Case cases[] = {
      {CUPS_SC_STATUS_NONE, false, false},
      {CUPS_SC_STATUS_OK, false, false},
      {CUPS_SC_STATUS_IO_ERROR, false, true},
      {CUPS_SC_STATUS_TIMEOUT, true, true},
      {CUPS_SC_STATUS_NO_RESPONSE, true, true},
      {CUPS_SC_STATUS_BAD_MESSAGE, false, false},
      {CUPS_SC_STATUS_TOO_BIG, false, false},
      {CUPS_SC_STATUS_NOT_IMPLEMENTED, false, false},
  };
  // The numbers the filters are written against.
  static_assert(CUPS_SC_STATUS_OK == 1 && CUPS_SC_STATUS_IO_ERROR == 2 && CUPS_SC_STATUS_TIMEOUT == 3 &&
                    CUPS_SC_STATUS_NO_RESPONSE == 4 && CUPS_SC_STATUS_BAD_MESSAGE == 5 &&
                    CUPS_SC_STATUS_TOO_BIG == 6 && CUPS_SC_STATUS_NOT_IMPLEMENTED == 7,
                "side-channel status values");
  for (const Case &c : cases) {
    EXPECT_EQ(kpx::isCountedDrainFailure(kpx::kUsbFilter, c.status), c.usb) << c.status;
    EXPECT_EQ(kpx::isCountedDrainFailure(kpx::kNetFilter, c.status), c.net) << c.status;
  }
  EXPECT_FALSE(kpx::isCountedDrainFailure(kpx::kUsbFilter, 99));
  EXPECT_FALSE(kpx::isCountedDrainFailure(kpx::kNetFilter, -1));
}

}  // namespace
