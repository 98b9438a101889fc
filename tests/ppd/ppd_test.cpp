// Checks the two queue PPD files through libcups, the way the filter and the
// print dialog read them.

#include <cups/cups.h>
#include <cups/ppd.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

// libcups picks the dialog language from the environment once per thread, the
// first time it is asked; set it before any test runs so that ppdLocalize
// yields the Simplified Chinese texts.  Opening a PPD does not localize it, so
// the English texts stay visible until ppdLocalize is called.
const bool kChineseLocale = [] {
  unsetenv("LC_ALL");
  unsetenv("LC_MESSAGES");
  setenv("LANG", "zh_CN.UTF-8", 1);
  return true;
}();

const std::string kPpdDir = KPX_PPD_DIR;

struct PpdCloser {
  void operator()(ppd_file_t *ppd) const { ppdClose(ppd); }
};
using PpdPtr = std::unique_ptr<ppd_file_t, PpdCloser>;

PpdPtr openPpd(const std::string &name) {
  return PpdPtr(ppdOpenFile((kPpdDir + "/" + name).c_str()));
}

struct Queue {
  const char *file;
  const char *filter;
};
const Queue kQueues[] = {
    {"KPX7720MW.ppd", "pstopxl_7720mw"},
    {"KPX7720MW-net.ppd", "pstopxl_7720mw_net"},
};

// Every option the filter reads, its fallback default and the choice keywords
// it compares against.
struct OptionSpec {
  const char *keyword;
  const char *defchoice;
  std::set<std::string> choices;
};

const std::set<std::string> kPasswdChoices = {"False", "0", "1", "2", "3", "4",
                                              "5",     "6", "7", "8", "9"};

const std::vector<OptionSpec> kOptions = {
    {"PageSize", "A4",
     {"A4", "Letter", "Legal", "MexicoLegal", "IndiaLegal", "Executive", "Folio", "A5", "A5L",
      "A6", "Env10", "EnvMonarch", "EnvDL", "EnvC5", "ISOB5", "B5", "ISOB6", "B6", "4x6",
      "Postcard", "DoublePostcardRotated", "EnvYou4", "195x270mm", "184x260mm", "197x273mm",
      "CUSTOM1", "CUSTOM2", "CUSTOM3",
      // added by libcups for the user-entered size
      "Custom"}},
    {"MediaType", "PLAIN",
     {"PLAIN", "THIN", "THICK", "THICKERPAPER2", "BOND", "ENV", "ENVTHICK", "ENVTHIN",
      "RECYCLED", "LABLE", "COLOR", "LETTERHEAD", "HOLEPUNCHED"}},
    {"InputSlot", "AUTO", {"AUTO", "MPTRAY", "TRAY1", "TRAY2", "TRAY3"}},
    {"Duplex", "None", {"None", "DuplexNoTumble", "DuplexTumble"}},
    {"Resolution", "600dpi", {"300dpi", "600dpi", "1200dpi", "2400dpi"}},
    {"ResizePage", "10", {"5", "6", "7", "8", "9", "10", "11", "12", "15", "20"}},
    {"Passwd1", "False", kPasswdChoices},
    {"Passwd2", "False", kPasswdChoices},
    {"Passwd3", "False", kPasswdChoices},
    {"Passwd4", "False", kPasswdChoices},
    {"TonerSaveMode", "OFF", {"OFF", "ON"}},
    {"ImprovePrintOutput", "None", {"None", "ReducePaperCurl", "ImproveTonerFixing"}},
    {"PrintDensity", "0", {"-3", "-2", "-1", "0", "1", "2", "3"}},
    {"Sleep", "PrinterDefault",
     {"PrinterDefault", "2minutes", "5minutes", "10minutes", "30minutes"}},
    {"QuiteMode", "OFF", {"OFF", "ON"}},
};

