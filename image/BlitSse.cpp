// The SSE-level forms of the constant-opacity and per-pixel alpha rows, on 128-bit SSE2 registers. They
// compute the plain forms' pixels arithmetically instead of through the tables:
//   M[x][y] = x * y / 255            as ((p * 0x8081) >> 16) >> 7 for p = x * y (exact for any 16-bit p)
//   M[a][s] + M[255 - a][d], 0 < a < 255, as ((s * (257a + 1)) >> 16) + ((d * (65536 - 257a)) >> 16),
//                                    exact for all bytes s, d, with no division (the 24- and 32-bit rows)
//   T[l][p], one channel c: c*l/31    as (c * l * 2115) >> 16 (exact for c * l <= 63 * 31)
// and T555's quirk that level 31 gives 0 for a pixel with bit 15 set. Only these functions carry the
// SSE2 target, so the rest of a 32-bit build never assumes it; the remainder of a row (fewer than eight
// pixels) runs the plain form.

#include "image/BlitPixel.h"

#if defined(__i386__) || defined(__x86_64__)

#include <emmintrin.h>

#define SSE2_FUNCTION __attribute__((target("sse2")))
#define SSE2_INLINE static inline __attribute__((target("sse2"), always_inline))

using namespace blit;

namespace {

SSE2_INLINE __m128i Load128(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
SSE2_INLINE void Store128(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
SSE2_INLINE __m128i Load64(const uint8_t* p) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)); }

SSE2_INLINE __m128i Select(__m128i mask, __m128i ifSet, __m128i ifClear) {
  return _mm_or_si128(_mm_and_si128(mask, ifSet), _mm_andnot_si128(mask, ifClear));
}

// x / 255 in 16-bit lanes, exact for every 16-bit x.
SSE2_INLINE __m128i Divide255(__m128i x) {
  return _mm_srli_epi16(_mm_mulhi_epu16(x, _mm_set1_epi16(static_cast<short>(0x8081))), 7);
}

// M[a][s] + M[255 - a][d] in 16-bit lanes.
SSE2_INLINE __m128i MixLanes(__m128i d, __m128i s, __m128i a, __m128i notA) {
  return _mm_add_epi16(Divide255(_mm_mullo_epi16(s, a)), Divide255(_mm_mullo_epi16(d, notA)));
}

// Sixteen bytes blended byte by byte with the alpha bytes a: a == 0 gives d, a == 255 gives s.
SSE2_INLINE __m128i MixBytes(__m128i d, __m128i s, __m128i a) {
  const __m128i zero = _mm_setzero_si128(), mask = _mm_set1_epi16(0xFF);
  const __m128i aLow = _mm_unpacklo_epi8(a, zero), aHigh = _mm_unpackhi_epi8(a, zero);
  const __m128i low = MixLanes(_mm_unpacklo_epi8(d, zero), _mm_unpacklo_epi8(s, zero), aLow, _mm_xor_si128(aLow, mask));
  const __m128i high =
      MixLanes(_mm_unpackhi_epi8(d, zero), _mm_unpackhi_epi8(s, zero), aHigh, _mm_xor_si128(aHigh, mask));
  return _mm_packus_epi16(low, high);
}

// The alpha bytes for four 32-bit pixels: a for blue, green and red, and for the fourth byte 255 where
// a is 255 (the pixel is copied whole) and 0 elsewhere (the destination's fourth byte is kept). a8 holds
// the pixels' alpha in bytes 0..3.
SSE2_INLINE __m128i PixelAlphaLow(__m128i a8, __m128i full8) {
  return _mm_unpacklo_epi16(_mm_unpacklo_epi8(a8, a8), _mm_unpacklo_epi8(a8, full8));
}

// For 0 < a < 255 the two products need no division: with A = 257a + 1 and B = 65536 - 257a (both
// below 65536), (s * A) >> 16 = M[a][s] and (d * B) >> 16 = M[255 - a][d] for every pair of bytes.
// aLow/bLow hold A and B for the low eight bytes of d and s, aHigh/bHigh for the high eight.
SSE2_INLINE __m128i MixBytesScaled(__m128i d, __m128i s, __m128i aLow, __m128i bLow, __m128i aHigh, __m128i bHigh) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i low = _mm_add_epi16(_mm_mulhi_epu16(_mm_unpacklo_epi8(s, zero), aLow),
                                    _mm_mulhi_epu16(_mm_unpacklo_epi8(d, zero), bLow));
  const __m128i high = _mm_add_epi16(_mm_mulhi_epu16(_mm_unpackhi_epi8(s, zero), aHigh),
                                     _mm_mulhi_epu16(_mm_unpackhi_epi8(d, zero), bHigh));
  return _mm_packus_epi16(low, high);
}

