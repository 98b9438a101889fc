// Parsing of single PJL command lines as the printer receives them in a
// job ticket ("@PJL SET NAME=VALUE", "@PJL PRINTLOG ITEM = N,VALUE", ...).
#pragma once

#include <string>
#include <string_view>

namespace kpxsim {

struct PjlLine {
  enum class Kind {
    Bare,           // "@PJL" alone
    Set,            // "@PJL SET NAME=VALUE"
    Default,        // "@PJL DEFAULT NAME=VALUE"
    PrintLog,       // "@PJL PRINTLOG ITEM = N,VALUE" (item in `item`)
    Job,            // "@PJL JOB NAME="..."" (name in `value`)
    EnterLanguage,  // "@PJL ENTER LANGUAGE = X" (X in `value`)
    Eoj,            // "@PJL EOJ"
    Cancel,         // "@PJL CANCEL"
    Other,          // any other "@PJL ..." command (command word in `name`)
    NotPjl,         // does not start with "@PJL"
  };
  Kind kind = Kind::NotPjl;
  std::string name;   // variable name (upper-cased) or command word
  std::string value;  // see unquoteValue
  int item = 0;
};

// Parses one line without its line end (a trailing CR is ignored). Command
// words and variable names are matched without regard to case.
PjlLine parsePjlLine(std::string_view line);

// Value text after '=': surrounding blanks removed, then, when the rest both
// starts and ends with a double quote, that outer pair removed. Inner quotes
// stay as they were written.
std::string unquoteValue(std::string_view v);

}  // namespace kpxsim
