// The AVX2 forms of the blit family's rows, on 256-bit registers: the constant-opacity and per-pixel
// alpha blends of every depth, the colour-key rows, the row copy and the conversions a bitmap is loaded
// through. They compute the plain forms' pixels with the SSE-level forms' exact arithmetic (see
// BlitSse.cpp for why each product is exact), twice as wide: eight 32-bit or sixteen 16-bit pixels a
// register. 24-bit pixels are spread into 32-bit lanes eight at a time (exactly 24 bytes read and 24
// written) and packed back. What remains of a row after the last whole step runs the plain form.
//
// Only these functions carry the AVX2 target, and they run only where the feature record says AVX2 can
// (the processor has it and the system saves the YMM registers). Win32 may enter a 32-bit program's
// callbacks with its stack aligned to 4 bytes only, so in the 32-bit build every entry point realigns
// the stack before it touches it.

#include "image/BlitPixel.h"
#include "image/PixelConvert.h"

#if defined(__i386__) || defined(__x86_64__)

#include <immintrin.h>

#define AVX2_INLINE static inline __attribute__((target("avx2"), always_inline))
#if defined(__i386__)
#define AVX2_FUNCTION __attribute__((target("avx2"), force_align_arg_pointer))
#else
#define AVX2_FUNCTION __attribute__((target("avx2")))
#endif

using namespace blit;

namespace {

AVX2_INLINE __m256i Load256(const uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
AVX2_INLINE void Store256(uint8_t* p, __m256i v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }
AVX2_INLINE __m128i Load128(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
AVX2_INLINE __m128i Load64(const uint8_t* p) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)); }
AVX2_INLINE void Store128(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
AVX2_INLINE void Store64(uint8_t* p, __m128i v) { _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v); }

// Surfaces larger than the second-level cache wait on memory: the rows ask for their bytes 2 KiB ahead.
// A hint only, harmless past the end of a buffer; the address is formed as a number, as a pointer past
// the end would not be valid.
AVX2_INLINE void Ahead(const uint8_t* p) {
  _mm_prefetch(reinterpret_cast<const char*>(reinterpret_cast<uintptr_t>(p) + 2048), _MM_HINT_T0);
}

// Bytes of ifSet where mask's bytes have their top bit set, of ifClear elsewhere.
AVX2_INLINE __m256i Select(__m256i mask, __m256i ifSet, __m256i ifClear) {
  return _mm256_blendv_epi8(ifClear, ifSet, mask);
}

// ---- 24-bit pixels in 32-bit lanes.

// Eight 24-bit pixels (the 24 bytes at p) in the 32-bit lanes of a register, fourth bytes 0.
AVX2_INLINE __m256i Load24x8(const uint8_t* p) {
  // Words 0..5 of raw are bytes 0..23; lane 0 takes bytes 0..11, lane 1 bytes 12..23.
  const __m256i raw = _mm256_inserti128_si256(_mm256_castsi128_si256(Load128(p)), Load64(p + 16), 1);
  const __m256i lanes = _mm256_permutevar8x32_epi32(raw, _mm256_setr_epi32(0, 1, 2, 0, 3, 4, 5, 0));
  return _mm256_shuffle_epi8(lanes, _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1, 0, 1, 2, -1,
                                                     3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1));
}

// The first three bytes of each 32-bit lane of v written as eight 24-bit pixels (24 bytes at p).
AVX2_INLINE void Store24x8(uint8_t* p, __m256i v) {
  const __m256i packed =
      _mm256_shuffle_epi8(v, _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, 0, 1, 2, 4, 5, 6,
                                              8, 9, 10, 12, 13, 14, -1, -1, -1, -1));
  const __m256i joined = _mm256_permutevar8x32_epi32(packed, _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 7, 7));
  Store128(p, _mm256_castsi256_si128(joined));
  Store64(p + 16, _mm256_extracti128_si256(joined, 1));
}

// ---- The 24- and 32-bit blend.

