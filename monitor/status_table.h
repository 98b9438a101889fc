// The printer's status codes: every code the monitors know, with the message
// level, title and text shown for it. 286 codes; anything else is unknown.
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
