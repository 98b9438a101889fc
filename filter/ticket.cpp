#include "ticket.h"

#include <cstdlib>

namespace kpx {

namespace {

struct SlotRow {
  const char *slot;
  const char *lines;
  const char *mediaPosition;
};
const SlotRow kSlots[] = {
    {"MPTRAY", "@PJL SET SOURCETRAY=MPTRAY\n@PJL SET PCLMPFIX=ON\n", "-dMediaPosition=3"},
    {"TRAY1", "@PJL SET SOURCETRAY=TRAY1\n@PJL SET PCLT1FIX=ON\n", "-dMediaPosition=4"},
    {"TRAY2", "@PJL SET SOURCETRAY=TRAY2\n@PJL SET PCLT2FIX=ON\n", "-dMediaPosition=5"},
    {"TRAY3", "@PJL SET SOURCETRAY=TRAY3\n@PJL SET PCLT3FIX=ON\n", "-dMediaPosition=7"},
};
const SlotRow kAutoSlot = {"AUTO", "@PJL SET SOURCETRAY=AUTO\n", "-dMediaPosition=1"};

const SlotRow &slotRow(const std::string &slot) {
  for (const SlotRow &r : kSlots)
    if (slot == r.slot) return r;
  return kAutoSlot;
}

struct Row {
  const char *key;
  const char *lines;
};

const Row kResolutions[] = {
    {"300dpi", "@PJL SET RESOLUTION=300\n@PJL SET HQMMODE=OFF\n"},
    {"600dpi", "@PJL SET RESOLUTION=600\n@PJL SET HQMMODE=OFF\n"},
    {"1200dpi", "@PJL SET RESOLUTION=TR1200\n@PJL SET PAPERFEEDSPEED=FULL\n@PJL SET HQMMODE=OFF\n"},
    {"2400dpi", "@PJL SET RESOLUTION=HQ1200\n@PJL SET PAPERFEEDSPEED=FULL\n@PJL SET HQMMODE=OFF\n"},
};

const Row kMediaTypes[] = {
    {"PLAIN", "@PJL SET MEDIATYPE=REGULAR\n"},
    {"THIN", "@PJL SET MEDIATYPE=THIN\n"},
    {"THICK", "@PJL SET MEDIATYPE=THICK\n"},
    {"THICKERPAPER2", "@PJL SET MEDIATYPE=THICK2\n"},
    {"BOND", "@PJL SET MEDIATYPE=BOND\n"},
    {"ENV", "@PJL SET MEDIATYPE=ENVELOPES\n"},
    {"ENVTHICK", "@PJL SET MEDIATYPE=ENVTHICK\n"},
    {"ENVTHIN", "@PJL SET MEDIATYPE=ENVTHIN\n"},
    {"RECYCLED", "@PJL SET MEDIATYPE=RECYCLED\n"},
    {"LABLE", "@PJL SET MEDIATYPE=LABEL\n"},
    {"COLOR", "@PJL SET MEDIATYPE=COLOR\n"},
    {"LETTERHEAD", "@PJL SET MEDIATYPE=LETTERHEAD\n"},
    {"HOLEPUNCHED", "@PJL SET MEDIATYPE=HOLEPUNCHED\n"},
};

const Row kImproveOutput[] = {
    {"None", "@PJL SET LESSPAPERCURL=OFF\n@PJL SET FIXINTENSITYUP=OFF\n"},
    {"ReducePaperCurl", "@PJL SET LESSPAPERCURL=ON\n@PJL SET FIXINTENSITYUP=OFF\n"},
    {"ImproveTonerFixing", "@PJL SET LESSPAPERCURL=OFF\n@PJL SET FIXINTENSITYUP=ON\n"},
};

const Row kSleeps[] = {
    {"PrinterDefault", ""},
    {"2minutes", "@PJL DEFAULT AUTOSLEEP=ON\n@PJL DEFAULT TIMEOUTSLEEP=2\n@PJL SET AUTOSLEEP=ON\n@PJL SET TIMEOUTSLEEP=2\n"},
    {"5minutes", "@PJL DEFAULT AUTOSLEEP=ON\n@PJL DEFAULT TIMEOUTSLEEP=5\n@PJL SET AUTOSLEEP=ON\n@PJL SET TIMEOUTSLEEP=5\n"},
    {"10minutes", "@PJL DEFAULT AUTOSLEEP=ON\n@PJL DEFAULT TIMEOUTSLEEP=10\n@PJL SET AUTOSLEEP=ON\n@PJL SET TIMEOUTSLEEP=10\n"},
    {"30minutes", "@PJL DEFAULT AUTOSLEEP=ON\n@PJL DEFAULT TIMEOUTSLEEP=30\n@PJL SET AUTOSLEEP=ON\n@PJL SET TIMEOUTSLEEP=30\n"},
};

template <size_t N>
const Row *findRow(const Row (&rows)[N], const std::string &key) {
  for (const Row &r : rows)
    if (key == r.key) return &r;
  return nullptr;
}

// Appends text while the ticket stays within its limit; a line that would
// overflow it is left out whole.
class TicketWriter {
 public:
  explicit TicketWriter(std::string &out) : out_(out) {}

