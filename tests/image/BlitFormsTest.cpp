// The blends against a reference written from the per-pixel rules and the table accessors, and every
// fast form (MMX-level, SSE-level) against the plain form, byte for byte over whole buffers (so a write
// into row padding or past a row fails too): all depths, widths 1 to 17 (the eight-pixel steps and
// their remainders), unaligned rows and odd pitches.

#include <gtest/gtest.h>

#include "image/BlendTables.h"
#include "image/Blit.h"
#include "image/CpuFeatures.h"
#include "tests/image/BlitTestSurface.h"

namespace {

const int kDepths[] = {15, 16, 24, 32};

// One pixel by the rules: a = 0 keeps d, 255 copies s, otherwise the table blend.
uint32_t ReferencePixel(int depth, uint32_t d, uint32_t s, int a) {
  if (a <= 0) return d;
  if (a >= 255) return s;
  if (depth == 15 || depth == 16) {
    const int a5 = a >> 3;
    auto t = [depth](int level, uint32_t p) {
      return depth == 15 ? Blend555(level, static_cast<uint16_t>(p)) : Blend565(level, static_cast<uint16_t>(p));
    };
    return static_cast<uint16_t>(t(31 - a5, d) + t(a5, s));
  }
  uint32_t r = depth == 32 ? (d & 0xFF000000u) : 0;
  for (int shift = 0; shift < 24; shift += 8)
    r |= static_cast<uint32_t>(static_cast<uint8_t>(MultiplyByte(a, (s >> shift) & 0xFF) +
                                                    MultiplyByte(255 - a, (d >> shift) & 0xFF)))
         << shift;
  return r;
}

// What a whole-surface draw of source onto dest must leave, by the rules.
TestSurface ReferenceDraw(const TestSurface& dest, const TestSurface& source, int opacity) {
  TestSurface expected(dest);
  for (int y = 0; y < dest.view.height; ++y) {
    for (int x = 0; x < dest.view.width; ++x) {
      int a = opacity;
      if (source.view.selector == 2) a = source.AlphaAt(x, y) - (255 - opacity);
      expected.Set(x, y, ReferencePixel(dest.view.depth, dest.Get(x, y), source.Get(x, y), a));
    }
  }
  return expected;
}

class BlitFormsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { BuildBlendTables(); }
};

TEST_F(BlitFormsTest, ThisProcessorRunsTheFastFormsThatAreCompared) {
  // The comparisons below mean something only where the forms really run.
  const CpuFeatures& cpu = GetCpuFeatures();
  if (!cpu.Has(kCpuMmx) || !cpu.Has(kCpuSse2)) GTEST_SKIP() << "processor without MMX or SSE2";
  EXPECT_EQ(ResolveBlitForm(kBlitFormMmx), kBlitFormMmx);
  EXPECT_EQ(ResolveBlitForm(kBlitFormSse), kBlitFormSse);
  EXPECT_EQ(ResolveBlitForm(3), kBlitFormSse);
  EXPECT_EQ(ResolveBlitForm(kBlitFormPlain), kBlitFormPlain);
}

// Each (depth, width, pitch, kind, opacity): the plain form equals the reference, the fast forms equal
// the plain form.
TEST_F(BlitFormsTest, EveryFormComputesThePlainFormsPixels) {
  CRandom random(20260);
  const int opacities[] = {255, 254, 250, 200, 128, 100, 9, 8, 7, 5, 1, 0};
  int compared = 0;
  for (int depth : kDepths) {
    for (int width = 1; width <= 17; ++width) {
      for (int extra : {0, 1, 3}) {
        for (int kind : {0, 2}) {
          for (int opacity : opacities) {
            if (kind == 0 && opacity == 255) continue;  // that is the row copy, not a blend
            TestSurface dest(width, 3, depth, extra, 0), source(width, 3, depth, extra + 2, kind);
            dest.Randomize(random);
            source.Randomize(random);
            const TestSurface expected = ReferenceDraw(dest, source, opacity);
            TestSurface plain(dest);
            ASSERT_TRUE(DrawPixels(plain.view, source.view, 0, 0, Whole(source.view), Whole(dest.view), opacity,
                                   kBlitFormPlain));
            ASSERT_EQ(plain.pixels, expected.pixels)
                << "plain form, depth " << depth << " width " << width << " kind " << kind << " opacity " << opacity;
            for (int form : {kBlitFormMmx, kBlitFormSse}) {
              TestSurface fast(dest);
              ASSERT_TRUE(
                  DrawPixels(fast.view, source.view, 0, 0, Whole(source.view), Whole(dest.view), opacity, form));
              ASSERT_EQ(fast.pixels, plain.pixels) << "form " << form << ", depth " << depth << " width " << width
                                                   << " pitch +" << extra << " kind " << kind << " opacity " << opacity;
              ++compared;
            }
          }
        }
      }
    }
  }
  EXPECT_EQ(compared, 4 * 17 * 3 * (11 + 12) * 2);
}

