// Prints the choices of the printer description for ppd/mkppd.py: one
// tab-separated line per choice, in the order the PPDs list them.
//   size     KEYWORD EN ZH WIDTH HEIGHT   (points)
//   type     KEYWORD EN ZH
//   slot     KEYWORD EN ZH
//   duplex   KEYWORD EN ZH POSTSCRIPT
//   dpi      KEYWORD EN ZH
//   option   GROUP KEYWORD EN ZH DEFAULT   (the printer's own options,
//   choice   KEYWORD EN ZH                  each followed by its choices)
//   default  OPTION KEYWORD
//   custom   MINWIDTH MINHEIGHT MAXWIDTH MAXHEIGHT   (points)
//   margin   POINTS
#include <cstdio>

#include "printer_description.h"

int main() {
  using namespace kpx;
  for (const MediaSize &m : mediaSizes())
    std::printf("size\t%s\t%s\t%s\t%d\t%d\n", m.keyword, m.textEn, m.textZh, m.width, m.height);
  for (const MediaType &t : mediaTypes())
    if (t.offered) std::printf("type\t%s\t%s\t%s\n", t.keyword, t.textEn, t.textZh);
  for (const InputSlot &s : inputSlots()) std::printf("slot\t%s\t%s\t%s\n", s.keyword, s.textEn, s.textZh);
  for (const DuplexMode &d : duplexModes())
    std::printf("duplex\t%s\t%s\t%s\t%s\n", d.keyword, d.textEn, d.textZh, d.postScript);
  for (const Resolution &r : resolutions()) std::printf("dpi\t%s\t%s\t%s\n", r.keyword, r.textEn, r.textZh);
  for (const PrinterOption &o : printerOptions()) {
    std::printf("option\t%s\t%s\t%s\t%s\t%s\n", o.group, o.keyword, o.textEn, o.textZh, o.defaultChoice);
    for (const OptionChoice &c : o.choices) std::printf("choice\t%s\t%s\t%s\n", c.keyword, c.textEn, c.textZh);
  }
  std::printf("default\tPageSize\t%s\n", defaultMediaSize().keyword);
  std::printf("default\tMediaType\t%s\n", defaultMediaType().keyword);
  std::printf("default\tInputSlot\t%s\n", autoInputSlot().keyword);
  std::printf("default\tDuplex\t%s\n", defaultDuplexMode().keyword);
  std::printf("default\tResolution\t%s\n", defaultResolution().keyword);
  const CustomSizeRange &c = kDefaultCustomRange;
  std::printf("custom\t%g\t%g\t%g\t%g\n", c.minWidth, c.minHeight, c.maxWidth, c.maxHeight);
  std::printf("margin\t%d\n", kMarginPoints);
  return 0;
}
