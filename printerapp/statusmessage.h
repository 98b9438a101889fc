// The printer's own words for a status code (title and text, Chinese), as
// the status monitors show them.
#pragma once

#include <string>

namespace kpxapp {

// "title：text", or "" for a code the table does not know.
std::string statusMessage(int code);

}  // namespace kpxapp
