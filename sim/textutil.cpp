#include "textutil.h"

#include <cctype>

namespace kpxsim {

namespace {
const char kHexDigits[] = "0123456789abcdef";

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
}  // namespace

std::string toHex(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (unsigned char c : bytes) {
    out += kHexDigits[c >> 4];
    out += kHexDigits[c & 15];
  }
  return out;
}

bool fromHex(std::string_view hex, std::string &out) {
  out.clear();
  size_t i = 0;
  while (i < hex.size()) {
    char c = hex[i];
    if (c == ' ' || c == ':' || c == '\t') {
      ++i;
      continue;
    }
    if (i + 1 >= hex.size()) return false;
    int hi = hexValue(c), lo = hexValue(hex[i + 1]);
    if (hi < 0 || lo < 0) return false;
    out += static_cast<char>(hi * 16 + lo);
    i += 2;
  }
  return true;
}

std::string escapeText(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (unsigned char c : bytes) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7f) {
          out += "\\x";
          out += kHexDigits[c >> 4];
          out += kHexDigits[c & 15];
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out;
}

std::string unescapeText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c != '\\' || i + 1 >= text.size()) {
      out += c;
      continue;
    }
    char n = text[i + 1];
    switch (n) {
      case 'r': out += '\r'; ++i; break;
      case 'n': out += '\n'; ++i; break;
      case 't': out += '\t'; ++i; break;
      case 'e': out += '\x1b'; ++i; break;
      case '0': out += '\0'; ++i; break;
      case '\\': out += '\\'; ++i; break;
      case 'x':
        if (i + 3 < text.size() && hexValue(text[i + 2]) >= 0 && hexValue(text[i + 3]) >= 0) {
          out += static_cast<char>(hexValue(text[i + 2]) * 16 + hexValue(text[i + 3]));
          i += 3;
        } else {
          out += c;
        }
        break;
      default: out += c; break;
    }
  }
  return out;
}

std::string showBytes(std::string_view bytes) {
  for (unsigned char c : bytes) {
    if ((c < 0x20 && c != '\r' && c != '\n' && c != '\t') || c >= 0x7f) return "hex:" + toHex(bytes);
  }
  return "\"" + escapeText(bytes) + "\"";
}

bool startsWith(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

std::string_view trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
  return s.substr(b, e - b);
}

std::string toUpper(std::string_view s) {
  std::string out(s);
  for (char &c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

std::vector<std::string> split(std::string_view s, char sep) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t p = s.find(sep, start);
    if (p == std::string_view::npos) {
      parts.emplace_back(s.substr(start));
      return parts;
    }
    parts.emplace_back(s.substr(start, p - start));
    start = p + 1;
  }
}

bool parseUnsigned(std::string_view s, uint64_t &out) {
  if (s.empty() || s.size() > 19) return false;
  uint64_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<uint64_t>(c - '0');
  }
  out = v;
  return true;
}

}  // namespace kpxsim
