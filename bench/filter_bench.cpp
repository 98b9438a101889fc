// Cost of the USB filter over Ghostscript itself: the filter runs with a
// backend that answers every drain at once, bare gs runs with the same
// arguments on the same document, alternately, several times. Prints the
// median wall times, their ratio and the filter's own peak RSS.
#include <fcntl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "harness.h"

using namespace kpxtest;

namespace {

double now() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec + ts.tv_nsec / 1e9;
}

long peakRssKiB(pid_t pid) {
  std::ifstream f("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(f, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  return 0;
}

// CPU time (user + system) the process itself has used so far, in ms.
double cpuMs(pid_t pid) {
  std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
  std::string stat((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  size_t close = stat.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream rest(stat.substr(close + 2));
  std::string field;
  double ticks = 0;
  for (int i = 3; i <= 15 && rest >> field; ++i)
    if (i == 14 || i == 15) ticks += std::atof(field.c_str());
  return ticks * 1000.0 / sysconf(_SC_CLK_TCK);
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Bare Ghostscript, its output drained through a pipe as the filter's is.
double runGs(const std::string &doc) {
  double start = now();
  std::string cmd = "/usr/bin/gs -dBATCH -dPARANOIDSAFER -dNOMEDIAATTRS -dNOINTERPOLATE -sDEVICE=pxlmono "
                    "-dNumRenderingThreads=4 -r600x600 -g4961x7016 -q -dMediaPosition=1 -dNOPAUSE -dSAFER "
                    "-sOutputFile=- - < '" + doc + "'";
  FILE *p = popen(cmd.c_str(), "r");
  char buf[65536];
  while (fread(buf, 1, sizeof buf, p) > 0) {
  }
  pclose(p);
  return now() - start;
}

struct FilterFigures {
  double seconds;
  long rssKiB;
  double cpuMs;
  size_t bytes;
};

FilterFigures runUsbFilter(const FilterSandbox &box, const std::string &program, const std::string &doc) {
  FilterRun r;
  r.program = program;
  r.args = {"KPX7720MW", "7", "bench", "bench", "1", ""};
  r.env = box.env("");
  r.input = doc;
  r.keepOutput = false;
  long rss = 0;
  double cpu = 0;
  r.onPoll = [&](pid_t pid) {
    rss = std::max(rss, peakRssKiB(pid));
    cpu = std::max(cpu, cpuMs(pid));
  };
  FilterResult res = runFilter(r);
  if (!res.exited || res.status != 0) {
    std::fprintf(stderr, "filter failed:\n%s\n", res.errors.c_str());
    std::exit(1);
  }
  return {res.seconds, rss, cpu, res.outputBytes};
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILTER [RUNS]\n", argv[0]);
    return 2;
  }
  const std::string program = argv[1];
  const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
  FilterSandbox box;

  struct Doc {
    const char *name;
    std::string path;
  };
  std::vector<Doc> docs = {
      {"20 text pages", box.write("text20.ps", textDocument(20))},
      {"20 image pages", box.write("image20.ps", imageDocument(20))},
      {"80 image pages", box.write("image80.ps", imageDocument(80))},
  };

  std::printf("%-16s %10s %10s %8s %12s %12s %14s\n", "document", "gs (s)", "filter (s)", "ratio", "filter RSS",
              "filter CPU", "printer bytes");
  for (const Doc &d : docs) {
    std::vector<double> gsTimes, filterTimes;
    long rss = 0;
    size_t bytes = 0;
    std::vector<double> cpu;
    runGs(d.path);  // warm the caches
    for (int i = 0; i < runs; ++i) {
      gsTimes.push_back(runGs(d.path));
      FilterFigures f = runUsbFilter(box, program, d.path);
      filterTimes.push_back(f.seconds);
      rss = std::max(rss, f.rssKiB);
      cpu.push_back(f.cpuMs);
      bytes = f.bytes;
    }
    double g = median(gsTimes), f = median(filterTimes);
    std::printf("%-16s %10.3f %10.3f %8.3f %9ld KiB %9.0f ms %14zu\n", d.name, g, f, f / g, rss, median(cpu), bytes);
  }
  std::printf("filter CPU: the filter process itself, without Ghostscript (sampled, 10 ms ticks)\n");
  std::printf("targets: ratio <= 1.03; filter RSS flat in the document's size\n");
  return 0;
}
