#pragma once
// Lookup tables of the 15- and 16-bit blends and of the alpha arithmetic, shared read-only by every
// drawing routine. The application object builds them once at start-up (BuildBlendTables); afterwards
// any thread may read them.
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

// Builds the process-wide tables. Only the first call does work; later calls return at once.
void BuildBlendTables();
bool AreBlendTablesBuilt();

// Rows of the process-wide tables: null for a level or row out of range. Before BuildBlendTables the
// rows are all zero.
const uint16_t* GetBlendTable555(int level);
const uint16_t* GetBlendTable565(int level);
const uint8_t* GetMultiplyTable(int row);

// Single entries; out-of-range levels or rows read as 0.
uint16_t Blend555(int level, uint16_t pixel);
uint16_t Blend565(int level, uint16_t pixel);
uint8_t MultiplyByte(int x, int y);
