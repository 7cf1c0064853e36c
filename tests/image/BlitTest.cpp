// Clipping, the draw dispatch (row copy, colour key, the routines for destinations with alpha), the
// opacity and alpha edge cases, stretching and the mode dispatcher's hook.

#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "image/BlendTables.h"
#include "image/Blit.h"
#include "tests/image/BlitTestSurface.h"

namespace {

const int kDepths[] = {15, 16, 24, 32};
const int kForms[] = {kBlitFormPlain, kBlitFormMmx, kBlitFormSse, kBlitFormAvx2};

class BlitTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { BuildBlendTables(); }
};

TEST_F(BlitTest, ClippingCutsBothRectanglesAlike) {
  TestSurface dest(20, 10, 32), source(8, 6, 32);
  int x = -3, y = 2;
  PixelRect rect = Rect(1, 1, 7, 6);  // 6 x 5 at (-3, 2)
  ASSERT_TRUE(ClipDraw(dest.view, source.view, &x, &y, &rect, Rect(0, 0, 20, 5)));
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 2);
  EXPECT_EQ(rect.left, 4);  // three columns cut on the left
  EXPECT_EQ(rect.right, 7);
  EXPECT_EQ(rect.top, 1);
  EXPECT_EQ(rect.bottom, 4);  // the clip ends at row 5: three rows stay

  // A source rectangle reaching past the source surface moves the destination with it.
  x = 10, y = 0, rect = Rect(-2, -1, 12, 3);
  ASSERT_TRUE(ClipDraw(dest.view, source.view, &x, &y, &rect, Whole(dest.view)));
  EXPECT_EQ(x, 12);
  EXPECT_EQ(y, 1);
  EXPECT_EQ(rect.left, 0);
  EXPECT_EQ(rect.top, 0);
  EXPECT_EQ(rect.right, 8);  // and the destination's right edge cuts it again at 20
  EXPECT_EQ(rect.bottom, 3);

  // Against the destination's far edges.
  x = 17, y = 8, rect = Whole(source.view);
  ASSERT_TRUE(ClipDraw(dest.view, source.view, &x, &y, &rect, Rect(-100, -100, 100, 100)));
  EXPECT_EQ(rect.right - rect.left, 3);
  EXPECT_EQ(rect.bottom - rect.top, 2);

  // Nothing left: point and rectangle become zero.
  x = 5, y = 5, rect = Rect(1, 1, 4, 4);
  EXPECT_FALSE(ClipDraw(dest.view, source.view, &x, &y, &rect, Rect(30, 0, 40, 10)));
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 0);
  EXPECT_EQ(rect.left | rect.top | rect.right | rect.bottom, 0);
  x = 0, y = 0, rect = Rect(3, 3, 3, 5);  // empty source rectangle
  EXPECT_FALSE(ClipDraw(dest.view, source.view, &x, &y, &rect, Whole(dest.view)));

  // Extreme coordinates neither overflow nor draw.
  x = INT_MAX, y = INT_MIN, rect = Rect(INT_MIN, INT_MIN, INT_MAX, INT_MAX);
  EXPECT_FALSE(ClipDraw(dest.view, source.view, &x, &y, &rect, Rect(INT_MIN, INT_MIN, INT_MAX, INT_MAX)));
  x = INT_MIN, y = INT_MIN, rect = Rect(INT_MIN, INT_MIN, INT_MAX, INT_MAX);  // source (0, 0) lands on (0, 0)
  ASSERT_TRUE(ClipDraw(dest.view, source.view, &x, &y, &rect, Rect(INT_MIN, INT_MIN, INT_MAX, INT_MAX)));
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 0);
  EXPECT_EQ(rect.left, 0);
  EXPECT_EQ(rect.right, 8);
  EXPECT_EQ(rect.bottom, 6);
}

TEST_F(BlitTest, AClipOutsideTheDestinationDrawsNothing) {
  CRandom random(5);
  for (int depth : kDepths) {
    TestSurface dest(16, 8, depth), source(16, 8, depth);
    dest.Randomize(random);
    source.Randomize(random);
    const std::vector<uint8_t> before = dest.pixels;
    EXPECT_FALSE(DrawPixels(dest.view, source.view, 0, 0, Whole(source.view), Rect(16, 0, 40, 8), 255));
    EXPECT_FALSE(DrawPixels(dest.view, source.view, 0, 0, Whole(source.view), Rect(-9, -9, 0, 0), 128));
    EXPECT_FALSE(DrawPixels(dest.view, source.view, 20, 0, Whole(source.view), Whole(dest.view), 255));
    EXPECT_EQ(dest.pixels, before) << depth;
  }
}