// The raster the filter renders each fixed size on at 600 dpi, in pixels.
// The paper the PPD announces must be that page, give or take the filter's
// own rounding: most rows are within 2 pt of the paper, the JIS B5 raster is
// about 4 pt (1.4 mm) short of it.  Close JIS and ISO sizes stay 17 pt apart.
const std::map<std::string, std::pair<int, int>> kRaster600 = {
    {"A4", {4961, 7016}},        {"Letter", {5100, 6600}},     {"Legal", {5100, 8400}},
    {"MexicoLegal", {5100, 8028}}, {"IndiaLegal", {5076, 8148}}, {"Executive", {4350, 6300}},
    {"Folio", {5100, 7800}},     {"A5", {3505, 4960}},         {"A5L", {4960, 3496}},
    {"A6", {2480, 3496}},        {"Env10", {2475, 5700}},      {"EnvMonarch", {2325, 4500}},
    {"EnvDL", {2599, 5197}},     {"EnvC5", {3835, 5410}},      {"ISOB5", {4157, 5900}},
    {"B5", {4268, 6041}},        {"ISOB6", {2953, 4157}},      {"B6", {3024, 4299}},
    {"4x6", {2409, 3591}},       {"Postcard", {2362, 3496}},   {"DoublePostcardRotated", {4724, 3496}},
    {"EnvYou4", {2480, 5551}},   {"195x270mm", {4606, 6378}},  {"184x260mm", {4346, 6141}},
    {"197x273mm", {4654, 6449}}, {"CUSTOM1", {4958, 7016}},    {"CUSTOM2", {4958, 7016}},
    {"CUSTOM3", {4958, 7016}},
};

std::vector<std::string> splitWords(const std::string &text) {
  std::istringstream in(text);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

bool isValidUtf8(const std::string &s) {
  size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    size_t extra;
    if (c < 0x80) extra = 0;
    else if (c >= 0xC2 && c <= 0xDF) extra = 1;
    else if (c >= 0xE0 && c <= 0xEF) extra = 2;
    else if (c >= 0xF0 && c <= 0xF4) extra = 3;
    else return false;
    if (i + extra >= s.size()) return false;
    for (size_t k = 1; k <= extra; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += extra + 1;
  }
  return true;
}

bool hasNonAscii(const std::string &s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) return true;
  return false;
}

class QueuePpd : public ::testing::TestWithParam<Queue> {
 protected:
  void SetUp() override {
    ppd_ = openPpd(GetParam().file);
    ASSERT_NE(ppd_, nullptr) << GetParam().file << ": "
                             << ppdErrorString(ppdLastError(&line_)) << " at line " << line_;
  }

  // Marks the PPD defaults and then the given job options, as the filter does,
  // and returns the marked choice of each filter option.
  std::map<std::string, std::string> markJob(const char *options) {
    cups_option_t *opts = nullptr;
    const int n = cupsParseOptions(options, 0, &opts);
    ppdMarkDefaults(ppd_.get());
    cupsMarkOptions(ppd_.get(), n, opts);
    cupsFreeOptions(n, opts);
    std::map<std::string, std::string> marked;
    for (const auto &want : kOptions) {
      ppd_choice_t *c = ppdFindMarkedChoice(ppd_.get(), want.keyword);
      marked[want.keyword] = c ? c->choice : "(none)";
    }
    return marked;
  }

  PpdPtr ppd_;
  int line_ = 0;
};

TEST_P(QueuePpd, OffersEveryFilterOptionWithTheFilterDefaults) {
  for (const auto &want : kOptions) {
    SCOPED_TRACE(want.keyword);
    ppd_option_t *opt = ppdFindOption(ppd_.get(), want.keyword);
    ASSERT_NE(opt, nullptr);
    EXPECT_EQ(opt->ui, PPD_UI_PICKONE);
    EXPECT_STREQ(opt->defchoice, want.defchoice);
    std::set<std::string> choices;
    for (int i = 0; i < opt->num_choices; ++i) choices.insert(opt->choices[i].choice);
    EXPECT_EQ(choices, want.choices);
    EXPECT_EQ(static_cast<size_t>(opt->num_choices), want.choices.size()) << "duplicate choices";
  }

  // What the filter sees for a job without options.
  const auto marked = markJob("");
  for (const auto &want : kOptions) EXPECT_EQ(marked.at(want.keyword), want.defchoice) << want.keyword;
}

