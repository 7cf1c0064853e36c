// The blends, the colour key and the row copy against a reference written from the per-pixel rules and
// the table accessors, and every fast form (MMX-level, SSE-level, AVX2) against the plain form, byte for
// byte over whole buffers (so a write into row padding or past a row fails too): all depths, widths 1
// to 40 (the eight- and sixteen-pixel steps and their remainders), unaligned rows and odd pitches. The
// conversions likewise, AVX2 against plain.

#include <gtest/gtest.h>

#include <vector>

#include "image/BlendTables.h"
#include "image/Blit.h"
#include "image/CpuFeatures.h"
#include "tests/image/BlitTestSurface.h"

namespace {

const int kDepths[] = {15, 16, 24, 32};

// The forms compared with the plain one. The AVX2 form only where it can run; elsewhere it would be
// lowered to the SSE-level form and compare nothing new (Avx2FormRunsWhereTheRecordAllowsIt says so).
std::vector<int> FastForms() {
  std::vector<int> forms = {kBlitFormMmx, kBlitFormSse};
  if (GetCpuFeatures().avx2) forms.push_back(kBlitFormAvx2);
  return forms;
}

// The plain form and every fast one this processor runs.
std::vector<int> AllForms() {
  std::vector<int> forms = FastForms();
  forms.insert(forms.begin(), kBlitFormPlain);
  return forms;
}

// The bits of a pixel the colour key compares, and the key of a source packed to its depth.
uint32_t KeyMaskOf(int depth) { return depth == 15 ? 0x7FFF : depth == 16 ? 0xFFFF : 0xFFFFFF; }
uint32_t PackedKey(const TestSurface& source) {
  return PackColor(source.view.colorKey, source.view.depth) & KeyMaskOf(source.view.depth);
}

// Makes a colour-keyed source of its random pixels: a key, and runs of pixels equal to it (with random
// bits outside the compared ones: bit 15 of 15-bit pixels, the fourth byte of 32-bit ones), of pixels
// one compared bit away from it, and of others, so that whole steps are keyed, none are, or some.
void SprinkleKey(TestSurface* source, CRandom& random) {
  const int depth = source->view.depth;
  source->view.colorKey = random.Next() & 0xFFFFFF;
  const uint32_t key = PackedKey(*source), mask = KeyMaskOf(depth);
  const uint32_t unused = depth == 15 ? 0x8000 : depth == 32 ? 0xFF000000u : 0;
  for (int y = 0; y < source->view.height; ++y) {
    for (int x = 0; x < source->view.width;) {
      const uint32_t choice = random.Next(3);
      const int run = 1 + static_cast<int>(random.Next(18));
      for (int k = 0; k < run && x < source->view.width; ++k, ++x) {
        if (choice == 0)
          source->Set(x, y, key | (random.Next() & unused));
        else if (choice == 1)
          source->Set(x, y, key ^ (1u << random.Next(depth == 15 ? 15 : depth == 16 ? 16 : 24)));
        else if ((source->Get(x, y) & mask) == key)
          source->Set(x, y, source->Get(x, y) ^ 1);
      }
    }
  }
}

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
    r |= static_cast<uint32_t>(
             static_cast<uint8_t>(MultiplyByte(a, (s >> shift) & 0xFF) + MultiplyByte(255 - a, (d >> shift) & 0xFF)))
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
      if (source.view.selector == 1) a = 255;  // keyed sources are copied whatever the opacity
      if (source.view.selector == 1 && (source.Get(x, y) & KeyMaskOf(dest.view.depth)) == PackedKey(source)) continue;
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

TEST_F(BlitFormsTest, Avx2FormRunsWhereTheRecordAllowsIt) {
  if (!GetCpuFeatures().avx2)
    GTEST_SKIP() << "no AVX2 here (or the system does not save the YMM state): the AVX2 form is not compared";
  EXPECT_EQ(ResolveBlitForm(kBlitFormAvx2), kBlitFormAvx2);
  EXPECT_EQ(ResolveBlitForm(kBlitFormAuto), kBlitFormAvx2);  // the best form the record allows
  // The processor levels and other values above the SSE level still mean SSE.
  EXPECT_EQ(ResolveBlitForm(3), kBlitFormSse);
  EXPECT_EQ(ResolveBlitForm(5), kBlitFormSse);
}

// Each (depth, width, pitch, kind, opacity): the plain form equals the reference, the fast forms equal
// the plain form. Kind 0 at opacity 255 is the row copy.
TEST_F(BlitFormsTest, EveryFormComputesThePlainFormsPixels) {
  CRandom random(20260);
  const int opacities[] = {255, 254, 250, 200, 128, 100, 9, 8, 7, 5, 1, 0};
  const std::vector<int> forms = FastForms();
  int compared = 0;
  for (int depth : kDepths) {
    for (int width = 1; width <= 40; ++width) {
      for (int extra : {0, 1, 3}) {
        for (int kind : {0, 1, 2}) {
          for (int opacity : opacities) {
            TestSurface dest(width, 3, depth, extra, 0), source(width, 3, depth, extra + 2, kind);
            dest.Randomize(random);
            source.Randomize(random);
            if (kind == 1) SprinkleKey(&source, random);
            const TestSurface expected = ReferenceDraw(dest, source, opacity);
            TestSurface plain(dest);
            ASSERT_TRUE(DrawPixels(plain.view, source.view, 0, 0, Whole(source.view), Whole(dest.view), opacity,
                                   kBlitFormPlain));
            ASSERT_EQ(plain.pixels, expected.pixels)
                << "plain form, depth " << depth << " width " << width << " kind " << kind << " opacity " << opacity;
            for (int form : forms) {
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
  EXPECT_EQ(compared, 4 * 40 * 3 * 3 * 12 * static_cast<int>(forms.size()));
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
      std::vector<int> forms = FastForms();
      forms.push_back(kBlitFormPlain);
      for (int form : forms) {
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
    for (int kind : {0, 1, 2}) {
      TestSurface dest(40, 9, depth, 3, 0), source(30, 8, depth, 1, kind);
      dest.Randomize(random);
      source.Randomize(random);
      if (kind == 1) SprinkleKey(&source, random);
      TestSurface plain(dest);
      ASSERT_TRUE(DrawPixels(plain.view, source.view, 5, 2, Rect(3, 1, 22, 7), Whole(dest.view), 140, kBlitFormPlain));
      for (int y = 0; y < 9; ++y) {
        for (int x = 0; x < 40; ++x) {
          const bool inside = x >= 5 && x < 24 && y >= 2 && y < 8;
          if (!inside) {
            ASSERT_EQ(plain.Get(x, y), dest.Get(x, y)) << x << "," << y;
            continue;
          }
          const int a = kind == 2 ? source.AlphaAt(x - 2, y - 1) - 115 : kind == 1 ? 255 : 140;
          const bool keyed = kind == 1 && (source.Get(x - 2, y - 1) & KeyMaskOf(depth)) == PackedKey(source);
          const uint32_t drawn = ReferencePixel(depth, dest.Get(x, y), source.Get(x - 2, y - 1), a);
          ASSERT_EQ(plain.Get(x, y), keyed ? dest.Get(x, y) : drawn);
        }
      }
      for (int form : FastForms()) {
        TestSurface fast(dest);
        ASSERT_TRUE(DrawPixels(fast.view, source.view, 5, 2, Rect(3, 1, 22, 7), Whole(dest.view), 140, form));
        EXPECT_EQ(fast.pixels, plain.pixels) << "form " << form << " depth " << depth << " kind " << kind;
      }
    }
  }
}

// A row copied onto itself a few pixels to the left or right (a draw within one surface): every form
// leaves the row as if it had been read whole before any pixel was written.
TEST_F(BlitFormsTest, RowCopyWithinOneSurface) {
  CRandom random(808);
  for (int depth : kDepths) {
    for (int shift : {-9, -3, -1, 1, 2, 8, 13}) {
      TestSurface surface(120, 2, depth, 1, 0);
      surface.Randomize(random);
      TestSurface expected(surface);
      for (int x = 0; x < 120; ++x) {
        if (x + shift >= 0 && x + shift < 120) expected.Set(x + shift, 1, surface.Get(x, 1));
      }
      std::vector<int> forms = FastForms();
      forms.push_back(kBlitFormPlain);
      for (int form : forms) {
        TestSurface out(surface);
        ASSERT_TRUE(DrawPixels(out.view, out.view, shift, 1, Rect(0, 1, 120, 2), Whole(out.view), 255, form));
        EXPECT_EQ(out.pixels, expected.pixels) << "form " << form << " depth " << depth << " shift " << shift;
      }
    }
  }
}

// Surfaces whose rows follow each other without padding are copied as one run of bytes: short runs and
// long ones, and a surface copied onto itself one row down, which must come out as if read whole first.
TEST_F(BlitFormsTest, RowCopyOfSurfacesWithoutPadding) {
  CRandom random(31);
  std::vector<int> forms = FastForms();
  forms.push_back(kBlitFormPlain);
  for (int depth : kDepths) {
    for (int width : {5, 40, 300}) {
      const int height = width == 300 ? 70 : 3;  // 300 x 70 is past 64 KiB at every depth
      TestSurface source(width, height, depth), dest(width, height, depth);
      source.Randomize(random);
      dest.Randomize(random);
      for (int form : forms) {
        TestSurface out(dest);
        ASSERT_TRUE(DrawPixels(out.view, source.view, 0, 0, Whole(source.view), Whole(out.view), 255, form));
        EXPECT_EQ(out.pixels, source.pixels) << "form " << form << " depth " << depth << " width " << width;

        TestSurface shifted(source);
        ASSERT_TRUE(DrawPixels(shifted.view, shifted.view, 0, 1, Whole(shifted.view), Whole(shifted.view), 255, form));
        for (int y = 1; y < height; ++y)
          for (int x = 0; x < width; ++x) ASSERT_EQ(shifted.Get(x, y), source.Get(x, y - 1)) << x << "," << y;
        for (int x = 0; x < width; ++x) ASSERT_EQ(shifted.Get(x, 0), source.Get(x, 0));
      }
    }
  }
}

// Every pair of depths, both row orders, widths 1 to 40 and odd pitches: the AVX2 conversions give the
// plain ones' bytes, and leave the target's row padding alone.
TEST_F(BlitFormsTest, Avx2ConversionsEqualThePlainOnes) {
  if (!GetCpuFeatures().avx2) GTEST_SKIP() << "no AVX2 here: the conversions run only in their plain form";
  CRandom random(1998);
  int compared = 0;
  for (int targetDepth : kDepths) {
    for (int sourceDepth : kDepths) {
      for (int width = 1; width <= 40; ++width) {
        for (int extra : {0, 1, 5}) {
          for (bool bottomUp : {false, true}) {
            TestSurface source(width, 3, sourceDepth, extra), target(width, 3, targetDepth, extra + 2);
            source.Randomize(random);
            target.Randomize(random);
            TestSurface plain(target), fast(target);
            ASSERT_TRUE(ConvertPixels(plain.view, source.view, bottomUp, kBlitFormPlain));
            ASSERT_TRUE(ConvertPixels(fast.view, source.view, bottomUp, kBlitFormAvx2));
            ASSERT_EQ(fast.pixels, plain.pixels) << sourceDepth << " -> " << targetDepth << " width " << width
                                                 << " pitch +" << extra << (bottomUp ? " bottom-up" : "");
            ++compared;
          }
        }
      }
    }
  }
  EXPECT_EQ(compared, 16 * 40 * 3 * 2);
  // And the rules themselves on one row: 0x00RRGGBB = 0x00F8FC08 gives 565 0xFFE1, 555 0x7FE1.
  TestSurface source(17, 1, 32), target16(17, 1, 16), target15(17, 1, 15), target32(17, 1, 32);
  TestSurface source24(17, 1, 24);
  source.FillWith(0xABF8FC08);
  source24.FillWith(0xF8FC08);
  ASSERT_TRUE(ConvertPixels(target16.view, source.view, false, kBlitFormAvx2));
  ASSERT_TRUE(ConvertPixels(target15.view, source.view, false, kBlitFormAvx2));
  ASSERT_TRUE(ConvertPixels(target32.view, source24.view, false, kBlitFormAvx2));
  for (int x = 0; x < 17; ++x) {
    EXPECT_EQ(target16.Get(x, 0), 0xFFE1u) << x;
    EXPECT_EQ(target15.Get(x, 0), 0x7FE1u) << x;
    EXPECT_EQ(target32.Get(x, 0), 0x00F8FC08u) << x;
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
      ASSERT_TRUE(
          DrawPixels(opaque.view, source.view, 0, 0, Whole(source.view), Whole(dest.view), 255, kBlitFormPlain));
      int keyed = 0;
      for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 19; ++x) {
          const bool key = (PackColor(0x00FF00, depth) ^ source.Get(x, y)) % (depth == 15 ? 0x8000u : 0x1000000u) == 0;
          keyed += key;
          EXPECT_EQ(opaque.Get(x, y), key ? dest.Get(x, y) : source.Get(x, y)) << depth << ": " << x << "," << y;
        }
      }
      ASSERT_GE(keyed, 7);
      for (int form : AllForms()) {
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
          for (int form : AllForms()) {
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
            EXPECT_EQ(self.pixels, expected.pixels)
                << "form " << form << " depth " << depth << " kinds " << kinds << " shift " << shift[0] << ","
                << shift[1] << " opacity " << opacity;
            EXPECT_EQ(self.alpha, expected.alpha) << "form " << form << " depth " << depth << " kinds " << kinds
                                                  << " shift " << shift[0] << "," << shift[1];
            ++compared;
          }
        }
      }
    }
  }
  EXPECT_EQ(compared, 4 * 5 * 10 * 2 * static_cast<int>(AllForms().size()));

  // Stretched onto itself, enlarged over its own source rectangle: as if from a copy.
  for (int depth : kDepths) {
    for (int kind : {0, 1, 2}) {
      TestSurface surface(12, 11, depth, 3, kind);
      surface.Randomize(random);
      surface.view.colorKey = surface.Get(1, 1) & 0xFFFFFF;
      TestSurface copy(surface), expected(surface);
      ASSERT_TRUE(
          StretchPixels(expected.view, copy.view, Rect(2, 1, 12, 11), Rect(0, 0, 7, 6), Whole(surface.view), 200));
      ASSERT_TRUE(
          StretchPixels(surface.view, surface.view, Rect(2, 1, 12, 11), Rect(0, 0, 7, 6), Whole(surface.view), 200));
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
      for (int x = 0; x < 6; ++x)
        EXPECT_EQ(surface.Get(x, y), before.Get(x, y == 0 ? 0 : y - 1)) << depth << ": " << x << "," << y;
  }
}

}  // namespace