TEST_F(BlitTest, RowCopyMovesExactlyTheClippedRectangle) {
  CRandom random(6);
  for (int depth : kDepths) {
    TestSurface dest(13, 7, depth, 1), source(9, 5, depth, 3);
    dest.Randomize(random);
    source.Randomize(random);
    source.view.selector = 4 * 3 + 0;  // a plain source of another base and depth slot still copies
    const TestSurface before(dest);
    ASSERT_TRUE(DrawPixels(dest.view, source.view, 6, -1, Rect(1, 0, 9, 5), Rect(0, 0, 11, 7), 255));
    for (int y = 0; y < 7; ++y) {
      for (int x = 0; x < 13; ++x) {
        const bool inside = x >= 6 && x < 11 && y < 4;
        EXPECT_EQ(dest.Get(x, y), inside ? source.Get(x - 5, y + 1) : before.Get(x, y))
            << depth << ": " << x << "," << y;
      }
    }
    // The copy keeps the whole pixel: bit 15 of a 15-bit one, the fourth byte of a 32-bit one.
    source.Set(2, 2, depth == 32 ? 0xAB123456u : depth == 15 ? 0x8421u : 0x123456u);
    ASSERT_TRUE(DrawPixels(dest.view, source.view, 0, 0, Rect(2, 2, 3, 3), Whole(dest.view), 255));
    EXPECT_EQ(dest.Get(0, 0), source.Get(2, 2));
  }
  TestSurface other(4, 4, 16), mismatched(4, 4, 32);
  EXPECT_FALSE(DrawPixels(other.view, mismatched.view, 0, 0, Whole(mismatched.view), Whole(other.view), 255));
}

TEST_F(BlitTest, OpacityIsClampedToTheByteRange) {
  CRandom random(7);
  for (int depth : kDepths) {
    TestSurface dest(11, 3, depth), source(11, 3, depth);
    dest.Randomize(random);
    source.Randomize(random);
    TestSurface over(dest), under(dest);
    ASSERT_TRUE(DrawPixels(over.view, source.view, 0, 0, Whole(source.view), Whole(dest.view), 300));
    EXPECT_EQ(over.pixels, source.pixels) << depth;  // same pitch, so the buffers compare whole
    ASSERT_TRUE(DrawPixels(under.view, source.view, 0, 0, Whole(source.view), Whole(dest.view), -5));
    EXPECT_EQ(under.pixels, dest.pixels) << depth;
    source.view.selector = 2;  // the alpha routines clamp too
    TestSurface alphaOver(dest), plainOver(dest);
    ASSERT_TRUE(DrawPixels(alphaOver.view, source.view, 0, 0, Whole(source.view), Whole(dest.view), 1000));
    ASSERT_TRUE(DrawPixels(plainOver.view, source.view, 0, 0, Whole(source.view), Whole(dest.view), 255));
    EXPECT_EQ(alphaOver.pixels, plainOver.pixels) << depth;
  }
}

TEST_F(BlitTest, AlphaAtReducedOpacity) {
  // At opacity 128, alpha 127 leaves the destination; alpha 255 draws with a = 128.
  for (int form : kForms) {
    TestSurface dest(9, 1, 32), source(9, 1, 32, 0, 2);
    dest.FillWith(0xFF102030u);
    source.FillWith(0x00F0E0D0u);
    for (int x = 0; x < 9; ++x) source.AlphaAt(x, 0) = x % 2 ? 255 : 127;
    ASSERT_TRUE(DrawPixels(dest.view, source.view, 0, 0, Whole(source.view), Whole(dest.view), 128, form));
    const uint32_t drawn = 0xFF000000u | (MultiplyByte(128, 0xF0) + MultiplyByte(127, 0x10)) << 16 |
                           (MultiplyByte(128, 0xE0) + MultiplyByte(127, 0x20)) << 8 |
                           (MultiplyByte(128, 0xD0) + MultiplyByte(127, 0x30));
    for (int x = 0; x < 9; ++x) EXPECT_EQ(dest.Get(x, 0), x % 2 ? drawn : 0xFF102030u) << "form " << form << " x " << x;
  }
}