TEST_P(QueuePpd, JobOptionsReachTheFilterAsChoiceKeywords) {
  auto marked = markJob(
      "PageSize=B5 MediaType=LABLE InputSlot=TRAY3 Duplex=DuplexTumble Resolution=2400dpi "
      "ResizePage=5 Passwd1=1 Passwd2=9 Passwd3=0 Passwd4=7 TonerSaveMode=ON "
      "ImprovePrintOutput=ImproveTonerFixing PrintDensity=-3 Sleep=30minutes QuiteMode=ON");
  const std::map<std::string, std::string> expected = {
      {"PageSize", "B5"},          {"MediaType", "LABLE"},
      {"InputSlot", "TRAY3"},      {"Duplex", "DuplexTumble"},
      {"Resolution", "2400dpi"},   {"ResizePage", "5"},
      {"Passwd1", "1"},            {"Passwd2", "9"},
      {"Passwd3", "0"},            {"Passwd4", "7"},
      {"TonerSaveMode", "ON"},     {"ImprovePrintOutput", "ImproveTonerFixing"},
      {"PrintDensity", "-3"},      {"Sleep", "30minutes"},
      {"QuiteMode", "ON"},
  };
  EXPECT_EQ(marked, expected);

  // The standard IPP job attributes map onto the same keywords.
  marked = markJob("media=iso_b5_176x250mm sides=two-sided-long-edge");
  EXPECT_EQ(marked["PageSize"], "ISOB5");
  EXPECT_EQ(marked["Duplex"], "DuplexNoTumble");
  marked = markJob("media=na_letter_8.5x11in sides=two-sided-short-edge");
  EXPECT_EQ(marked["PageSize"], "Letter");
  EXPECT_EQ(marked["Duplex"], "DuplexTumble");
  marked = markJob("media=Legal sides=one-sided");
  EXPECT_EQ(marked["PageSize"], "Legal");
  EXPECT_EQ(marked["Duplex"], "None");

  // A user-entered size marks "Custom"; the filter takes the numbers from the
  // option string itself.
  marked = markJob("PageSize=Custom.300x500");
  EXPECT_EQ(marked["PageSize"], "Custom");
  EXPECT_EQ(marked["PrintDensity"], "0");
}

TEST_P(QueuePpd, PaperSizesMatchThePagesTheFilterRenders) {
  // Sizes whose dimensions print dialogs and IPP clients look up by number.
  const struct {
    const char *name;
    float width, length;
  } known[] = {{"A4", 595, 842}, {"Letter", 612, 792}, {"Legal", 612, 1008},
               {"B5", 516, 729}, {"ISOB5", 499, 709}, {"A5L", 595, 420},
               {"DoublePostcardRotated", 567, 420}, {"4x6", 288, 432}};
  for (const auto &k : known) {
    SCOPED_TRACE(k.name);
    ppd_size_t *size = ppdPageSize(ppd_.get(), k.name);
    ASSERT_NE(size, nullptr);
    EXPECT_NEAR(size->width, k.width, 1.0);
    EXPECT_NEAR(size->length, k.length, 1.0);
  }

  ppd_option_t *region = ppdFindOption(ppd_.get(), "PageRegion");
  ASSERT_NE(region, nullptr);
  EXPECT_STREQ(region->defchoice, "A4");

  EXPECT_EQ(static_cast<size_t>(ppd_->num_sizes), kRaster600.size() + 1);  // + Custom
  for (const auto &[name, pixels] : kRaster600) {
    SCOPED_TRACE(name);
    ppd_size_t *size = ppdPageSize(ppd_.get(), name.c_str());
    ASSERT_NE(size, nullptr);
    EXPECT_NEAR(size->width, pixels.first * 72.0 / 600.0, 5.0);
    EXPECT_NEAR(size->length, pixels.second * 72.0 / 600.0, 5.0);
    // Printable area inside the paper, clear of the hardware margins.
    EXPECT_GE(size->left, ppd_->custom_margins[0]);
    EXPECT_GE(size->bottom, ppd_->custom_margins[1]);
    EXPECT_LE(size->right, size->width - ppd_->custom_margins[2]);
    EXPECT_LE(size->top, size->length - ppd_->custom_margins[3]);
    EXPECT_LT(size->left, size->right);
    EXPECT_LT(size->bottom, size->top);
    EXPECT_NE(ppdFindChoice(region, name.c_str()), nullptr) << "no PageRegion";
  }
}

