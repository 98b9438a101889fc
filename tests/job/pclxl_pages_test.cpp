// Page ends in the outgoing PCL XL stream, however it is cut into chunks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pclxl_pages.h"

namespace {

std::vector<int> feedInPieces(const std::string &stream, const std::vector<size_t> &cuts) {
  kpx::PclXlPageCounter counter;
  std::vector<int> all;
  size_t from = 0;
  for (size_t cut : cuts) {
    std::vector<int> got = counter.feed(stream.data() + from, cut - from);
    all.insert(all.end(), got.begin(), got.end());
    from = cut;
  }
  std::vector<int> got = counter.feed(stream.data() + from, stream.size() - from);
  all.insert(all.end(), got.begin(), got.end());
  return all;
}

std::string bytes(std::initializer_list<int> b) {
  std::string s;
  for (int x : b) s.push_back(static_cast<char>(x));
  return s;
}

// A job as the filter sends it: ticket, a little-endian PCL XL stream of
// three pages whose data is full of EndPage-valued bytes (0x44), the third
// page printed twice (PageCopies), and the trailer, which has 'D' (0x44)
// in its PJL text too.
std::string threePageJob() {
  std::string s = "\x1b%-12345X@PJL JOB NAME=\"DDD\"\n@PJL ENTER LANGUAGE = PCLXL\n";
  s += std::string(") HP-PCL XL;2;0;Comment D\0\n", 27);
  s += bytes({0xc0, 0x44, 0xf8, 0x86, 0x41});  // ubyte 0x44 as an attribute, BeginSession
  for (int page = 0; page < 3; ++page) {
    s += bytes({0xd1, 0x44, 0x44, 0x44, 0x44, 0xf8, 0x44, 0x43});  // uint16_xy, BeginPage
    s += bytes({0xc9, 0xc1, 0x03, 0x00, 0x44, 0x44, 0x44, 0x44, 0x44, 0x44});  // uint16 array of 3
    s += bytes({0xe1}) + std::string(8, '\x44');                               // uint16 box
    s += bytes({0xb0, 0xfa, 0x00, 0x01, 0x00, 0x00}) + std::string(256, '\x44');  // 256 bytes of data
    s += bytes({0xb0, 0xfb, 0x05}) + std::string(5, '\x44');
    if (page == 2) s += bytes({0xc1, 0x02, 0x00, 0xf8, 0x31});  // PageCopies 2
    s += bytes({0x44});                                          // EndPage
  }
  s += bytes({0x42});  // EndSession
  s += "\x1b%-12345X@PJL EOJ NAME=\"DDD\"\n\x1b%-12345X";
  return s;
}

TEST(PclXlPages, EachPageEndCountsOnceWhereverTheStreamIsCut) {
  const std::string job = threePageJob();
  const std::vector<int> expected = {1, 1, 2};
  EXPECT_EQ(feedInPieces(job, {}), expected);
  for (size_t cut = 1; cut < job.size(); ++cut) ASSERT_EQ(feedInPieces(job, {cut}), expected) << "cut at " << cut;
  std::vector<size_t> everyByte;
  for (size_t i = 1; i < job.size(); ++i) everyByte.push_back(i);
  EXPECT_EQ(feedInPieces(job, everyByte), expected);
}

TEST(PclXlPages, BigEndianStreamsAndStreamsThatLoseTheirStructure) {
  std::string big = std::string("( HP-PCL XL;2;0\n") + bytes({0xfa, 0x00, 0x00, 0x01, 0x00}) +
                    std::string(256, '\x44') + bytes({0x44});
  EXPECT_EQ(feedInPieces(big, {}), std::vector<int>{1});
  // An unknown byte drops the stream until the next header: nothing after it counts.
  std::string broken = std::string(") HP-PCL XL;2;0\n") + bytes({0x44, 0xf0, 0x44, 0x44});
  EXPECT_EQ(feedInPieces(broken, {}), std::vector<int>{1});
  // No PCL XL header: PJL text alone never counts.
  EXPECT_TRUE(feedInPieces("@PJL DDDD\n" + bytes({0x44, 0x44}), {}).empty());
}

}  // namespace
