#include "statusmessage.h"

#include "status_codes.h"

namespace kpxapp {

std::string statusMessage(int code) {
  std::optional<kpx::StatusCode> row = kpx::statusCode(code);
  if (!row) return "";
  std::string text = row->text;
  for (char &c : text)
    if (c == '\n') c = ' ';
  return row->title + "：" + text;
}

}  // namespace kpxapp