// The 16-bit multipliers of one alpha a in 1..254 for eight pixels whose bytes are widened to 16-bit
// lanes in pixel order: A = 257a + 1 for the source and B = 65536 - 257a for the destination for blue,
// green and red; 1 and 0 for the fourth byte, which then comes out 0.
struct ConstantMultipliers {
  __m256i a, b;
};

AVX2_INLINE ConstantMultipliers MultipliersFor(int alpha) {
  const uint64_t a = 257u * static_cast<uint32_t>(alpha) + 1, b = 65536u - 257u * static_cast<uint32_t>(alpha);
  return {_mm256_set1_epi64x(static_cast<long long>(a | a << 16 | a << 32 | uint64_t{1} << 48)),
          _mm256_set1_epi64x(static_cast<long long>(b | b << 16 | b << 32))};
}

// Eight pixels blended with one alpha, the fourth byte of d kept.
AVX2_INLINE __m256i BlendConstant8x32(__m256i d, __m256i s, const ConstantMultipliers& m) {
  const __m256i a = m.a, b = m.b;
  const __m256i zero = _mm256_setzero_si256();
  const __m256i low = _mm256_add_epi16(_mm256_mulhi_epu16(_mm256_unpacklo_epi8(s, zero), a),
                                       _mm256_mulhi_epu16(_mm256_unpacklo_epi8(d, zero), b));
  const __m256i high = _mm256_add_epi16(_mm256_mulhi_epu16(_mm256_unpackhi_epi8(s, zero), a),
                                        _mm256_mulhi_epu16(_mm256_unpackhi_epi8(d, zero), b));
  return _mm256_or_si256(_mm256_packus_epi16(low, high),
                         _mm256_and_si256(d, _mm256_set1_epi32(static_cast<int>(0xFF000000u))));
}

// Per-pixel alphas change every step, so their multipliers must be cheap to make: A and B for each
// pixel's even and odd bytes alike (blue and red, green and the fourth byte in 16-bit lanes), and
// BlendEach8x32 puts the destination's fourth byte over the blended one.
struct EachMultipliers {
  __m256i a, b;
};

AVX2_INLINE EachMultipliers PixelMultipliersEach(__m128i a8) {
  const __m256i scaled = _mm256_shuffle_epi8(
      _mm256_broadcastq_epi64(a8), _mm256_setr_epi8(0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5,
                                                    5, 6, 6, 6, 6, 7, 7, 7, 7));  // 257a
  return {_mm256_add_epi16(scaled, _mm256_set1_epi16(1)), _mm256_sub_epi16(_mm256_setzero_si256(), scaled)};
}

AVX2_INLINE __m256i BlendEach8x32(__m256i d, __m256i s, const EachMultipliers& m) {
  const __m256i low = _mm256_set1_epi16(0xFF), fourth = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
  const __m256i even = _mm256_add_epi16(_mm256_mulhi_epu16(_mm256_and_si256(s, low), m.a),
                                        _mm256_mulhi_epu16(_mm256_and_si256(d, low), m.b));
  const __m256i odd = _mm256_add_epi16(_mm256_mulhi_epu16(_mm256_srli_epi16(s, 8), m.a),
                                       _mm256_mulhi_epu16(_mm256_srli_epi16(d, 8), m.b));
  return _mm256_or_si256(_mm256_andnot_si256(fourth, _mm256_or_si256(even, _mm256_slli_epi16(odd, 8))),
                         _mm256_and_si256(d, fourth));
}

// Eight pixels with alphas 0..255 (bytes 0..7 of a8; zero8 and full8 mark those that are 0 and 255):
// blended with each alpha held to 1..254, then an alpha of 0 keeps the destination pixel and one of 255
// takes the whole source pixel.
AVX2_INLINE __m256i BlendMixed8x32(__m256i d, __m256i s, __m128i a8, __m128i zero8, __m128i full8) {
  const __m128i held = _mm_min_epu8(_mm_max_epu8(a8, _mm_set1_epi8(1)), _mm_set1_epi8(-2));
  const __m256i mixed = BlendEach8x32(d, s, PixelMultipliersEach(held));
  return Select(_mm256_cvtepi8_epi32(full8), s, Select(_mm256_cvtepi8_epi32(zero8), d, mixed));
}