TEST_F(BlitTest, SixteenBitLevelsChangeEveryEightAlphaSteps) {
  const uint16_t d = 0xFFFF, s = 0x0841;  // white under a dark source
  for (int form : kForms) {
    TestSurface dest(16, 1, 16), source(16, 1, 16, 0, 2);
    dest.FillWith(d);
    source.FillWith(s);
    for (int x = 0; x < 16; ++x) source.AlphaAt(x, 0) = x < 8 ? 7 : 8;
    ASSERT_TRUE(DrawPixels(dest.view, source.view, 0, 0, Whole(source.view), Whole(dest.view), 255, form));
    for (int x = 0; x < 8; ++x) EXPECT_EQ(dest.Get(x, 0), d) << "a = 7 is level 0, form " << form;
    const uint32_t level1 = static_cast<uint16_t>(Blend565(30, d) + Blend565(1, s));
    ASSERT_NE(level1, d);
    for (int x = 8; x < 16; ++x) EXPECT_EQ(dest.Get(x, 0), level1) << "a = 8 is level 1, form " << form;
  }
  // In 15 bits, level 31 of T555 turns a pixel with bit 15 set to 0: a = 5 over such a pixel gives 0,
  // and a source level of 31 (a = 250) drops such a source pixel's share.
  for (int form : kForms) {
    TestSurface dest(16, 1, 15), source(16, 1, 15, 0, 2);
    dest.FillWith(0xFFFF);
    source.FillWith(0xC210);
    for (int x = 0; x < 16; ++x) source.AlphaAt(x, 0) = x < 8 ? 5 : 250;
    ASSERT_TRUE(DrawPixels(dest.view, source.view, 0, 0, Whole(source.view), Whole(dest.view), 255, form));
    EXPECT_EQ(dest.Get(0, 0), 0u) << form;
    EXPECT_EQ(dest.Get(15, 0), 0u) << form;  // T[0][d] + T[31][s | 0x8000] = 0
  }
}

TEST_F(BlitTest, ThirtyTwoBitBlendsKeepTheFourthByteUnlessOpaque) {
  for (int form : kForms) {
    TestSurface dest(10, 1, 32), source(10, 1, 32, 0, 2);
    dest.FillWith(0x77000000u);
    source.FillWith(0x11FFFFFFu);
    for (int x = 0; x < 10; ++x) source.AlphaAt(x, 0) = x < 9 ? 255 : 128;
    ASSERT_TRUE(DrawPixels(dest.view, source.view, 0, 0, Whole(source.view), Whole(dest.view), 255, form));
    EXPECT_EQ(dest.Get(0, 0), 0x11FFFFFFu) << form;
    EXPECT_EQ(dest.Get(9, 0), 0x77808080u) << form;
  }
}

TEST_F(BlitTest, ColourKeySkipsTheKeyInEveryDepth) {
  const uint32_t key = 0x00FF00;
  for (int depth : kDepths) {
    TestSurface dest(10, 2, depth, 1), source(10, 2, depth, 2, 1);
    source.view.colorKey = key;
    dest.FillWith(PackColor(0x102030, depth));
    for (int x = 0; x < 10; ++x) {
      uint32_t pixel = x % 3 == 0 ? PackColor(key, depth) : PackColor(0x808080 + x, depth);
      if (x == 3) pixel |= depth == 15 ? 0x8000u : depth == 32 ? 0xEE000000u : 0;  // unused bits do not count
      source.Set(x, 0, pixel);
      source.Set(x, 1, pixel);
    }
    TestSurface copied(dest), blended(dest);
    ASSERT_TRUE(DrawPixels(copied.view, source.view, 0, 0, Whole(source.view), Whole(dest.view), 255));
    ASSERT_TRUE(DrawPixels(blended.view, source.view, 0, 0, Whole(source.view), Whole(dest.view), 100));
    for (int x = 0; x < 10; ++x) {
      if (x % 3 == 0) {
        EXPECT_EQ(copied.Get(x, 1), dest.Get(x, 1)) << depth << " key at " << x;
        EXPECT_EQ(blended.Get(x, 1), dest.Get(x, 1)) << depth << " key at " << x;
      } else {
        EXPECT_EQ(copied.Get(x, 1), source.Get(x, 1)) << depth << " at " << x;
        EXPECT_EQ(blended.Get(x, 1), source.Get(x, 1)) << depth << " at " << x << ": the opacity does not apply";
      }
    }
  }
}

