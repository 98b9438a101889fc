// The printer application's decisions and its PCL XL writer, checked with
// the simulator's own PCL XL analysis.
#include <cups/cups.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <future>
#include <ctime>

#include <arpa/inet.h>
#include <cups/raster.h>

#include "appcore.h"
#include "devicegate.h"
#include "dnssdtxt.h"
#include "peer.h"
#include "rasterpage.h"
#include "printer_description.h"
#include "pclxl.h"
#include "pclxl_writer.h"
#include "usbowner.h"

using namespace kpxapp;

namespace {

// Decoders of the two compressions, to prove the encoders lossless.
std::string unpackBits(const std::string &in) {
  std::string out;
  for (size_t i = 0; i < in.size();) {
    int n = static_cast<signed char>(in[i++]);
    if (n >= 0) {
      out.append(in, i, size_t(n) + 1);
      i += size_t(n) + 1;
    } else if (n != -128) {
      out.append(size_t(1 - n), in[i++]);
    }
  }
  return out;
}
std::string undelta(const std::string &in, std::string seed) {
  size_t pos = 0;
  for (size_t i = 0; i < in.size();) {
    uint8_t cmd = uint8_t(in[i++]);
    size_t count = (cmd >> 5) + 1, offset = cmd & 31;
    if (offset == 31)
      for (uint8_t more = 255; more == 255;) offset += (more = uint8_t(in[i++]));
    pos += offset;
    seed.replace(pos, count, in, i, count);
    i += count;
    pos += count;
  }
  return seed;
}

}  // namespace

TEST(PclxlWriter, CompressionsRoundTrip) {
  const std::string seed(300, '\0');
  std::string row(300, '\0');
  for (size_t i = 0; i < row.size(); ++i) row[i] = char((i % 97 < 40) ? 0xff : (i * 7) & 0xff);
  row.replace(100, 50, 50, '\x5a');  // a run inside literals
  std::string packed, delta;
  packBits(reinterpret_cast<const uint8_t *>(row.data()), row.size(), packed);
  deltaRow(reinterpret_cast<const uint8_t *>(row.data()), reinterpret_cast<const uint8_t *>(seed.data()),
           row.size(), delta);
  EXPECT_EQ(unpackBits(packed), row);
  EXPECT_EQ(undelta(delta, seed), row);
  std::string same;
  deltaRow(reinterpret_cast<const uint8_t *>(row.data()), reinterpret_cast<const uint8_t *>(row.data()), row.size(),
           same);
  EXPECT_TRUE(same.empty());
}

// Every media size of the printer (and a custom one), simplex and duplex,
// makes one session the printer's analysis accepts page by page.
TEST(PclxlWriter, EveryMediaSizeMakesWellFormedPages) {
  std::string out;
  PclxlRasterWriter w(out);
  w.beginSession(300);
  std::vector<RasterPage> pages;
  for (const kpx::MediaSize &m : mediaSizes())
    pages.push_back({300, 2480, 3508, m.pclxlMedia, 8.27, 11.69, 1, kpx::Duplex::Simplex, false});
  pages.push_back({300, 1201, 1799, -1, 4.0, 6.0, 4, kpx::Duplex::ShortEdge, true});  // odd width: padding of the last byte
  int n = 0;
  for (const RasterPage &p : pages) {
    ASSERT_TRUE(w.beginPage(p));
    std::vector<uint8_t> line((p.width + 7) / 8);
    for (unsigned y = 0; y < p.height / 2; ++y) {  // the rest of the page is left for endPage
      for (size_t x = 0; x < line.size(); ++x) line[x] = uint8_t((x + y) % 5 == 0 ? 0xf0 : 0);
      w.writeLine(line.data());
    }
    w.endPage();
    ++n;
  }
  w.endSession();
  ASSERT_EQ(out.compare(0, std::strlen(kPclxlIntro), kPclxlIntro), 0);
  kpxsim::PclxlScan scan = kpxsim::scanPclxl(std::string_view(out).substr(out.find(") HP-PCL XL")));
  EXPECT_EQ(scan.status, kpxsim::PclxlScan::Status::Ok) << scan.error << " at " << scan.errorOffset;
  EXPECT_EQ(scan.pages, n);
  EXPECT_EQ(scan.sessions, 1);
  EXPECT_EQ(w.pagesWritten(), n);
  EXPECT_FALSE(w.beginPage({600, 70000, 100, 2, 0, 0, 1, kpx::Duplex::Simplex, false}));
  EXPECT_FALSE(w.beginPage({600, 0, 100, 2, 0, 0, 1, kpx::Duplex::Simplex, false}));
}

