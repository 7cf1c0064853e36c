#include "image/BlendTables.h"

#include <atomic>
#include <cstring>
#include <mutex>

namespace {

BlendTableSet g_tables;  // zero until built
std::once_flag g_built_once;
std::atomic<bool> g_built{false};

// scaled[v] = v * level / 31 for v = 0..limit-1, by running sums instead of a division per value.
void ScaleChannel(int level, int limit, uint16_t* scaled) {
  int quotient = 0, remainder = 0;
  for (int v = 0; v < limit; ++v) {
    scaled[v] = static_cast<uint16_t>(quotient);
    remainder += level;
    while (remainder >= 31) {
      remainder -= 31;
      ++quotient;
    }
  }
}

// One level of a 16-bit table: every pixel is the OR of its three scaled channels, so each row is
// made of 32-entry runs (blue) added to a per-run base (red and green).
void FillLevel(uint16_t* row, const uint16_t* red, const uint16_t* green, int greenCount, int redShift,
               const uint16_t* blue) {
  size_t index = 0;
  for (int r = 0; r < 32; ++r) {
    const uint16_t redPart = static_cast<uint16_t>(red[r] << redShift);
    for (int g = 0; g < greenCount; ++g) {
      const uint16_t base = static_cast<uint16_t>(redPart | (green[g] << 5));
      uint16_t* run = row + index;
      for (int b = 0; b < 32; ++b) run[b] = static_cast<uint16_t>(base | blue[b]);
      index += 32;
    }
  }
}

void Fill555(uint16_t (*t555)[kBlendPixels]) {
  std::memset(t555[0], 0, sizeof t555[0]);
  uint16_t scaled[32];
  for (int level = 1; level < 31; ++level) {
    ScaleChannel(level, 32, scaled);
    FillLevel(t555[level], scaled, scaled, 32, 10, scaled);
    // Bit 15 does not take part: the upper half repeats the lower one.
    std::memcpy(t555[level] + 0x8000, t555[level], 0x8000 * sizeof(uint16_t));
  }
  uint16_t* full = t555[31];
  for (uint32_t p = 0; p < 0x8000; ++p) full[p] = static_cast<uint16_t>(p);
  std::memset(full + 0x8000, 0, 0x8000 * sizeof(uint16_t));
}

void Fill565(uint16_t (*t565)[kBlendPixels]) {
  std::memset(t565[0], 0, sizeof t565[0]);
  uint16_t scaled[64];
  for (int level = 1; level < 31; ++level) {
    ScaleChannel(level, 64, scaled);
    FillLevel(t565[level], scaled, scaled, 64, 11, scaled);
  }
  uint16_t* full = t565[31];
  for (uint32_t p = 0; p < kBlendPixels; ++p) full[p] = static_cast<uint16_t>(p);
}

void FillMultiply(uint8_t (*m)[256]) {
  for (int x = 0; x < 256; ++x) {
    int quotient = 0, remainder = 0;
    for (int y = 0; y < 256; ++y) {
      m[x][y] = static_cast<uint8_t>(quotient);
      remainder += x;
      if (remainder >= 255) {  // x <= 255: the quotient grows by at most one per step
        remainder -= 255;
        ++quotient;
      }
    }
  }
}

}  // namespace

void FillBlendTables(BlendTableSet* tables) {
  if (!tables) return;
  Fill555(tables->t555);
  Fill565(tables->t565);
  FillMultiply(tables->m);
}

void BuildBlendTables() {
  std::call_once(g_built_once, [] {
    FillBlendTables(&g_tables);
    g_built.store(true, std::memory_order_release);
  });
}

bool AreBlendTablesBuilt() { return g_built.load(std::memory_order_acquire); }

namespace {

// The fast path is one acquire load; only the first users take the once-only guard.
const BlendTableSet& Tables() {
  if (!g_built.load(std::memory_order_acquire)) BuildBlendTables();
  return g_tables;
}

}  // namespace

const uint16_t* GetBlendTable555(int level) {
  return level >= 0 && level < kBlendLevels ? Tables().t555[level] : nullptr;
}

const uint16_t* GetBlendTable565(int level) {
  return level >= 0 && level < kBlendLevels ? Tables().t565[level] : nullptr;
}

const uint8_t* GetMultiplyTable(int row) { return row >= 0 && row < 256 ? Tables().m[row] : nullptr; }

uint16_t Blend555(int level, uint16_t pixel) {
  const uint16_t* row = GetBlendTable555(level);
  return row ? row[pixel] : 0;
}

uint16_t Blend565(int level, uint16_t pixel) {
  const uint16_t* row = GetBlendTable565(level);
  return row ? row[pixel] : 0;
}

uint8_t MultiplyByte(int x, int y) {
  const uint8_t* row = GetMultiplyTable(x);
  return row && y >= 0 && y < 256 ? row[y] : 0;
}