TEST_F(BlitTest, DestinationsWithAlphaGetTheCoverageLaidOver) {
  for (int depth : kDepths) {
    // Plain source at opacity 255: copied, alpha becomes opaque.
    TestSurface dest(4, 1, depth, 0, 2), source(4, 1, depth, 0, 0);
    dest.FillWith(PackColor(0x000000, depth));
    source.FillWith(PackColor(0xFFFFFF, depth));
    for (int x = 0; x < 4; ++x) dest.AlphaAt(x, 0) = 50;
    TestSurface full(dest);
    ASSERT_TRUE(DrawPixels(full.view, source.view, 0, 0, Whole(source.view), Whole(dest.view), 255));
    EXPECT_EQ(full.Get(1, 0), source.Get(1, 0));
    EXPECT_EQ(full.AlphaAt(1, 0), 255);

    // At opacity 100 the colour blends and the alpha becomes 100 + M[155][50].
    TestSurface part(dest);
    ASSERT_TRUE(DrawPixels(part.view, source.view, 0, 0, Whole(source.view), Whole(dest.view), 100));
    EXPECT_EQ(part.AlphaAt(2, 0), 100 + MultiplyByte(155, 50)) << depth;
    EXPECT_NE(part.Get(2, 0), dest.Get(2, 0));

    // Alpha source: each pixel's own alpha; transparent pixels leave colour and alpha alone.
    source.view.selector = 2;
    const uint8_t alphas[4] = {0, 255, 64, 200};
    for (int x = 0; x < 4; ++x) source.AlphaAt(x, 0) = alphas[x];
    TestSurface mixed(dest);
    ASSERT_TRUE(DrawPixels(mixed.view, source.view, 0, 0, Whole(source.view), Whole(dest.view), 255));
    EXPECT_EQ(mixed.Get(0, 0), dest.Get(0, 0));
    EXPECT_EQ(mixed.AlphaAt(0, 0), 50);
    EXPECT_EQ(mixed.AlphaAt(1, 0), 255);
    EXPECT_EQ(mixed.AlphaAt(2, 0), 64 + MultiplyByte(191, 50));
    EXPECT_EQ(mixed.AlphaAt(3, 0), 200 + MultiplyByte(55, 50));

    // Colour key: key pixels touch neither colour nor alpha.
    source.view.selector = 1;
    source.view.colorKey = 0xFFFFFF;
    source.Set(3, 0, PackColor(0x123456, depth));
    TestSurface keyed(dest);
    ASSERT_TRUE(DrawPixels(keyed.view, source.view, 0, 0, Whole(source.view), Whole(dest.view), 255));
    EXPECT_EQ(keyed.AlphaAt(0, 0), 50) << depth;
    EXPECT_EQ(keyed.Get(0, 0), dest.Get(0, 0)) << depth;
    EXPECT_EQ(keyed.AlphaAt(3, 0), 255) << depth;
    EXPECT_EQ(keyed.Get(3, 0), source.Get(3, 0)) << depth;
  }
}

TEST_F(BlitTest, StretchSamplesTheNearestSourcePixel) {
  for (int depth : kDepths) {
    TestSurface source(7, 4, depth, 1), dest(12, 12, depth, 2);
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 7; ++x) source.Set(x, y, PackColor(0x100000 * (y + 1) + 0x0800 * (x + 1), depth));
    dest.FillWith(0);
    // 4 columns onto 7: step 0.5; 4 rows onto 4: step 1. First and last map onto first and last.
    ASSERT_TRUE(StretchPixels(dest.view, source.view, Rect(1, 2, 8, 6), Rect(2, 0, 6, 4), Whole(dest.view), 255));
    const int expectedColumn[7] = {2, 2, 3, 3, 4, 4, 5};
    for (int y = 0; y < 12; ++y) {
      for (int x = 0; x < 12; ++x) {
        const bool inside = x >= 1 && x < 8 && y >= 2 && y < 6;
        EXPECT_EQ(dest.Get(x, y), inside ? source.Get(expectedColumn[x - 1], y - 2) : 0u)
            << depth << ": " << x << "," << y;
      }
    }
    // Shrinking 7 columns onto 4: step 2.
    TestSurface small(4, 2, depth);
    ASSERT_TRUE(StretchPixels(small.view, source.view, Rect(0, 0, 4, 2), Rect(0, 0, 7, 2), Whole(small.view), 255));
    for (int x = 0; x < 4; ++x) EXPECT_EQ(small.Get(x, 1), source.Get(2 * x, 1)) << depth;
  }
}

