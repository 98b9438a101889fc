// What the printer makes of one print connection: lock queries, the PJL job
// ticket, the PCL XL page data and how the job ended.
//
// The stream a print filter sends, byte for byte (\e = 0x1B):
//
//   ["LockPrinter?"]...                                 lock queries (12 bytes each)
//   "\e%-12345X\n\e#+54321X_ZUVA@PJL\n"                  ticket opening ...
//   "@PJL SET RENDERMODE=GRAYSCALE\n"                    ... 59 bytes up to here
//   "@PJL SET ...\n" "@PJL DEFAULT ...\n" "@PJL PRINTLOG ITEM = N,...\n" ...
//   "@PJL ENTER LANGUAGE = PCLXL\n"                      from Ghostscript
//   ") HP-PCL XL;1;1;...\n" <binary PCL XL> "\e%-12345X" from Ghostscript
//   "\e%-12345X\n\e#+54321X_ZUVA@PJL EOJ\n\e%-12345X"     trailer, 42 bytes
//
// or, when the job is cancelled, possibly in the middle of a PCL XL token,
//   "\e%-12345X\n\e#+54321X_ZUVA@PJL CANCEL\n\e%-12345X"  45 bytes
//
// Usage from tests:
//
//   #include "printstream.h"        // target kpxsim_core
//   auto s = kpxsim::analyzePrintStream(bytes, true);
//   EXPECT_TRUE(s.hasTicket);
//   EXPECT_EQ(s.pages, 3);
//   EXPECT_EQ(s.end, kpxsim::PrintStreamSummary::End::Trailer);
//   EXPECT_EQ(*s.setValue("RESOLUTION"), "600");
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pclxl.h"
#include "printer_protocol.h"

namespace kpxsim {

inline constexpr std::string_view kLockQuery = kpx::protocol::kLockQuery;
inline constexpr std::string_view kUel = "\x1b%-12345X";
inline constexpr std::string_view kTicketOpening =
    "\x1b%-12345X\n\x1b#+54321X_ZUVA@PJL\n@PJL SET RENDERMODE=GRAYSCALE\n";
inline constexpr std::string_view kPjlIntro = "\x1b#+54321X_ZUVA";
inline constexpr std::string_view kEojTrailer =
    "\x1b%-12345X\n\x1b#+54321X_ZUVA@PJL EOJ\n\x1b%-12345X";
inline constexpr std::string_view kCancelSequence =
    "\x1b%-12345X\n\x1b#+54321X_ZUVA@PJL CANCEL\n\x1b%-12345X";

struct PrintStreamSummary {
  enum class End {
    Open,        // the connection is still open and nothing ended the job yet
    Trailer,     // the end-of-job trailer arrived
    Cancel,      // the cancel sequence arrived
    Disconnect,  // the connection closed without trailer or cancel sequence
  };
  enum class Pclxl { None, Ok, Incomplete, Malformed };

  size_t totalBytes = 0;
  int lockQueries = 0;    // "LockPrinter?" before the job
  bool lockOnly = false;  // the stream holds lock queries and nothing else

  // The exact 59-byte ticket opening was found where the job starts.
  bool hasTicket = false;
  // Every PJL line of the job, in order, without its line end and without
  // the "\e%-12345X" / "\e#+54321X_ZUVA" framing in front of it.
  std::vector<std::string> pjlLines;
  // Lines inside the PJL part that do not start with "@PJL" (for example the
  // rest of a user name that held a line end): the first kMaxBadPjlLines of
  // them, and how many there were.
  static constexpr size_t kMaxBadPjlLines = 64;
  std::vector<std::string> badPjlLines;
  size_t badPjlLineCount = 0;
  // "@PJL SET NAME=VALUE" and "@PJL DEFAULT NAME=VALUE" in order. NAME is
  // upper-cased; VALUE has its blanks and one outer pair of double quotes
  // removed (USERNAME="alice" gives alice; inner quotes stay).
  std::vector<std::pair<std::string, std::string>> setVars;
  std::vector<std::pair<std::string, std::string>> defaultVars;
  // "@PJL PRINTLOG ITEM = N,VALUE": VALUE exactly as written after the comma.
  std::map<int, std::string> printLog;
  std::string jobTime;      // SET JOBTIME value
  std::string jobName;      // "@PJL JOB NAME=" value, unquoted
  bool held = false;        // SET HOLD=STORE
  std::string holdKey;      // SET HOLDKEY value
  std::string language;     // "@PJL ENTER LANGUAGE = X" value ("PCLXL")

  Pclxl pclxl = Pclxl::None;
  bool pclxlOk = false;         // pclxl == Pclxl::Ok
  std::string pclxlError;       // why it is not Ok ("" when Ok)
  size_t pclxlErrorOffset = 0;  // offset in the whole stream
  size_t pclxlOffset = 0;       // where the PCL XL header starts in the stream
  size_t pclxlBytes = 0;        // PCL XL bytes, closing UEL excluded
  bool pclxlEndedByUel = false;
  int pages = 0;       // EndPage operators
  int pagesBegun = 0;  // BeginPage operators
  int sessions = 0;

  End end = End::Open;
  size_t endOffset = 0;   // where the trailer or cancel sequence starts
  size_t extraBytes = 0;  // bytes after the trailer / cancel sequence

  // Last value given to NAME by "@PJL SET" (null when never set).
  const std::string *setValue(std::string_view name) const;
  const std::string *defaultValue(std::string_view name) const;
};

PrintStreamSummary analyzePrintStream(std::string_view bytes, bool connectionClosed);

const char *endName(PrintStreamSummary::End e);     // "open", "trailer", "cancel", "disconnect"
const char *pclxlName(PrintStreamSummary::Pclxl p);  // "none", "ok", "incomplete", "malformed"

// The summary as key=value lines (the format of the simulator's job-NNNN.txt
// files), values passed through escapeText. Scalar keys first, in this order:
//   bytes lock_queries ticket end end_offset extra_bytes pclxl pclxl_error
//   pclxl_error_offset pclxl_offset pclxl_bytes pclxl_uel pages pages_begun
//   sessions language held holdkey jobname jobtime pjl_lines bad_pjl_lines
// then "set.NAME=VALUE" and "default.NAME=VALUE" lines in stream order
// (a name may repeat), "printlog.N=VALUE" by item, "bad_pjl=LINE" (the
// first 64; bad_pjl_lines has the count).
// Booleans are "yes"/"no".
std::string formatSummary(const PrintStreamSummary &s);

}  // namespace kpxsim
