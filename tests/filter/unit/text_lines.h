// Splits a ticket or record text into its lines, each with its "\n" (the
// last one may lack it), so tests can compare line by line.
#pragma once

#include <string>
#include <vector>

inline std::vector<std::string> linesOf(const std::string &text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t nl = text.find('\n', start);
    size_t end = nl == std::string::npos ? text.size() : nl + 1;
    lines.push_back(text.substr(start, end - start));
    start = end;
  }
  return lines;
}