// Eight 32-bit pixels at d and s drawn with the alphas of a8; zeros and fulls are zero8's and full8's
// bits 0..7.
AVX2_INLINE void AlphaEight32(uint8_t* d, const uint8_t* s, __m128i a8, __m128i zero8, __m128i full8, int zeros,
                              int fulls) {
  if ((zeros | fulls) == 0) return Store256(d, BlendEach8x32(Load256(d), Load256(s), PixelMultipliersEach(a8)));
  if (zeros == 0xFF) return;
  if (fulls == 0xFF) return Store256(d, Load256(s));
  Store256(d, BlendMixed8x32(Load256(d), Load256(s), a8, zero8, full8));
}

AVX2_FUNCTION void AlphaRow32Avx2(uint8_t* dest, const uint8_t* source, const uint8_t* alpha, int count, int opacity,
                                  const BlendRows& rows) {
  const __m128i cut = _mm_set1_epi8(static_cast<char>(255 - opacity));
  const __m128i zero = _mm_setzero_si128(), full = _mm_set1_epi8(-1);
  int i = 0;
  // Sixteen pixels share one look at their alphas: most often none is 0 or 255, or all are alike.
  for (; i + 16 <= count; i += 16) {
    uint8_t* d = dest + 4 * i;
    const uint8_t* s = source + 4 * i;
    Ahead(s);
    Ahead(d);
    const __m128i a16 = _mm_subs_epu8(Load128(alpha + i), cut);
    const __m128i zero16 = _mm_cmpeq_epi8(a16, zero), full16 = _mm_cmpeq_epi8(a16, full);
    const int zeros = _mm_movemask_epi8(zero16), fulls = _mm_movemask_epi8(full16);
    if ((zeros | fulls) == 0) {
      Store256(d, BlendEach8x32(Load256(d), Load256(s), PixelMultipliersEach(a16)));
      Store256(d + 32, BlendEach8x32(Load256(d + 32), Load256(s + 32), PixelMultipliersEach(_mm_srli_si128(a16, 8))));
    } else if (zeros == 0xFFFF) {
      continue;
    } else if (fulls == 0xFFFF) {
      Store256(d, Load256(s));
      Store256(d + 32, Load256(s + 32));
    } else {
      AlphaEight32(d, s, a16, zero16, full16, zeros & 0xFF, fulls & 0xFF);
      AlphaEight32(d + 32, s + 32, _mm_srli_si128(a16, 8), _mm_srli_si128(zero16, 8), _mm_srli_si128(full16, 8),
                   zeros >> 8, fulls >> 8);
    }
  }
  for (; i + 8 <= count; i += 8) {
    const __m128i a8 = _mm_subs_epu8(Load64(alpha + i), cut);
    const __m128i zero8 = _mm_cmpeq_epi8(a8, zero), full8 = _mm_cmpeq_epi8(a8, full);
    AlphaEight32(dest + 4 * i, source + 4 * i, a8, zero8, full8, _mm_movemask_epi8(zero8) & 0xFF,
                 _mm_movemask_epi8(full8) & 0xFF);
  }
  kPlainAlphaRows[3](dest + 4 * i, source + 4 * i, alpha + i, count - i, opacity, rows);
}

AVX2_FUNCTION void ConstantRow32Avx2(uint8_t* dest, const uint8_t* source, int count, int opacity,
                                     const BlendRows& rows) {
  if (opacity <= 0 || opacity >= 255) return kPlainConstantRows[3](dest, source, count, opacity, rows);
  const ConstantMultipliers m = MultipliersFor(opacity);
  int i = 0;
  for (; i + 16 <= count; i += 16) {
    uint8_t* d = dest + 4 * i;
    const uint8_t* s = source + 4 * i;
    Ahead(s);
    Ahead(d);
    Store256(d, BlendConstant8x32(Load256(d), Load256(s), m));
    Store256(d + 32, BlendConstant8x32(Load256(d + 32), Load256(s + 32), m));
  }
  for (; i + 8 <= count; i += 8)
    Store256(dest + 4 * i, BlendConstant8x32(Load256(dest + 4 * i), Load256(source + 4 * i), m));
  kPlainConstantRows[3](dest + 4 * i, source + 4 * i, count - i, opacity, rows);
}

