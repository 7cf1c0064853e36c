#include "image/Random.h"

#ifdef _WIN32
// winmm's millisecond clock, declared here so that this file needs no windows.h.
extern "C" __declspec(dllimport) unsigned long __stdcall timeGetTime(void);
#else
#include <chrono>
#endif

namespace {

constexpr int kMiddle = 397;
constexpr uint32_t kMatrixA = 0x9908B0DFu;
constexpr uint32_t kUpperMask = 0x80000000u;
constexpr uint32_t kLowerMask = 0x7FFFFFFFu;
constexpr uint32_t kDefaultSeed = 4357;

uint32_t MillisecondClock() {
#ifdef _WIN32
  return static_cast<uint32_t>(timeGetTime());
#else
  return static_cast<uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
          .count());
#endif
}

}  // namespace

CRandom::CRandom() : CRandom(MillisecondClock()) {}

CRandom::CRandom(uint32_t seed) : state_(), index_(kStateSize + 1) { Seed(seed); }

CRandom::CRandom(UnseededTag) : state_(), index_(kStateSize + 1) {}

CRandom CRandom::Unseeded() { return CRandom(UnseededTag()); }

void CRandom::Seed(uint32_t seed) {
  for (int i = 0; i < kStateSize; ++i) {
    state_[i] = seed & 0xFFFF0000u;
    seed = 69069 * seed + 1;
    state_[i] |= (seed & 0xFFFF0000u) >> 16;
    seed = 69069 * seed + 1;
  }
  index_ = kStateSize;
}

void CRandom::Generate() {
  if (index_ == kStateSize + 1) Seed(kDefaultSeed);
  auto twist = [this](int i, int next, int middle) {
    const uint32_t y = (state_[i] & kUpperMask) | (state_[next] & kLowerMask);
    state_[i] = state_[middle] ^ (y >> 1) ^ ((y & 1) ? kMatrixA : 0);
  };
  int i = 0;
  for (; i < kStateSize - kMiddle; ++i) twist(i, i + 1, i + kMiddle);
  for (; i < kStateSize - 1; ++i) twist(i, i + 1, i + kMiddle - kStateSize);
  twist(kStateSize - 1, 0, kMiddle - 1);
  index_ = 0;
}

uint32_t CRandom::Next() {
  if (index_ >= kStateSize) Generate();
  uint32_t y = state_[index_++];
  y ^= y >> 11;
  y ^= (y << 7) & 0x9D2C5680u;
  y ^= (y << 15) & 0xEFC60000u;
  y ^= y >> 18;
  return y;
}

uint32_t CRandom::Next(uint32_t n) { return n == 0 ? 0 : Next() % n; }