// Every alpha value 0..255 against every opacity step, on pixels with and without bit 15 (the T555
// level-31 rule) and with random fourth bytes.
TEST_F(BlitFormsTest, EveryAlphaValueAtEveryForm) {
  CRandom random(4357);
  for (int depth : kDepths) {
    for (int opacity : {255, 128, 3}) {
      TestSurface dest(256, 2, depth, 1, 0), source(256, 2, depth, 0, 2);
      dest.Randomize(random);
      source.Randomize(random);
      for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 256; ++x) source.AlphaAt(x, y) = static_cast<uint8_t>(y == 0 ? x : (x * 37) % 256);
      const TestSurface expected = ReferenceDraw(dest, source, opacity);
      for (int form : {kBlitFormPlain, kBlitFormMmx, kBlitFormSse}) {
        TestSurface out(dest);
        ASSERT_TRUE(DrawPixels(out.view, source.view, 0, 0, Whole(source.view), Whole(dest.view), opacity, form));
        EXPECT_EQ(out.pixels, expected.pixels) << "form " << form << " depth " << depth << " opacity " << opacity;
      }
    }
  }
}

// A source rectangle inside larger surfaces: rows start mid-row on both sides and the pixels around the
// drawn area stay as they were.
TEST_F(BlitFormsTest, PartialRectanglesLeaveTheSurroundingsAlone) {
  CRandom random(77);
  for (int depth : kDepths) {
    for (int kind : {0, 2}) {
      TestSurface dest(40, 9, depth, 3, 0), source(30, 8, depth, 1, kind);
      dest.Randomize(random);
      source.Randomize(random);
      TestSurface plain(dest);
      ASSERT_TRUE(DrawPixels(plain.view, source.view, 5, 2, Rect(3, 1, 22, 7), Whole(dest.view), 140, kBlitFormPlain));
      for (int y = 0; y < 9; ++y) {
        for (int x = 0; x < 40; ++x) {
          const bool inside = x >= 5 && x < 24 && y >= 2 && y < 8;
          if (!inside) {
            ASSERT_EQ(plain.Get(x, y), dest.Get(x, y)) << x << "," << y;
            continue;
          }
          const int a = kind == 2 ? source.AlphaAt(x - 2, y - 1) - 115 : 140;
          ASSERT_EQ(plain.Get(x, y), ReferencePixel(depth, dest.Get(x, y), source.Get(x - 2, y - 1), a));
        }
      }
      for (int form : {kBlitFormMmx, kBlitFormSse}) {
        TestSurface fast(dest);
        ASSERT_TRUE(DrawPixels(fast.view, source.view, 5, 2, Rect(3, 1, 22, 7), Whole(dest.view), 140, form));
        EXPECT_EQ(fast.pixels, plain.pixels) << "form " << form << " depth " << depth << " kind " << kind;
      }
    }
  }
}

// A colour-keyed source is copied wherever it is not the key: the opacity takes no part, in any form or
// depth, onto destinations with and without alpha in use, drawn and stretched.
TEST_F(BlitFormsTest, ColourKeyedDrawsIgnoreTheOpacity) {
  CRandom random(31337);
  for (int depth : kDepths) {
    for (int destKind : {0, 2}) {
      TestSurface dest(19, 4, depth, 1, destKind), source(19, 4, depth, 3, 1);
      dest.Randomize(random);
      source.Randomize(random);
      source.view.colorKey = 0x00FF00;
      for (int x = 0; x < 19; x += 3) source.Set(x, x % 4, PackColor(0x00FF00, depth));
      TestSurface opaque(dest);
      ASSERT_TRUE(DrawPixels(opaque.view, source.view, 0, 0, Whole(source.view), Whole(dest.view), 255, kBlitFormPlain));
      int keyed = 0;
      for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 19; ++x) {
          const bool key = (PackColor(0x00FF00, depth) ^ source.Get(x, y)) % (depth == 15 ? 0x8000u : 0x1000000u) == 0;
          keyed += key;
          EXPECT_EQ(opaque.Get(x, y), key ? dest.Get(x, y) : source.Get(x, y)) << depth << ": " << x << "," << y;
        }
      }
      ASSERT_GE(keyed, 7);
      for (int form : {kBlitFormPlain, kBlitFormMmx, kBlitFormSse}) {
        for (int opacity : {254, 128, 1, 0}) {
          TestSurface faded(dest);
          DrawPixels(faded.view, source.view, 0, 0, Whole(source.view), Whole(dest.view), opacity, form);
          EXPECT_EQ(faded.pixels, opaque.pixels) << "form " << form << " depth " << depth << " opacity " << opacity;
          EXPECT_EQ(faded.alpha, opaque.alpha) << "form " << form << " depth " << depth << " opacity " << opacity;
        }
      }
      TestSurface big(31, 9, depth, 2, destKind);
      big.Randomize(random);
      TestSurface stretchedOpaque(big), stretchedFaded(big);
      ASSERT_TRUE(StretchPixels(stretchedOpaque.view, source.view, Rect(-2, 1, 33, 9), Whole(source.view),
                                Whole(big.view), 255));
      ASSERT_TRUE(StretchPixels(stretchedFaded.view, source.view, Rect(-2, 1, 33, 9), Whole(source.view),
                                Whole(big.view), 128));
      EXPECT_EQ(stretchedFaded.pixels, stretchedOpaque.pixels) << "stretch, depth " << depth;
      EXPECT_EQ(stretchedFaded.alpha, stretchedOpaque.alpha) << "stretch, depth " << depth;
      EXPECT_NE(stretchedOpaque.pixels, big.pixels);
    }
  }
}