AVX2_FUNCTION void AlphaRow24Avx2(uint8_t* dest, const uint8_t* source, const uint8_t* alpha, int count, int opacity,
                                  const BlendRows& rows) {
  const __m128i cut = _mm_set1_epi8(static_cast<char>(255 - opacity));
  const __m128i zero = _mm_setzero_si128(), full = _mm_set1_epi8(-1);
  int i = 0;
  for (; i + 8 <= count; i += 8) {
    uint8_t* d = dest + 3 * i;
    const uint8_t* s = source + 3 * i;
    const __m128i a8 = _mm_subs_epu8(Load64(alpha + i), cut);
    const __m128i zero8 = _mm_cmpeq_epi8(a8, zero), full8 = _mm_cmpeq_epi8(a8, full);
    const int zeros = _mm_movemask_epi8(zero8) & 0xFF, fulls = _mm_movemask_epi8(full8) & 0xFF;
    if (zeros == 0xFF) continue;
    if (fulls == 0xFF) {
      std::memcpy(d, s, 24);
      continue;
    }
    const __m256i dv = Load24x8(d), sv = Load24x8(s);
    Store24x8(d, (zeros | fulls) == 0 ? BlendEach8x32(dv, sv, PixelMultipliersEach(a8))
                                      : BlendMixed8x32(dv, sv, a8, zero8, full8));
  }
  kPlainAlphaRows[2](dest + 3 * i, source + 3 * i, alpha + i, count - i, opacity, rows);
}

// 32 bytes blended byte by byte, every byte with the same a: A and B (see ConstantMultipliers) in every
// lane.
AVX2_INLINE __m256i MixBytes(__m256i d, __m256i s, __m256i a, __m256i b) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i low = _mm256_add_epi16(_mm256_mulhi_epu16(_mm256_unpacklo_epi8(s, zero), a),
                                       _mm256_mulhi_epu16(_mm256_unpacklo_epi8(d, zero), b));
  const __m256i high = _mm256_add_epi16(_mm256_mulhi_epu16(_mm256_unpackhi_epi8(s, zero), a),
                                        _mm256_mulhi_epu16(_mm256_unpackhi_epi8(d, zero), b));
  return _mm256_packus_epi16(low, high);
}

AVX2_FUNCTION void ConstantRow24Avx2(uint8_t* dest, const uint8_t* source, int count, int opacity,
                                     const BlendRows& rows) {
  if (opacity <= 0 || opacity >= 255) return kPlainConstantRows[2](dest, source, count, opacity, rows);
  // Every byte blends alike: the row is a run of bytes, 96 (32 pixels) a step, then 24 (8 pixels).
  const __m256i a = _mm256_set1_epi16(static_cast<short>(257 * opacity + 1));
  const __m256i b = _mm256_set1_epi16(static_cast<short>(65536 - 257 * opacity));
  int i = 0;
  for (; i + 32 <= count; i += 32) {
    uint8_t* d = dest + 3 * i;
    const uint8_t* s = source + 3 * i;
    Store256(d, MixBytes(Load256(d), Load256(s), a, b));
    Store256(d + 32, MixBytes(Load256(d + 32), Load256(s + 32), a, b));
    Store256(d + 64, MixBytes(Load256(d + 64), Load256(s + 64), a, b));
  }
  for (; i + 8 <= count; i += 8) {
    uint8_t* d = dest + 3 * i;
    const uint8_t* s = source + 3 * i;
    const __m256i dv = _mm256_inserti128_si256(_mm256_castsi128_si256(Load128(d)), Load64(d + 16), 1);
    const __m256i sv = _mm256_inserti128_si256(_mm256_castsi128_si256(Load128(s)), Load64(s + 16), 1);
    const __m256i out = MixBytes(dv, sv, a, b);
    Store128(d, _mm256_castsi256_si128(out));
    Store64(d + 16, _mm256_extracti128_si256(out, 1));
  }
  kPlainConstantRows[2](dest + 3 * i, source + 3 * i, count - i, opacity, rows);
}

