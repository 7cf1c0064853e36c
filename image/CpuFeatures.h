#pragma once
// The processor's instruction-set features, read once with CPUID; the drawing routines pick their plain
// x86, MMX or SSE form from the processor level (flags & 3), and the AVX2 form where the record says
// AVX2 can run.
//
// Flags word: bit 0 MMX (leaf 1 EDX 23), bit 1 SSE (EDX 25), bit 2 SSE2 (EDX 26), bit 3 3DNow!
// (leaf 0x80000001 EDX 31), bit 4 extended 3DNow! (leaf 0x80000001 EDX 30). Without CPUID every flag
// is 0 and the strings are empty.
//
// AVX2 is kept beside the flags word, which stays as it is: it can run when leaf 7 (sub-leaf 0) EBX bit
// 5 says the processor has it and the operating system saves the YMM registers on a task switch, that is
// OSXSAVE (leaf 1 ECX 27) is set and XGETBV(0) has bits 1 (XMM) and 2 (YMM) set. Without that saving a
// thread switch would lose the upper halves of the registers, so the processor bit alone is not enough.

#include <cstdint>
#include <string>

enum CpuFeatureFlag : uint32_t {
  kCpuMmx = 1u << 0,
  kCpuSse = 1u << 1,
  kCpuSse2 = 1u << 2,
  kCpu3DNow = 1u << 3,
  kCpu3DNowExt = 1u << 4,
};

enum ProcessorLevel { kProcessorPlain = 0, kProcessorMmx = 1 };  // 2 and 3: SSE

struct CpuidRegisters {
  uint32_t eax = 0, ebx = 0, ecx = 0, edx = 0;
};

// The CPUID answers the record is made from. Leaves the processor does not offer stay zero.
struct CpuidAnswers {
  bool available = false;    // the ID bit of EFLAGS can be toggled
  CpuidRegisters leaf0;      // highest basic leaf, vendor
  CpuidRegisters leaf1;      // feature bits
  CpuidRegisters leaf7;      // leaf 7, sub-leaf 0: structured extended features (AVX2)
  uint64_t xcr0 = 0;         // XGETBV(0), read only when leaf 1 reports OSXSAVE
  CpuidRegisters extended0;  // leaf 0x80000000: highest extended leaf
  CpuidRegisters extended1;  // leaf 0x80000001: 3DNow! bits
  CpuidRegisters brand[3];   // leaves 0x80000002..0x80000004
};

struct CpuFeatures {
  uint32_t flags = 0;
  std::string vendor;  // 12 characters, e.g. "GenuineIntel"
  std::string brand;   // up to 48 characters, empty when the processor has none
  bool avx2 = false;   // AVX2 instructions and the YMM state both usable (see above)

  // 0 plain x86, 1 MMX, 2 or 3 SSE.
  int Level() const { return static_cast<int>(flags & 3); }
  bool Has(CpuFeatureFlag flag) const { return (flags & flag) != 0; }
};

// Asks the processor (all fields zero when CPUID is unavailable).
CpuidAnswers QueryCpuid();

// Builds the record from the answers.
CpuFeatures DecodeCpuFeatures(const CpuidAnswers& answers);

// The record of this processor, made on first use and shared read-only afterwards.
const CpuFeatures& GetCpuFeatures();
inline int GetProcessorLevel() { return GetCpuFeatures().Level(); }
