#pragma once
// Lookup tables of the 15- and 16-bit blends and of the alpha arithmetic, shared read-only by every
// drawing routine. They are built once, on first use: the first call of any accessor below (or of
// BuildBlendTables) builds all of them behind a once-only guard, and every thread that asks meanwhile
// waits for that build. A program that never draws never pays for the 8 MiB.
//
//   T555[level][p]  level 0..31, p a 16-bit pixel with r in bits 14-10, g in 9-5, b in 4-0:
//                   every channel scaled by level/31 (integer division). Bit 15 of p is ignored at
//                   levels 1..30; level 0 is all zero; level 31 is p for bit 15 clear, 0 for bit 15 set.
//   T565[level][p]  the same for RGB565 (6-bit green); level 0 zero, level 31 the identity.
//   M[x][y]         x * y / 255 (integer division), x and y 0..255.

#include <cstddef>
#include <cstdint>

constexpr int kBlendLevels = 32;
constexpr size_t kBlendPixels = 65536;

struct BlendTableSet {
  uint16_t t555[kBlendLevels][kBlendPixels];
  uint16_t t565[kBlendLevels][kBlendPixels];
  uint8_t m[256][256];
};

// Fills a whole table set. The process-wide set is built through BuildBlendTables; this is the builder
// itself, for callers that want their own copy (measurements, tests).
void FillBlendTables(BlendTableSet* tables);

// Builds the process-wide tables now. Only the first build does work; later calls return at once.
void BuildBlendTables();
// Whether they have been built (asking does not build them).
bool AreBlendTablesBuilt();

// Rows of the process-wide tables, built first if needed: null for a level or row out of range.
const uint16_t* GetBlendTable555(int level);
const uint16_t* GetBlendTable565(int level);
const uint8_t* GetMultiplyTable(int row);

// Single entries; out-of-range levels or rows read as 0.
uint16_t Blend555(int level, uint16_t pixel);
uint16_t Blend565(int level, uint16_t pixel);
uint8_t MultiplyByte(int x, int y);