// Four 32-bit pixels blended with the multipliers A (aLow: pixels 0-1, aHigh: 2-3) and B, whose fourth
// lanes are 0: the fourth byte comes out 0 and takes the destination's.
SSE2_INLINE __m128i Blend4x32Scaled(__m128i d, __m128i s, __m128i aLow, __m128i bLow, __m128i aHigh, __m128i bHigh) {
  return _mm_or_si128(MixBytesScaled(d, s, aLow, bLow, aHigh, bHigh),
                      _mm_and_si128(d, _mm_set1_epi32(static_cast<int>(0xFF000000u))));
}

// Four 32-bit pixels whose alphas all lie in 1..254, a32 holding a in the first three bytes of each
// pixel and 0 in the fourth: that byte comes out 0 (A = 1, B = 0) and takes the destination's.
SSE2_INLINE __m128i Blend4x32Inner(__m128i d, __m128i s, __m128i a32) {
  const __m128i low = _mm_unpacklo_epi8(a32, a32), high = _mm_unpackhi_epi8(a32, a32);  // 257a
  const __m128i one = _mm_set1_epi16(1), zero = _mm_setzero_si128();
  return Blend4x32Scaled(d, s, _mm_add_epi16(low, one), _mm_sub_epi16(zero, low), _mm_add_epi16(high, one),
                         _mm_sub_epi16(zero, high));
}

// Four 32-bit pixels whose alphas all lie in 1..254, split into their even bytes (blue, red) and odd
// bytes (green, fourth) in 16-bit lanes: evenA/evenB hold A and B for both even lanes of each pixel,
// oddA/oddB hold them for green and 0 for the fourth byte, which then comes out 0 and takes the
// destination's.
SSE2_INLINE __m128i Blend4x32Split(__m128i d, __m128i s, __m128i evenA, __m128i evenB, __m128i oddA, __m128i oddB) {
  const __m128i low = _mm_set1_epi16(0xFF);
  const __m128i even =
      _mm_add_epi16(_mm_mulhi_epu16(_mm_and_si128(s, low), evenA), _mm_mulhi_epu16(_mm_and_si128(d, low), evenB));
  const __m128i odd =
      _mm_add_epi16(_mm_mulhi_epu16(_mm_srli_epi16(s, 8), oddA), _mm_mulhi_epu16(_mm_srli_epi16(d, 8), oddB));
  return _mm_or_si128(_mm_or_si128(even, _mm_slli_epi16(odd, 8)),
                      _mm_and_si128(d, _mm_set1_epi32(static_cast<int>(0xFF000000u))));
}

// c * level / 31 in 16-bit lanes.
SSE2_INLINE __m128i Scale31(__m128i c, __m128i level) {
  return _mm_mulhi_epu16(_mm_mullo_epi16(c, level), _mm_set1_epi16(2115));
}

// Eight 16-bit pixels: T[31 - a5][d] + T[a5][s] with a5 = a >> 3; a (16-bit lanes) = 0 keeps d, 255
// copies s.
template <bool Is555>
SSE2_INLINE __m128i Blend8x16(__m128i d, __m128i s, __m128i a) {
  const __m128i full = _mm_set1_epi16(31);
  const __m128i sourceLevel = _mm_srli_epi16(a, 3);
  const __m128i destLevel = _mm_sub_epi16(full, sourceLevel);
  __m128i ds = d, ss = s;
  if (Is555) {
    ss = _mm_andnot_si128(_mm_and_si128(_mm_cmpeq_epi16(sourceLevel, full), _mm_srai_epi16(s, 15)), s);
    ds = _mm_andnot_si128(_mm_and_si128(_mm_cmpeq_epi16(destLevel, full), _mm_srai_epi16(d, 15)), d);
  }
  const int redShift = Is555 ? 10 : 11;
  const __m128i channel = _mm_set1_epi16(31), greenMask = _mm_set1_epi16(Is555 ? 31 : 63);
  const __m128i red = _mm_add_epi16(Scale31(_mm_and_si128(_mm_srli_epi16(ss, redShift), channel), sourceLevel),
                                    Scale31(_mm_and_si128(_mm_srli_epi16(ds, redShift), channel), destLevel));
  const __m128i green = _mm_add_epi16(Scale31(_mm_and_si128(_mm_srli_epi16(ss, 5), greenMask), sourceLevel),
                                      Scale31(_mm_and_si128(_mm_srli_epi16(ds, 5), greenMask), destLevel));
  const __m128i blue =
      _mm_add_epi16(Scale31(_mm_and_si128(ss, channel), sourceLevel), Scale31(_mm_and_si128(ds, channel), destLevel));
  const __m128i mixed = _mm_or_si128(_mm_or_si128(_mm_slli_epi16(red, redShift), _mm_slli_epi16(green, 5)), blue);
  const __m128i kept = Select(_mm_cmpeq_epi16(a, _mm_setzero_si128()), d, mixed);
  return Select(_mm_cmpeq_epi16(a, _mm_set1_epi16(0xFF)), s, kept);
}

