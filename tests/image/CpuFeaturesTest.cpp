// Decoding of the CPUID answers into the processor feature record.

#include <gtest/gtest.h>

#include "image/CpuFeatures.h"

namespace {

// Register values spell text little-endian, four characters each.
uint32_t Chars(const char (&text)[5]) {
  return static_cast<uint8_t>(text[0]) | static_cast<uint8_t>(text[1]) << 8 | static_cast<uint8_t>(text[2]) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(text[3])) << 24;
}

CpuidAnswers AmdK6_2() {
  CpuidAnswers a;
  a.available = true;
  a.leaf0 = {1, Chars("Auth"), Chars("cAMD"), Chars("enti")};
  a.leaf1.edx = 1u << 23;  // MMX only
  a.extended0.eax = 0x80000005;
  a.extended1.edx = (1u << 31) | (1u << 23);
  const char brand[] = "AMD-K6(tm) 3D processor\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0";
  uint32_t words[12];
  for (int i = 0; i < 12; ++i)
    words[i] = static_cast<uint8_t>(brand[4 * i]) | static_cast<uint8_t>(brand[4 * i + 1]) << 8 |
               static_cast<uint8_t>(brand[4 * i + 2]) << 16 |
               static_cast<uint32_t>(static_cast<uint8_t>(brand[4 * i + 3])) << 24;
  for (int i = 0; i < 3; ++i) a.brand[i] = {words[4 * i], words[4 * i + 1], words[4 * i + 2], words[4 * i + 3]};
  return a;
}

TEST(CpuFeaturesTest, NoCpuidMeansPlainX86) {
  CpuidAnswers none;            // as QueryCpuid leaves it when the ID bit cannot be toggled
  none.leaf1.edx = 0xFFFFFFFF;  // whatever else is there is not looked at
  CpuFeatures f = DecodeCpuFeatures(none);
  EXPECT_EQ(f.flags, 0u);
  EXPECT_EQ(f.Level(), kProcessorPlain);
  EXPECT_EQ(f.vendor, "");
  EXPECT_EQ(f.brand, "");
}

TEST(CpuFeaturesTest, DecodesFlagsVendorAndBrand) {
  CpuFeatures k6 = DecodeCpuFeatures(AmdK6_2());
  EXPECT_EQ(k6.vendor, "AuthenticAMD");
  EXPECT_EQ(k6.flags, kCpuMmx | kCpu3DNow);
  EXPECT_EQ(k6.Level(), kProcessorMmx);
  EXPECT_EQ(k6.brand, "AMD-K6(tm) 3D processor");

  // Every flag bit from its own register bit.
  CpuidAnswers a = AmdK6_2();
  a.leaf1.edx = 1u << 25;
  a.extended1.edx = 1u << 30;
  EXPECT_EQ(DecodeCpuFeatures(a).flags, kCpuSse | kCpu3DNowExt);
  EXPECT_EQ(DecodeCpuFeatures(a).Level(), 2);
  a.leaf1.edx = (1u << 23) | (1u << 25) | (1u << 26);
  a.extended1.edx = 0;
  EXPECT_EQ(DecodeCpuFeatures(a).flags, kCpuMmx | kCpuSse | kCpuSse2);
  EXPECT_EQ(DecodeCpuFeatures(a).Level(), 3);
  a.leaf1.edx = ~((1u << 23) | (1u << 25) | (1u << 26));  // other bits do not leak into the flags
  EXPECT_EQ(DecodeCpuFeatures(a).flags, 0u);
}

