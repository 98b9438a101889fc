#include "ticket.h"

#include <cstdlib>

#include "printer_description.h"

namespace kpx {

namespace {

// The ticket lines of an option's choice as the description lists them;
// null for a value it does not list (a PPD of another version may offer one).
const char *listedLines(const char *option, const std::string &choice) {
  const PrinterOption *o = findPrinterOption(option);
  const OptionChoice *c = o != nullptr ? findChoice(*o, choice) : nullptr;
  return c != nullptr ? c->ticketLines : nullptr;
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

  if (const char *lines = listedLines("ResizePage", job.resize)) {
    w.raw(lines);
  } else if (int scale = std::atoi(job.resize.c_str()); scale != 10) {
    w.bare("@PJL SET PRINTSCALINGRATE=", std::to_string(scale * 100));
  }

  if (const char *lines = listedLines("TonerSaveMode", job.tonerSave)) w.raw(lines);

  const InputSlot &slot = slotRow(job.inputSlot);
  w.raw(slot.ticketLines);
  t.mediaPosition = mediaPositionArg(slot);

  if (const MediaSize *m = findMediaSize(job.pageSize)) w.raw(m->ticketLines);

  if (const MediaType *r = findMediaType(job.mediaType)) w.raw(r->ticketLine);

  // Other densities go to the printer as they are.
  if (const char *lines = listedLines("PrintDensity", job.density)) {
    w.raw(lines);
  } else if (job.density != "0") {
    w.bare("@PJL SET DENSITY=", job.density);
    w.bare("@PJL SET DEVBIASADJUST=", job.density);
  }

  if (const char *lines = listedLines("ImprovePrintOutput", job.improveOutput)) w.raw(lines);

  if (const char *lines = listedLines("QuiteMode", job.quietMode)) w.raw(lines);

  // Another sleep time is taken as minutes.
  if (const char *lines = listedLines("Sleep", job.sleep)) {
    w.raw(lines);
  } else {
    w.raw("@PJL DEFAULT AUTOSLEEP=ON\n");
    w.bare("@PJL DEFAULT TIMEOUTSLEEP=", job.sleep);
    w.raw("@PJL SET AUTOSLEEP=ON\n");
    w.bare("@PJL SET TIMEOUTSLEEP=", job.sleep);
  }
  return t;
}

}  // namespace kpx
