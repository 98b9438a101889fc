// Finding the backend of our job among the scheduler's children, in a
// made-up /proc.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <fstream>
#include <string>

#include "jobprocesses.h"

namespace {

TEST(JobProcesses, OnlyALiveSiblingOfOurJobCounts) {
  char tmpl[] = "/tmp/kpxproc.XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string root = tmpl;
  auto process = [&](int pid, const std::string &stat, const std::string &cmdline) {
    const std::string dir = root + "/" + std::to_string(pid);
    mkdir(dir.c_str(), 0755);
    std::ofstream(dir + "/stat") << stat;
    std::ofstream(dir + "/cmdline", std::ios::binary) << cmdline;
  };
  const std::string job("socket://10.0.0.5:9100\0" "42\0alice\0report\0" "1\0\0", 39);
  process(100, "100 (pstopxl_7720mw) R 7 1 1", std::string("pstopxl_7720mw\0" "42\0", 18));  // ourselves
  process(101, "101 (pstops) Z 7 1 1", std::string("pstops\0" "42\0", 10));                   // done
  process(102, "102 (socket) S 8 1 1", job);                                                  // another parent
  process(103, "103 (a (b) c) S 7 1 1", std::string("x\0" "43\0", 5));                        // another job
  EXPECT_FALSE(kpx::otherJobProcessAlive(root, 7, 100, "42"));
  process(104, "104 (socket) S 7 1 1", job);  // our backend, still at work
  EXPECT_TRUE(kpx::otherJobProcessAlive(root, 7, 100, "42"));
  EXPECT_FALSE(kpx::otherJobProcessAlive(root + "/missing", 7, 100, "42"));
  std::system(("rm -rf " + root).c_str());
}

}  // namespace
