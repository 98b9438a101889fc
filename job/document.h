// What a document handed to the interpreter is, from its first bytes: a PDF
// must reach the interpreter by file name (on standard input it copies the
// whole document to a temporary file of its own first, which a cancelled
// job leaves behind); PostScript streams through standard input.
#pragma once

#include <cstddef>
#include <string_view>

namespace kpx {

enum class DocumentFormat { PostScript, Pdf };

// How many first bytes documentFormat looks at.
constexpr size_t kDocumentHeadLength = 5;

// "%PDF-" starts a PDF (what pdftopdf and every desktop writes); anything
// else is left to the interpreter as PostScript.
DocumentFormat documentFormat(std::string_view head);

}  // namespace kpx
