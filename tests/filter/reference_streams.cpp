// The reference printer streams: fixed jobs run through the given filter
// programs at a fixed time, each stream written to OUTDIR/NAME.prn. Run it
// on the filters before and after a change and compare the files (or
// their checksums): a change that should not touch what the printer gets
// must leave every one of them as it was.
//   kpx_reference_streams USB_FILTER NET_FILTER PPD_DIR OUTDIR
// The time is fixed with libfaketime when it is installed.
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "harness.h"

using namespace kpxtest;

int main(int argc, char **argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: %s USB_FILTER NET_FILTER PPD_DIR OUTDIR\n", argv[0]);
    return 2;
  }
  const std::string usb = argv[1], net = argv[2], ppds = argv[3], out = argv[4];
  FilterSandbox box;
  const std::string ps = box.write("doc.ps", textDocument(2));
  const std::string images = box.write("images.ps", imageDocument(1));
  const std::string pdf = box.dir() + "/doc.pdf";
  if (std::system(("gs -q -dSAFER -sDEVICE=pdfwrite -o " + pdf + " " + ps + " >/dev/null 2>&1").c_str()) != 0) return 1;
  const char *faketime = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1";
  const struct {
    const char *name;
    bool network;
    bool ppd;
    const char *options;
    const std::string &document;
  } jobs[] = {
      {"usb-default", false, true, "", ps},
      {"usb-options", false, true,
       "PageSize=B5 Duplex=DuplexTumble InputSlot=TRAY2 MediaType=THICK Resolution=1200dpi Passwd1=1 Passwd2=2 "
       "Passwd3=3 Passwd4=4",
       ps},
      {"usb-custom", false, true, "PageSize=Custom.300x500", ps},
      {"usb-noppd", false, false, "", ps},
      {"usb-images", false, true, "Resolution=300dpi TonerSaveMode=ON PrintDensity=2", images},
      {"usb-pdf", false, true, "Duplex=DuplexNoTumble", pdf},
      {"net-letter", true, true, "PageSize=Letter InputSlot=MPTRAY", ps},
  };
  int failed = 0;
  for (const auto &j : jobs) {
    FilterRun r;
    r.program = j.network ? net : usb;
    r.args = {j.network ? "KPX7720MW-net" : "KPX7720MW", "42", "alice", "Reference job", "1", j.options};
    r.env = box.env(j.ppd ? ppds + (j.network ? "/KPX7720MW-net.ppd" : "/KPX7720MW.ppd") : "");
    r.env["TMPDIR"] = box.dir();
    if (access(faketime, R_OK) == 0) {
      r.env["LD_PRELOAD"] = faketime;
      r.env["FAKETIME"] = "@2026-03-04 05:06:07";
    }
    r.input = j.document;
    // A network printer that is free at once.
    size_t answered = 0;
    r.backChannel = [&answered](const std::string &output, int) -> std::string {
      size_t asked = 0;
      for (size_t at = output.find("LockPrinter?"); at != std::string::npos; at = output.find("LockPrinter?", at + 1))
        ++asked;
      if (asked <= answered) return "";
      answered = asked;
      return "CODE=1\r";
    };
    FilterResult res = runFilter(r);
    if (!res.exited || res.status != 0) {
      std::fprintf(stderr, "%s: the filter failed\n%s", j.name, res.errors.c_str());
      ++failed;
    }
    std::ofstream(out + "/" + j.name + ".prn", std::ios::binary) << res.output;
  }
  return failed == 0 ? 0 : 1;
}