// ---- The 15- and 16-bit blend.

// c * level / 31 in 16-bit lanes (exact for c * level <= 63 * 31).
AVX2_INLINE __m256i Scale31(__m256i c, __m256i level) {
  return _mm256_mulhi_epu16(_mm256_mullo_epi16(c, level), _mm256_set1_epi16(2115));
}

// Sixteen 16-bit pixels: T[31 - a5][d] + T[a5][s] with a5 = a >> 3 (a in 16-bit lanes); a = 0 keeps d,
// 255 copies s. T555's level 31 gives 0 for a pixel with bit 15 set.
template <bool Is555>
AVX2_INLINE __m256i Blend16x16(__m256i d, __m256i s, __m256i a) {
  const __m256i full = _mm256_set1_epi16(31);
  const __m256i sourceLevel = _mm256_srli_epi16(a, 3);
  const __m256i destLevel = _mm256_sub_epi16(full, sourceLevel);
  __m256i ds = d, ss = s;
  if (Is555) {
    ss = _mm256_andnot_si256(_mm256_and_si256(_mm256_cmpeq_epi16(sourceLevel, full), _mm256_srai_epi16(s, 15)), s);
    ds = _mm256_andnot_si256(_mm256_and_si256(_mm256_cmpeq_epi16(destLevel, full), _mm256_srai_epi16(d, 15)), d);
  }
  const int redShift = Is555 ? 10 : 11;
  const __m256i channel = _mm256_set1_epi16(31), greenMask = _mm256_set1_epi16(Is555 ? 31 : 63);
  const __m256i red = _mm256_add_epi16(Scale31(_mm256_and_si256(_mm256_srli_epi16(ss, redShift), channel), sourceLevel),
                                       Scale31(_mm256_and_si256(_mm256_srli_epi16(ds, redShift), channel), destLevel));
  const __m256i green = _mm256_add_epi16(Scale31(_mm256_and_si256(_mm256_srli_epi16(ss, 5), greenMask), sourceLevel),
                                         Scale31(_mm256_and_si256(_mm256_srli_epi16(ds, 5), greenMask), destLevel));
  const __m256i blue = _mm256_add_epi16(Scale31(_mm256_and_si256(ss, channel), sourceLevel),
                                        Scale31(_mm256_and_si256(ds, channel), destLevel));
  const __m256i mixed =
      _mm256_or_si256(_mm256_or_si256(_mm256_slli_epi16(red, redShift), _mm256_slli_epi16(green, 5)), blue);
  const __m256i kept = Select(_mm256_cmpeq_epi16(a, _mm256_setzero_si256()), d, mixed);
  return Select(_mm256_cmpeq_epi16(a, _mm256_set1_epi16(0xFF)), s, kept);
}

template <bool Is555>
AVX2_FUNCTION void ConstantRow16Avx2(uint8_t* dest, const uint8_t* source, int count, int opacity,
                                     const BlendRows& rows) {
  const ConstantRow plain = kPlainConstantRows[Is555 ? 0 : 1];
  if (opacity <= 0 || opacity >= 255) return plain(dest, source, count, opacity, rows);
  const __m256i a = _mm256_set1_epi16(static_cast<short>(opacity));
  int i = 0;
  for (; i + 16 <= count; i += 16) {
    Ahead(source + 2 * i);
    Ahead(dest + 2 * i);
    Store256(dest + 2 * i, Blend16x16<Is555>(Load256(dest + 2 * i), Load256(source + 2 * i), a));
  }
  plain(dest + 2 * i, source + 2 * i, count - i, opacity, rows);
}

