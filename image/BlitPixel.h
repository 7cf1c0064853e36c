#pragma once
// Internal to the drawing, conversion and surface pixel routines: unaligned pixel access, the per-pixel
// blend rules in their plain form, and the table rows a blend needs, fetched once per draw. Rows of any
// pitch may start at any address, so every multi-byte access goes through memcpy.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace blit {

inline uint16_t Load16(const uint8_t* p) {
  uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}
inline uint32_t Load32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
inline uint32_t Load24(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16;
}
inline void Store16(uint8_t* p, uint32_t v) {
  const uint16_t w = static_cast<uint16_t>(v);
  std::memcpy(p, &w, 2);
}
inline void Store32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }
inline void Store24(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
}

// Runs op(i) for i = 0..count-1, eight a step, then the remainder one by one.
template <class Op>
inline void ForEachByEight(int count, Op op) {
  int i = 0;
  for (; i + 8 <= count; i += 8) {
    op(i);
    op(i + 1);
    op(i + 2);
    op(i + 3);
    op(i + 4);
    op(i + 5);
    op(i + 6);
    op(i + 7);
  }
  for (; i < count; ++i) op(i);
}

// The rows of the blend tables one draw uses: t holds T555 or T565 by level for 15/16 bits, m the rows
// of M for 24/32 bits.
struct BlendRows {
  const uint16_t* t[32];
  const uint8_t* m[256];
};

// Fills the rows a depth needs (the tables are reached only through their accessors). False when an
// accessor gives no row.
bool FetchBlendRows(int depth, BlendRows* rows);

// The blends for 0 < a < 255 (a = 0 leaves the destination, a = 255 copies the source).
inline uint32_t Blend16(uint32_t dest, uint32_t source, int a, const BlendRows& rows) {
  const int a5 = a >> 3;
  return static_cast<uint16_t>(rows.t[31 - a5][dest] + rows.t[a5][source]);
}

inline uint8_t BlendByte(uint32_t dest, uint32_t source, int a, const BlendRows& rows) {
  return static_cast<uint8_t>(rows.m[a][source & 0xFF] + rows.m[255 - a][dest & 0xFF]);
}

// Blue, green and red blended; the fourth byte of the destination kept.
inline uint32_t Blend32(uint32_t dest, uint32_t source, int a, const BlendRows& rows) {
  return (dest & 0xFF000000u) | BlendByte(dest, source, a, rows) |
         static_cast<uint32_t>(BlendByte(dest >> 8, source >> 8, a, rows)) << 8 |
         static_cast<uint32_t>(BlendByte(dest >> 16, source >> 16, a, rows)) << 16;
}

inline void Blend24(uint8_t* dest, const uint8_t* source, int a, const BlendRows& rows) {
  dest[0] = BlendByte(dest[0], source[0], a, rows);
  dest[1] = BlendByte(dest[1], source[1], a, rows);
  dest[2] = BlendByte(dest[2], source[2], a, rows);
}

// One pixel of any depth drawn with effective alpha a (0..255); bytes is 2, 3 or 4.
inline void PutPixel(uint8_t* dest, const uint8_t* source, int bytes, int a, const BlendRows& rows) {
  if (a <= 0) return;
  if (bytes == 2) {
    const uint32_t s = Load16(source), d = Load16(dest);
    const uint32_t r = a >= 255 ? s : Blend16(d, s, a, rows);
    if (r != d) Store16(dest, r);
  } else if (bytes == 4) {
    const uint32_t s = Load32(source), d = Load32(dest);
    const uint32_t r = a >= 255 ? s : Blend32(d, s, a, rows);
    if (r != d) Store32(dest, r);
  } else if (a >= 255) {
    dest[0] = source[0];
    dest[1] = source[1];
    dest[2] = source[2];
  } else {
    Blend24(dest, source, a, rows);
  }
}

// The effective alpha of a source alpha byte at an opacity (0..255): alpha - (255 - opacity), at
// least 0.
inline int EffectiveAlpha(int alpha, int opacity) {
  const int a = alpha - (255 - opacity);
  return a > 0 ? a : 0;
}

// Row routines. The constant-opacity ones draw every pixel with a = opacity; the alpha ones take each
// pixel's a from the source alpha byte and the opacity. Both accept any opacity 0..255.
typedef void (*ConstantRow)(uint8_t* dest, const uint8_t* source, int count, int opacity, const BlendRows& rows);
typedef void (*AlphaRow)(uint8_t* dest, const uint8_t* source, const uint8_t* alpha, int count, int opacity,
                         const BlendRows& rows);

// Indexed by depth: 0 for 15, 1 for 16, 2 for 24, 3 for 32.
inline int DepthIndex(int depth) {
  switch (depth) {
    case 15: return 0;
    case 16: return 1;
    case 24: return 2;
    case 32: return 3;
    default: return -1;
  }
}

// The colour-key rows skip every source pixel whose keyMask bits equal key and draw the others with
// a = opacity. The row copy copies bytes; source and destination may overlap.
typedef void (*KeyRow)(uint8_t* dest, const uint8_t* source, int count, uint32_t key, uint32_t keyMask, int opacity,
                       const BlendRows& rows);
typedef void (*CopyRow)(uint8_t* dest, const uint8_t* source, size_t bytes);
// One row of count pixels repacked from one depth to another.
typedef void (*RowConverter)(uint8_t* target, const uint8_t* source, int count);

extern const ConstantRow kPlainConstantRows[4];
extern const AlphaRow kPlainAlphaRows[4];
extern const KeyRow kPlainKeyRows[4];
extern const ConstantRow kMmxConstantRows[4];
extern const AlphaRow kMmxAlphaRows[4];
extern const ConstantRow kSseConstantRows[4];
extern const AlphaRow kSseAlphaRows[4];
extern const ConstantRow kAvx2ConstantRows[4];
extern const AlphaRow kAvx2AlphaRows[4];
extern const KeyRow kAvx2KeyRows[4];
extern const CopyRow kAvx2CopyRow;

// The AVX2 form of a depth conversion, or null for a pair that has none (the plain one runs).
RowConverter FindAvx2Converter(int targetDepth, int sourceDepth);

}  // namespace blit