TEST_P(QueuePpd, CustomSizeRangeIsTheFilterRange) {
  EXPECT_TRUE(ppd_->variable_sizes);
  EXPECT_FLOAT_EQ(ppd_->custom_min[0], 216);
  EXPECT_FLOAT_EQ(ppd_->custom_max[0], 612);
  EXPECT_FLOAT_EQ(ppd_->custom_min[1], 360);
  EXPECT_FLOAT_EQ(ppd_->custom_max[1], 1008);
  for (float m : ppd_->custom_margins) EXPECT_FLOAT_EQ(m, 12);
  EXPECT_NE(ppdFindCustomParam(ppdFindCustomOption(ppd_.get(), "PageSize"), "Width"), nullptr);

  ppd_size_t *custom = ppdPageSize(ppd_.get(), "Custom.300x500");
  ASSERT_NE(custom, nullptr);
  EXPECT_FLOAT_EQ(custom->width, 300);
  EXPECT_FLOAT_EQ(custom->length, 500);
  EXPECT_FLOAT_EQ(custom->left, 12);
  EXPECT_FLOAT_EQ(custom->top, 488);
}

TEST_P(QueuePpd, DescribesTheQueueToCups) {
  // Print jobs and command jobs (status and supply refresh) go to our filter.
  std::vector<std::string> sources;
  for (ppd_attr_t *a = ppdFindAttr(ppd_.get(), "cupsFilter2", nullptr); a;
       a = ppdFindNextAttr(ppd_.get(), "cupsFilter2", nullptr)) {
    const auto words = splitWords(a->value ? a->value : "");
    ASSERT_EQ(words.size(), 4u) << a->value;
    sources.push_back(words[0]);
    EXPECT_EQ(words[1].find('/') != std::string::npos, true) << words[1];
    // PDF costs more than pstops' chain for PostScript does through gstopdf
    // and pdftopdf, so PostScript keeps pstops.
    EXPECT_EQ(words[2], words[0] == "application/vnd.cups-pdf" ? "10" : "0");
    EXPECT_EQ(words[3], GetParam().filter);
  }
  EXPECT_EQ(sources, (std::vector<std::string>{"application/vnd.cups-postscript", "application/vnd.cups-pdf",
                                               "application/vnd.cups-command"}));
  EXPECT_EQ(ppdFindAttr(ppd_.get(), "cupsFilter", nullptr), nullptr);
  ppd_attr_t *commands = ppdFindAttr(ppd_.get(), "cupsCommands", nullptr);
  ASSERT_NE(commands, nullptr);
  EXPECT_EQ(splitWords(commands->value), (std::vector<std::string>{"ReportLevels", "ReportStatus"}));
  ppd_attr_t *password = ppdFindAttr(ppd_.get(), "cupsJobPassword", nullptr);
  ASSERT_NE(password, nullptr);
  EXPECT_STREQ(password->value, "1111");

  ppd_attr_t *snmp = ppdFindAttr(ppd_.get(), "cupsSNMPSupplies", nullptr);
  ASSERT_NE(snmp, nullptr);
  EXPECT_STREQ(snmp->value, "False");

  ppd_attr_t *langs = ppdFindAttr(ppd_.get(), "cupsLanguages", nullptr);
  ASSERT_NE(langs, nullptr);
  EXPECT_EQ(splitWords(langs->value), std::vector<std::string>{"zh_CN"});

  EXPECT_STREQ(ppd_->manufacturer, "Zuva");
  EXPECT_STREQ(ppd_->modelname, "KPX7720MW");
  EXPECT_EQ(ppd_->language_level, 3);
  EXPECT_FALSE(ppd_->color_device);
  EXPECT_EQ(ppd_->colorspace, PPD_CS_GRAY);
  ASSERT_NE(ppd_->pcfilename, nullptr);
  const std::string pc = ppd_->pcfilename;
  EXPECT_LE(pc.size(), 12u);
  ASSERT_GE(pc.size(), 5u);
  EXPECT_EQ(pc.substr(pc.size() - 4), ".PPD");
  EXPECT_LE(pc.find('.'), 8u);
}

