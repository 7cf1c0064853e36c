#pragma once
// Mersenne Twister MT19937 (624 words of state, middle offset 397, the published tempering) with the
// seeding of the 1998 reference generator: the state is filled from the linear congruential generator
// x <- 69069 * x + 1, the high 16 bits of two successive values making each word. A generator belongs
// to its user; it is not locked.

#include <cstdint>

class CRandom {
 public:
  // Seeded from the millisecond clock (timeGetTime on Windows).
  CRandom();
  explicit CRandom(uint32_t seed);
  // A generator left unseeded: its first use seeds it with 4357.
  static CRandom Unseeded();

  void Seed(uint32_t seed);
  uint32_t Next();
  // Next() modulo n; 0 for n = 0.
  uint32_t Next(uint32_t n);

 private:
  struct UnseededTag {};
  explicit CRandom(UnseededTag);
  void Generate();

  static constexpr int kStateSize = 624;
  uint32_t state_[kStateSize];
  int index_;  // next word of state_ to temper; kStateSize + 1 while unseeded
};