TEST(AppCore, EveryPaperSizeOfThePrinterHasAnIppName) {
  for (const kpx::MediaSize &m : kpx::mediaSizes()) {
    if (std::string_view(m.keyword).substr(0, 6) == "CUSTOM") continue;  // the printer's own A4 variants
    bool named = false;
    for (const kpx::MediaSize &s : mediaSizes()) named = named || std::string_view(s.keyword) == m.keyword;
    EXPECT_TRUE(named) << m.keyword;
  }
}

// The custom-size limits offered are the printer's range, read back as
// clients read the names.
TEST(AppCore, CustomSizeLimitsNameThePrintersRange) {
  const kpx::CustomSizeRange &r = kpx::kDefaultCustomRange;
  const struct {
    const std::string &name;
    double width, height;
  } limits[] = {{customSizeMinName(), r.minWidth, r.minHeight}, {customSizeMaxName(), r.maxWidth, r.maxHeight}};
  for (const auto &l : limits) {
    pwg_media_t *m = pwgMediaForPWG(l.name.c_str());
    ASSERT_NE(m, nullptr) << l.name;
    EXPECT_NEAR(m->width, l.width * 2540 / 72, 1) << l.name;
    EXPECT_NEAR(m->length, l.height * 2540 / 72, 1) << l.name;
  }
}

TEST(AppCore, IppOptionsBecomeTheFiltersSettings) {
  struct Row {
    IppJob in;
    const char *pageSize, *slot, *type, *duplex, *resolution, *key, *density, *customSize;
    bool fails;
  } rows[] = {
      {{"1", "u", "t", "", 1, "iso_a4_210x297mm", 21000, 29700, "", "", "one-sided", 600, {}},
       "A4", "AUTO", "PLAIN", "None", "600dpi", "False", "0", "", false},
      {{"2", "u", "t", "", 1, "jis_b5_182x257mm", 18200, 25700, "tray-2", "envelope", "two-sided-short-edge", 1200,
        {{"secure-print-key", "0420"}, {"print-density-level", "-2"}}},
       "B5", "TRAY2", "ENV", "DuplexTumble", "1200dpi", "0420", "-2", "", false},
      {{"3", "u", "t", "", 1, "custom_w_100x200mm", 10000, 20000, "by-pass-tray", "labels", "two-sided-long-edge", 300,
        {}},
       "Custom", "MPTRAY", "LABLE", "DuplexNoTumble", "300dpi", "False", "0", "283.46x566.93", false},
      {{"4", "u", "t", "", 1, "iso_a4_210x297mm", 21000, 29700, "", "", "", 600, {{"secure-print-key", "12a4"}}},
       "", "", "", "", "", "", "", "", true},
      {{"5", "u", "t", "", 1, "iso_a4_210x297mm", 21000, 29700, "", "", "", 600, {{"secure-print-key", "123"}}},
       "", "", "", "", "", "", "", "", true},
      {{"6", "u", "t", "", 1, "iso_a4_210x297mm", 21000, 29700, "", "", "", 600, {{"print-density-level", "9"}}},
       "", "", "", "", "", "", "", "", true},
  };
  std::tm tm{};
  for (const Row &r : rows) {
    SCOPED_TRACE(r.in.id);
    JobPlan p = planJob(r.in, tm);
    EXPECT_EQ(!p.error.empty(), r.fails);
    if (r.fails) continue;
    EXPECT_EQ(p.settings.pageSize, r.pageSize);
    EXPECT_EQ(p.settings.inputSlot, r.slot);
    EXPECT_EQ(p.settings.mediaType, r.type);
    EXPECT_EQ(p.settings.duplex, r.duplex);
    EXPECT_EQ(p.settings.resolution, r.resolution);
    EXPECT_EQ(p.settings.key.value_or("False"), r.key);
    EXPECT_EQ(p.settings.density, r.density);
    EXPECT_EQ(p.settings.customSize ? p.settings.customSize->text : "", r.customSize);
    if (p.settings.customSize) {
      EXPECT_FLOAT_EQ(p.settings.customSize->width, 283.46f);
      EXPECT_FLOAT_EQ(p.settings.customSize->height, 566.93f);
    }
  }
}

