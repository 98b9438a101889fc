#include "testpage.h"

#include <cstdio>

namespace kpxapp {

namespace {

// A PostScript string literal of untrusted text (a printer's name).
std::string psString(const std::string &text) {
  std::string out = "(";
  for (unsigned char c : text) {
    if (c == '(' || c == ')' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c > 0x7e) {
      char octal[8];
      std::snprintf(octal, sizeof octal, "\\%03o", c);
      out += octal;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + ")";
}

std::string number(double v) {
  char b[32];
  std::snprintf(b, sizeof b, "%.3f", v);
  return b;
}

}  // namespace

std::string testPagePostScript(const TestPageInfo &in) {
  const double w = in.widthPt, h = in.heightPt, m = in.marginPt;
  std::string ps = "%!PS-Adobe-3.0\n%%Pages: 1\n%%BoundingBox: 0 0 " + std::to_string(static_cast<int>(w)) + " " +
                   std::to_string(static_cast<int>(h)) + "\n%%Title: Test Page\n%%EndComments\n";
  ps += "<< /PageSize [" + number(w) + " " + number(h) + "] >> setpagedevice\n";
  ps += "/mm { 72 mul 25.4 div } def\n";
  ps += "/F { exch findfont exch scalefont setfont } def\n";
  ps += "%%Page: 1 1\n";
  // The printable area's edge.
  ps += "0 setgray 1 setlinewidth " + number(m + 0.5) + " " + number(m + 0.5) + " " + number(w - 2 * m - 1) + " " +
        number(h - 2 * m - 1) + " rectstroke\n";
  // Who and how.
  const double left = m + 24;
  double y = h - m - 40;
  auto line = [&](const std::string &font, int size, const std::string &text, double gap) {
    ps += "/" + font + " " + std::to_string(size) + " F " + number(left) + " " + number(y) + " moveto " +
          psString(text) + " show\n";
    y -= gap;
  };
  line("Helvetica-Bold", 22, in.printerName, 28);
  line("Helvetica", 12, in.makeAndModel + " test page", 18);
  line("Helvetica", 12, "Resolution: " + std::to_string(in.dpi) + " dpi", 16);
  char paper[96];
  std::snprintf(paper, sizeof paper, "Paper: %s (%.0f x %.0f mm)", in.paperName.c_str(), w * 25.4 / 72, h * 25.4 / 72);
  line("Helvetica", 12, paper, 16);
  if (!in.printed.empty()) line("Helvetica", 12, "Printed: " + in.printed, 16);

  // Rulers: 100 mm with a mark every millimetre, and 4 inches in eighths.
  // Measured on paper they tell whether the page printed at its size.
  y -= 30;
  ps += "0.6 setlinewidth /Helvetica 8 F\n";
  ps += number(left) + " " + number(y) + " moveto 100 mm 0 rlineto stroke\n";
  ps += "0 1 100 { /i exch def " + number(left) + " i mm add " + number(y) +
        " moveto 0 i 10 mod 0 eq { 10 } { i 5 mod 0 eq { 7 } { 4 } ifelse } ifelse rlineto stroke "
        "i 10 mod 0 eq { " + number(left - 3) + " i mm add " + number(y + 13) +
        " moveto i 10 idiv 3 string cvs show } if } for\n";
  ps += number(left + 100 * 72 / 25.4 + 8) + " " + number(y) + " moveto (cm) show\n";
  y -= 40;
  ps += number(left) + " " + number(y) + " moveto 4 72 mul 0 rlineto stroke\n";
  ps += "0 1 32 { /i exch def " + number(left) + " i 9 mul add " + number(y) +
        " moveto 0 i 8 mod 0 eq { 10 } { i 2 mod 0 eq { 6 } { 4 } ifelse } ifelse rlineto stroke "
        "i 8 mod 0 eq { " + number(left - 2) + " i 9 mul add " + number(y + 13) +
        " moveto i 8 idiv 2 string cvs show } if } for\n";
  ps += number(left + 4 * 72 + 8) + " " + number(y) + " moveto (in) show\n";

  // Grey steps, white to black in tenths, each with its ink in percent.
  y -= 70;
  const double step = (w - 2 * left) / 11;
  ps += "0 1 10 { /i exch def 1 i 10 div sub setgray " + number(left) + " i " + number(step) + " mul add " +
        number(y) + " " + number(step) + " 40 rectfill 0 setgray " + number(left) + " i " + number(step) +
        " mul add " + number(y) + " " + number(step) + " 40 rectstroke " + number(left + 2) + " i " +
        number(step) + " mul add " + number(y - 12) + " moveto i 10 mul 3 string cvs show (%) show } for\n";
  ps += "showpage\n%%EOF\n";
  return ps;
}

}  // namespace kpxapp