TEST_P(QueuePpd, EveryDialogTextHasASimplifiedChineseTranslation) {
  ppd_file_t *ppd = ppd_.get();
  auto checkText = [](ppd_attr_t *attr, const std::string &what) {
    ASSERT_NE(attr, nullptr) << what;
    EXPECT_TRUE(attr->text[0] != '\0') << what;
    EXPECT_TRUE(isValidUtf8(attr->text)) << what;
  };
  for (int g = 0; g < ppd->num_groups; ++g) {
    ppd_group_t *group = ppd->groups + g;
    ppd_attr_t *gt = ppdFindAttr(ppd, "zh_CN.Translation", group->name);
    checkText(gt, std::string("group ") + group->name);
    if (gt) {
      EXPECT_TRUE(hasNonAscii(gt->text)) << group->name;
    }
    for (int o = 0; o < group->num_options; ++o) {
      ppd_option_t *opt = group->options + o;
      ppd_attr_t *ot = ppdFindAttr(ppd, "zh_CN.Translation", opt->keyword);
      checkText(ot, std::string("option ") + opt->keyword);
      if (ot) {
        EXPECT_TRUE(hasNonAscii(ot->text)) << opt->keyword;
      }
      const std::string choiceAttr = std::string("zh_CN.") + opt->keyword;
      for (int c = 0; c < opt->num_choices; ++c) {
        if (!strcmp(opt->choices[c].choice, "Custom")) continue;  // libcups's own text
        checkText(ppdFindAttr(ppd, choiceAttr.c_str(), opt->choices[c].choice),
                  std::string(opt->keyword) + " " + opt->choices[c].choice);
      }
    }
  }

  // What the dialog shows under a zh_CN locale, and only after localizing.
  ppd_option_t *pageSize = ppdFindOption(ppd, "PageSize");
  ppd_option_t *media = ppdFindOption(ppd, "MediaType");
  ppd_option_t *key = ppdFindOption(ppd, "Passwd1");
  ASSERT_TRUE(pageSize && media && key);
  EXPECT_STREQ(pageSize->text, "Page Size");
  ASSERT_EQ(ppdLocalize(ppd), 0);
  EXPECT_STREQ(pageSize->text, "纸张大小");
  EXPECT_STREQ(ppdFindChoice(pageSize, "Letter")->text, "信纸");
  EXPECT_STREQ(ppdFindChoice(media, "LABLE")->text, "标签");
  EXPECT_STREQ(ppdFindChoice(key, "False")->text, "未设置");
  bool secureGroup = false;
  for (int g = 0; g < ppd->num_groups; ++g) {
    if (!strcmp(ppd->groups[g].text, "安全打印")) {
      secureGroup = true;
      EXPECT_EQ(ppd->groups[g].num_options, 4);
    }
  }
  EXPECT_TRUE(secureGroup);
}

INSTANTIATE_TEST_SUITE_P(Queues, QueuePpd, ::testing::ValuesIn(kQueues),
                         [](const ::testing::TestParamInfo<Queue> &info) {
                           return std::string(info.param.filter);
                         });

std::vector<std::string> readLines(const std::string &path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string keywordOf(const std::string &line) {
  return line.substr(0, line.find_first_of(": "));
}

TEST(QueuePpdPair, DifferOnlyInNamesAndFilter) {
  const auto usb = readLines(kPpdDir + "/KPX7720MW.ppd");
  const auto net = readLines(kPpdDir + "/KPX7720MW-net.ppd");
  ASSERT_GT(usb.size(), 100u);
  ASSERT_EQ(usb.size(), net.size());

  const std::set<std::string> mayDiffer = {"*NickName",      "*ModelName",   "*PCFileName",
                                           "*ShortNickName", "*cupsFilter2", "*%"};
  std::set<std::string> differing;
  for (size_t i = 0; i < usb.size(); ++i) {
    if (usb[i] == net[i]) continue;
    const std::string kw = keywordOf(usb[i]);
    EXPECT_EQ(kw, keywordOf(net[i])) << "line " << i + 1;
    EXPECT_TRUE(mayDiffer.count(kw)) << "line " << i + 1 << ": " << usb[i] << " / " << net[i];
    differing.insert(kw);
  }
  // The queues must be told apart by CUPS and run their own filter.
  for (const char *kw : {"*NickName", "*PCFileName", "*cupsFilter2"})
    EXPECT_TRUE(differing.count(kw)) << kw << " is the same in both files";
}

}  // namespace