// The classic filter's arguments, with copies and a page range only when
// the job asks for them, and always before the input.
TEST(AppCore, DocumentArgumentsAddOnlyWhatTheJobAsks) {
  kpx::RasterArgs raster{"-r600x600", "-g4961x7016", ""};
  JobPlan plan;
  const std::vector<std::string> classic = kpx::interpreterArgs(kpx::Duplex::Simplex, raster, "-dMediaPosition=1");
  EXPECT_EQ(documentArgs(plan, raster, "-dMediaPosition=1"), classic);
  plan.copies = 3;
  plan.firstPage = 2;
  plan.lastPage = 5;
  std::vector<std::string> args = documentArgs(plan, raster, "-dMediaPosition=1");
  ASSERT_EQ(args.size(), classic.size() + 3);
  EXPECT_EQ(args.back(), "-");
  EXPECT_EQ(std::vector<std::string>(args.end() - 4, args.end() - 1),
            (std::vector<std::string>{"-dNumCopies=3", "-dFirstPage=2", "-dLastPage=5"}));
}

TEST(AppCore, StatusRepliesBecomePrinterState) {
  struct Row {
    const char *reply;
    bool answered;
    unsigned reasons;
    TonerState toner;
  } rows[] = {
      {"CODE=10001\r", true, kReasonNone, TonerState::Ok},
      {"CODE=44114\rCODE=10209\r", true, kReasonMediaJam | kReasonTonerLow, TonerState::Low},
      {"CODE=10209\nCODE=40409", true, kReasonTonerLow | kReasonTonerEmpty, TonerState::Empty},
      {"CODE=40021\rCODE=12201\rCODE=62123", true, kReasonCoverOpen | kReasonInputTrayMissing | kReasonMediaLow,
       TonerState::Ok},
      {"CODE=99999", true, kReasonOther, TonerState::Ok},
      {"CODE=60142\rCODE=60000\rCODE=10205", true, kReasonMediaNeeded | kReasonSpoolAreaFull, TonerState::Ok},
      {"CODE=123456\rCODE=\rxCODE=abc", false, kReasonNone, TonerState::Unknown},  // not codes
      {"", false, kReasonNone, TonerState::Unknown},
  };
  for (const Row &r : rows) {
    SCOPED_TRACE(r.reply);
    PrinterCondition c = conditionFromReply(r.reply);
    EXPECT_EQ(c.answered, r.answered);
    EXPECT_EQ(c.reasons, r.reasons);
    EXPECT_EQ(c.toner, r.toner);
  }
}

// The supply's level and the web page's words for each toner state; a low
// toner is shown at the low level itself, one above it is not low.
TEST(AppCore, TonerStatesBecomeSupplyLevelsAndWords) {
  struct Row {
    TonerState toner;
    int percent;
    const char *words;
  } rows[] = {
      {TonerState::Unknown, -1, "Not known until the printer answers"},
      {TonerState::Ok, 100, "OK"},
      {TonerState::Low, 10, "Low: have a new cartridge ready"},
      {TonerState::Empty, 0, "Empty: replace the toner cartridge"},
  };
  for (const Row &r : rows) {
    EXPECT_EQ(tonerPercent(r.toner), r.percent);
    EXPECT_STREQ(tonerLevelText(r.percent), r.words);
  }
  EXPECT_STREQ(tonerLevelText(11), "OK");
}

TEST(DeviceGate, OneJobAtATimeAndEachJobOnce) {
  using namespace std::chrono_literals;
  kpxapp::DeviceGate gate;
  ASSERT_TRUE(gate.enter(7).prints);
  EXPECT_TRUE(gate.knows(7));
  EXPECT_FALSE(gate.knows(8));
  // A second run of the job that prints, and the next job: both wait.
  auto twin = std::async(std::launch::async, [&] { return gate.enter(7); });
  auto next = std::async(std::launch::async, [&] { return gate.enter(8).prints; });
  EXPECT_EQ(twin.wait_for(200ms), std::future_status::timeout);
  EXPECT_EQ(next.wait_for(1ms), std::future_status::timeout);
  gate.leave(8, true);  // not the holder: nothing
  EXPECT_EQ(next.wait_for(200ms), std::future_status::timeout);
  gate.leave(7, false);
  kpxapp::DeviceGate::Entry t = twin.get();
  EXPECT_FALSE(t.prints);
  EXPECT_FALSE(t.ok);  // the twin ends as the printing run did
  EXPECT_TRUE(next.get());
  // A late run of a job that printed does not wait for the job printing now.
  gate.leave(8, true);
  ASSERT_TRUE(gate.enter(9).prints);
  auto late = std::async(std::launch::async, [&] { return gate.enter(8); });
  ASSERT_EQ(late.wait_for(2s), std::future_status::ready);
  t = late.get();
  EXPECT_FALSE(t.prints);
  EXPECT_TRUE(t.ok);
}

