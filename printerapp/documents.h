// PDF and PostScript jobs: the document through Ghostscript (the job
// core's interpreter run), its output behind the job's ticket.
#pragma once

#include <pappl/pappl.h>

namespace kpxapp {

// Has PAPPL hand PDF and PostScript documents to this path.
void addDocumentFilters(pappl_system_t *system);

// The longest one document may take to convert (-o job-time-limit=SECONDS).
void setInterpreterTimeLimit(int seconds);

}  // namespace kpxapp
