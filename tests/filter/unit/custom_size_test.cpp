// Custom page sizes as the filter gets them from CUPS ("PageSize=Custom.WxH"
// in the job's options), read by the interface layer and printed by the
// job core's geometry.
#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>
#include <string>

#include "geometry.h"
#include "ppdchoices.h"

namespace {

using kpx::kDefaultCustomRange;
using kpx::RasterArgs;

RasterArgs rasterArgsFor(const std::string &pageSize, const std::string &resolution, const std::string &options,
                         const kpx::CustomSizeRange &range) {
  return kpx::rasterArgsFor(pageSize, resolution, kpx::customSizeInOptions(options), range);
}

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

}  // namespace