TEST(CpuFeaturesTest, LeavesThatDoNotExistAreNotRead) {
  CpuidAnswers a = AmdK6_2();
  a.extended0.eax = 0x80000000;  // no extended leaf past the first: no 3DNow!, no brand
  CpuFeatures f = DecodeCpuFeatures(a);
  EXPECT_EQ(f.flags, kCpuMmx);
  EXPECT_EQ(f.brand, "");

  a = AmdK6_2();
  a.extended0.eax = 0x80000001;  // 3DNow! bits exist, the brand leaves do not
  f = DecodeCpuFeatures(a);
  EXPECT_EQ(f.flags, kCpuMmx | kCpu3DNow);
  EXPECT_EQ(f.brand, "");

  a = AmdK6_2();
  a.extended0.eax = 0x00000002;  // no extended range at all (old processors echo a basic leaf)
  EXPECT_EQ(DecodeCpuFeatures(a).flags, kCpuMmx);

  a = AmdK6_2();
  a.leaf0.eax = 0;  // only leaf 0: vendor but no feature bits
  f = DecodeCpuFeatures(a);
  EXPECT_EQ(f.vendor, "AuthenticAMD");
  EXPECT_EQ(f.flags, kCpu3DNow);
}

// A processor of today: leaf 7 present, AVX2 in it, and an operating system that saves the YMM state.
CpuidAnswers WithAvx2() {
  CpuidAnswers a = AmdK6_2();
  a.leaf0.eax = 0x10;
  a.leaf1.edx = (1u << 23) | (1u << 25) | (1u << 26);
  a.leaf1.ecx = 1u << 27;  // OSXSAVE
  a.leaf7.ebx = 1u << 5;
  a.xcr0 = 0x7;  // x87, XMM and YMM state saved
  return a;
}

TEST(CpuFeaturesTest, Avx2NeedsTheProcessorBitAndTheSavedYmmState) {
  const CpuFeatures full = DecodeCpuFeatures(WithAvx2());
  EXPECT_TRUE(full.avx2);
  // The ability sits beside the flags word, which stays what the five defined bits give.
  EXPECT_EQ(full.flags, kCpuMmx | kCpuSse | kCpuSse2 | kCpu3DNow);
  EXPECT_EQ(full.Level(), 3);
  EXPECT_EQ(full.vendor, "AuthenticAMD");
  EXPECT_EQ(full.brand, "AMD-K6(tm) 3D processor");

  CpuidAnswers a = WithAvx2();
  a.leaf7.ebx = ~(1u << 5);  // every other leaf 7 feature, AVX2 missing
  EXPECT_FALSE(DecodeCpuFeatures(a).avx2);

  a = WithAvx2();
  a.leaf1.ecx = 0;  // no OSXSAVE: XGETBV does not exist and the state is not known to be saved
  EXPECT_FALSE(DecodeCpuFeatures(a).avx2);

  for (uint64_t xcr0 : {uint64_t{0}, uint64_t{1}, uint64_t{3}, uint64_t{5}}) {
    a = WithAvx2();
    a.xcr0 = xcr0;  // the YMM or the XMM state not saved
    EXPECT_FALSE(DecodeCpuFeatures(a).avx2) << "XCR0 " << xcr0;
  }
  a = WithAvx2();
  a.xcr0 = 0xE7;  // AVX-512 state saved as well
  EXPECT_TRUE(DecodeCpuFeatures(a).avx2);

  a = WithAvx2();
  a.leaf0.eax = 6;  // leaf 7 does not exist: whatever its registers hold is not looked at
  EXPECT_FALSE(DecodeCpuFeatures(a).avx2);

  a = WithAvx2();
  a.available = false;
  EXPECT_FALSE(DecodeCpuFeatures(a).avx2);
}

TEST(CpuFeaturesTest, ThisProcessor) {
  const CpuFeatures& f = GetCpuFeatures();
  EXPECT_EQ(&f, &GetCpuFeatures());
  EXPECT_EQ(GetProcessorLevel(), static_cast<int>(f.flags & 3));
  EXPECT_EQ(f.flags & ~0x1Fu, 0u);
#if defined(__x86_64__)
  // Every x86-64 processor has CPUID with MMX, SSE and SSE2 and a 12-character vendor.
  EXPECT_EQ(f.flags & (kCpuMmx | kCpuSse | kCpuSse2), kCpuMmx | kCpuSse | kCpuSse2);
  EXPECT_EQ(f.Level(), 3);
  EXPECT_EQ(f.vendor.size(), 12u);
  EXPECT_LE(f.brand.size(), 48u);
#endif
}

}  // namespace