// Bit i set when alpha byte i (of eight) is 0, and when it is 255.
SSE2_INLINE int ZeroBytes(__m128i a8) { return _mm_movemask_epi8(_mm_cmpeq_epi8(a8, _mm_setzero_si128())) & 0xFF; }
SSE2_INLINE int FullBytes(__m128i a8) { return _mm_movemask_epi8(_mm_cmpeq_epi8(a8, _mm_set1_epi8(-1))) & 0xFF; }

template <bool Is555>
SSE2_FUNCTION void ConstantRow16Sse(uint8_t* dest, const uint8_t* source, int count, int opacity,
                                    const BlendRows& rows) {
  if (opacity <= 0 || opacity >= 255) return kPlainConstantRows[Is555 ? 0 : 1](dest, source, count, opacity, rows);
  const __m128i a = _mm_set1_epi16(static_cast<short>(opacity));
  int i = 0;
  for (; i + 8 <= count; i += 8)
    Store128(dest + 2 * i, Blend8x16<Is555>(Load128(dest + 2 * i), Load128(source + 2 * i), a));
  kPlainConstantRows[Is555 ? 0 : 1](dest + 2 * i, source + 2 * i, count - i, opacity, rows);
}

template <bool Is555>
SSE2_FUNCTION void AlphaRow16Sse(uint8_t* dest, const uint8_t* source, const uint8_t* alpha, int count, int opacity,
                                 const BlendRows& rows) {
  const __m128i cut = _mm_set1_epi8(static_cast<char>(255 - opacity));
  int i = 0;
  for (; i + 8 <= count; i += 8) {
    const __m128i a8 = _mm_subs_epu8(Load64(alpha + i), cut);
    if (ZeroBytes(a8) == 0xFF) continue;
    const __m128i s = Load128(source + 2 * i);
    if (FullBytes(a8) == 0xFF) {
      Store128(dest + 2 * i, s);
      continue;
    }
    const __m128i a = _mm_unpacklo_epi8(a8, _mm_setzero_si128());
    Store128(dest + 2 * i, Blend8x16<Is555>(Load128(dest + 2 * i), s, a));
  }
  kPlainAlphaRows[Is555 ? 0 : 1](dest + 2 * i, source + 2 * i, alpha + i, count - i, opacity, rows);
}

SSE2_FUNCTION void ConstantRow24Sse(uint8_t* dest, const uint8_t* source, int count, int opacity,
                                    const BlendRows& rows) {
  if (opacity <= 0 || opacity >= 255) return kPlainConstantRows[2](dest, source, count, opacity, rows);
  // Every byte blends alike: the row is a run of bytes, 48 (sixteen pixels) a step.
  const __m128i a = _mm_set1_epi16(static_cast<short>(257 * opacity + 1));
  const __m128i b = _mm_set1_epi16(static_cast<short>(65536 - 257 * opacity));
  int i = 0;
  for (; i + 16 <= count; i += 16) {
    uint8_t* d = dest + 3 * i;
    const uint8_t* s = source + 3 * i;
    Store128(d, MixBytesScaled(Load128(d), Load128(s), a, b, a, b));
    Store128(d + 16, MixBytesScaled(Load128(d + 16), Load128(s + 16), a, b, a, b));
    Store128(d + 32, MixBytesScaled(Load128(d + 32), Load128(s + 32), a, b, a, b));
  }
  kPlainConstantRows[2](dest + 3 * i, source + 3 * i, count - i, opacity, rows);
}

