#include "statusmessage.h"

#include "status_table.h"

namespace kpxapp {

std::string statusMessage(int code) {
  std::optional<kpxmon::StatusRow> row = kpxmon::statusRow(code);
  if (!row) return "";
  QString text = row->text;
  text.replace(QLatin1Char('\n'), QLatin1Char(' '));
  return (row->title + QStringLiteral("：") + text).toStdString();
}

}  // namespace kpxapp
