// Every choice the queue PPDs offer can be printed by the filter and shown by
// the monitor, and what the filter records the monitor reads back.

#include <cups/ppd.h>
#include <gtest/gtest.h>

#include <QStringList>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "geometry.h"
#include "monitor_core.h"
#include "records.h"
#include "status_codes.h"
#include "ticket.h"

namespace {

struct PpdCloser {
  void operator()(ppd_file_t *ppd) const { ppdClose(ppd); }
};
using PpdPtr = std::unique_ptr<ppd_file_t, PpdCloser>;

std::vector<std::string> choicesOf(ppd_file_t *ppd, const char *option) {
  std::vector<std::string> out;
  if (ppd_option_t *o = ppdFindOption(ppd, option))
    for (int i = 0; i < o->num_choices; ++i) out.push_back(o->choices[i].choice);
  return out;
}

std::string ticketFor(const std::function<void(kpx::JobSettings &)> &set) {
  kpx::JobSettings job;
  set(job);
  return kpx::buildTicket(job).text;
}

bool shown(QString (*text)(const QString &), const std::string &keyword) {
  return !text(QString::fromStdString(keyword) + QLatin1Char(';')).isEmpty();
}

class EveryPpdChoice : public testing::TestWithParam<const char *> {};

TEST_P(EveryPpdChoice, IsPrintedAndShown) {
  PpdPtr ppd(ppdOpenFile((std::string(KPX_PPD_DIR) + "/" + GetParam()).c_str()));
  ASSERT_NE(ppd, nullptr);
  const std::vector<std::string> resolutions = choicesOf(ppd.get(), "Resolution");
  const std::vector<std::string> sizes = choicesOf(ppd.get(), "PageSize");
  ASSERT_FALSE(resolutions.empty());
  ASSERT_FALSE(sizes.empty());

  for (const std::string &size : sizes) {
    for (const std::string &res : resolutions) {
      kpx::RasterArgs r = kpx::rasterArgsFor(size, res, "", kpx::kDefaultCustomRange);
      EXPECT_EQ(r.fallback, "") << size << " at " << res;
    }
    EXPECT_TRUE(shown(kpxmon::paperSizeText, size)) << size;
  }
  for (const std::string &res : resolutions)
    EXPECT_NE(ticketFor([&](kpx::JobSettings &j) { j.resolution = res; }).find("@PJL SET RESOLUTION="),
              std::string::npos)
        << res;
  for (const std::string &type : choicesOf(ppd.get(), "MediaType")) {
    EXPECT_NE(ticketFor([&](kpx::JobSettings &j) { j.mediaType = type; }).find("@PJL SET MEDIATYPE="),
              std::string::npos)
        << type;
    EXPECT_TRUE(shown(kpxmon::mediaTypeText, type)) << type;
  }
  const std::vector<std::string> trays = choicesOf(ppd.get(), "InputSlot");
  ASSERT_FALSE(trays.empty());
  for (const std::string &slot : trays) {
    // An unknown slot would silently print from AUTO.
    EXPECT_NE(ticketFor([&](kpx::JobSettings &j) { j.inputSlot = slot; }).find("@PJL SET SOURCETRAY=" + slot + "\n"),
              std::string::npos)
        << slot;
    EXPECT_TRUE(shown(kpxmon::inputSlotText, slot)) << slot;
  }
  const std::vector<std::string> duplexes = choicesOf(ppd.get(), "Duplex");
  ASSERT_EQ(duplexes.size(), 3u);
  for (const std::string &duplex : duplexes) {
    kpx::JobSettings job;
    job.duplex = duplex;
    const std::string log = kpx::formatLogBlock(kpx::kUsbFilter, job, 1, 1);
    EXPECT_NE(log.find("\nduplex:"), std::string::npos) << duplex;
    EXPECT_TRUE(shown(kpxmon::duplexText, duplex)) << duplex;
  }
}

INSTANTIATE_TEST_SUITE_P(Queues, EveryPpdChoice, testing::Values("KPX7720MW.ppd", "KPX7720MW-net.ppd"));

// printerInfo and printerState as the filter writes them and the monitor
// reads them.
TEST(Records, FilterWritesWhatTheMonitorReads) {
  kpx::JobSettings job;
  job.resolution = "1200dpi";
  job.pageSize = "A5L";
  job.inputSlot = "TRAY2";
  job.mediaType = "ENVTHIN";
  job.duplex = "DuplexTumble";
  const QStringList lines =
      QString::fromStdString(kpx::formatPrinterInfo(job)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  const kpxmon::JobRecord r = kpxmon::parseJobRecord(lines);
  EXPECT_EQ(r.resolution.toStdString(), job.resolution + ";");
  EXPECT_EQ(r.papersize.toStdString(), job.pageSize + ";");
  EXPECT_EQ(r.inputslot.toStdString(), job.inputSlot + ";");
  EXPECT_EQ(r.mediatype.toStdString(), job.mediaType + ";");
  EXPECT_EQ(r.duplex.toStdString(), job.duplex + ";");

  for (const char *state : {kpx::kStatePrinting, kpx::kStateReady, kpx::kStatePasswdError}) {
    const QString line = kpxmon::choosePrinterStateLine({QString::fromUtf8(state)});
    EXPECT_TRUE(kpxmon::statusRow(kpxmon::statusCodeOf(line)).has_value()) << state;
  }
}

}  // namespace
