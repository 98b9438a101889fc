// The printer's status codes: every code it reports, with the message level,
// title and text shown for it. 286 codes; anything else is unknown.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kpx {

struct StatusRow {
  int level = 0;  // 1 Information, 2 Warning, 3 Critical
  std::string title;
  std::string text;
};

// The row of a code, or nothing when the printer's code is not in the table.
std::optional<StatusRow> statusRow(int code);

// Name of a paper size of the paper-missing families by its size number
// (the last two digits of the code), or nullptr.
const char *familySizeName(int number);

// Every code of the table, ascending.
const std::vector<int> &statusCodes();

}  // namespace kpx
