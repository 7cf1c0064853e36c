#pragma once
// Shift-JIS (code page 932) byte classes for code that walks text byte by byte. A lead byte is followed
// by a trail byte that may equal '\\', '/' or ':'; the trail byte is never a character of its own.
// Free of Win32 so that it builds natively too.

#include <cstddef>
#include <string>

inline bool IsShiftJisLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// Number of bytes of the character that starts at text[i]: 2 for a lead byte with a byte after it,
// otherwise 1. A lead byte at the very end stands alone.
inline size_t ShiftJisCharLength(const std::string& text, size_t i) {
  return (IsShiftJisLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) ? 2 : 1;
}