// A surface drawn onto itself with overlapping rectangles ends as if drawn from a copy of the source
// rectangle, in every form, depth, source kind and opacity, shifted in every direction.
TEST_F(BlitFormsTest, DrawingASurfaceOntoItselfEqualsDrawingFromACopy) {
  CRandom random(2718);
  const int shifts[][2] = {{0, 1}, {0, -1}, {1, 0}, {-1, 0}, {1, 1}, {-1, -1}, {3, -2}, {-9, 1}, {0, 0}, {12, 0}};
  int compared = 0;
  for (int depth : kDepths) {
    // Source kind, and whether the destination view has its alpha in use, over the same memory.
    for (int kinds : {0, 1, 2, 3, 4}) {
      const int sourceKind = kinds % 3;
      const int destKind = kinds == 2 || kinds >= 3 ? 2 : 0;
      for (const auto& shift : shifts) {
        for (int opacity : {255, 128}) {
          TestSurface surface(17, 7, depth, 1, destKind);
          surface.Randomize(random);
          PixelView source = surface.view;
          source.selector = sourceKind;
          source.colorKey = surface.Get(2, 2) & 0xFFFFFF;
          const PixelRect rect = Rect(2, 1, 15, 6);
          const int x = rect.left + shift[0], y = rect.top + shift[1];
          for (int form : {kBlitFormPlain, kBlitFormMmx, kBlitFormSse}) {
            TestSurface copy(surface);
            PixelView copyView = copy.view;
            copyView.selector = sourceKind;
            copyView.colorKey = source.colorKey;
            TestSurface expected(surface);
            ASSERT_TRUE(DrawPixels(expected.view, copyView, x, y, rect, Whole(surface.view), opacity, form));
            TestSurface self(surface);
            PixelView selfSource = self.view;
            selfSource.selector = sourceKind;
            selfSource.colorKey = source.colorKey;
            ASSERT_TRUE(DrawPixels(self.view, selfSource, x, y, rect, Whole(surface.view), opacity, form));
            EXPECT_EQ(self.pixels, expected.pixels) << "form " << form << " depth " << depth << " kinds " << kinds
                                                    << " shift " << shift[0] << "," << shift[1] << " opacity " << opacity;
            EXPECT_EQ(self.alpha, expected.alpha) << "form " << form << " depth " << depth << " kinds " << kinds
                                                  << " shift " << shift[0] << "," << shift[1];
            ++compared;
          }
        }
      }
    }
  }
  EXPECT_EQ(compared, 4 * 5 * 10 * 2 * 3);

  // Stretched onto itself, enlarged over its own source rectangle: as if from a copy.
  for (int depth : kDepths) {
    for (int kind : {0, 1, 2}) {
      TestSurface surface(12, 11, depth, 3, kind);
      surface.Randomize(random);
      surface.view.colorKey = surface.Get(1, 1) & 0xFFFFFF;
      TestSurface copy(surface), expected(surface);
      ASSERT_TRUE(StretchPixels(expected.view, copy.view, Rect(2, 1, 12, 11), Rect(0, 0, 7, 6), Whole(surface.view), 200));
      ASSERT_TRUE(StretchPixels(surface.view, surface.view, Rect(2, 1, 12, 11), Rect(0, 0, 7, 6), Whole(surface.view), 200));
      EXPECT_EQ(surface.pixels, expected.pixels) << "stretch, depth " << depth << " kind " << kind;
      EXPECT_EQ(surface.alpha, expected.alpha) << "stretch, depth " << depth << " kind " << kind;
    }
  }

  // Rows 0-3 copied onto rows 1-4 move down by one; row 0 stays.
  for (int depth : kDepths) {
    TestSurface surface(6, 5, depth, 2, 0);
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 6; ++x) surface.Set(x, y, PackColor(0x102030 * (y + 1) + x, depth));
    TestSurface before(surface);
    ASSERT_TRUE(DrawPixels(surface.view, surface.view, 0, 1, Rect(0, 0, 6, 4), Whole(surface.view), 255));
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 6; ++x) EXPECT_EQ(surface.Get(x, y), before.Get(x, y == 0 ? 0 : y - 1)) << depth << ": " << x << "," << y;
  }
}

}  // namespace
