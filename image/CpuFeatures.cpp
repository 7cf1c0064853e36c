#include "image/CpuFeatures.h"

#include <cstring>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

namespace {

constexpr uint32_t kExtendedBase = 0x80000000u;
constexpr uint32_t kOsxsaveBit = 1u << 27;  // leaf 1 ECX
constexpr uint32_t kAvx2Bit = 1u << 5;      // leaf 7 EBX
constexpr uint64_t kYmmState = 6;           // XCR0 bits 1 (XMM) and 2 (YMM)

#if defined(__i386__) || defined(__x86_64__)

bool CpuidInstructionExists() {
#if defined(__x86_64__)
  return true;  // every x86-64 processor has CPUID
#else
  // CPUID exists when bit 21 (ID) of EFLAGS can be changed.
  uint32_t original, toggled;
  __asm__ volatile(
      "pushfl\n\t"
      "pushfl\n\t"
      "popl %0\n\t"
      "movl %0, %1\n\t"
      "xorl $0x00200000, %0\n\t"
      "pushl %0\n\t"
      "popfl\n\t"
      "pushfl\n\t"
      "popl %0\n\t"
      "popfl\n\t"
      : "=&r"(toggled), "=&r"(original)
      :
      : "cc");
  return ((original ^ toggled) & 0x00200000u) != 0;
#endif
}

CpuidRegisters Cpuid(uint32_t leaf, uint32_t subleaf = 0) {
  CpuidRegisters r;
  unsigned int a, b, c, d;
  __cpuid_count(leaf, subleaf, a, b, c, d);
  r.eax = a;
  r.ebx = b;
  r.ecx = c;
  r.edx = d;
  return r;
}

// The extended control register 0: which register states the operating system saves. XGETBV exists
// only where CPUID reports OSXSAVE.
uint64_t ReadXcr0() {
  uint32_t low, high;
  __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
  return static_cast<uint64_t>(high) << 32 | low;
}

#endif

void AppendRegister(std::string* text, uint32_t value) {
  for (int i = 0; i < 4; ++i) text->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

}  // namespace

CpuidAnswers QueryCpuid() {
  CpuidAnswers answers;
#if defined(__i386__) || defined(__x86_64__)
  if (!CpuidInstructionExists()) return answers;
  answers.available = true;
  answers.leaf0 = Cpuid(0);
  if (answers.leaf0.eax >= 1) answers.leaf1 = Cpuid(1);
  if (answers.leaf0.eax >= 7) answers.leaf7 = Cpuid(7, 0);
  if (answers.leaf1.ecx & kOsxsaveBit) answers.xcr0 = ReadXcr0();
  answers.extended0 = Cpuid(kExtendedBase);
  const uint32_t highest = answers.extended0.eax;
  if (highest >= kExtendedBase + 1 && highest < kExtendedBase + 0x10000) {
    answers.extended1 = Cpuid(kExtendedBase + 1);
  }
  if (highest >= kExtendedBase + 4 && highest < kExtendedBase + 0x10000) {
    for (uint32_t i = 0; i < 3; ++i) answers.brand[i] = Cpuid(kExtendedBase + 2 + i);
  }
#endif
  return answers;
}

CpuFeatures DecodeCpuFeatures(const CpuidAnswers& answers) {
  CpuFeatures features;
  if (!answers.available) return features;

  AppendRegister(&features.vendor, answers.leaf0.ebx);
  AppendRegister(&features.vendor, answers.leaf0.edx);
  AppendRegister(&features.vendor, answers.leaf0.ecx);
  features.vendor.resize(std::strlen(features.vendor.c_str()));

  // Leaves past the highest one the processor reports answer with unrelated data: only read leaves
  // that exist.
  if (answers.leaf0.eax >= 1) {
    const uint32_t edx = answers.leaf1.edx;
    if (edx & (1u << 23)) features.flags |= kCpuMmx;
    if (edx & (1u << 25)) features.flags |= kCpuSse;
    if (edx & (1u << 26)) features.flags |= kCpuSse2;
  }
  features.avx2 = answers.leaf0.eax >= 7 && (answers.leaf7.ebx & kAvx2Bit) != 0 &&
                  (answers.leaf1.ecx & kOsxsaveBit) != 0 && (answers.xcr0 & kYmmState) == kYmmState;
  const uint32_t highest = answers.extended0.eax;
  const bool extendedRange = highest > kExtendedBase && highest < kExtendedBase + 0x10000;
  if (extendedRange && highest >= kExtendedBase + 1) {
    const uint32_t edx = answers.extended1.edx;
    if (edx & (1u << 31)) features.flags |= kCpu3DNow;
    if (edx & (1u << 30)) features.flags |= kCpu3DNowExt;
  }
  if (extendedRange && highest >= kExtendedBase + 4) {
    for (const CpuidRegisters& r : answers.brand) {
      AppendRegister(&features.brand, r.eax);
      AppendRegister(&features.brand, r.ebx);
      AppendRegister(&features.brand, r.ecx);
      AppendRegister(&features.brand, r.edx);
    }
    features.brand.resize(std::strlen(features.brand.c_str()));  // the text ends at its first NUL
  }
  return features;
}

const CpuFeatures& GetCpuFeatures() {
  static const CpuFeatures features = DecodeCpuFeatures(QueryCpuid());
  return features;
}