TEST(UsbOwner, MarkerCountsOnlyForALiveProcess) {
  auto alive = [](pid_t pid) { return pid == 4242; };
  struct Row {
    const char *content;
    bool owned;
  } rows[] = {{"4242\n", true}, {"4242", true}, {"4243\n", false}, {"", false},
              {"42x42\n", false}, {"1\n", false}, {"-4242\n", false}, {"99999999999999\n", false}};
  for (const Row &r : rows) EXPECT_EQ(kpx::markerNamesLiveProcess(r.content, alive), r.owned) << r.content;
}

namespace {
RasterFormat letterGrey600() {
  RasterFormat f;
  f.width = 5100;
  f.height = 6600;
  f.bitsPerColor = f.bitsPerPixel = 8;
  f.bytesPerLine = 5100;
  f.colorSpace = CUPS_CSPACE_SW;
  f.colorOrder = CUPS_ORDER_CHUNKED;
  f.xdpi = f.ydpi = 600;
  return f;
}
}  // namespace

TEST(RasterPage, OnlyPagesThePrinterCanTakeAreAccepted) {
  struct Case {
    const char *what;
    void (*change)(RasterFormat &);
    PageVerdict verdict;
  };
  const Case cases[] = {
      {"Letter in grey at 600 dpi (wider than A4)", [](RasterFormat &) {}, PageVerdict::Printable},
      {"1-bit black at 1200 dpi, Legal",
       [](RasterFormat &f) {
         f.bitsPerColor = f.bitsPerPixel = 1, f.colorSpace = CUPS_CSPACE_K, f.xdpi = f.ydpi = 1200;
         f.width = 10200, f.height = 16800, f.bytesPerLine = 1275;
       },
       PageVerdict::Printable},
      {"60000 pixels wide", [](RasterFormat &f) { f.width = f.bytesPerLine = 60000; }, PageVerdict::Unprintable},
      {"4294967295 lines", [](RasterFormat &f) { f.height = 4294967295u; }, PageVerdict::Unprintable},
      {"no lines", [](RasterFormat &f) { f.height = 0; }, PageVerdict::FormatError},
      {"line length not the width's", [](RasterFormat &f) { f.bytesPerLine = 620; }, PageVerdict::FormatError},
      {"16 bits", [](RasterFormat &f) { f.bitsPerColor = f.bitsPerPixel = 16; }, PageVerdict::FormatError},
      {"banded", [](RasterFormat &f) { f.colorOrder = CUPS_ORDER_BANDED; }, PageVerdict::FormatError},
      {"colour", [](RasterFormat &f) { f.colorSpace = CUPS_CSPACE_SRGB, f.bitsPerPixel = 24, f.bytesPerLine *= 3; },
       PageVerdict::Unprintable},
      {"72 dpi", [](RasterFormat &f) { f.xdpi = f.ydpi = 72, f.width = f.bytesPerLine = 612, f.height = 792; },
       PageVerdict::Unprintable},
      {"600x300 dpi", [](RasterFormat &f) { f.ydpi = 300, f.height = 3300; }, PageVerdict::Unprintable},
      {"1-bit grey (sgray_1, not listed)",
       [](RasterFormat &f) { f.bitsPerColor = f.bitsPerPixel = 1, f.bytesPerLine = 638; }, PageVerdict::FormatError},
      {"8-bit black (black_8)", [](RasterFormat &f) { f.colorSpace = CUPS_CSPACE_K; }, PageVerdict::Printable},
  };
  for (const Case &c : cases) {
    RasterFormat f = letterGrey600();
    c.change(f);
    PageCheck check = checkRasterPage(f);
    EXPECT_EQ(check.verdict, c.verdict) << c.what << ": " << check.reason;
    EXPECT_EQ(check.reason.empty(), c.verdict == PageVerdict::Printable) << c.what;
  }
}

