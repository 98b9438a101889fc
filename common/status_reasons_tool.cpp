// Prints the status table with what each code tells IPP clients, one code a
// line, for the PPD generator (ppd/mkppd.py):
//   code TAB level TAB vendor keyword TAB title TAB text TAB English text
// Line feeds inside texts are written as "\n"; codes without a vendor
// keyword have an empty third field.
//
// With --keywords it prints instead the registered keywords the codes set
// that desktop clients do not translate themselves, with their texts:
//   keyword TAB English text TAB title TAB text
#include <cstdio>
#include <cstring>
#include <string>

#include "status_codes.h"

namespace {

std::string escaped(const std::string &text) {
  std::string out;
  for (char c : text) {
    if (c == '\n')
      out += "\\n";
    else if (c == '\t')
      out += ' ';
    else
      out += c;
  }
  return out;
}

}  // namespace

int keywords() {
  const std::vector<std::string> missing = kpx::missingKeywordTexts();
  for (const std::string &keyword : missing) std::fprintf(stderr, "keyword %s has no text\n", keyword.c_str());
  if (!missing.empty()) return 1;
  for (const kpx::KeywordText &t : kpx::keywordTexts())
    std::printf("%s\t%s\t%s\t%s\n", t.keyword.c_str(), escaped(t.english).c_str(), escaped(t.title).c_str(),
                escaped(t.text).c_str());
  return 0;
}

int main(int argc, char **argv) {
  if (argc > 1 && std::strcmp(argv[1], "--keywords") == 0) return keywords();
  for (int code : kpx::statusCodes()) {
    std::optional<kpx::StatusCode> row = kpx::statusCode(code);
    std::optional<kpx::StatusReasons> reasons = kpx::statusReasons(code);
    if (!row || !reasons) {
      std::fprintf(stderr, "code %d has no %s\n", code, row ? "IPP reasons" : "row");
      return 1;
    }
    std::printf("%d\t%d\t%s\t%s\t%s\t%s\n", code, row->level, reasons->vendor.c_str(), escaped(row->title).c_str(),
                escaped(row->text).c_str(), escaped(reasons->english).c_str());
  }
  return 0;
}