template <bool Is555>
AVX2_FUNCTION void AlphaRow16Avx2(uint8_t* dest, const uint8_t* source, const uint8_t* alpha, int count, int opacity,
                                  const BlendRows& rows) {
  const __m128i cut = _mm_set1_epi8(static_cast<char>(255 - opacity));
  int i = 0;
  for (; i + 16 <= count; i += 16) {
    Ahead(source + 2 * i);
    Ahead(dest + 2 * i);
    const __m128i a16 = _mm_subs_epu8(Load128(alpha + i), cut);
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(a16, _mm_setzero_si128())) == 0xFFFF) continue;
    const __m256i s = Load256(source + 2 * i);
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(a16, _mm_set1_epi8(-1))) == 0xFFFF) {
      Store256(dest + 2 * i, s);
      continue;
    }
    Store256(dest + 2 * i, Blend16x16<Is555>(Load256(dest + 2 * i), s, _mm256_cvtepu8_epi16(a16)));
  }
  kPlainAlphaRows[Is555 ? 0 : 1](dest + 2 * i, source + 2 * i, alpha + i, count - i, opacity, rows);
}

// ---- Colour key: the pixels whose keyed bits equal the key are skipped, the others copied (opacity
// 255) or blended with the opacity. A step whose pixels are all keyed writes nothing; the others write
// the keyed pixels back unchanged.

template <bool Copy>
AVX2_INLINE void KeyLoop32(uint8_t* dest, const uint8_t* source, int count, uint32_t key, uint32_t keyMask, int opacity,
                           int* done) {
  const __m256i keys = _mm256_set1_epi32(static_cast<int>(key)), mask = _mm256_set1_epi32(static_cast<int>(keyMask));
  const ConstantMultipliers m = MultipliersFor(opacity);  // not used by a copy
  int i = 0;
  for (; i + 8 <= count; i += 8) {
    uint8_t* d = dest + 4 * i;
    Ahead(source + 4 * i);
    Ahead(d);
    const __m256i s = Load256(source + 4 * i);
    const __m256i keyed = _mm256_cmpeq_epi32(_mm256_and_si256(s, mask), keys);
    const int marks = _mm256_movemask_epi8(keyed);
    if (marks == -1) continue;
    if (Copy && marks == 0) {
      Store256(d, s);
      continue;
    }
    const __m256i dv = Load256(d);
    Store256(d, Select(keyed, dv, Copy ? s : BlendConstant8x32(dv, s, m)));
  }
  *done = i;
}

AVX2_FUNCTION void KeyRow32Avx2(uint8_t* dest, const uint8_t* source, int count, uint32_t key, uint32_t keyMask,
                                int opacity, const BlendRows& rows) {
  if (opacity <= 0) return;
  int i = 0;
  if (opacity >= 255)
    KeyLoop32<true>(dest, source, count, key, keyMask, opacity, &i);
  else
    KeyLoop32<false>(dest, source, count, key, keyMask, opacity, &i);
  kPlainKeyRows[3](dest + 4 * i, source + 4 * i, count - i, key, keyMask, opacity, rows);
}

template <bool Copy>
AVX2_INLINE void KeyLoop24(uint8_t* dest, const uint8_t* source, int count, uint32_t key, int opacity, int* done) {
  const __m256i keys = _mm256_set1_epi32(static_cast<int>(key));  // Load24x8 leaves the fourth bytes 0
  const ConstantMultipliers m = MultipliersFor(opacity);
  int i = 0;
  for (; i + 8 <= count; i += 8) {
    uint8_t* d = dest + 3 * i;
    const __m256i s = Load24x8(source + 3 * i);
    const __m256i keyed = _mm256_cmpeq_epi32(s, keys);
    const int marks = _mm256_movemask_epi8(keyed);
    if (marks == -1) continue;
    if (Copy && marks == 0) {
      std::memcpy(d, source + 3 * i, 24);
      continue;
    }
    const __m256i dv = Load24x8(d);
    Store24x8(d, Select(keyed, dv, Copy ? s : BlendConstant8x32(dv, s, m)));
  }
  *done = i;
}

