// The printer's status codes as the monitors show them (the table itself is
// kpx::statusCode; here its texts become QStrings).
#pragma once

#include <QString>

#include <optional>

namespace kpxmon {

struct StatusRow {
  int level = 0;  // 1 Information, 2 Warning, 3 Critical
  QString title;
  QString text;
};

// The row of a code, or nothing when the printer's code is not in the table.
std::optional<StatusRow> statusRow(int code);

// Number of codes in the table (for diagnostics and tests).
int statusRowCount();

}  // namespace kpxmon
