#include "ticket.h"

#include <cstdlib>

#include "printer_description.h"

namespace kpx {

namespace {

struct Row {
  const char *key;
  const char *lines;
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

const InputSlot &slotRow(const std::string &slot) {
  const InputSlot *row = findInputSlot(slot);
  return row != nullptr ? *row : autoInputSlot();
}

std::string mediaPositionArg(const InputSlot &slot) {
  return "-dMediaPosition=" + std::to_string(slot.mediaPosition);
}

}  // namespace

std::string mediaPositionFor(const std::string &inputSlot) { return mediaPositionArg(slotRow(inputSlot)); }

int mediaPositionNumber(const std::string &inputSlot) { return slotRow(inputSlot).mediaPosition; }

Ticket buildTicket(const JobSettings &job) {
  Ticket t;
  TicketWriter w(t.text);
  const std::string user = sanitizePjlValue(job.user);
  const std::string title = sanitizePjlValue(job.title);
  const std::string host = sanitizePjlValue(job.hostName);

  w.raw(std::string(kTicketOpening));

  if (!job.key) {
    w.raw("@PJL SET REPRINT=OFF\n");
    w.raw("@PJL SET HOLD=OFF\n");
    w.quoted("@PJL SET USERNAME=", user);
    w.quoted("@PJL SET JOBNAME=", title);
  } else {
    w.raw("@PJL SET REPRINT=OFF\n");
    w.raw("@PJL SET HOLD=STORE\n");
    w.raw("@PJL SET HOLDTYPE=PRIVATE\n");
    w.bare("@PJL SET HOLDKEY=", *job.key);
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

  if (const Resolution *r = findResolution(job.resolution)) w.raw(r->ticketLines);

  int scale = std::atoi(job.resize.c_str());
  if (scale != 10) w.bare("@PJL SET PRINTSCALINGRATE=", std::to_string(scale * 100));

  if (job.tonerSave == "ON") w.raw("@PJL SET ECONOMODE=ON\n");
  if (job.tonerSave == "OFF") w.raw("@PJL SET ECONOMODE=OFF\n");

  const InputSlot &slot = slotRow(job.inputSlot);
  w.raw(slot.ticketLines);
  t.mediaPosition = mediaPositionArg(slot);

  if (job.pageSize == "B5") w.raw("@PJL SET PAPER=JISB5\n");

  if (const MediaType *r = findMediaType(job.mediaType)) w.raw(r->ticketLine);

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