AVX2_FUNCTION void KeyRow24Avx2(uint8_t* dest, const uint8_t* source, int count, uint32_t key, uint32_t keyMask,
                                int opacity, const BlendRows& rows) {
  if (opacity <= 0) return;
  int i = 0;
  if (opacity >= 255)
    KeyLoop24<true>(dest, source, count, key & keyMask, opacity, &i);
  else
    KeyLoop24<false>(dest, source, count, key & keyMask, opacity, &i);
  kPlainKeyRows[2](dest + 3 * i, source + 3 * i, count - i, key, keyMask, opacity, rows);
}

template <bool Is555, bool Copy>
AVX2_INLINE void KeyLoop16(uint8_t* dest, const uint8_t* source, int count, uint32_t key, uint32_t keyMask, int opacity,
                           int* done) {
  const __m256i keys = _mm256_set1_epi16(static_cast<short>(key));
  const __m256i mask = _mm256_set1_epi16(static_cast<short>(keyMask));
  const __m256i a = _mm256_set1_epi16(static_cast<short>(opacity));
  int i = 0;
  for (; i + 16 <= count; i += 16) {
    uint8_t* d = dest + 2 * i;
    const __m256i s = Load256(source + 2 * i);
    const __m256i keyed = _mm256_cmpeq_epi16(_mm256_and_si256(s, mask), keys);
    const int marks = _mm256_movemask_epi8(keyed);
    if (marks == -1) continue;
    if (Copy && marks == 0) {
      Store256(d, s);
      continue;
    }
    const __m256i dv = Load256(d);
    Store256(d, Select(keyed, dv, Copy ? s : Blend16x16<Is555>(dv, s, a)));
  }
  *done = i;
}

template <bool Is555>
AVX2_FUNCTION void KeyRow16Avx2(uint8_t* dest, const uint8_t* source, int count, uint32_t key, uint32_t keyMask,
                                int opacity, const BlendRows& rows) {
  if (opacity <= 0) return;
  int i = 0;
  if (opacity >= 255)
    KeyLoop16<Is555, true>(dest, source, count, key, keyMask, opacity, &i);
  else
    KeyLoop16<Is555, false>(dest, source, count, key, keyMask, opacity, &i);
  kPlainKeyRows[Is555 ? 0 : 1](dest + 2 * i, source + 2 * i, count - i, key, keyMask, opacity, rows);
}

// ---- Row copy.

constexpr size_t kLongRun = 64 * 1024;

AVX2_FUNCTION void CopyRowAvx2(uint8_t* dest, const uint8_t* source, size_t bytes) {
  const uintptr_t d = reinterpret_cast<uintptr_t>(dest), s = reinterpret_cast<uintptr_t>(source);
  // Short rows gain nothing; rows that overlap (a draw within one surface) need memmove's order; and
  // long runs (whole surfaces without row padding) are better left to the C library, which picks its
  // way of copying by the size (string moves, stores past the caches).
  if (bytes < 32 || bytes >= kLongRun || (d < s + bytes && s < d + bytes)) {
    std::memmove(dest, source, bytes);
    return;
  }
  // The first 32 bytes unaligned, then whole steps on 32-byte aligned destination addresses (stores
  // that cross cache lines cost more), partly over the first ones.
  Store256(dest, Load256(source));
  size_t i = 32 - (d & 31);
  for (; i + 128 <= bytes; i += 128) {
    const __m256i v0 = Load256(source + i), v1 = Load256(source + i + 32);
    const __m256i v2 = Load256(source + i + 64), v3 = Load256(source + i + 96);
    Store256(dest + i, v0);
    Store256(dest + i + 32, v1);
    Store256(dest + i + 64, v2);
    Store256(dest + i + 96, v3);
  }
  for (; i + 32 <= bytes; i += 32) Store256(dest + i, Load256(source + i));
  // The last bytes as one step ending at the row's end, partly over bytes already copied.
  if (i < bytes) Store256(dest + bytes - 32, Load256(source + bytes - 32));
}

// ---- Conversions: 24 -> 32 adds a zero fourth byte; 24 and 32 -> 15 and 16 keep the top bits of each
// channel.