TEST(RasterPage, RowsAreOneBitBlackWhateverTheInputPolarity) {
  RasterFormat f = letterGrey600();
  f.width = f.bytesPerLine = 10;
  std::vector<uint8_t> out(2);
  auto row = [&](std::vector<uint8_t> in, unsigned y = 0) {
    toPrinterRow(f, in.data(), y, out.data());
    return std::vector<unsigned>{out[0], out[1]};
  };
  // Grey: black stays black and white white on every row of the matrix;
  // the bits past the width stay clear.
  for (unsigned y = 0; y < 8; ++y) {
    EXPECT_EQ(row(std::vector<uint8_t>(10, 0), y), (std::vector<unsigned>{0xff, 0xc0})) << y;
    EXPECT_EQ(row(std::vector<uint8_t>(10, 255), y), (std::vector<unsigned>{0, 0})) << y;
  }
  int inked = 0;
  for (unsigned y = 0; y < 8; ++y) {
    f.width = f.bytesPerLine = 8;
    row(std::vector<uint8_t>(8, 128), y);
    inked += __builtin_popcount(out[0]);
  }
  EXPECT_EQ(inked, 32) << "mid grey inks half the dots";
  f.width = f.bytesPerLine = 10;
  f.colorSpace = CUPS_CSPACE_K;  // 8-bit black: 255 is full ink
  EXPECT_EQ(row(std::vector<uint8_t>(10, 255)), (std::vector<unsigned>{0xff, 0xc0}));
  f.bitsPerColor = f.bitsPerPixel = 1;
  f.bytesPerLine = 2;
  EXPECT_EQ(row({0xf0, 0xff}), (std::vector<unsigned>{0xf0, 0xc0}));  // 1 = black
  f.colorSpace = CUPS_CSPACE_SW;                                    // 1 = white
  EXPECT_EQ(row({0xf0, 0x00}), (std::vector<unsigned>{0x0f, 0xc0}));
}

TEST(Peer, ALoopbackClientIsFoundByItsEndpoints) {
  sockaddr_in v4{};
  v4.sin_family = AF_INET;
  v4.sin_port = htons(8080);
  inet_pton(AF_INET, "127.0.0.1", &v4.sin_addr);
  EXPECT_EQ(socketTableEndpoint(reinterpret_cast<sockaddr *>(&v4)), "0100007F:1F90");
  sockaddr_in6 v6{};
  v6.sin6_family = AF_INET6;
  v6.sin6_port = htons(631);
  inet_pton(AF_INET6, "::ffff:127.0.0.1", &v6.sin6_addr);
  EXPECT_EQ(socketTableEndpoint(reinterpret_cast<sockaddr *>(&v6)), "0100007F:0277");
  inet_pton(AF_INET6, "::1", &v6.sin6_addr);
  EXPECT_EQ(socketTableEndpoint(reinterpret_cast<sockaddr *>(&v6)), "00000000000000000000000001000000:0277");

  const char table[] =
      "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n"
      "   0: 0100007F:1F90 00000000:0000 0A 00000000:00000000 00:00000000 00000000     0        0 1 1\n"
      "   1: 0100007F:A0B0 0100007F:1F90 01 00000000:00000000 00:00000000 00000000  1001        0 2 1\n"
      "   2: garbage\n"
      "   3: 0100007F:1F90 0100007F:A0B0 01 00000000:00000000 00:00000000 00000000     0        0 3 1";
  EXPECT_EQ(socketTableOwner(table, "0100007F:A0B0", "0100007F:1F90"), 1001);
  EXPECT_EQ(socketTableOwner(table, "0100007F:1F90", "0100007F:A0B0"), 0);
  EXPECT_EQ(socketTableOwner(table, "0100007F:A0B1", "0100007F:1F90"), -1);
}

TEST(AppCore, RequestsBeyondTheirBoundsAreRefused) {
  ipp_t *request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
  std::vector<const char *> all(3, "all");
  ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 3, nullptr, all.data());
  EXPECT_TRUE(ippRequestWithinBounds(request, 3, 3));  // two attributes of the request itself, and this
  EXPECT_FALSE(ippRequestWithinBounds(request, 2, 3));
  EXPECT_FALSE(ippRequestWithinBounds(request, 3, 2));
  ippDelete(request);
}

