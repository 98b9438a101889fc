// The filter's part in keeping CUPS informed of the printer: status texts
// learned during a job become printer-state-reasons and toner levels, page
// ends sent become PAGE lines, and command jobs ask the printer on request.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "variant.h"

namespace kpx {

// A status text from the printer (back channel or datagram): tells CUPS
// what its codes mean. Texts without a known code change nothing.
void learnPrinterStatus(std::string_view text);

// The job's secure-print key was rejected (or that job ends): the printer
// shows the rejection among its reasons and in its message.
void reportKeyRejected();
void withdrawKeyRejected();

// The printer's message as a job starts printing: what is wrong with the
// printer, if anything, else that it prints.
void reportJobStart();

// The printer's message as a job (or a command job) ends: a problem the
// printer reports stays in the message until it reports ready; otherwise
// the printer is idle. Nothing may be sent to the printer afterwards.
void reportJobEnd(const std::string &jobId);

// Network queue: asks the printer for its status over UDP and learns the
// answer, if one comes within a second.
void askNetworkPrinterStatus();

// A page end that has gone to the printer, made `copies` times: its PAGE
// line.
void reportPageSent(int copies);

// The pages counted so far.
int pagesSent();

// The CUPS command file of a command job (application/vnd.cups-command):
// "ReportLevels" and "ReportStatus" ask the printer for its status and
// report it. The file is fileName, or standard input when that is null.
// Returns the exit status.
int runCommandJob(const FilterVariant &variant, const char *jobId, const char *fileName);

// Whether CUPS started the filter for a command job.
bool isCommandJob();

}  // namespace kpx