AVX2_FUNCTION void Convert24To32Avx2(uint8_t* target, const uint8_t* source, int count) {
  int i = 0;
  for (; i + 8 <= count; i += 8) {
    Ahead(source + 3 * i);
    Ahead(target + 4 * i);
    Store256(target + 4 * i, Load24x8(source + 3 * i));
  }
  ConvertRow(target + 4 * i, 32, source + 3 * i, 24, count - i);
}

// Pixels 0x??RRGGBB in 32-bit lanes packed to the depth, in the same lanes.
template <int Depth>
AVX2_INLINE __m256i Pack16(__m256i p) {
  const int redShift = Depth == 15 ? 9 : 8, greenShift = Depth == 15 ? 6 : 5;
  const int redMask = Depth == 15 ? 0x7C00 : 0xF800, greenMask = Depth == 15 ? 0x03E0 : 0x07E0;
  return _mm256_or_si256(
      _mm256_or_si256(_mm256_and_si256(_mm256_srli_epi32(p, redShift), _mm256_set1_epi32(redMask)),
                      _mm256_and_si256(_mm256_srli_epi32(p, greenShift), _mm256_set1_epi32(greenMask))),
      _mm256_and_si256(_mm256_srli_epi32(p, 3), _mm256_set1_epi32(0x1F)));
}

// Sixteen packed pixels (eight in each of low's and high's 32-bit lanes) as sixteen 16-bit pixels in
// order.
AVX2_INLINE __m256i Narrow(__m256i low, __m256i high) {
  return _mm256_permute4x64_epi64(_mm256_packus_epi32(low, high), 0xD8);
}

template <int Depth>
AVX2_FUNCTION void Convert32To16Avx2(uint8_t* target, const uint8_t* source, int count) {
  int i = 0;
  for (; i + 16 <= count; i += 16) {
    const uint8_t* s = source + 4 * i;
    Ahead(s);
    Ahead(s + 32);
    Ahead(target + 2 * i);
    Store256(target + 2 * i, Narrow(Pack16<Depth>(Load256(s)), Pack16<Depth>(Load256(s + 32))));
  }
  ConvertRow(target + 2 * i, Depth, source + 4 * i, 32, count - i);
}

template <int Depth>
AVX2_FUNCTION void Convert24To16Avx2(uint8_t* target, const uint8_t* source, int count) {
  int i = 0;
  for (; i + 16 <= count; i += 16) {
    const uint8_t* s = source + 3 * i;
    Store256(target + 2 * i, Narrow(Pack16<Depth>(Load24x8(s)), Pack16<Depth>(Load24x8(s + 24))));
  }
  ConvertRow(target + 2 * i, Depth, source + 3 * i, 24, count - i);
}

}  // namespace

const ConstantRow blit::kAvx2ConstantRows[4] = {ConstantRow16Avx2<true>, ConstantRow16Avx2<false>, ConstantRow24Avx2,
                                                ConstantRow32Avx2};
const AlphaRow blit::kAvx2AlphaRows[4] = {AlphaRow16Avx2<true>, AlphaRow16Avx2<false>, AlphaRow24Avx2, AlphaRow32Avx2};
const KeyRow blit::kAvx2KeyRows[4] = {KeyRow16Avx2<true>, KeyRow16Avx2<false>, KeyRow24Avx2, KeyRow32Avx2};
const CopyRow blit::kAvx2CopyRow = CopyRowAvx2;

RowConverter blit::FindAvx2Converter(int targetDepth, int sourceDepth) {
  if (sourceDepth == 24 && targetDepth == 32) return Convert24To32Avx2;
  if (sourceDepth == 24 && targetDepth == 16) return Convert24To16Avx2<16>;
  if (sourceDepth == 24 && targetDepth == 15) return Convert24To16Avx2<15>;
  if (sourceDepth == 32 && targetDepth == 16) return Convert32To16Avx2<16>;
  if (sourceDepth == 32 && targetDepth == 15) return Convert32To16Avx2<15>;
  return nullptr;
}

#endif
