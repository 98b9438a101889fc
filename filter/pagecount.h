// Page and copy counting from the job's spooled PostScript, for the job log.
#pragma once

#include <string>

namespace kpx {

// Lines are read in pieces of at most this many bytes (with terminator).
constexpr int kSpoolLineBuffer = 400;

struct SpoolScan {
  int pages = 0;
  int lastCopies = 0;     // last "/#copies N"
  int lastNumCopies = 0;  // last "%%Requirements: numcopies(N)"
  bool copiesFound = false;
  int copies = 0;
};

// Feeds one line (or piece of a long line) of the spooled document.
void scanSpoolLine(const char *line, SpoolScan &scan);

// Copies asked for by the document: 1 when it asks for none.
int spoolCopies(const SpoolScan &scan);

// The copies left to the printer (the interpreter's page copies) for a PDF
// from pdftopdf. pdftopdf makes them itself, collated, whenever collated
// copies are asked for ("Collate" true, or a "multiple-document-handling"
// other than uncollated), as the queues offer no collation of their own;
// otherwise it leaves the job's copies to the printer. options: the job's
// CUPS option text.
int printerCopiesAfterPdftopdf(int copies, const std::string &options);

// "<requestRoot>/d<job id as %05d>-001": the job's first spooled document.
std::string spoolPath(const std::string &requestRoot, const std::string &jobId);

}  // namespace kpx
