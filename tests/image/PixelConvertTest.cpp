// Format conversion: every pair of depths against the packing formulas, pixel by pixel, at widths 1 to
// 17 and odd pitches, top-down and bottom-up; and the colour packing helpers.

#include <gtest/gtest.h>

#include "image/PixelConvert.h"
#include "tests/image/BlitTestSurface.h"

namespace {

const int kDepths[] = {15, 16, 24, 32};

// The 8-bit channels a pixel stands for, written out from the formulas.
void Channels(uint32_t p, int depth, uint32_t* r, uint32_t* g, uint32_t* b) {
  switch (depth) {
    case 15: *b = (p & 0x1F) << 3, *g = (p >> 2) & 0xF8, *r = (p >> 7) & 0xF8; break;
    case 16: *b = (p & 0x1F) << 3, *g = (p >> 3) & 0xFC, *r = (p >> 8) & 0xF8; break;
    default: *b = p & 0xFF, *g = (p >> 8) & 0xFF, *r = (p >> 16) & 0xFF;
  }
}

uint32_t Expected(uint32_t p, int from, int to) {
  if (from == to) return p;  // equal depths copy, unused bits included
  uint32_t r, g, b;
  Channels(p, from, &r, &g, &b);
  switch (to) {
    case 15: return (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3);
    case 16: return (r >> 3) << 11 | (g >> 2) << 5 | (b >> 3);
    default: return r << 16 | g << 8 | b;  // 32 bits: fourth byte zero
  }
}

TEST(PixelConvertTest, EveryPairFollowsThePackingRules) {
  CRandom random(1998);
  for (int from : kDepths) {
    for (int to : kDepths) {
      for (int width = 1; width <= 17; ++width) {
        for (bool bottomUp : {false, true}) {
          const int extra = width % 4;
          TestSurface source(width, 3, from, extra), target(width, 3, to, 3 - extra);
          source.Randomize(random);
          target.Randomize(random);
          const TestSurface before(target);
          ASSERT_TRUE(ConvertPixels(target.view, source.view, bottomUp));
          for (int y = 0; y < 3; ++y) {
            const int sourceRow = bottomUp ? 2 - y : y;
            for (int x = 0; x < width; ++x)
              ASSERT_EQ(target.Get(x, y), Expected(source.Get(x, sourceRow), from, to))
                  << from << " -> " << to << ", width " << width << ", pixel " << x << "," << y
                  << (bottomUp ? " bottom-up" : "");
            // Row padding stays as it was.
            for (int k = width * BytesPerPixel(to); k < target.view.pitch; ++k)
              ASSERT_EQ(target.view.pixels[y * target.view.pitch + k], before.view.pixels[y * target.view.pitch + k]);
          }
        }
      }
    }
  }
}

TEST(PixelConvertTest, SizesAndFailures) {
  // The smaller of the two sizes is converted; the rest of the larger target is left alone.
  TestSurface source(3, 2, 24), target(5, 4, 32);
  source.FillWith(0x332211);
  target.FillWith(0xDEADBEEF);
  ASSERT_TRUE(ConvertPixels(target.view, source.view, true));
  EXPECT_EQ(target.Get(2, 1), 0x332211u);
  EXPECT_EQ(target.Get(3, 1), 0xDEADBEEFu);
  EXPECT_EQ(target.Get(0, 2), 0xDEADBEEFu);

  PixelView broken = source.view;
  broken.depth = 8;
  EXPECT_FALSE(ConvertPixels(target.view, broken, false));
  broken = source.view;
  broken.pixels = nullptr;
  EXPECT_FALSE(ConvertPixels(target.view, broken, false));
  uint8_t row[4] = {};
  EXPECT_FALSE(ConvertRow(row, 12, row, 16, 1));
  EXPECT_TRUE(ConvertRow(row, 16, row, 32, 0));
}

TEST(PixelConvertTest, ColourPacking) {
  EXPECT_EQ(PackColor(0xFF8040, 15), (31u << 10) | (16u << 5) | 8u);
  EXPECT_EQ(PackColor(0xFF8040, 16), (31u << 11) | (32u << 5) | 8u);
  EXPECT_EQ(PackColor(0x00FF00, 16), 0x07E0u);
  EXPECT_EQ(PackColor(0xAB123456, 32), 0x123456u);
  EXPECT_EQ(PackColor(0x123456, 8), 0u);
  EXPECT_EQ(UnpackColor(0x7FFF, 15), 0xF8F8F8u);
  EXPECT_EQ(UnpackColor(0xFFFF, 16), 0xF8FCF8u);
  EXPECT_EQ(UnpackColor(0xFF123456, 32), 0x123456u);
  for (uint32_t p = 0; p < 0x8000; p += 37) EXPECT_EQ(PackColor(UnpackColor(p, 15), 15), p);
  for (uint32_t p = 0; p < 0x10000; p += 41) EXPECT_EQ(PackColor(UnpackColor(p, 16), 16), p);
  EXPECT_EQ(BytesPerPixel(15), 2);
  EXPECT_EQ(BytesPerPixel(24), 3);
  EXPECT_EQ(BytesPerPixel(32), 4);
  EXPECT_EQ(BytesPerPixel(8), 0);
}

}  // namespace