TEST_F(BlitTest, StretchClipsAndFollowsTheSourceKind) {
  CRandom random(11);
  TestSurface source(5, 5, 32, 0, 2), dest(10, 10, 32);
  source.Randomize(random);
  dest.Randomize(random);
  TestSurface whole(dest), clipped(dest);
  ASSERT_TRUE(StretchPixels(whole.view, source.view, Rect(0, 0, 9, 9), Whole(source.view), Whole(dest.view), 200));
  ASSERT_TRUE(StretchPixels(clipped.view, source.view, Rect(0, 0, 9, 9), Whole(source.view), Rect(3, 2, 6, 20), 200));
  for (int y = 0; y < 10; ++y) {
    for (int x = 0; x < 10; ++x) {
      const bool inside = x >= 3 && x < 6 && y >= 2 && y < 9;
      EXPECT_EQ(clipped.Get(x, y), inside ? whole.Get(x, y) : dest.Get(x, y)) << x << "," << y;
    }
  }
  // 5 onto 9: step 0.5, so destination (2x, 2y) samples source (x, y): alpha at opacity 200.
  const int a = source.AlphaAt(1, 2) - 55;
  const uint32_t s = source.Get(1, 2), d = dest.Get(2, 4);
  uint32_t expected = d;
  if (a > 0) {
    expected = d & 0xFF000000u;
    for (int shift = 0; shift < 24; shift += 8)
      expected |= static_cast<uint32_t>(static_cast<uint8_t>(MultiplyByte(a, (s >> shift) & 0xFF) +
                                                             MultiplyByte(255 - a, (d >> shift) & 0xFF)))
                  << shift;
    if (a == 255) expected = s;
  }
  EXPECT_EQ(whole.Get(2, 4), expected);

  // Colour key: skipped samples. 2 onto 4 needs a step of 1/3, which must reach the last source pixel
  // with the last destination pixel. Too small rectangles: nothing.
  TestSurface keySource(2, 2, 16, 0, 1), keyDest(4, 4, 16);
  keySource.view.colorKey = 0xFFFFFF;
  keySource.FillWith(0xFFFF);
  keySource.Set(1, 1, 0x1234);
  keyDest.FillWith(0x4321);
  ASSERT_TRUE(StretchPixels(keyDest.view, keySource.view, Whole(keyDest.view), Whole(keySource.view),
                            Whole(keyDest.view), 255));
  EXPECT_EQ(keyDest.Get(0, 0), 0x4321u);
  EXPECT_EQ(keyDest.Get(3, 3), 0x1234u);
  EXPECT_FALSE(
      StretchPixels(keyDest.view, keySource.view, Rect(0, 0, 1, 4), Whole(keySource.view), Whole(keyDest.view), 255));
  EXPECT_FALSE(
      StretchPixels(keyDest.view, keySource.view, Whole(keyDest.view), Rect(0, 0, 2, 1), Whole(keyDest.view), 255));
  EXPECT_FALSE(
      StretchPixels(keyDest.view, keySource.view, Whole(keyDest.view), Whole(keySource.view), Rect(4, 0, 8, 4), 255));
}

