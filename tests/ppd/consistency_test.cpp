// Every choice the queue PPDs offer can be printed by the filter and shown by
// the monitor; every name of every choice the printer description holds is
// known to every layer (PPD, ticket, printer application, monitor); and what
// the filter records the monitor reads back.

#include <cups/ppd.h>
#include <gtest/gtest.h>

#include <QStringList>

#include <ctime>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "appcore.h"
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
      kpx::RasterArgs r = kpx::rasterArgsFor(size, res, std::nullopt, kpx::kDefaultCustomRange);
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

// The description walked row by row: each name a row holds must be the one
// its layer uses.
class EveryDescribedChoice : public testing::TestWithParam<const char *> {};

kpxapp::JobPlan planFor(const std::function<void(kpxapp::IppJob &)> &set) {
  kpxapp::IppJob job;
  set(job);
  return kpxapp::planJob(job, std::tm{});
}

bool contains(const std::string &text, const char *part) { return text.find(part) != std::string::npos; }

QString recorded(const char *keyword) { return QString::fromUtf8(keyword) + QLatin1Char(';'); }

TEST_P(EveryDescribedChoice, IsKnownToEveryLayer) {
  PpdPtr ppd(ppdOpenFile((std::string(KPX_PPD_DIR) + "/" + GetParam()).c_str()));
  ASSERT_NE(ppd, nullptr);
  const auto offered = [&](const char *option, const char *choice) {
    ppd_option_t *o = ppdFindOption(ppd.get(), option);
    return o != nullptr && ppdFindChoice(o, choice) != nullptr;
  };
  const auto ppdDefault = [&](const char *option) {
    ppd_option_t *o = ppdFindOption(ppd.get(), option);
    return std::string(o != nullptr ? o->defchoice : "");
  };

  const std::string plainTicket = ticketFor([](kpx::JobSettings &) {});
  std::set<int> pclxlValues;
  for (const kpx::MediaSize &m : kpx::mediaSizes()) {
    SCOPED_TRACE(m.keyword);
    EXPECT_TRUE(offered("PageSize", m.keyword));
    EXPECT_EQ(kpxmon::paperSizeText(recorded(m.keyword)), QString::fromUtf8(m.shownName));
    if (*m.ticketLines != '\0') {
      EXPECT_TRUE(contains(ticketFor([&](kpx::JobSettings &j) { j.pageSize = m.keyword; }), m.ticketLines));
    }
    if (m.pclxlMedia != kpx::kPclxlCustomMedia) {
      EXPECT_TRUE(pclxlValues.insert(m.pclxlMedia).second);  // one size per PCL XL value
    }
    if (m.pwg == nullptr) {
      // Only the sizes the user defines on the printer have no IPP name.
      EXPECT_EQ(std::string_view(m.keyword).substr(0, 6), "CUSTOM");
      continue;
    }
    pwg_media_t *pwg = pwgMediaForPWG(m.pwg);
    ASSERT_NE(pwg, nullptr) << m.pwg;
    EXPECT_NEAR(pwg->width, m.width * 2540.0 / 72, 36) << m.pwg;  // within a point
    EXPECT_NEAR(pwg->length, m.height * 2540.0 / 72, 36) << m.pwg;
    EXPECT_EQ(planFor([&](kpxapp::IppJob &j) { j.media = m.pwg; }).settings.pageSize, m.keyword);
  }
  EXPECT_EQ(ppdDefault("PageSize"), kpx::defaultMediaSize().keyword);

  for (const kpx::MediaType &t : kpx::mediaTypes()) {
    SCOPED_TRACE(t.keyword);
    EXPECT_EQ(kpxmon::mediaTypeText(recorded(t.keyword)), QString::fromUtf8(t.shownName));
    EXPECT_EQ(offered("MediaType", t.keyword), t.offered);
    EXPECT_EQ(t.ipp != nullptr, t.offered);
    if (!t.offered) continue;
    EXPECT_TRUE(contains(ticketFor([&](kpx::JobSettings &j) { j.mediaType = t.keyword; }), t.ticketLine));
    EXPECT_EQ(planFor([&](kpxapp::IppJob &j) { j.type = t.ipp; }).settings.mediaType, t.keyword);
  }
  EXPECT_EQ(ppdDefault("MediaType"), kpx::defaultMediaType().keyword);

  for (const kpx::InputSlot &s : kpx::inputSlots()) {
    SCOPED_TRACE(s.keyword);
    EXPECT_TRUE(offered("InputSlot", s.keyword));
    EXPECT_EQ(kpxmon::inputSlotText(recorded(s.keyword)), QString::fromUtf8(s.shownName));
    kpx::JobSettings job;
    job.inputSlot = s.keyword;
    const kpx::Ticket ticket = kpx::buildTicket(job);
    EXPECT_TRUE(contains(ticket.text, s.ticketLines));
    EXPECT_EQ(ticket.mediaPosition, "-dMediaPosition=" + std::to_string(s.mediaPosition));
    EXPECT_EQ(kpxapp::pclxlMediaSource(s.keyword), s.mediaPosition);
    ASSERT_NE(s.ipp, nullptr);
    EXPECT_EQ(planFor([&](kpxapp::IppJob &j) { j.source = s.ipp; }).settings.inputSlot, s.keyword);
  }
  EXPECT_EQ(ppdDefault("InputSlot"), kpx::autoInputSlot().keyword);

  for (const kpx::DuplexMode &d : kpx::duplexModes()) {
    SCOPED_TRACE(d.keyword);
    EXPECT_TRUE(offered("Duplex", d.keyword));
    EXPECT_EQ(kpxmon::duplexText(recorded(d.keyword)), QString::fromUtf8(d.shownName));
    kpx::JobSettings job;
    job.duplex = d.keyword;
    EXPECT_TRUE(contains(kpx::formatLogBlock(kpx::kUsbFilter, job, 1, 1), ("\nduplex:" + std::string(d.logText)).c_str()));
    const kpxapp::JobPlan plan = planFor([&](kpxapp::IppJob &j) { j.sides = d.sides; });
    EXPECT_EQ(plan.settings.duplex, d.keyword);
    EXPECT_EQ(plan.duplex, d.mode);
  }
  EXPECT_EQ(ppdDefault("Duplex"), kpx::defaultDuplexMode().keyword);

  for (const kpx::Resolution &r : kpx::resolutions()) {
    SCOPED_TRACE(r.keyword);
    EXPECT_TRUE(offered("Resolution", r.keyword));
    EXPECT_FALSE(kpxmon::qualityText(recorded(r.keyword)).isEmpty());
    EXPECT_TRUE(contains(ticketFor([&](kpx::JobSettings &j) { j.resolution = r.keyword; }), r.ticketLines));
    const std::string dpi = std::to_string(r.dpi);
    EXPECT_EQ(kpx::rasterArgsFor("A4", r.keyword, std::nullopt, kpx::kDefaultCustomRange).resolution,
              "-r" + dpi + "x" + dpi);
    const kpxapp::JobPlan plan = planFor([&](kpxapp::IppJob &j) { j.dpi = r.dpi; });
    EXPECT_EQ(kpx::findResolution(plan.settings.resolution)->dpi, r.dpi);
  }
  EXPECT_EQ(ppdDefault("Resolution"), kpx::defaultResolution().keyword);

  for (const kpx::PrinterOption &o : kpx::printerOptions()) {
    SCOPED_TRACE(o.keyword);
    ppd_option_t *inPpd = ppdFindOption(ppd.get(), o.keyword);
    ASSERT_NE(inPpd, nullptr);
    EXPECT_EQ(ppdDefault(o.keyword), o.defaultChoice);
    EXPECT_EQ(static_cast<size_t>(inPpd->num_choices), o.choices.count);
    const kpx::JobSettings defaults;
    const std::string *defaultField = kpx::optionChoice(defaults, o.keyword);
    if (defaultField != nullptr) {
      EXPECT_EQ(*defaultField, o.defaultChoice);
    }
    for (const kpx::OptionChoice &c : o.choices) {
      SCOPED_TRACE(c.keyword);
      ppd_choice_t *choice = ppdFindChoice(inPpd, c.keyword);
      ASSERT_NE(choice, nullptr);
      EXPECT_STREQ(choice->text, c.textEn);
      if (defaultField != nullptr) {
        const std::string ticket = ticketFor([&](kpx::JobSettings &j) { *kpx::optionChoice(j, o.keyword) = c.keyword; });
        // A choice without lines leaves the ticket as it is.
        if (*c.ticketLines == '\0') {
          EXPECT_EQ(ticket, plainTicket);
        } else {
          EXPECT_TRUE(contains(ticket, c.ticketLines));
        }
      } else if (std::string_view(c.keyword) != kpx::kKeyDigitUnset) {
        // A Passwd digit: a key of that digit is held under it.
        EXPECT_TRUE(contains(ticketFor([&](kpx::JobSettings &j) { j.key = std::string(4, c.keyword[0]); }),
                             ("@PJL SET HOLDKEY=" + std::string(4, c.keyword[0]) + "\n").c_str()));
      }
      if (o.ippAttribute == nullptr || c.ipp == nullptr) continue;
      const kpxapp::JobPlan plan = planFor([&](kpxapp::IppJob &j) { j.vendor[o.ippAttribute] = c.ipp; });
      EXPECT_EQ(*kpx::optionChoice(plan.settings, o.keyword), c.keyword);
      const std::vector<const char *> &values = kpxapp::vendorValues(o.ippAttribute);
      EXPECT_NE(std::find_if(values.begin(), values.end(), [&](const char *v) { return std::string_view(v) == c.ipp; }),
                values.end());
    }
    if (o.ippAttribute != nullptr) {
      EXPECT_STREQ(kpxapp::vendorDefault(o.ippAttribute), kpx::findChoice(o, o.defaultChoice)->ipp);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Queues, EveryDescribedChoice, testing::Values("KPX7720MW.ppd", "KPX7720MW-net.ppd"));

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
