// The PJL text that frames every job: the job ticket in front of the page
// data, the end-of-job trailer after it, and the cancel sequence.
#pragma once

#include <string>
#include <string_view>

#include "jobsettings.h"

namespace kpx {

// Fixed bytes on the wire (\x1b is ESC).
inline constexpr std::string_view kTicketOpening =  // 59 bytes
    "\x1b%-12345X\n\x1b#+54321X_ZUVA@PJL\n@PJL SET RENDERMODE=GRAYSCALE\n";
inline constexpr std::string_view kEndOfJobTrailer =  // 42 bytes, no final line end
    "\x1b%-12345X\n\x1b#+54321X_ZUVA@PJL EOJ\n\x1b%-12345X";
inline constexpr std::string_view kCancelSequence =  // 45 bytes
    "\x1b%-12345X\n\x1b#+54321X_ZUVA@PJL CANCEL\n\x1b%-12345X";

// Limits of the printer's PJL parser: one line (with its line end) fits in
// 255 bytes, the whole ticket in 8191.
constexpr size_t kMaxTicketLine = 255;
constexpr size_t kMaxTicket = 8191;

struct Ticket {
  std::string text;
  std::string mediaPosition;  // interpreter argument chosen by the input slot
};

// Builds the ticket from the job settings (key already validated). User
// name, title and host name are sanitised and shortened at a character
// boundary so that every line fits.
Ticket buildTicket(const JobSettings &job);

// The interpreter argument for an input slot ("-dMediaPosition=N").
std::string mediaPositionFor(const std::string &inputSlot);

// The tray number N of that argument.
int mediaPositionNumber(const std::string &inputSlot);

}  // namespace kpx
