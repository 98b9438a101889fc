// Interpreter resolution and page geometry, and its argument lists.
#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "geometry.h"

namespace {

using kpx::kDefaultCustomRange;
using kpx::RasterArgs;
using kpx::rasterArgsFor;

struct GeometryRow {
  const char *pageSize;
  const char *g300, *g600, *g1200;
};
std::ostream &operator<<(std::ostream &os, const GeometryRow &x) { return os << x.pageSize; }

// Fixed sizes in device pixels; the 1200 column also serves 2400 dpi.
const GeometryRow kTable[] = {
    {"A4", "-g2480x3508", "-g4961x7016", "-g9922x14032"},
    {"Letter", "-g2550x3300", "-g5100x6600", "-g10200x13200"},
    {"Legal", "-g2550x4200", "-g5100x8400", "-g10200x16800"},
    {"MexicoLegal", "-g2550x4014", "-g5100x8028", "-g10200x16056"},
    {"IndiaLegal", "-g2538x4074", "-g5076x8148", "-g10152x16296"},
    {"Executive", "-g2175x3150", "-g4350x6300", "-g8700x12600"},
    {"Folio", "-g2550x3900", "-g5100x7800", "-g10200x15600"},
    {"A5", "-g1752x2480", "-g3505x4960", "-g7010x9920"},
    {"A5L", "-g2480x1748", "-g4960x3496", "-g9920x6992"},
    {"A6", "-g1240x1748", "-g2480x3496", "-g4960x6992"},
    {"Env10", "-g1237x2850", "-g2475x5700", "-g4950x11400"},
    {"EnvMonarch", "-g1162x2250", "-g2325x4500", "-g4650x9000"},
    {"EnvDL", "-g1299x2598", "-g2599x5197", "-g5198x10394"},
    {"EnvC5", "-g1917x2705", "-g3835x5410", "-g7670x10820"},
    {"ISOB5", "-g2078x2950", "-g4157x5900", "-g8314x11800"},
    {"B5", "-g2134x3020", "-g4268x6041", "-g8536x12082"},
    {"ISOB6", "-g1476x2078", "-g2953x4157", "-g5906x8314"},
    {"B6", "-g1512x2149", "-g3024x4299", "-g6048x8598"},
    {"4x6", "-g1204x1795", "-g2409x3591", "-g4818x7182"},
    {"Postcard", "-g1181x1748", "-g2362x3496", "-g4724x6992"},
    {"DoublePostcardRotated", "-g2362x1748", "-g4724x3496", "-g9448x6992"},
    {"EnvYou4", "-g1240x2775", "-g2480x5551", "-g4960x11102"},
    {"195x270mm", "-g2303x3189", "-g4606x6378", "-g9212x12756"},
    {"184x260mm", "-g2173x3070", "-g4346x6141", "-g8692x12282"},
    {"197x273mm", "-g2327x3224", "-g4654x6449", "-g9308x12898"},
    {"CUSTOM1", "-g2479x3508", "-g4958x7016", "-g9916x14032"},
    {"CUSTOM2", "-g2479x3508", "-g4958x7016", "-g9916x14032"},
    {"CUSTOM3", "-g2479x3508", "-g4958x7016", "-g9916x14032"},
};

std::string rowName(const ::testing::TestParamInfo<GeometryRow> &i) {
  std::string n = i.param.pageSize;
  for (char &c : n)
    if (!isalnum(static_cast<unsigned char>(c))) c = '_';
  return "P" + n;
}

class GeometryTable : public ::testing::TestWithParam<GeometryRow> {};

TEST_P(GeometryTable, EveryResolution) {
  const GeometryRow &r = GetParam();
  struct Col {
    const char *resolution, *arg, *geometry;
  };
  const Col cols[] = {{"300dpi", "-r300x300", r.g300},
                      {"600dpi", "-r600x600", r.g600},
                      {"1200dpi", "-r1200x1200", r.g1200},
                      {"2400dpi", "-r1200x1200", r.g1200}};
  for (const Col &c : cols) {
    // A custom size beside a fixed one must not matter.
    const std::optional<kpx::CustomPageSize> customs[] = {std::nullopt, kpx::CustomPageSize{300, 400, "300x400", ""}};
    for (const auto &custom : customs) {
      RasterArgs a = rasterArgsFor(r.pageSize, c.resolution, custom, kDefaultCustomRange);
      EXPECT_EQ(a.resolution, c.arg) << c.resolution;
      EXPECT_EQ(a.geometry, c.geometry) << c.resolution;
      EXPECT_EQ(a.fallback, "") << c.resolution;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(AllRows, GeometryTable, ::testing::ValuesIn(kTable), rowName);

// --- Interpreter argument lists ---------------------------------------------------

TEST(InterpreterArgs, ExactOrderPerDuplexMode) {
  const RasterArgs r{"-r600x600", "-g4961x7016", ""};
  const std::string media = "-dMediaPosition=4";
  using V = std::vector<std::string>;
  EXPECT_EQ(kpx::interpreterArgs(kpx::Duplex::Simplex, r, media),
            (V{"gs", "-dBATCH", "-dPARANOIDSAFER", "-dNOMEDIAATTRS", "-dNOINTERPOLATE", "-sDEVICE=pxlmono",
               "-dNumRenderingThreads=4", "-r600x600", "-g4961x7016", "-q", "-dMediaPosition=4", "-dNOPAUSE",
               "-dSAFER", "-sOutputFile=-", "-"}));
  EXPECT_EQ(kpx::interpreterArgs(kpx::Duplex::LongEdge, r, media),
            (V{"gs", "-dBATCH", "-dPARANOIDSAFER", "-dNOMEDIAATTRS", "-dDuplex", "-dNOINTERPOLATE",
               "-sDEVICE=pxlmono", "-dNumRenderingThreads=4", "-r600x600", "-g4961x7016", "-q",
               "-dMediaPosition=4", "-dNOPAUSE", "-dSAFER", "-sOutputFile=-", "-"}));
  EXPECT_EQ(kpx::interpreterArgs(kpx::Duplex::ShortEdge, r, media),
            (V{"gs", "-dBATCH", "-dPARANOIDSAFER", "-dNOMEDIAATTRS", "-dDuplex", "-dTumble", "-dNOINTERPOLATE",
               "-sDEVICE=pxlmono", "-dNumRenderingThreads=4", "-r600x600", "-dMediaPosition=4", "-g4961x7016",
               "-q", "-dNOPAUSE", "-dSAFER", "-sOutputFile=-", "-"}));
}

TEST(InterpreterArgs, CarriesTheGivenRasterAndMedia) {
  const RasterArgs r{"-r1200x1200", "-g10200x13200", ""};
  for (kpx::Duplex mode : {kpx::Duplex::Simplex, kpx::Duplex::LongEdge, kpx::Duplex::ShortEdge}) {
    std::vector<std::string> a = kpx::interpreterArgs(mode, r, "-dMediaPosition=7");
    EXPECT_EQ(std::count(a.begin(), a.end(), "-r1200x1200"), 1) << int(mode);
    EXPECT_EQ(std::count(a.begin(), a.end(), "-g10200x13200"), 1) << int(mode);
    EXPECT_EQ(std::count(a.begin(), a.end(), "-dMediaPosition=7"), 1) << int(mode);
    EXPECT_EQ(a.front(), "gs");
    EXPECT_EQ(a.back(), "-");
  }
}

TEST(PreambleLength, ByResolutionArgument) {
  EXPECT_EQ(kpx::preambleLength("-r300x300"), 63u);
  EXPECT_EQ(kpx::preambleLength("-r600x600"), 63u);
  EXPECT_EQ(kpx::preambleLength("-r1200x1200"), 64u);
  EXPECT_EQ(kpx::preambleLength("-r2400x2400"), 64u);
  EXPECT_EQ(kpx::preambleLength(rasterArgsFor("A4", "2400dpi", std::nullopt, kDefaultCustomRange).resolution), 64u);
}

}  // namespace
