// Helpers shared by the fuzz targets: a check that stops the run with the
// broken invariant named, and the split of an input into fields.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#define FUZZ_CHECK(cond)                                                              \
  do {                                                                                \
    if (!(cond)) {                                                                    \
      std::fprintf(stderr, "invariant broken: %s (%s:%d)\n", #cond, __FILE__, __LINE__); \
      __builtin_trap();                                                               \
    }                                                                                 \
  } while (0)

namespace kpxfuzz {

// The input cut at NUL bytes into exactly n fields (missing ones empty, the
// last one takes the rest, NULs included). Command-line arguments hold no
// NUL, so a NUL is the natural separator for inputs that stand for them.
inline std::vector<std::string> fields(const uint8_t *data, size_t size, size_t n) {
  std::vector<std::string> out(n);
  size_t f = 0;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0 && f + 1 < n) {
      ++f;
      continue;
    }
    out[f] += static_cast<char>(data[i]);
  }
  return out;
}

// A byte of the input or `fallback` when the input is shorter.
inline uint8_t byteAt(const uint8_t *data, size_t size, size_t i, uint8_t fallback = 0) {
  return i < size ? data[i] : fallback;
}

}  // namespace kpxfuzz
