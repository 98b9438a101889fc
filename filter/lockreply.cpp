#include "lockreply.h"

#include <cctype>
#include <cstring>
#include <string>

namespace kpx {

LockReplyScan scanLockReply(const char *reply, int lastCode) {
  LockReplyScan scan;
  scan.lastCode = lastCode;
  std::string text(reply);
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find_first_of("COD", pos);
    if (end == std::string::npos) end = text.size();
    if (end > pos) {
      std::string token = text.substr(pos, end - pos);
      if (token.compare(0, 2, "E=") == 0) {
        // At most five non-blank characters after leading blanks.
        size_t i = 2;
        while (i < token.size() && std::isspace(static_cast<unsigned char>(token[i]))) ++i;
        std::string word;
        while (i < token.size() && word.size() < 5 && !std::isspace(static_cast<unsigned char>(token[i])))
          word += token[i++];
        bool digits = !word.empty();
        for (char c : word) digits = digits && c >= '0' && c <= '9';
        scan.lastCode = digits ? std::stoi(word) : kNoReplyCode;
        if (scan.lastCode == 1) {
          scan.mayPrint = true;
          return scan;
        }
      }
    }
    pos = end + 1;
  }
  return scan;
}

LockOutcome lockOutcome(const LockReplyScan &scan) {
  if (scan.mayPrint) return LockOutcome::MayPrint;
  if (scan.lastCode == 2 || scan.lastCode == kNoReplyCode) return LockOutcome::NoAnswer;
  return LockOutcome::ReadAgain;
}

}  // namespace kpx
