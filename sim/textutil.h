// Small text helpers shared by the simulator's parsers and its programs.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kpxsim {

// Lower-case hex, two digits per byte, no separators.
std::string toHex(std::string_view bytes);

// Hex digits to bytes. Blanks and ':' between byte pairs are skipped;
// an odd digit count or a non-hex character fails.
bool fromHex(std::string_view hex, std::string &out);

// Printable rendering for logs and key=value files: backslash, CR, LF and
// TAB become \\ \r \n \t, other control bytes and 0x7f become \xHH.
// Bytes >= 0x80 are kept, so UTF-8 text stays readable.
std::string escapeText(std::string_view bytes);

// The reverse of escapeText, also used for texts typed on a command line
// ("CODE=10023\rCODE=10001\r"). Unknown escapes keep the backslash.
std::string unescapeText(std::string_view text);

// For logs: "quoted escaped text" when the bytes are printable ASCII (CR,
// LF, TAB allowed), else "hex:" and the bytes in hex.
std::string showBytes(std::string_view bytes);

bool startsWith(std::string_view s, std::string_view prefix);
std::string_view trim(std::string_view s);
std::string toUpper(std::string_view s);
std::vector<std::string> split(std::string_view s, char sep);

// Whole-string decimal parse; no sign, no blanks.
bool parseUnsigned(std::string_view s, uint64_t &out);

}  // namespace kpxsim