// Sides far beyond the surfaces: every destination position of a side samples
// floor(i * (source side - 1) / (destination side - 1)), so the last one reaches the last source pixel;
// rectangles and clips far apart draw nothing and compute nothing that overflows.
TEST_F(BlitTest, StretchMapsFirstAndLastAtEverySize) {
  for (int depth : {16, 32}) {
    // 2 columns onto 200,000 and 3 rows onto 150,000.
    TestSurface source(3, 3, depth, 1, 0);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 3; ++x) source.Set(x, y, PackColor(0x203040 + 0x10 * x + 0x100000 * y, depth));
    TestSurface wide(200000, 2, depth), tall(2, 150000, depth);
    ASSERT_TRUE(StretchPixels(wide.view, source.view, Whole(wide.view), Rect(1, 0, 3, 2), Whole(wide.view), 255));
    ASSERT_TRUE(StretchPixels(tall.view, source.view, Whole(tall.view), Rect(0, 0, 2, 3), Whole(tall.view), 255));
    int wrong = 0;
    for (int x = 0; x < 200000; ++x) wrong += wide.Get(x, 1) != source.Get(x < 199999 ? 1 : 2, 1);
    EXPECT_EQ(wrong, 0) << depth;
    EXPECT_EQ(wide.Get(199999, 0), source.Get(2, 0)) << depth;
    wrong = 0;
    for (int y = 0; y < 150000; ++y) {
      const int64_t expected = int64_t{y} * 2 / 149999;
      wrong += tall.Get(1, y) != source.Get(1, static_cast<int>(expected));
    }
    EXPECT_EQ(wrong, 0) << depth;
    EXPECT_EQ(tall.Get(0, 149999), source.Get(0, 2)) << depth;
  }

  // A clip far to the right of a rectangle at the far left, and the largest step there is.
  TestSurface dest(4, 4, 32), source(4, 4, 32);
  const PixelRect farLeft = Rect(INT32_MIN, 0, INT32_MIN + 2, 2);
  EXPECT_FALSE(StretchPixels(dest.view, source.view, farLeft, Rect(0, 0, 1 << 20, 2),
                             Rect(INT32_MAX - 1, 0, INT32_MAX, 4), 255));
  EXPECT_FALSE(StretchPixels(dest.view, source.view, Rect(0, INT32_MIN, 2, INT32_MIN + 2), Rect(0, 0, 2, 1 << 20),
                             Rect(0, INT32_MAX - 1, 4, INT32_MAX), 255));
  EXPECT_FALSE(
      StretchPixels(dest.view, source.view, Rect(0, 0, (1 << 20) + 1, 2), Whole(source.view), Whole(dest.view), 255))
      << "sides beyond the limit are refused";
}

struct HookRecord {
  int calls = 0;
  PixelRect drawn, source;
};

void RecordHook(void* context, const PixelRect& drawn, const PixelRect& source) {
  HookRecord* record = static_cast<HookRecord*>(context);
  ++record->calls;
  record->drawn = drawn;
  record->source = source;
}

TEST_F(BlitTest, ModeZeroDrawsAndCallsTheHookWithTheDrawnRectangles) {
  CRandom random(12);
  TestSurface dest(10, 10, 16), source(6, 6, 16);
  dest.Randomize(random);
  source.Randomize(random);
  HookRecord record;
  ASSERT_TRUE(DrawPixelsByMode(0, dest.view, source.view, 7, -2, Whole(source.view), Whole(dest.view), 255, RecordHook,
                               &record));
  EXPECT_EQ(record.calls, 1);
  EXPECT_EQ(record.drawn.left, 7);
  EXPECT_EQ(record.drawn.top, 0);
  EXPECT_EQ(record.drawn.right, 10);
  EXPECT_EQ(record.drawn.bottom, 4);
  EXPECT_EQ(record.source.left, 0);
  EXPECT_EQ(record.source.top, 2);
  EXPECT_EQ(record.source.right, 3);
  EXPECT_EQ(record.source.bottom, 6);
  EXPECT_EQ(dest.Get(9, 3), source.Get(2, 5));

  const std::vector<uint8_t> before = dest.pixels;
  EXPECT_FALSE(DrawPixelsByMode(0, dest.view, source.view, 20, 0, Whole(source.view), Whole(dest.view), 255, RecordHook,
                                &record));
  EXPECT_FALSE(DrawPixelsByMode(3, dest.view, source.view, 0, 0, Whole(source.view), Whole(dest.view), 255, RecordHook,
                                &record));
  EXPECT_EQ(record.calls, 1);
  EXPECT_EQ(dest.pixels, before);
  EXPECT_TRUE(
      DrawPixelsByMode(0, dest.view, source.view, 0, 0, Whole(source.view), Whole(dest.view), 255, nullptr, nullptr));
}

}  // namespace