  void raw(const std::string &text) {
    if (out_.size() + text.size() <= kMaxTicket) out_ += text;
  }
  // keyword + "\"value\"\n"
  void quoted(const char *keyword, const std::string &value) { line(keyword, value, true); }
  // keyword + value + "\n"
  void bare(const char *keyword, const std::string &value) { line(keyword, value, false); }

 private:
  void line(const char *keyword, const std::string &value, bool quote) {
    std::string k(keyword);
    size_t overhead = k.size() + (quote ? 2 : 0) + 1;
    size_t room = overhead < kMaxTicketLine ? kMaxTicketLine - overhead : 0;
    std::string v = utf8Prefix(value, room);
    raw(quote ? k + '"' + v + "\"\n" : k + v + "\n");
  }
  std::string &out_;
};

}  // namespace

std::string mediaPositionFor(const std::string &inputSlot) { return slotRow(inputSlot).mediaPosition; }

Ticket buildTicket(const JobSettings &job) {
  Ticket t;
  TicketWriter w(t.text);
  const std::string user = sanitizePjlValue(job.user);
  const std::string title = sanitizePjlValue(job.title);
  const std::string host = sanitizePjlValue(job.hostName);

  w.raw(std::string(kTicketOpening));

  if (job.key == "False") {
    w.raw("@PJL SET REPRINT=OFF\n");
    w.raw("@PJL SET HOLD=OFF\n");
    w.quoted("@PJL SET USERNAME=", user);
    w.quoted("@PJL SET JOBNAME=", title);
  } else {
    w.raw("@PJL SET REPRINT=OFF\n");
    w.raw("@PJL SET HOLD=STORE\n");
    w.raw("@PJL SET HOLDTYPE=PRIVATE\n");
    w.bare("@PJL SET HOLDKEY=", job.key);
    w.quoted("@PJL SET USERNAME=", user);
    w.quoted("@PJL SET LOGINUSER=", user);
    w.quoted("@PJL SET JOBNAME=", title);
  }

  w.raw("@PJL PRINTLOG ITEM = 1,PRINTER\n");
  w.bare("@PJL PRINTLOG ITEM = 2,", job.logTime);
  w.bare("@PJL PRINTLOG ITEM = 3,", user);
  w.bare("@PJL PRINTLOG ITEM = 4,", host);
  w.bare("@PJL SET JOBTIME = ", job.jobTime);
  w.quoted("@PJL JOB NAME=", title);

  if (const Row *r = findRow(kResolutions, job.resolution)) w.raw(r->lines);

  int scale = std::atoi(job.resize.c_str());
  if (scale != 10) w.bare("@PJL SET PRINTSCALINGRATE=", std::to_string(scale * 100));

  if (job.tonerSave == "ON") w.raw("@PJL SET ECONOMODE=ON\n");
  if (job.tonerSave == "OFF") w.raw("@PJL SET ECONOMODE=OFF\n");

  const SlotRow &slot = slotRow(job.inputSlot);
  w.raw(slot.lines);
  t.mediaPosition = slot.mediaPosition;

  if (job.pageSize == "B5") w.raw("@PJL SET PAPER=JISB5\n");

  if (const Row *r = findRow(kMediaTypes, job.mediaType)) w.raw(r->lines);

  if (job.density != "0") {
    w.bare("@PJL SET DENSITY=", job.density);
    w.bare("@PJL SET DEVBIASADJUST=", job.density);
  }

  if (const Row *r = findRow(kImproveOutput, job.improveOutput)) w.raw(r->lines);

  if (job.quietMode == "ON") w.raw("@PJL SET QUIETMODE=ON\n");

  if (const Row *r = findRow(kSleeps, job.sleep)) {
    w.raw(r->lines);
  } else {
    w.raw("@PJL DEFAULT AUTOSLEEP=ON\n");
    w.bare("@PJL DEFAULT TIMEOUTSLEEP=", job.sleep);
    w.raw("@PJL SET AUTOSLEEP=ON\n");
    w.bare("@PJL SET TIMEOUTSLEEP=", job.sleep);
  }
  return t;
}

}  // namespace kpx
