// The MMX-level forms of the constant-opacity and per-pixel alpha rows, on 64-bit MMX registers with
// the plain MMX instruction set only (no SSE extensions). Like the SSE-level forms (BlitSse.cpp) they
// compute the tables' values instead of looking them up, with the instructions MMX has: M[x][y] by
// (p + 1 + (p >> 8)) >> 8 for p = x * y, T by (c * l * 2115) >> 16 (the signed high multiply is exact
// here, both factors being below 32768), T555's level 31 giving 0 for pixels with bit 15 set.
// Every routine leaves the MMX state with _mm_empty before the plain form finishes the row's last
// (fewer than eight) pixels.

#include "image/BlitPixel.h"

#if defined(__i386__) || defined(__x86_64__)

#include <mmintrin.h>

#define MMX_FUNCTION __attribute__((target("mmx")))
#define MMX_INLINE static inline __attribute__((target("mmx"), always_inline))

using namespace blit;

namespace {

MMX_INLINE __m64 Load64(const uint8_t* p) {
  __m64 v;
  std::memcpy(&v, p, 8);
  return v;
}
MMX_INLINE void Store64(uint8_t* p, __m64 v) { std::memcpy(p, &v, 8); }

MMX_INLINE __m64 Select(__m64 mask, __m64 ifSet, __m64 ifClear) {
  return _mm_or_si64(_mm_and_si64(mask, ifSet), _mm_andnot_si64(mask, ifClear));
}

MMX_INLINE __m64 Divide255(__m64 x) {
  return _mm_srli_pi16(_mm_add_pi16(_mm_add_pi16(x, _mm_set1_pi16(1)), _mm_srli_pi16(x, 8)), 8);
}

MMX_INLINE __m64 MixLanes(__m64 d, __m64 s, __m64 a, __m64 notA) {
  return _mm_add_pi16(Divide255(_mm_mullo_pi16(s, a)), Divide255(_mm_mullo_pi16(d, notA)));
}

// Eight bytes blended byte by byte with the alpha bytes a.
MMX_INLINE __m64 MixBytes(__m64 d, __m64 s, __m64 a) {
  const __m64 zero = _mm_setzero_si64(), mask = _mm_set1_pi16(0xFF);
  const __m64 aLow = _mm_unpacklo_pi8(a, zero), aHigh = _mm_unpackhi_pi8(a, zero);
  const __m64 low = MixLanes(_mm_unpacklo_pi8(d, zero), _mm_unpacklo_pi8(s, zero), aLow, _mm_xor_si64(aLow, mask));
  const __m64 high = MixLanes(_mm_unpackhi_pi8(d, zero), _mm_unpackhi_pi8(s, zero), aHigh, _mm_xor_si64(aHigh, mask));
  return _mm_packs_pu16(low, high);
}

// Two 32-bit pixels, a32 holding each one's alpha in all four bytes: the fourth byte of d kept, a = 255
// copying the source pixel whole.
MMX_INLINE __m64 Blend2x32(__m64 d, __m64 s, __m64 a32) {
  const __m64 mixed = Select(_mm_set1_pi32(static_cast<int>(0xFF000000u)), d, MixBytes(d, s, a32));
  return Select(_mm_cmpeq_pi32(a32, _mm_set1_pi32(-1)), s, mixed);
}

MMX_INLINE __m64 Scale31(__m64 c, __m64 level) { return _mm_mulhi_pi16(_mm_mullo_pi16(c, level), _mm_set1_pi16(2115)); }

// Four 16-bit pixels, a in 16-bit lanes (see Blend8x16 of the SSE-level form).
template <bool Is555>
MMX_INLINE __m64 Blend4x16(__m64 d, __m64 s, __m64 a) {
  const __m64 full = _mm_set1_pi16(31);
  const __m64 sourceLevel = _mm_srli_pi16(a, 3);
  const __m64 destLevel = _mm_sub_pi16(full, sourceLevel);
  __m64 ds = d, ss = s;
  if (Is555) {
    ss = _mm_andnot_si64(_mm_and_si64(_mm_cmpeq_pi16(sourceLevel, full), _mm_srai_pi16(s, 15)), s);
    ds = _mm_andnot_si64(_mm_and_si64(_mm_cmpeq_pi16(destLevel, full), _mm_srai_pi16(d, 15)), d);
  }
  const int redShift = Is555 ? 10 : 11;
  const __m64 channel = _mm_set1_pi16(31), greenMask = _mm_set1_pi16(Is555 ? 31 : 63);
  const __m64 red = _mm_add_pi16(Scale31(_mm_and_si64(_mm_srli_pi16(ss, redShift), channel), sourceLevel),
                                 Scale31(_mm_and_si64(_mm_srli_pi16(ds, redShift), channel), destLevel));
  const __m64 green = _mm_add_pi16(Scale31(_mm_and_si64(_mm_srli_pi16(ss, 5), greenMask), sourceLevel),
                                   Scale31(_mm_and_si64(_mm_srli_pi16(ds, 5), greenMask), destLevel));
  const __m64 blue =
      _mm_add_pi16(Scale31(_mm_and_si64(ss, channel), sourceLevel), Scale31(_mm_and_si64(ds, channel), destLevel));
  const __m64 mixed = _mm_or_si64(_mm_or_si64(_mm_slli_pi16(red, redShift), _mm_slli_pi16(green, 5)), blue);
  const __m64 kept = Select(_mm_cmpeq_pi16(a, _mm_setzero_si64()), d, mixed);
  return Select(_mm_cmpeq_pi16(a, _mm_set1_pi16(0xFF)), s, kept);
}

// Whether all eight effective alpha bytes are 0, or all 255.
MMX_INLINE bool AllZero(__m64 a8) { return (_mm_cvtsi64_si32(a8) | _mm_cvtsi64_si32(_mm_srli_si64(a8, 32))) == 0; }
MMX_INLINE bool AllFull(__m64 a8) { return (_mm_cvtsi64_si32(a8) & _mm_cvtsi64_si32(_mm_srli_si64(a8, 32))) == -1; }

template <bool Is555>
MMX_FUNCTION void ConstantRow16Mmx(uint8_t* dest, const uint8_t* source, int count, int opacity,
                                   const BlendRows& rows) {
  const ConstantRow plain = kPlainConstantRows[Is555 ? 0 : 1];
  if (opacity <= 0 || opacity >= 255) return plain(dest, source, count, opacity, rows);
  const __m64 a = _mm_set1_pi16(static_cast<short>(opacity));
  int i = 0;
  for (; i + 8 <= count; i += 8) {
    uint8_t* d = dest + 2 * i;
    const uint8_t* s = source + 2 * i;
    Store64(d, Blend4x16<Is555>(Load64(d), Load64(s), a));
    Store64(d + 8, Blend4x16<Is555>(Load64(d + 8), Load64(s + 8), a));
  }
  _mm_empty();
  plain(dest + 2 * i, source + 2 * i, count - i, opacity, rows);
}

template <bool Is555>
MMX_FUNCTION void AlphaRow16Mmx(uint8_t* dest, const uint8_t* source, const uint8_t* alpha, int count, int opacity,
                                const BlendRows& rows) {
  const __m64 cut = _mm_set1_pi8(static_cast<char>(255 - opacity)), zero = _mm_setzero_si64();
  int i = 0;
  for (; i + 8 <= count; i += 8) {
    const __m64 a8 = _mm_subs_pu8(Load64(alpha + i), cut);
    if (AllZero(a8)) continue;
    uint8_t* d = dest + 2 * i;
    const uint8_t* s = source + 2 * i;
    if (AllFull(a8)) {
      Store64(d, Load64(s));
      Store64(d + 8, Load64(s + 8));
      continue;
    }
    Store64(d, Blend4x16<Is555>(Load64(d), Load64(s), _mm_unpacklo_pi8(a8, zero)));
    Store64(d + 8, Blend4x16<Is555>(Load64(d + 8), Load64(s + 8), _mm_unpackhi_pi8(a8, zero)));
  }
  _mm_empty();
  kPlainAlphaRows[Is555 ? 0 : 1](dest + 2 * i, source + 2 * i, alpha + i, count - i, opacity, rows);
}

MMX_FUNCTION void ConstantRow24Mmx(uint8_t* dest, const uint8_t* source, int count, int opacity,
                                   const BlendRows& rows) {
  if (opacity <= 0 || opacity >= 255) return kPlainConstantRows[2](dest, source, count, opacity, rows);
  const __m64 a = _mm_set1_pi8(static_cast<char>(opacity));
  int i = 0;
  for (; i + 8 <= count; i += 8) {
    uint8_t* d = dest + 3 * i;
    const uint8_t* s = source + 3 * i;
    Store64(d, MixBytes(Load64(d), Load64(s), a));
    Store64(d + 8, MixBytes(Load64(d + 8), Load64(s + 8), a));
    Store64(d + 16, MixBytes(Load64(d + 16), Load64(s + 16), a));
  }
  _mm_empty();
  kPlainConstantRows[2](dest + 3 * i, source + 3 * i, count - i, opacity, rows);
}

// Two 24-bit pixels gathered into 32-bit lanes, blended and put back.
MMX_INLINE void Blend2x24(uint8_t* dest, const uint8_t* source, __m64 a32) {
  const __m64 d = _mm_set_pi32(static_cast<int>(Load24(dest + 3)), static_cast<int>(Load24(dest)));
  const __m64 s = _mm_set_pi32(static_cast<int>(Load24(source + 3)), static_cast<int>(Load24(source)));
  const __m64 r = Blend2x32(d, s, a32);
  Store24(dest, static_cast<uint32_t>(_mm_cvtsi64_si32(r)));
  Store24(dest + 3, static_cast<uint32_t>(_mm_cvtsi64_si32(_mm_srli_si64(r, 32))));
}

MMX_FUNCTION void AlphaRow24Mmx(uint8_t* dest, const uint8_t* source, const uint8_t* alpha, int count, int opacity,
                                const BlendRows& rows) {
  const __m64 cut = _mm_set1_pi8(static_cast<char>(255 - opacity));
  int i = 0;
  for (; i + 8 <= count; i += 8) {
    const __m64 a8 = _mm_subs_pu8(Load64(alpha + i), cut);
    if (AllZero(a8)) continue;
    uint8_t* d = dest + 3 * i;
    const uint8_t* s = source + 3 * i;
    const __m64 low = _mm_unpacklo_pi8(a8, a8), high = _mm_unpackhi_pi8(a8, a8);
    Blend2x24(d, s, _mm_unpacklo_pi16(low, low));
    Blend2x24(d + 6, s + 6, _mm_unpackhi_pi16(low, low));
    Blend2x24(d + 12, s + 12, _mm_unpacklo_pi16(high, high));
    Blend2x24(d + 18, s + 18, _mm_unpackhi_pi16(high, high));
  }
  _mm_empty();
  kPlainAlphaRows[2](dest + 3 * i, source + 3 * i, alpha + i, count - i, opacity, rows);
}

MMX_FUNCTION void ConstantRow32Mmx(uint8_t* dest, const uint8_t* source, int count, int opacity,
                                   const BlendRows& rows) {
  if (opacity <= 0 || opacity >= 255) return kPlainConstantRows[3](dest, source, count, opacity, rows);
  const __m64 a = _mm_set1_pi8(static_cast<char>(opacity));
  int i = 0;
  for (; i + 8 <= count; i += 8) {
    uint8_t* d = dest + 4 * i;
    const uint8_t* s = source + 4 * i;
    for (int k = 0; k < 32; k += 8) Store64(d + k, Blend2x32(Load64(d + k), Load64(s + k), a));
  }
  _mm_empty();
  kPlainConstantRows[3](dest + 4 * i, source + 4 * i, count - i, opacity, rows);
}

MMX_FUNCTION void AlphaRow32Mmx(uint8_t* dest, const uint8_t* source, const uint8_t* alpha, int count, int opacity,
                                const BlendRows& rows) {
  const __m64 cut = _mm_set1_pi8(static_cast<char>(255 - opacity));
  int i = 0;
  for (; i + 8 <= count; i += 8) {
    const __m64 a8 = _mm_subs_pu8(Load64(alpha + i), cut);
    if (AllZero(a8)) continue;
    uint8_t* d = dest + 4 * i;
    const uint8_t* s = source + 4 * i;
    if (AllFull(a8)) {
      std::memcpy(d, s, 32);
      continue;
    }
    const __m64 low = _mm_unpacklo_pi8(a8, a8), high = _mm_unpackhi_pi8(a8, a8);
    Store64(d, Blend2x32(Load64(d), Load64(s), _mm_unpacklo_pi16(low, low)));
    Store64(d + 8, Blend2x32(Load64(d + 8), Load64(s + 8), _mm_unpackhi_pi16(low, low)));
    Store64(d + 16, Blend2x32(Load64(d + 16), Load64(s + 16), _mm_unpacklo_pi16(high, high)));
    Store64(d + 24, Blend2x32(Load64(d + 24), Load64(s + 24), _mm_unpackhi_pi16(high, high)));
  }
  _mm_empty();
  kPlainAlphaRows[3](dest + 4 * i, source + 4 * i, alpha + i, count - i, opacity, rows);
}

}  // namespace

const ConstantRow blit::kMmxConstantRows[4] = {ConstantRow16Mmx<true>, ConstantRow16Mmx<false>, ConstantRow24Mmx,
                                               ConstantRow32Mmx};
const AlphaRow blit::kMmxAlphaRows[4] = {AlphaRow16Mmx<true>, AlphaRow16Mmx<false>, AlphaRow24Mmx, AlphaRow32Mmx};

#endif
