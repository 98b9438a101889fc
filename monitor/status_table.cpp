#include "status_table.h"

#include "status_codes.h"

namespace kpxmon {

// The table itself is the printer's description in common/; the monitors
// show its texts as Qt strings.
std::optional<StatusRow> statusRow(int code) {
  std::optional<kpx::StatusRow> row = kpx::statusRow(code);
  if (!row) return std::nullopt;
  return StatusRow{row->level, QString::fromStdString(row->title), QString::fromStdString(row->text)};
}

int statusRowCount() { return static_cast<int>(kpx::statusCodes().size()); }

}  // namespace kpxmon
