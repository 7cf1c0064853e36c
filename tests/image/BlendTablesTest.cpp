// The blend tables against the plain formulas they stand for, entry by entry.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "image/BlendTables.h"

namespace {

uint16_t Reference555(int level, uint32_t p) {
  if (level == 0) return 0;
  if (level == 31) return (p & 0x8000) ? 0 : static_cast<uint16_t>(p);
  const uint32_t r = (p >> 10) & 31, g = (p >> 5) & 31, b = p & 31;
  return static_cast<uint16_t>(((r * level / 31) << 10) | ((g * level / 31) << 5) | (b * level / 31));
}

uint16_t Reference565(int level, uint32_t p) {
  const uint32_t r = (p >> 11) & 31, g = (p >> 5) & 63, b = p & 31;
  return static_cast<uint16_t>(((r * level / 31) << 11) | ((g * level / 31) << 5) | (b * level / 31));
}

// Counts mismatches so that one broken level does not print 65536 failures.
template <typename Table, typename Reference>
void ExpectTableMatches(const char* name, Table table, Reference reference) {
  for (int level = 0; level < kBlendLevels; ++level) {
    int mismatches = 0;
    uint32_t first = 0;
    for (uint32_t p = 0; p < kBlendPixels; ++p) {
      if (table[level][p] != reference(level, p) && mismatches++ == 0) first = p;
    }
    EXPECT_EQ(mismatches, 0) << name << " level " << level << ", first at pixel " << std::hex << first << ": "
                             << table[level][first] << " instead of " << reference(level, first);
  }
}

class BlendTablesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    own_.reset(new BlendTableSet);
    FillBlendTables(own_.get());
  }
  static void TearDownTestSuite() { own_.reset(); }
  static std::unique_ptr<BlendTableSet> own_;
};
std::unique_ptr<BlendTableSet> BlendTablesTest::own_;

TEST_F(BlendTablesTest, EveryEntryMatchesThePlainFormulas) {
  ExpectTableMatches("T555", own_->t555, Reference555);
  ExpectTableMatches("T565", own_->t565, Reference565);
  int mismatches = 0;
  for (int x = 0; x < 256; ++x)
    for (int y = 0; y < 256; ++y) mismatches += own_->m[x][y] != x * y / 255;
  EXPECT_EQ(mismatches, 0) << "M";
}

TEST_F(BlendTablesTest, Level31And0AndBit15) {
  for (uint32_t p = 0; p < 0x8000; ++p) {
    ASSERT_EQ(own_->t555[31][p], p) << std::hex << p;
    ASSERT_EQ(own_->t555[31][p | 0x8000], 0) << std::hex << p;
    for (int level = 1; level <= 30; ++level)
      ASSERT_EQ(own_->t555[level][p | 0x8000], own_->t555[level][p]) << "level " << level << std::hex << " " << p;
  }
  for (uint32_t p = 0; p < kBlendPixels; ++p) {
    ASSERT_EQ(own_->t555[0][p], 0);
    ASSERT_EQ(own_->t565[0][p], 0);
    ASSERT_EQ(own_->t565[31][p], p);
  }
  // Some hand-worked entries: white 555 at level 15 is 15/31 of each channel, i.e. 15.
  EXPECT_EQ(own_->t555[15][0x7FFF], (15 << 10) | (15 << 5) | 15);
  EXPECT_EQ(own_->t565[16][0xFFFF], (16 << 11) | (32 << 5) | 16);  // 63 * 16 / 31 = 32
  EXPECT_EQ(own_->t565[30][0x0020], 0);                            // green 1 * 30 / 31 = 0
}

TEST_F(BlendTablesTest, MultiplyTableCorners) {
  for (int y = 0; y < 256; ++y) {
    EXPECT_EQ(own_->m[255][y], y);
    EXPECT_EQ(own_->m[0][y], 0);
    EXPECT_EQ(own_->m[y][255], y);
  }
  EXPECT_EQ(own_->m[128][128], 64);
  EXPECT_EQ(own_->m[254][254], 253);  // 64516 / 255 = 253.0...
}

TEST_F(BlendTablesTest, ProcessWideTablesAndAccessors) {
  BuildBlendTables();
  BuildBlendTables();  // a second call keeps what was built
  ASSERT_TRUE(AreBlendTablesBuilt());
  for (int level = 0; level < kBlendLevels; ++level) {
    ASSERT_NE(GetBlendTable555(level), nullptr);
    ASSERT_NE(GetBlendTable565(level), nullptr);
    EXPECT_EQ(0, std::memcmp(GetBlendTable555(level), own_->t555[level], sizeof own_->t555[level])) << level;
    EXPECT_EQ(0, std::memcmp(GetBlendTable565(level), own_->t565[level], sizeof own_->t565[level])) << level;
  }
  EXPECT_EQ(0, std::memcmp(GetMultiplyTable(0), own_->m, sizeof own_->m));
  EXPECT_EQ(Blend555(31, 0x1234), 0x1234);
  EXPECT_EQ(Blend565(31, 0xBEEF), 0xBEEF);
  EXPECT_EQ(MultiplyByte(128, 128), 64);

  // Out of range: null rows and zero entries, never a read past the tables.
  EXPECT_EQ(GetBlendTable555(-1), nullptr);
  EXPECT_EQ(GetBlendTable555(32), nullptr);
  EXPECT_EQ(GetBlendTable565(32), nullptr);
  EXPECT_EQ(GetMultiplyTable(256), nullptr);
  EXPECT_EQ(GetMultiplyTable(-1), nullptr);
  EXPECT_EQ(Blend555(40, 0x1234), 0);
  EXPECT_EQ(MultiplyByte(255, 256), 0);
  EXPECT_EQ(MultiplyByte(-1, 5), 0);
}

}  // namespace
