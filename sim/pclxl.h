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

// One token of a PCL XL stream, as PclxlTokenizer finds it.
struct PclxlToken {
  enum class Kind { Operator, AttributeId, Value, EmbeddedData };
  Kind kind = Kind::Operator;
  uint8_t tag = 0;
  size_t offset = 0;  // where the token starts
  size_t end = 0;     // first byte after it
  unsigned attribute = 0;  // AttributeId: the id
  // Value: the elements (a scalar has 1, an xy pair 2, a box 4, an array
  // its count), each elementSize bytes, from dataOffset on.
  // EmbeddedData: count bytes from dataOffset on (elementSize 1).
  int elementSize = 0;
  uint64_t count = 0;
  size_t dataOffset = 0;

  bool isArray() const { return kind == Kind::Value && (tag & 0xf8) == 0xc8; }
};

// Splits a PCL XL stream into tokens. Whitespace between tokens is passed
// over; a UEL at a token boundary ends the stream.
class PclxlTokenizer {
 public:
  explicit PclxlTokenizer(std::string_view data) : data_(data) {}

  // Reads the binding header line; false (error() says why) when the data
  // does not start with one.
  bool readHeader();

  enum class Next { Token, End, Uel, Error };
  Next next(PclxlToken &t);

  // Element i of a Value token as a number (real32 as float; out of range: 0).
  double element(const PclxlToken &t, uint64_t i) const;
  std::string_view bytes(const PclxlToken &t) const {
    return data_.substr(t.dataOffset, static_cast<size_t>(t.count) * static_cast<size_t>(t.elementSize));
  }

  bool bigEndian() const { return bigEndian_; }
  std::string_view headerLine() const { return header_; }
  size_t position() const { return pos_; }
  const std::string &error() const { return error_; }
  size_t errorOffset() const { return errorOffset_; }

 private:
  uint8_t byte(size_t at) const { return static_cast<uint8_t>(data_[at]); }
  uint64_t number(size_t at, int size) const;
  bool have(size_t pos, uint64_t n) const { return n <= data_.size() - pos; }
  Next fail(size_t at, const std::string &why);
  Next truncated(size_t at, const std::string &what) { return fail(at, "stream cut inside " + what); }

  std::string_view data_;
  size_t pos_ = 0;
  bool bigEndian_ = false;
  std::string_view header_;
  std::string error_;
  size_t errorOffset_ = 0;
};

// The operator's name ("BeginPage") or null for a tag that is no operator.
const char *pclxlOperatorName(uint8_t tag);

const char *pclxlStatusName(PclxlScan::Status s);

}  // namespace kpxsim
