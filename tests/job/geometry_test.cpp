// Interpreter resolution and page geometry, and its argument lists.
#include <gtest/gtest.h>

#include <cstdio>
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
    // Options that name a custom size must not matter for a fixed size.
    for (const char *options : {"", "PageSize=Custom.300x400 media=a4"}) {
      RasterArgs a = rasterArgsFor(r.pageSize, c.resolution, options, kDefaultCustomRange);
      EXPECT_EQ(a.resolution, c.arg) << c.resolution;
      EXPECT_EQ(a.geometry, c.geometry) << c.resolution;
      EXPECT_EQ(a.fallback, "") << c.resolution;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(AllRows, GeometryTable, ::testing::ValuesIn(kTable), rowName);

// --- Custom sizes ----------------------------------------------------------------

struct CustomCase {
  const char *options;
  const char *resolution;
  const char *arg;
  const char *geometry;
};
std::ostream &operator<<(std::ostream &os, const CustomCase &x) {
  return os << x.options << " @ " << x.resolution;
}

class CustomSize : public ::testing::TestWithParam<CustomCase> {};

TEST_P(CustomSize, Computed) {
  const CustomCase &c = GetParam();
  RasterArgs a = rasterArgsFor("Custom", c.resolution, c.options, kDefaultCustomRange);
  EXPECT_EQ(a.resolution, c.arg);
  EXPECT_EQ(a.geometry, c.geometry);
  EXPECT_EQ(a.fallback, "");
}

INSTANTIATE_TEST_SUITE_P(
    Examples, CustomSize,
    ::testing::Values(
        CustomCase{"PageSize=Custom.595x842", "300dpi", "-r300x300", "-g2480x3508"},
        CustomCase{"PageSize=Custom.595x842", "600dpi", "-r600x600", "-g4960x7016"},
        CustomCase{"PageSize=Custom.595x842", "1200dpi", "-r1200x1200", "-g9920x14032"},
        CustomCase{"PageSize=Custom.595x842", "2400dpi", "-r1200x1200", "-g9920x14032"},
        CustomCase{"PageSize=Custom.612x792", "600dpi", "-r600x600", "-g5101x6599"},
        // trunc(612*4960/595/2)=2550, trunc(792*7016/842/2)=3299
        CustomCase{"PageSize=Custom.612x792", "300dpi", "-r300x300", "-g2550x3299"},
        // trunc(612*4960/595*2)=10203, trunc(792*7016/842*2)=13198
        CustomCase{"PageSize=Custom.612x792", "1200dpi", "-r1200x1200", "-g10203x13198"},
        // Among other options.
        CustomCase{"media=custom number-up=1 PageSize=Custom.612x792 sides=one-sided", "600dpi", "-r600x600",
                   "-g5101x6599"},
        // Fractions: trunc(300.5*8.33613)=2505, trunc(400.25*8.33254)=3335
        CustomCase{"PageSize=Custom.300.5x400.25", "600dpi", "-r600x600", "-g2505x3335"},
        // Range corners: trunc(216*8.33613)=1800, trunc(360*8.33254)=2999;
        // trunc(612*8.33613)=5101, trunc(1008*8.33254)=8399.
        CustomCase{"PageSize=Custom.216x360", "600dpi", "-r600x600", "-g1800x2999"},
        CustomCase{"PageSize=Custom.612x1008", "600dpi", "-r600x600", "-g5101x8399"},
        // Explicit units: points, and inches (8.5x11in is 612x792 pt).
        CustomCase{"PageSize=Custom.612x792pt", "600dpi", "-r600x600", "-g5101x6599"},
        CustomCase{"PageSize=Custom.8.5x11in", "600dpi", "-r600x600", "-g5101x6599"},
        CustomCase{"PageSize=Custom.8.5x11in", "300dpi", "-r300x300", "-g2550x3299"}));

TEST(CustomSize, NoCustomSizeInOptionsGivesA4AtTheJobResolution) {
  struct Col {
    const char *resolution, *arg, *geometry;
  };
  const Col cols[] = {{"300dpi", "-r300x300", "-g2480x3508"},
                      {"600dpi", "-r600x600", "-g4961x7016"},
                      {"1200dpi", "-r1200x1200", "-g9922x14032"},
                      {"2400dpi", "-r1200x1200", "-g9922x14032"}};
  for (const Col &c : cols) {
    for (const char *options : {"", "media=a4 sides=two-sided-long-edge", "PageSize=Custom"}) {
      RasterArgs a = rasterArgsFor("Custom", c.resolution, options, kDefaultCustomRange);
      EXPECT_EQ(a.resolution, c.arg) << c.resolution << " " << options;
      EXPECT_EQ(a.geometry, c.geometry) << c.resolution << " " << options;
    }
  }
}

// Sizes given in other units equal the same size in points.
TEST(CustomSize, MillimetresEqualTheirPoints) {
  // 210x297 mm are 595.2756x841.8898 pt.
  for (const char *res : {"300dpi", "600dpi", "1200dpi"}) {
    RasterArgs mm = rasterArgsFor("Custom", res, "PageSize=Custom.210x297mm", kDefaultCustomRange);
    RasterArgs pt = rasterArgsFor("Custom", res, "PageSize=Custom.595.28x841.89", kDefaultCustomRange);
    ASSERT_EQ(mm.fallback, "") << res;
    ASSERT_EQ(pt.fallback, "") << res;
    EXPECT_EQ(mm.resolution, pt.resolution);
    int mw = 0, mh = 0, pw = 0, ph = 0;
    ASSERT_EQ(std::sscanf(mm.geometry.c_str(), "-g%dx%d", &mw, &mh), 2) << mm.geometry;
    ASSERT_EQ(std::sscanf(pt.geometry.c_str(), "-g%dx%d", &pw, &ph), 2) << pt.geometry;
    EXPECT_NEAR(mw, pw, 1) << res;
    EXPECT_NEAR(mh, ph, 1) << res;
  }
  // 21.0x29.7 cm is the same paper.
  EXPECT_EQ(rasterArgsFor("Custom", "600dpi", "PageSize=Custom.21x29.7cm", kDefaultCustomRange).geometry,
            rasterArgsFor("Custom", "600dpi", "PageSize=Custom.210x297mm", kDefaultCustomRange).geometry);
}

// Anything unusable gives A4 at 600 dpi, with a reason.
struct FallbackCase {
  const char *pageSize;
  const char *resolution;
  const char *options;
};
std::ostream &operator<<(std::ostream &os, const FallbackCase &x) {
  return os << x.pageSize << " @ " << x.resolution << " [" << x.options << "]";
}

class RasterFallback : public ::testing::TestWithParam<FallbackCase> {};

TEST_P(RasterFallback, A4At600WithReason) {
  const FallbackCase &c = GetParam();
  RasterArgs a = rasterArgsFor(c.pageSize, c.resolution, c.options, kDefaultCustomRange);
  EXPECT_EQ(a.resolution, "-r600x600");
  EXPECT_EQ(a.geometry, "-g4961x7016");
  EXPECT_FALSE(a.fallback.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RasterFallback,
    ::testing::Values(
        FallbackCase{"Custom", "600dpi", "PageSize=Custom.0x842"},
        FallbackCase{"Custom", "600dpi", "PageSize=Custom.595x0"},
        FallbackCase{"Custom", "300dpi", "PageSize=Custom.-595x842"},
        FallbackCase{"Custom", "1200dpi", "PageSize=Custom.595x-842"},
        FallbackCase{"Custom", "600dpi", "PageSize=Custom.100x842"},   // too narrow
        FallbackCase{"Custom", "600dpi", "PageSize=Custom.700x842"},   // too wide
        FallbackCase{"Custom", "600dpi", "PageSize=Custom.595x200"},   // too short
        FallbackCase{"Custom", "600dpi", "PageSize=Custom.595x1200"},  // too long
        FallbackCase{"Custom", "600dpi", "PageSize=Custom.100000x100000"},
        FallbackCase{"Custom", "600dpi", "PageSize=Custom.20x30in"},  // 1440x2160 pt
        FallbackCase{"Custom", "600dpi", "PageSize=Custom.nanx842"},
        FallbackCase{"Custom", "600dpi", "PageSize=Custom.infx842"},
        FallbackCase{"Custom", "300dpi", "PageSize=Custom.abc"},
        FallbackCase{"Custom", "600dpi", "PageSize=Custom.595"},
        FallbackCase{"Custom", "600dpi", "PageSize=Custom.x842"},
        FallbackCase{"Custom", "600dpi", "PageSize=Custom. 595x842"},
        FallbackCase{"Custom", "600dpi", "PageSize=Custom."},
        FallbackCase{"A3", "600dpi", ""},
        FallbackCase{"a4", "300dpi", ""},
        FallbackCase{"", "600dpi", ""},
        FallbackCase{"A4", "4800dpi", ""},
        FallbackCase{"Letter", "600", ""},
        FallbackCase{"A4", "", ""},
        FallbackCase{"Custom", "72dpi", "PageSize=Custom.595x842"}));

TEST(CustomSize, NarrowerRangeFromThePpdIsHonoured) {
  const kpx::CustomSizeRange range{300.0, 400.0, 500.0, 700.0};
  RasterArgs inside = rasterArgsFor("Custom", "600dpi", "PageSize=Custom.400x600", range);
  EXPECT_EQ(inside.fallback, "");
  EXPECT_EQ(inside.geometry, "-g3334x4999");  // trunc(3334.45), trunc(4999.52)
  RasterArgs outside = rasterArgsFor("Custom", "600dpi", "PageSize=Custom.595x842", range);
  EXPECT_EQ(outside.geometry, "-g4961x7016");
  EXPECT_FALSE(outside.fallback.empty());
}

// A PPD may declare any range; sizes inside it that no paper has fall back
// instead of overflowing the pixel arithmetic or giving a zero side.
TEST(CustomSize, AbsurdPpdRangesStillFallBackToA4) {
  const kpx::CustomSizeRange huge{0.0, 0.0, 1e30, 1e30}, flat{0.0, 0.0, 612.0, 0.0};
  for (const char *options : {"PageSize=Custom.1e20x1e20", "PageSize=Custom.9e9x842", "PageSize=Custom.4x0.1",
                              "PageSize=Custom.10x10"}) {
    for (const auto &range : {huge, flat}) {
      RasterArgs a = rasterArgsFor("Custom", "1200dpi", options, range);
      EXPECT_EQ(a.geometry, "-g4961x7016") << options;
      EXPECT_FALSE(a.fallback.empty()) << options;
    }
  }
  EXPECT_EQ(rasterArgsFor("Custom", "600dpi", "PageSize=Custom.3000x3000", huge).geometry, "-g25008x24997");
}

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
  EXPECT_EQ(kpx::preambleLength(rasterArgsFor("A4", "2400dpi", "", kDefaultCustomRange).resolution), 64u);
}

}  // namespace
