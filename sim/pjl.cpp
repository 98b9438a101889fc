#include "pjl.h"

#include "textutil.h"

namespace kpxsim {

namespace {

std::string_view firstWord(std::string_view s, std::string_view &rest) {
  size_t i = 0;
  while (i < s.size() && s[i] != ' ' && s[i] != '\t' && s[i] != '=') ++i;
  std::string_view word = s.substr(0, i);
  rest = trim(s.substr(i));
  return word;
}

// "NAME=VALUE" or "NAME = VALUE".
bool splitAssignment(std::string_view s, std::string &name, std::string &value) {
  size_t eq = s.find('=');
  if (eq == std::string_view::npos) return false;
  std::string_view n = trim(s.substr(0, eq));
  if (n.empty()) return false;
  name = toUpper(n);
  value = unquoteValue(s.substr(eq + 1));
  return true;
}

}  // namespace

std::string unquoteValue(std::string_view v) {
  v = trim(v);
  if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
  return std::string(v);
}

PjlLine parsePjlLine(std::string_view line) {
  PjlLine out;
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (line.size() < 4 || toUpper(line.substr(0, 4)) != "@PJL") {
    out.kind = PjlLine::Kind::NotPjl;
    out.value = std::string(line);
    return out;
  }
  std::string_view rest = trim(line.substr(4));
  if (rest.empty()) {
    out.kind = PjlLine::Kind::Bare;
    return out;
  }
  std::string_view args;
  std::string word = toUpper(firstWord(rest, args));
  out.name = word;
  if (word == "SET" || word == "DEFAULT") {
    out.kind = word == "SET" ? PjlLine::Kind::Set : PjlLine::Kind::Default;
    if (!splitAssignment(args, out.name, out.value)) {
      out.kind = PjlLine::Kind::Other;
      out.name = word;
      out.value = std::string(args);
    }
    return out;
  }
  if (word == "PRINTLOG") {
    // ITEM = N,VALUE ; the value is everything after the first comma, as written.
    std::string_view a;
    std::string key = toUpper(firstWord(args, a));
    size_t comma = a.find(',');
    uint64_t n = 0;
    if (key == "ITEM" && !a.empty() && a.front() == '=' && comma != std::string_view::npos &&
        parseUnsigned(trim(a.substr(1, comma - 1)), n) && n < 1000000) {
      out.kind = PjlLine::Kind::PrintLog;
      out.item = static_cast<int>(n);
      out.value = std::string(a.substr(comma + 1));
      return out;
    }
    out.kind = PjlLine::Kind::Other;
    out.value = std::string(args);
    return out;
  }
  if (word == "JOB") {
    out.kind = PjlLine::Kind::Job;
    std::string name, value;
    if (splitAssignment(args, name, value) && name == "NAME") out.value = value;
    return out;
  }
  if (word == "ENTER") {
    std::string name, value;
    if (splitAssignment(args, name, value) && name == "LANGUAGE") {
      out.kind = PjlLine::Kind::EnterLanguage;
      out.value = toUpper(value);
      return out;
    }
    out.kind = PjlLine::Kind::Other;
    out.value = std::string(args);
    return out;
  }
  if (word == "EOJ") {
    out.kind = PjlLine::Kind::Eoj;
    return out;
  }
  if (word == "CANCEL") {
    out.kind = PjlLine::Kind::Cancel;
    return out;
  }
  out.kind = PjlLine::Kind::Other;
  out.value = std::string(args);
  return out;
}

}  // namespace kpxsim