TEST(AppCore, CustomSizesByNameAreAskedForByTheirDimensionsOrRefused) {
  struct Case {
    ipp_op_t op;
    const char *media;
    bool withMediaCol;
    CustomMediaRequest result;
    int width, length;  // media-col's size afterwards, 0 when none
  };
  const Case cases[] = {
      {IPP_OP_PRINT_JOB, "custom_100x150mm_100x150mm", false, CustomMediaRequest::AsDimensions, 10000, 15000},
      {IPP_OP_CREATE_JOB, "custom_card_4x6in", false, CustomMediaRequest::AsDimensions, 10160, 15240},
      {IPP_OP_VALIDATE_JOB, "custom_max_8.5x14in", false, CustomMediaRequest::Untouched, 0, 0},
      {IPP_OP_PRINT_JOB, "custom_big_300x500mm", false, CustomMediaRequest::Refused, 0, 0},
      {IPP_OP_PRINT_JOB, "custom_tiny_2x2in", false, CustomMediaRequest::Refused, 0, 0},
      {IPP_OP_PRINT_JOB, "iso_a4_210x297mm", false, CustomMediaRequest::Untouched, 0, 0},
      {IPP_OP_PRINT_JOB, "custom_100x150mm_100x150mm", true, CustomMediaRequest::Untouched, 0, 0},
      {IPP_OP_GET_PRINTER_ATTRIBUTES, "custom_100x150mm_100x150mm", false, CustomMediaRequest::Untouched, 0, 0},
  };
  for (const Case &c : cases) {
    ipp_t *request = ippNewRequest(c.op);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, "ipp://localhost/ipp/print/P");
    ippAddString(request, IPP_TAG_JOB, IPP_TAG_KEYWORD, "media", nullptr, c.media);
    if (c.withMediaCol) ippAddCollection(request, IPP_TAG_JOB, "media-col", nullptr);
    EXPECT_EQ(rewriteCustomMedia(request), c.result) << c.media;
    const bool named = ippFindAttribute(request, "media", IPP_TAG_KEYWORD) != nullptr;
    EXPECT_EQ(named, c.result != CustomMediaRequest::AsDimensions) << c.media;
    ipp_attribute_t *fidelity = ippFindAttribute(request, "ipp-attribute-fidelity", IPP_TAG_BOOLEAN);
    EXPECT_EQ(fidelity != nullptr && ippGetBoolean(fidelity, 0), c.result == CustomMediaRequest::Refused) << c.media;
    // Attribute groups stay in order: operation, then job.
    ipp_tag_t last = IPP_TAG_ZERO;
    for (ipp_attribute_t *a = ippFirstAttribute(request); a != nullptr; a = ippNextAttribute(request)) {
      EXPECT_GE(ippGetGroupTag(a), last) << c.media << ": " << ippGetName(a);
      last = ippGetGroupTag(a);
    }
    if (c.width != 0) {
      ipp_t *col = ippGetCollection(ippFindAttribute(request, "media-col", IPP_TAG_BEGIN_COLLECTION), 0);
      ipp_t *size = ippGetCollection(ippFindAttribute(col, "media-size", IPP_TAG_BEGIN_COLLECTION), 0);
      EXPECT_EQ(ippGetInteger(ippFindAttribute(size, "x-dimension", IPP_TAG_INTEGER), 0), c.width) << c.media;
      EXPECT_EQ(ippGetInteger(ippFindAttribute(size, "y-dimension", IPP_TAG_INTEGER), 0), c.length) << c.media;
    }
    ippDelete(request);
  }
}

// What the DNS-SD record keeps of what PAPPL puts in it, on loopback (no
// TLS) and shared (TLS): the keys driverless clients read always, TLS
// only with TLS, the certification never (keys compare without case).
TEST(Dnssd, TxtKeepsWhatThePrinterOffers) {
  struct Case {
    const char *entry;
    bool loopback, shared;
  } cases[] = {
      {"rp=ipp/print/KPX7720MW", true, true}, {"ty=ZUVA KPX7720MW", true, true}, {"pdl=application/pdf", true, true},
      {"URF=W8,SRGB24,RS300", true, true},   {"Color=F", true, true},           {"Duplex=T", true, true},
      {"kind=document", true, true},        {"UUID=1234", true, true},         {"adminurl=http://h:8000/", true, true},
      {"note=", true, true},                {"note", true, true},              {"TLS=1.2", false, true},
      {"tls=1.3", false, true},             {"TLS", false, true},              {"TLSX=1", true, true},
      {"mopria-certified=1.3", false, false}, {"Mopria-Certified=2.0", false, false},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(keepTxtEntry(c.entry, false), c.loopback) << c.entry;
    EXPECT_EQ(keepTxtEntry(c.entry, true), c.shared) << c.entry;
  }
  EXPECT_TRUE(isUnheldCertification("mopria-certified"));
  EXPECT_FALSE(isUnheldCertification("printer-make-and-model"));
}
