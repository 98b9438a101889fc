// The printer's test page, as PostScript: who printed it and how (printer
// name, model, resolution, paper), a border on the printable area, rulers
// in millimetres and inches to check the printed size, and grey steps from
// white to black to check the density.
#pragma once

#include <string>

namespace kpxapp {

struct TestPageInfo {
  std::string printerName;
  std::string makeAndModel;
  std::string paperName;             // as the user knows it ("A4")
  double widthPt = 595, heightPt = 842;
  int dpi = 600;
  double marginPt = 12;
  std::string printed;               // date and time, as the user reads it
};

std::string testPagePostScript(const TestPageInfo &info);

}  // namespace kpxapp