// Four 24-bit pixels gathered into 32-bit lanes, blended and put back.
SSE2_INLINE void Blend4x24(uint8_t* dest, const uint8_t* source, const uint8_t* alpha, __m128i cut) {
  const __m128i d = _mm_set_epi32(static_cast<int>(Load24(dest + 9)), static_cast<int>(Load24(dest + 6)),
                                  static_cast<int>(Load24(dest + 3)), static_cast<int>(Load24(dest)));
  const __m128i s = _mm_set_epi32(static_cast<int>(Load24(source + 9)), static_cast<int>(Load24(source + 6)),
                                  static_cast<int>(Load24(source + 3)), static_cast<int>(Load24(source)));
  const __m128i a8 = _mm_subs_epu8(_mm_cvtsi32_si128(static_cast<int>(Load32(alpha))), cut);
  uint32_t out[4];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), MixBytes(d, s, PixelAlphaLow(a8, a8)));  // fourth bytes unused
  Store24(dest, out[0]);
  Store24(dest + 3, out[1]);
  Store24(dest + 6, out[2]);
  Store24(dest + 9, out[3]);
}

SSE2_FUNCTION void AlphaRow24Sse(uint8_t* dest, const uint8_t* source, const uint8_t* alpha, int count, int opacity,
                                 const BlendRows& rows) {
  const __m128i cut = _mm_set1_epi8(static_cast<char>(255 - opacity));
  int i = 0;
  for (; i + 8 <= count; i += 8) {
    if (ZeroBytes(_mm_subs_epu8(Load64(alpha + i), cut)) == 0xFF) continue;
    Blend4x24(dest + 3 * i, source + 3 * i, alpha + i, cut);
    Blend4x24(dest + 3 * i + 12, source + 3 * i + 12, alpha + i + 4, cut);
  }
  kPlainAlphaRows[2](dest + 3 * i, source + 3 * i, alpha + i, count - i, opacity, rows);
}

SSE2_FUNCTION void ConstantRow32Sse(uint8_t* dest, const uint8_t* source, int count, int opacity,
                                    const BlendRows& rows) {
  if (opacity <= 0 || opacity >= 255) return kPlainConstantRows[3](dest, source, count, opacity, rows);
  const __m128i a = _mm_set1_epi32(opacity * 0x010101);  // the fourth byte stays the destination's
  int i = 0;
  for (; i + 8 <= count; i += 8) {
    uint8_t* d = dest + 4 * i;
    const uint8_t* s = source + 4 * i;
    Store128(d, Blend4x32Inner(Load128(d), Load128(s), a));
    Store128(d + 16, Blend4x32Inner(Load128(d + 16), Load128(s + 16), a));
  }
  kPlainConstantRows[3](dest + 4 * i, source + 4 * i, count - i, opacity, rows);
}

// Eight 32-bit pixels (d0/s0: pixels 0-3, d1/s1: 4-7) whose alphas (bytes 0..7 of a8) all lie in 1..254.
SSE2_INLINE void BlendEightInner32(__m128i d0, __m128i s0, __m128i d1, __m128i s1, __m128i a8, __m128i* out0,
                                   __m128i* out1) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i scaled = _mm_unpacklo_epi8(a8, a8);  // 257a per pixel
  const __m128i a = _mm_add_epi16(scaled, _mm_set1_epi16(1)), b = _mm_sub_epi16(zero, scaled);
  *out0 = Blend4x32Split(d0, s0, _mm_unpacklo_epi16(a, a), _mm_unpacklo_epi16(b, b), _mm_unpacklo_epi16(a, zero),
                         _mm_unpacklo_epi16(b, zero));
  *out1 = Blend4x32Split(d1, s1, _mm_unpackhi_epi16(a, a), _mm_unpackhi_epi16(b, b), _mm_unpackhi_epi16(a, zero),
                         _mm_unpackhi_epi16(b, zero));
}

SSE2_INLINE void BlendEightInner32(uint8_t* d, const uint8_t* s, __m128i a8) {
  __m128i out0, out1;
  BlendEightInner32(Load128(d), Load128(s), Load128(d + 16), Load128(s + 16), a8, &out0, &out1);
  Store128(d, out0);
  Store128(d + 16, out1);
}

