#include "status_table.h"

#include "status_codes.h"

namespace kpxmon {

std::optional<StatusRow> statusRow(int code) {
  std::optional<kpx::StatusCode> row = kpx::statusCode(code);
  if (!row) return std::nullopt;
  return StatusRow{row->level, QString::fromStdString(row->title), QString::fromStdString(row->text)};
}

int statusRowCount() { return kpx::statusCodeCount(); }

}  // namespace kpxmon
