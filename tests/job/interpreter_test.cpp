// The interpreter run with the real interpreter on small PostScript jobs and
// a sink that keeps what it is given: the same page data whichever way the
// document comes in and however it is cut; and every early end leaves no
// interpreter process and no temporary file behind.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "geometry.h"
#include "interpreter.h"

namespace {

constexpr char kInterpreter[] = "/usr/bin/gs";
constexpr char kTwoPages[] =
    "%!PS\n/Helvetica findfont 24 scalefont setfont\n"
    "72 720 moveto (one) show showpage\n72 720 moveto (two) show showpage\n";

class InterpreterRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (access(kInterpreter, X_OK) != 0) GTEST_SKIP() << "no interpreter at " << kInterpreter;
    char dir[] = "/tmp/kpx-run-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
    // Whatever the interpreter would leave behind lands here.
    ASSERT_EQ(mkdir((dir_ + "/tmp").c_str(), 0700), 0);
    setenv("TMPDIR", (dir_ + "/tmp").c_str(), 1);
  }
  void TearDown() override {
    unsetenv("TMPDIR");
    if (!dir_.empty()) std::system(("rm -rf " + dir_).c_str());
  }

  std::string document(const std::string &name, const std::string &text) {
    const std::string path = dir_ + "/" + name;
    FILE *f = std::fopen(path.c_str(), "w");
    std::fputs(text.c_str(), f);
    std::fclose(f);
    return path;
  }

  kpx::InterpreterRun runOf(const std::string &path, std::string *out) {
    const kpx::RasterArgs raster = kpx::rasterArgsFor("A4", "300dpi", std::nullopt, kpx::kDefaultCustomRange);
    kpx::InterpreterRun run;
    run.program = kInterpreter;
    run.args = kpx::interpreterArgs(kpx::Duplex::Simplex, raster, "-dMediaPosition=1");
    run.document = path;
    run.resolutionArg = raster.resolution;
    run.pollMs = 100;
    run.sink = [out](const char *data, size_t n) {
      out->append(data, n);
      return kpx::SinkResult{n, true};
    };
    return run;
  }

  bool tempDirEmpty() {
    DIR *d = opendir((dir_ + "/tmp").c_str());
    int entries = 0;
    while (dirent *e = readdir(d)) entries += e->d_name[0] != '.';
    closedir(d);
    return entries == 0;
  }

  std::string dir_;
};

TEST_F(InterpreterRunTest, SamePageDataByNameOrOnStandardInputWholeChunksOrNot) {
  const std::string path = document("two.ps", kTwoPages);
  std::string reference;
  struct Case {
    bool byName, wholeChunks;
  };
  for (Case c : {Case{true, false}, Case{true, true}, Case{false, true}, Case{false, false}}) {
    SCOPED_TRACE(testing::Message() << "by name " << c.byName << ", whole chunks " << c.wholeChunks);
    std::string out;
    kpx::InterpreterRun run = runOf(path, &out);
    run.wholeChunks = c.wholeChunks;
    int fd = -1;
    if (!c.byName) {
      fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
      run.document.clear();
      run.inputFd = fd;
    }
    std::vector<int> copies;
    run.pageSent = [&copies](int n) { copies.push_back(n); };
    const kpx::InterpreterResult r = kpx::runInterpreter(run);
    if (fd >= 0) close(fd);
    EXPECT_TRUE(r.succeeded());
    EXPECT_EQ(r.pages, 2);
    EXPECT_EQ(copies, std::vector<int>({1, 1}));
    // The interpreter's own opening is gone: the data begins with the
    // language switch that follows the job's ticket.
    EXPECT_EQ(out.rfind("@PJL ENTER LANGUAGE", 0), 0u) << out.substr(0, 80);
    if (reference.empty())
      reference = out;
    else
      EXPECT_EQ(out, reference);
  }
}

TEST_F(InterpreterRunTest, EarlyEndsLeaveNoInterpreterAndNoTemporaryFile) {
  // Blank pages without end, and a loop that never writes anything.
  const std::string pages = document("pages.ps", "%!PS\n{ showpage } loop\n");
  const std::string silent = document("silent.ps", "%!PS\n{ } loop\n");
  enum class Stop { Cancel, Refuse, TimeLimit };
  struct Case {
    Stop stop;
    const std::string *doc;
    kpx::InterpreterResult::End end;
  };
  for (Case c : {Case{Stop::Cancel, &pages, kpx::InterpreterResult::End::Cancelled},
                 Case{Stop::Refuse, &pages, kpx::InterpreterResult::End::Refused},
                 Case{Stop::TimeLimit, &silent, kpx::InterpreterResult::End::TimedOut}}) {
    SCOPED_TRACE(static_cast<int>(c.stop));
    std::string out;
    kpx::InterpreterRun run = runOf(*c.doc, &out);
    run.wholeChunks = false;
    bool cancelNow = false;
    int calls = 0;
    run.sink = [&](const char *, size_t n) {
      // Stops in the middle of the stream, once some pages went out.
      if (++calls == 3) {
        if (c.stop == Stop::Refuse) return kpx::SinkResult{0, false};
        cancelNow = true;
      }
      return kpx::SinkResult{n, true};
    };
    run.cancelled = [&cancelNow] { return cancelNow; };
    if (c.stop == Stop::TimeLimit) run.timeLimitSeconds = 1;
    pid_t pid = -1;
    run.started = [&pid](pid_t p) { pid = p; };

    const auto start = std::chrono::steady_clock::now();
    const kpx::InterpreterResult r = kpx::runInterpreter(run);
    EXPECT_EQ(r.end, c.end);
    EXPECT_FALSE(r.succeeded());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(r.collected);
    EXPECT_EQ(kill(pid, 0), -1) << "interpreter " << pid << " still there";
    EXPECT_TRUE(tempDirEmpty());
  }
}

}  // namespace
