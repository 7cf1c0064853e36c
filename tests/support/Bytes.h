#pragma once
// Byte helpers for tests of Win32-free code (and the Windows tests too).

#include <cstdint>
#include <cstdio>
#include <string>

namespace testing_support {

// Shift-JIS characters whose trail byte is '\\' (0x5C): ソ 83 5C, 表 95 5C, 能 94 5C. Code that takes
// that byte for a path separator cuts them in two.
inline const std::string kSo = "ソ";
inline const std::string kHyo = "表";
inline const std::string kNo = "能";

// "83 5C 95 5C": the bytes of a text, for readable failure messages.
inline std::string HexBytes(const std::string& text) {
  std::string out;
  char byte[4];
  for (unsigned char c : text) {
    std::snprintf(byte, sizeof byte, out.empty() ? "%02X" : " %02X", c);
    out += byte;
  }
  return out;
}

// Deterministic bytes for test files and pixel buffers.
inline std::string PatternBytes(size_t size, uint32_t seed) {
  std::string bytes(size, '\0');
  uint32_t state = seed * 2654435761u + 1;
  for (size_t i = 0; i < size; ++i) {
    state = state * 1664525u + 1013904223u;
    bytes[i] = static_cast<char>(state >> 24);
  }
  return bytes;
}

}  // namespace testing_support
