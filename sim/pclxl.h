// PCL XL stream scanner: checks the token structure of a PCL XL stream
// (binding header, data types, attribute ids, operators, embedded data) and
// counts sessions and pages. It does not interpret operators or attributes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kpxsim {

struct PclxlScan {
  enum class Status {
    Ok,          // well formed, at least one session, last session ended
    Incomplete,  // well formed so far but ends before EndSession
    Malformed,   // bad header, unknown tag, cut inside a token, bad nesting
  };
  Status status = Status::Incomplete;
  std::string error;       // empty unless Malformed/Incomplete
  size_t errorOffset = 0;  // offset (in the scanned data) of the offending token

  // Bytes that belong to the PCL XL stream: everything up to, not including,
  // the closing UEL "\e%-12345X" (or up to the error, or the end of data).
  size_t length = 0;
  bool endedByUel = false;  // a UEL at a token boundary ended the stream

  bool bigEndian = false;  // '(' binding; ')' is little-endian
  std::string header;      // the header line without its line end

  int sessions = 0;    // BeginSession operators
  int sessionsEnded = 0;
  int pagesBegun = 0;  // BeginPage operators
  int pages = 0;       // EndPage operators: pages actually finished
  uint64_t operators = 0;
  uint64_t embeddedBytes = 0;  // data skipped after 0xFA / 0xFB
};

// Scans a stream that starts with the binding header line ("') HP-PCL XL;...").
// Whitespace bytes (NUL, HT, LF, VT, FF, CR, space) are allowed between
// tokens. The scan stops at a UEL found at a token boundary.
PclxlScan scanPclxl(std::string_view data);

// The operator's name ("BeginPage") or null for a tag that is no operator.
const char *pclxlOperatorName(uint8_t tag);

const char *pclxlStatusName(PclxlScan::Status s);

}  // namespace kpxsim