// Eight 32-bit pixels with alphas 0..255 mixed: blended with each alpha held to 1..254, then a pixel
// whose alpha is 0 keeps the destination and one whose alpha is 255 takes the whole source pixel.
SSE2_INLINE void BlendEightMixed32(uint8_t* d, const uint8_t* s, __m128i a8, __m128i zero8, __m128i full8) {
  const __m128i held = _mm_min_epu8(_mm_max_epu8(a8, _mm_set1_epi8(1)), _mm_set1_epi8(-2));
  const __m128i d0 = Load128(d), s0 = Load128(s), d1 = Load128(d + 16), s1 = Load128(s + 16);
  __m128i out0, out1;
  BlendEightInner32(d0, s0, d1, s1, held, &out0, &out1);
  const __m128i zero16 = _mm_unpacklo_epi8(zero8, zero8), full16 = _mm_unpacklo_epi8(full8, full8);
  out0 = Select(_mm_unpacklo_epi16(zero16, zero16), d0, out0);
  out1 = Select(_mm_unpackhi_epi16(zero16, zero16), d1, out1);
  Store128(d, Select(_mm_unpacklo_epi16(full16, full16), s0, out0));
  Store128(d + 16, Select(_mm_unpackhi_epi16(full16, full16), s1, out1));
}

// Eight 32-bit pixels with any alphas (bytes 0..7 of a8), zero8/full8 marking the alphas that are 0
// and 255 and zeros/fulls their bits 0..7.
SSE2_INLINE void BlendEight32(uint8_t* d, const uint8_t* s, __m128i a8, __m128i zero8, __m128i full8, int zeros,
                              int fulls) {
  if ((zeros | fulls) == 0) return BlendEightInner32(d, s, a8);
  if (zeros == 0xFF) return;
  if (fulls == 0xFF) {
    Store128(d, Load128(s));
    Store128(d + 16, Load128(s + 16));
    return;
  }
  BlendEightMixed32(d, s, a8, zero8, full8);
}

SSE2_FUNCTION void AlphaRow32Sse(uint8_t* dest, const uint8_t* source, const uint8_t* alpha, int count, int opacity,
                                 const BlendRows& rows) {
  const __m128i cut = _mm_set1_epi8(static_cast<char>(255 - opacity));
  const __m128i zero = _mm_setzero_si128(), full = _mm_set1_epi8(-1);
  int i = 0;
  // Sixteen pixels share one look at their alphas: most often none is 0 or 255, or all are alike.
  for (; i + 16 <= count; i += 16) {
    uint8_t* d = dest + 4 * i;
    const uint8_t* s = source + 4 * i;
    // Rows larger than the caches wait on memory: ask for both surfaces eight steps ahead (a hint only,
    // harmless past the end).
    _mm_prefetch(reinterpret_cast<const char*>(s + 512), _MM_HINT_T0);
    _mm_prefetch(reinterpret_cast<const char*>(d + 512), _MM_HINT_T0);
    const __m128i a16 = _mm_subs_epu8(Load128(alpha + i), cut);
    const __m128i zero16 = _mm_cmpeq_epi8(a16, zero), full16 = _mm_cmpeq_epi8(a16, full);
    const int zeros = _mm_movemask_epi8(zero16), fulls = _mm_movemask_epi8(full16);
    if ((zeros | fulls) == 0) {
      BlendEightInner32(d, s, a16);
      BlendEightInner32(d + 32, s + 32, _mm_srli_si128(a16, 8));
    } else if (zeros == 0xFFFF) {
      continue;
    } else if (fulls == 0xFFFF) {
      Store128(d, Load128(s));
      Store128(d + 16, Load128(s + 16));
      Store128(d + 32, Load128(s + 32));
      Store128(d + 48, Load128(s + 48));
    } else {
      BlendEight32(d, s, a16, zero16, full16, zeros & 0xFF, fulls & 0xFF);
      BlendEight32(d + 32, s + 32, _mm_srli_si128(a16, 8), _mm_srli_si128(zero16, 8), _mm_srli_si128(full16, 8),
                   zeros >> 8, fulls >> 8);
    }
  }
  for (; i + 8 <= count; i += 8) {
    const __m128i a8 = _mm_subs_epu8(Load64(alpha + i), cut);
    const __m128i zero8 = _mm_cmpeq_epi8(a8, zero), full8 = _mm_cmpeq_epi8(a8, full);
    BlendEight32(dest + 4 * i, source + 4 * i, a8, zero8, full8, _mm_movemask_epi8(zero8) & 0xFF,
                 _mm_movemask_epi8(full8) & 0xFF);
  }
  kPlainAlphaRows[3](dest + 4 * i, source + 4 * i, alpha + i, count - i, opacity, rows);
}

}  // namespace

const ConstantRow blit::kSseConstantRows[4] = {ConstantRow16Sse<true>, ConstantRow16Sse<false>, ConstantRow24Sse,
                                               ConstantRow32Sse};
const AlphaRow blit::kSseAlphaRows[4] = {AlphaRow16Sse<true>, AlphaRow16Sse<false>, AlphaRow24Sse, AlphaRow32Sse};

#endif
