#include "document.h"

namespace kpx {

DocumentFormat documentFormat(std::string_view head) {
  return head.substr(0, kDocumentHeadLength) == "%PDF-" ? DocumentFormat::Pdf : DocumentFormat::PostScript;
}

}  // namespace kpx
