// The printer's status codes: every code the monitors know, with the message
// level, title and text shown for it and the rank that decides which of
// several codes is shown. 286 codes; anything else is unknown.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kpx {

// Message levels, and the ranks of codes (a higher rank wins).
enum StatusLevel { NoLevel = 0, Information = 1, Warning = 2, Critical = 3, Quiet = 4 };

struct StatusCode {
  int level = 0;  // Information, Warning or Critical
  std::string title;  // UTF-8
  std::string text;   // UTF-8
};

// The row of a code, or nothing when the printer's code is not in the table.
std::optional<StatusCode> statusCode(int code);

// Number of codes in the table.
int statusCodeCount();

// Every code of the table, ascending.
const std::vector<int> &statusCodes();

// Name of a paper size of the paper-missing families by its size number
// (the last two digits of the code), or nullptr.
const char *familySizeName(int number);

// Rank of a code when several arrive together: its own rank for codes in the
// table; unknown codes rank as Critical, except the tray paper families
// 11201..11499, which only warn.
int severityRank(int code);

// The codes the programs themselves write or act on.
namespace state {
constexpr int kReady = 10001;
constexpr int kInitialising = 10003;
constexpr int kCancelled = 10007;
constexpr int kPrinting = 10023;
constexpr int kNoConnection = 44444;
constexpr int kUnauthorisedLink = 88888;
constexpr int kKeyRejected = 99999;
}  // namespace state

// "CODE=<n>", the form a code takes in replies and in the printerState record.
std::string statusLine(int code);

}  // namespace kpx
