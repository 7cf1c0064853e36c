// The surfaces' pixel work on plain buffers: layout per depth, single pixels, fills and alpha copies,
// each cut to the buffer they write.

#include "image/SurfacePixels.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

namespace {

// A buffer with a guard band after it, filled with a marker so that stray writes show.
struct Buffer {
  Buffer(int width, int height, int depth, uint8_t marker = 0xAA) {
    size_t bytes = 0;
    EXPECT_TRUE(GetSurfaceLayout(width, height, depth, &view.pitch, &bytes));
    memory.assign(bytes + 16, marker);
    alphaMemory.assign(static_cast<size_t>(width) * height + 16, marker);
    view.pixels = memory.data();
    view.width = width;
    view.height = height;
    view.depth = depth;
    view.alpha = alphaMemory.data();
    view.alphaPitch = width;
  }
  bool GuardsIntact(uint8_t marker = 0xAA) const {
    for (size_t i = memory.size() - 16; i < memory.size(); ++i) {
      if (memory[i] != marker) return false;
    }
    for (size_t i = alphaMemory.size() - 16; i < alphaMemory.size(); ++i) {
      if (alphaMemory[i] != marker) return false;
    }
    return true;
  }
  std::vector<uint8_t> memory, alphaMemory;
  PixelView view;
};

}  // namespace

TEST(SurfacePixels, LayoutPerDepthAndSizesThatCannotBeHeld) {
  int pitch = 0;
  size_t bytes = 0;
  ASSERT_TRUE(GetSurfaceLayout(5, 3, 15, &pitch, &bytes));
  EXPECT_EQ(pitch, 12);  // stored like 16 bits
  EXPECT_EQ(bytes, 36u);
  ASSERT_TRUE(GetSurfaceLayout(3, 2, 24, &pitch, &bytes));
  EXPECT_EQ(pitch, 12);
  ASSERT_TRUE(GetSurfaceLayout(3, 1, 32, &pitch, &bytes));
  EXPECT_EQ(pitch, 12);
  EXPECT_FALSE(GetSurfaceLayout(0, 1, 32, &pitch, &bytes));
  EXPECT_FALSE(GetSurfaceLayout(1, -1, 32, &pitch, &bytes));
  EXPECT_FALSE(GetSurfaceLayout(1, 1, 8, &pitch, &bytes));
  EXPECT_FALSE(GetSurfaceLayout(INT_MAX, 1, 32, &pitch, &bytes));
  EXPECT_FALSE(GetSurfaceLayout(32768, 32768, 16, &pitch, &bytes)) << "2 GiB";
  EXPECT_TRUE(GetSurfaceLayout(32768, 16384, 16, &pitch, &bytes));
  EXPECT_EQ(SwapRedBlue(0xFF123456u), 0x563412u);
}

TEST(SurfacePixels, FillsCutToTheBufferAndClearPaddingOnlyForAWholeBlackFill) {
  Buffer b(3, 2, 24);
  FillPixelRect(b.view, 0xFF0000, PixelRect{2, 0, 1, 2});
  FillPixelRect(b.view, 0xFF0000, PixelRect{0, 2, 3, 1});
  FillPixelRect(b.view, 0xFF0000, PixelRect{3, 0, 9, 2});
  EXPECT_EQ(ReadPixel(b.view, 0, 0), 0xAAAAAAu) << "empty rectangles write nothing";

  FillPixelRect(b.view, 0x0000FF, PixelRect{INT_MIN, -4, 2, 1});
  EXPECT_EQ(ReadPixel(b.view, 1, 0), 0x0000FFu);
  EXPECT_EQ(ReadPixel(b.view, 2, 0), 0xAAAAAAu);
  EXPECT_EQ(b.memory[9], 0xAA) << "padding kept by a coloured fill";

  FillPixelRect(b.view, 0, PixelRect{0, 0, 3, 2});
  for (size_t i = 0; i < 24; ++i) EXPECT_EQ(b.memory[i], 0) << "byte " << i;
  EXPECT_TRUE(b.GuardsIntact());

  for (int depth : {15, 16, 32}) {
    Buffer d(5, 2, depth);
    FillPixelRect(d.view, 0x563412, PixelRect{1, 1, 99, 99});
    const uint32_t expected = depth == 15   ? (0x56 >> 3) << 10 | (0x34 >> 3) << 5 | (0x12 >> 3)
                              : depth == 16 ? (0x56 >> 3) << 11 | (0x34 >> 2) << 5 | (0x12 >> 3)
                                            : 0x563412u;
    EXPECT_EQ(ReadPixel(d.view, 4, 1), expected) << depth;
    EXPECT_EQ(ReadPixel(d.view, 0, 1), depth == 32 ? 0xAAAAAAAAu : 0xAAAAu) << depth;
    EXPECT_TRUE(d.GuardsIntact()) << depth;
  }
}

TEST(SurfacePixels, SinglePixelsAndAlphaStayInsideTheBuffer) {
  Buffer b(2, 2, 24);
  WritePixel(b.view, 1, 1, 0x123456);
  EXPECT_EQ(ReadPixel(b.view, 1, 1), 0x123456u);
  for (int bad : {-1, 2, INT_MIN, INT_MAX}) {
    WritePixel(b.view, bad, 0, 0);
    WritePixel(b.view, 0, bad, 0);
    EXPECT_EQ(ReadPixel(b.view, bad, 1), 0u);
  }
  EXPECT_TRUE(b.GuardsIntact());

  FillAlphaRect(b.view, 7, PixelRect{1, -3, 5, 1});
  EXPECT_EQ(b.alphaMemory[0], 0xAA);
  EXPECT_EQ(b.alphaMemory[1], 7);
  EXPECT_EQ(b.alphaMemory[3], 0xAA);

  Buffer source(3, 3, 32, 0);
  for (int i = 0; i < 9; ++i) source.alphaMemory[i] = static_cast<uint8_t>(i + 1);
  Buffer target(4, 4, 32, 0);
  // Source (1, 1)-(3, 3) to (-1, 2): the left column falls off the target.
  ASSERT_TRUE(CopyAlphaRect(target.view, -1, 2, source.view, PixelRect{1, 1, 5, 5}));
  EXPECT_EQ(target.alphaMemory[2 * 4 + 0], 6);  // source (2, 1)
  EXPECT_EQ(target.alphaMemory[3 * 4 + 0], 9);  // source (2, 2)
  EXPECT_EQ(target.alphaMemory[2 * 4 + 1], 0);
  EXPECT_FALSE(CopyAlphaRect(target.view, 4, 0, source.view, PixelRect{0, 0, 3, 3}));
  EXPECT_FALSE(
      CopyAlphaRect(target.view, INT_MAX, INT_MAX, source.view, PixelRect{INT_MIN, INT_MIN, INT_MAX, INT_MAX}));
  // A rectangle placed as far left as it begins: source column 0 lands on target column 0.
  ASSERT_TRUE(CopyAlphaRect(target.view, INT_MIN, 0, source.view, PixelRect{INT_MIN, 0, INT_MAX, 1}));
  EXPECT_EQ(target.alphaMemory[0], 1);
  EXPECT_EQ(target.alphaMemory[2], 3);
  EXPECT_EQ(target.alphaMemory[3], 0);
  EXPECT_TRUE(target.GuardsIntact(0));
  PixelView noAlpha = target.view;
  noAlpha.alpha = nullptr;
  EXPECT_FALSE(CopyAlphaRect(noAlpha, 0, 0, source.view, PixelRect{0, 0, 3, 3}));
}
