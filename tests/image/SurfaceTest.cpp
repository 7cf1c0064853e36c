// Surfaces: creation and layout per depth, fills, colour keys and selectors, loading bitmaps through the
// file front (every depth pair of the conversion), the ".alp" companion, SaveBmp read back by the
// test's own reader, the DIB section's device context, Restore, the registry and the holders.

#include "image/Surface.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "image/BlendTables.h"
#include "image/BmpImage.h"
#include "image/SurfaceDraw.h"
#include "image/SurfaceRegistry.h"
#include "tests/image/BmpFixtures.h"
#include "tests/support/TestSupport.h"

using namespace bmp_fixtures;
using namespace testing_support;

namespace {

// A 3 x 2 24-bit image whose pixel (x, y) (y from the top) is red 0x10 * (x + 1), green 0x40 * y + 0x11,
// blue 0x08 + x + 3 * y.
uint32_t Sample(int x, int y) {
  return (static_cast<uint32_t>(0x10 * (x + 1)) << 16) | (static_cast<uint32_t>(0x40 * y + 0x11) << 8) |
         static_cast<uint32_t>(0x08 + x + 3 * y);
}

BmpSpec SampleSpec(uint16_t bits = 24) {
  BmpSpec spec;
  spec.width = 3;
  spec.height = 2;
  spec.bits = bits;
  spec.pixel = [bits](int x, int row) {
    const uint32_t c = Sample(x, 1 - row);  // file rows bottom first
    std::vector<uint8_t> bytes{uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16)};
    if (bits == 32) bytes.push_back(0);
    return bytes;
  };
  return spec;
}

uint32_t Pack(uint32_t rgb, int depth) {
  const uint32_t r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
  if (depth == 15) return ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
  if (depth == 16) return ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
  return rgb;
}

// What SaveBmp writes for a pixel of a depth: 0x00RRGGBB after the depth's reduction.
uint32_t Reduced(uint32_t rgb, int depth) {
  const uint32_t p = Pack(rgb, depth);
  if (depth == 15) return (((p >> 7) & 0xF8) << 16) | (((p >> 2) & 0xF8) << 8) | ((p & 0x1F) << 3);
  if (depth == 16) return (((p >> 8) & 0xF8) << 16) | (((p >> 3) & 0xFC) << 8) | ((p & 0x1F) << 3);
  return rgb;
}

// An independent reading of a 24-bit BMP written by SaveBmp: checks the header fields and gives the
// pixel (x, y from the top) as 0x00RRGGBB.
struct SavedBmp {
  bool ok = false;
  int width = 0, height = 0;
  std::string bytes;
  uint32_t At(int x, int y) const {
    const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
    const size_t at = 54 + static_cast<size_t>(height - 1 - y) * stride + 3 * static_cast<size_t>(x);
    return static_cast<uint8_t>(bytes[at]) | (static_cast<uint8_t>(bytes[at + 1]) << 8) |
           (static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 2])) << 16);
  }
};

SavedBmp ReadSaved(const std::string& path) {
  SavedBmp saved;
  if (!ReadWholeFile(path, &saved.bytes) || saved.bytes.size() < 54) {
    ADD_FAILURE() << "no bitmap at " << path;
    return saved;
  }
  const std::string& b = saved.bytes;
  saved.width = static_cast<int>(Get32(b, 18));
  saved.height = static_cast<int>(Get32(b, 22));
  const uint32_t stride = (static_cast<uint32_t>(saved.width) * 3 + 3) & ~3u;
  EXPECT_EQ(b.substr(0, 2), "BM");
  EXPECT_EQ(Get32(b, 2), b.size());
  EXPECT_EQ(Get32(b, 10), 54u);
  EXPECT_EQ(Get32(b, 14), 40u);
  EXPECT_EQ(static_cast<uint8_t>(b[28]), 24);
  EXPECT_EQ(Get32(b, 34), stride * static_cast<uint32_t>(saved.height));
  saved.ok = b.size() == 54 + stride * static_cast<uint32_t>(saved.height);
  EXPECT_TRUE(saved.ok) << "file size " << b.size();
  return saved;
}

class SurfaceTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { BuildBlendTables(); }
  std::string Write(const std::string& name, const std::string& bytes) {
    const std::string path = scratch_ / name;
    EXPECT_TRUE(WriteWholeFile(path, bytes));
    return path;
  }
  ScratchFolder scratch_;
};

}  // namespace

TEST_F(SurfaceTest, CreateLaysOutEachDepthAndRefusesWhatCannotBeHeld) {
  CMemorySurface surface;
  ASSERT_TRUE(surface.Create(5, 3, 15, 0));
  EXPECT_EQ(surface.GetDepth(), 15);
  EXPECT_EQ(surface.GetPitch(), 12);  // 5 two-byte pixels, rounded up to 4
  EXPECT_EQ(surface.GetBlitSelector(), 0);
  EXPECT_EQ(surface.GetColorKey(), 0x00FF00u);
  ASSERT_TRUE(surface.Create(3, 2, 24, 0));
  EXPECT_EQ(surface.GetPitch(), 12);
  EXPECT_EQ(surface.GetBlitSelector(), 8);
  ASSERT_TRUE(surface.Create(3, 2, 16, 0));
  EXPECT_EQ(surface.GetPitch(), 8);
  EXPECT_EQ(surface.GetBlitSelector(), 4);
  ASSERT_TRUE(surface.Create(0x1000, 1, 0, 0));
  EXPECT_EQ(surface.GetDepth(), GetScreenDepth()) << "depth 0 is the screen's";

  EXPECT_FALSE(surface.Create(0, 4, 32, 0));
  EXPECT_FALSE(surface.IsCreated()) << "a failed Create leaves the surface empty";
  EXPECT_EQ(surface.GetBlitSelector(), -1);
  EXPECT_FALSE(surface.Create(4, -1, 32, 0));
  EXPECT_FALSE(surface.Create(4, 4, 8, 0));
  EXPECT_FALSE(surface.Create(0x7FFFFFFF, 2, 32, 0)) << "the pitch overflows";
  EXPECT_FALSE(surface.Create(65536, 65536, 32, 0)) << "the buffer overflows";

  // The selector: base, depth, then alpha (with a plane) before the colour key.
  CDIBSurface dib;
  ASSERT_TRUE(dib.Create(4, 4, 32, 1));
  EXPECT_EQ(dib.GetBlitSelector(), 16 + 12);
  dib.SetColorKeyEnable(true);
  EXPECT_EQ(dib.GetBlitSelector(), 16 + 12 + 1);
  dib.SetAlphaEnable(true);
  EXPECT_TRUE(dib.HasAlphaPlane());
  EXPECT_EQ(dib.GetAlphaPitch(), 4);
  EXPECT_EQ(dib.GetAlpha(3, 3), 255) << "a new alpha plane is opaque";
  EXPECT_EQ(dib.GetBlitSelector(), 16 + 12 + 2);
  dib.SetAlphaEnable(false);
  EXPECT_EQ(dib.GetBlitSelector(), 16 + 12 + 1);
  dib.Release();
  EXPECT_EQ(dib.GetBlitSelector(), -1);
  EXPECT_FALSE(dib.IsColorKeyEnabled()) << "Release clears the flags";
}

TEST_F(SurfaceTest, FillsClipToTheSurfaceAndTakeColoursRedInTheLowByte) {
  CMemorySurface surface;
  ASSERT_TRUE(surface.Create(3, 2, 24, 0));
  std::memset(surface.GetPixels(), 0xAA, 12 * 2);
  surface.Fill(0x0000FF, 2, 0, 1, 2);  // right < left
  surface.Fill(0x0000FF, 0, 2, 3, 1);  // bottom < top
  EXPECT_EQ(surface.GetPixel(0, 0), 0xAAAAAAu) << "an empty rectangle writes nothing";
  surface.FillAll(0);
  for (int i = 0; i < 24; ++i) EXPECT_EQ(surface.GetPixels()[i], 0) << "byte " << i << ", padding included";

  surface.Fill(0x0000FF, -5, -5, 2, 1);  // red; cut to (0, 0)-(2, 1)
  EXPECT_EQ(surface.GetPixel(0, 0), 0xFF0000u);
  EXPECT_EQ(surface.GetPixel(1, 0), 0xFF0000u);
  EXPECT_EQ(surface.GetPixel(2, 0), 0u);
  EXPECT_EQ(surface.GetPixel(0, 1), 0u);
  EXPECT_EQ(surface.GetPixels()[9], 0) << "row padding untouched by a coloured fill";

  for (int depth : {15, 16, 32}) {
    ASSERT_TRUE(surface.Create(5, 2, depth, 0));
    surface.FillAll(0x123456);  // red 0x56, green 0x34, blue 0x12
    EXPECT_EQ(surface.GetPixel(4, 1), Pack(0x563412, depth)) << "depth " << depth;
    surface.Fill(0, 1, 0, 2, 1);
    EXPECT_EQ(surface.GetPixel(1, 0), 0u);
    EXPECT_EQ(surface.GetPixel(2, 0), Pack(0x563412, depth));
  }

  // Alpha fills make the plane (width rounded up to 4) and cut like the colour fills.
  ASSERT_TRUE(surface.Create(5, 2, 32, 0));
  EXPECT_FALSE(surface.HasAlphaPlane());
  surface.FillAlpha(7, 3, -1, 10, 1);
  ASSERT_TRUE(surface.HasAlphaPlane());
  EXPECT_EQ(surface.GetAlphaPitch(), 8);
  EXPECT_FALSE(surface.IsAlphaEnabled()) << "filling alpha does not switch it on";
  EXPECT_EQ(surface.GetAlpha(3, 0), 7);
  EXPECT_EQ(surface.GetAlpha(4, 0), 7);
  EXPECT_EQ(surface.GetAlpha(2, 0), 255);
  EXPECT_EQ(surface.GetAlpha(3, 1), 255);
  surface.FillAlphaAll(9);
  EXPECT_EQ(surface.GetAlpha(0, 1), 9);
}

TEST_F(SurfaceTest, ColourKeyAndPixelAccessors) {
  CSurface surface;
  ASSERT_TRUE(surface.Create(4, 4, 32, 0));
  surface.SetColorKey(0x0000FF);
  EXPECT_EQ(surface.GetColorKey(), 0xFF0000u);
  surface.SetColorKey(0x123456);
  EXPECT_EQ(surface.GetColorKey(), 0x563412u);

  surface.SetPixel(3, 3, 0xABCDEF);
  EXPECT_EQ(surface.GetPixel(3, 3), 0xABCDEFu);
  surface.SetPixel(4, 0, 0x111111);  // outside: ignored
  surface.SetPixel(-1, 0, 0x111111);
  EXPECT_EQ(surface.GetPixel(4, 0), 0u);
  EXPECT_EQ(surface.GetPixel(0, -1), 0u);
  surface.SetAlpha(0, 0, 5);  // no plane: ignored
  EXPECT_EQ(surface.GetAlpha(0, 0), 0);

  CSurface shallow;
  ASSERT_TRUE(shallow.Create(3, 1, 16, 0));
  shallow.SetPixel(2, 0, 0xF81F);
  EXPECT_EQ(shallow.GetPixel(2, 0), 0xF81Fu);
  EXPECT_EQ(shallow.GetPixel(1, 0) & 0xFFFF0000u, 0u);
}

TEST_F(SurfaceTest, LoadConvertsEveryDepthPairAndSaveBmpWritesWhatAnotherReaderSees) {
  for (uint16_t bits : {uint16_t(24), uint16_t(32)}) {
    const std::string in = Write("sample" + std::to_string(bits) + ".bmp", MakeBmp(SampleSpec(bits)));
    for (int depth : {15, 16, 24, 32}) {
      SCOPED_TRACE("file " + std::to_string(bits) + " bits, surface depth " + std::to_string(depth));
      for (int kind : {0, 1}) {
        CSurface surface;
        ASSERT_TRUE(surface.Load(in, depth, kind));
        EXPECT_EQ(surface.GetDepth(), depth);
        EXPECT_EQ(surface.GetBitmap() != nullptr, kind != 0) << "kind 1 is a DIB section";
        for (int y = 0; y < 2; ++y) {
          for (int x = 0; x < 3; ++x) EXPECT_EQ(surface.GetPixel(x, y), Pack(Sample(x, y), depth)) << x << "," << y;
        }
        const std::string out = scratch_ / "out.bmp";
        ASSERT_TRUE(surface.SaveBmp(out));
        const SavedBmp saved = ReadSaved(out);
        ASSERT_TRUE(saved.ok);
        EXPECT_EQ(saved.width, 3);
        EXPECT_EQ(saved.height, 2);
        for (int y = 0; y < 2; ++y) {
          for (int x = 0; x < 3; ++x) EXPECT_EQ(saved.At(x, y), Reduced(Sample(x, y), depth)) << x << "," << y;
        }
      }
    }
  }

  // The bytes of the 24-bit sample saved again: pinned, padding zero.
  CSurface surface;
  ASSERT_TRUE(surface.Load(scratch_ / "sample24.bmp", 24, 0));
  ASSERT_TRUE(surface.SaveBmp(scratch_ / "pinned.bmp"));
  std::string bytes;
  ASSERT_TRUE(ReadWholeFile(scratch_ / "pinned.bmp", &bytes));
  EXPECT_EQ(HexBytes(bytes.substr(54)),
            "0B 51 10 0C 51 20 0D 51 30 00 00 00 "  // bottom row (y = 1) first
            "08 11 10 09 11 20 0A 11 30 00 00 00");
  EXPECT_EQ(HexBytes(bytes.substr(0, 14)), "42 4D 4E 00 00 00 00 00 00 00 36 00 00 00");

  EXPECT_FALSE(surface.SaveBmp(scratch_ / "no-such-folder\\x.bmp"));
}

// Surfaces wider than any bitmap the reader accepts are still written whole, with a 64-bit row size,
// under names with Shift-JIS trail bytes 0x5C and at paths near the 260-byte limit.
TEST_F(SurfaceTest, SaveBmpWritesSurfacesWiderThanTheReaderAccepts) {
  const int width = 40000;
  for (int depth : {24, 16}) {
    SCOPED_TRACE("depth " + std::to_string(depth));
    CMemorySurface surface;
    ASSERT_TRUE(surface.Create(width, 2, depth, 0));
    auto colour = [](int x, int y) {
      return (static_cast<uint32_t>(x) * 0x010307u + static_cast<uint32_t>(y) * 0x400000u) & 0xF8FCF8u;
    };
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < width; ++x) surface.SetPixel(x, y, Pack(colour(x, y), depth));
    std::string name = "幅広い" + kHyo + kSo + kNo + "予十" + std::to_string(depth) + ".bmp";
    const std::string base = scratch_ / "";
    if (depth == 16) name = std::string(250 - base.size() - name.size(), 'x') + name;  // about 250 bytes
    const std::string path = scratch_ / name;
    ASSERT_TRUE(surface.SaveBmp(path)) << path.size();
    const SavedBmp saved = ReadSaved(path);
    ASSERT_TRUE(saved.ok);
    EXPECT_EQ(saved.width, width);
    EXPECT_EQ(saved.height, 2);
    int wrong = 0;
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < width; ++x) wrong += saved.At(x, y) != Reduced(colour(x, y), depth);
    EXPECT_EQ(wrong, 0);
  }
}

TEST_F(SurfaceTest, EightBitPalettesAndOtherHeaderSizesLoad) {
  BmpSpec spec;
  spec.width = 4;
  spec.height = 2;
  spec.bits = 8;
  spec.palette = TestPalette();
  spec.pixel = [](int x, int row) { return std::vector<uint8_t>{uint8_t(100 + x + 10 * row)}; };
  CSurface surface;
  ASSERT_TRUE(surface.Load(Write("indexed.bmp", MakeBmp(spec)), 32, 0));
  EXPECT_EQ(surface.GetPixel(0, 1), spec.palette[100]) << "the bottom row is the file's first";
  EXPECT_EQ(surface.GetPixel(3, 0), spec.palette[113]);

  CImageFile image;
  ASSERT_TRUE(image.Open(scratch_ / "indexed.bmp"));
  EXPECT_EQ(image.GetDepth(), 24) << "an 8-bit file is stored as 24 bits";
  EXPECT_EQ(image.GetStride(), 12);
  EXPECT_EQ(image.GetTotalBytes(), 24u);

  spec.headerSize = 124;
  ASSERT_TRUE(surface.Load(Write("v5.bmp", MakeBmp(spec)), 32, 1));
  EXPECT_EQ(surface.GetPixel(2, 0), spec.palette[112]);

  BmpSpec wide = SampleSpec();
  wide.headerSize = 56;
  ASSERT_TRUE(surface.Load(Write("v3.bmp", MakeBmp(wide)), 24, 0));
  EXPECT_EQ(surface.GetPixel(2, 1), Sample(2, 1));
}

TEST_F(SurfaceTest, AlphaCompanionOfWidthThreeIsUnpadded) {
  const std::string path = Write("three.bmp", MakeBmp(SampleSpec()));
  Write("three.alp", std::string("\x00\x40\x80\xC0\xE0\xFF", 6));
  CSurface surface;
  ASSERT_TRUE(surface.Load(path, 32, 0));
  ASSERT_TRUE(surface.HasAlphaPlane());
  EXPECT_TRUE(surface.IsAlphaEnabled());
  EXPECT_EQ(surface.GetAlphaPitch(), 3);
  EXPECT_EQ(surface.GetBlitSelector(), 12 + 2);
  EXPECT_EQ(surface.GetAlpha(0, 0), 0x00);  // first row at the top
  EXPECT_EQ(surface.GetAlpha(2, 0), 0x80);
  EXPECT_EQ(surface.GetAlpha(0, 1), 0xC0);
  EXPECT_EQ(surface.GetAlpha(2, 1), 0xFF);

  // Shorter than width x height: ignored.
  Write("three.alp", std::string("\x01\x02\x03\x04\x05", 5));
  ASSERT_TRUE(surface.Load(path, 32, 0));
  EXPECT_FALSE(surface.HasAlphaPlane());
  EXPECT_FALSE(surface.IsAlphaEnabled());
  // The companion of a larger image: its first six bytes, nothing beyond.
  Write("three.alp", std::string(4096, '\x33'));
  ASSERT_TRUE(surface.Load(path, 32, 0));
  EXPECT_EQ(surface.GetAlpha(2, 1), 0x33);
  EXPECT_EQ(CBmpImage::AlphaFileName("C:\\a.b\\pic.bmp"), "C:\\a.b\\pic.alp");
}

TEST_F(SurfaceTest, MalformedFilesFailLoadAndLeaveTheSurfaceEmpty) {
  const std::string good = MakeBmp(SampleSpec());
  auto with32 = [&](size_t at, uint32_t value) {
    std::string bytes = good;
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
    return bytes;
  };
  struct Case {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"width 0", with32(18, 0)},
      {"height 0", with32(22, 0)},
      {"width above 32768", with32(18, 32769)},
      {"height above 32768", with32(22, 40000)},
      {"a header size that puts the pixels past the end", with32(14, 0x7FFFFFF0)},
      {"one byte short of its pixels", good.substr(0, good.size() - 1)},
      {"headers only", good.substr(0, 54)},
      {"15 bits per pixel",
       [&] {
         std::string b = good;
         b[28] = 15;
         return b;
       }()},
      {"not BM", "XX" + good.substr(2)},
  };
  for (const Case& c : cases) {
    CSurface surface;
    ASSERT_TRUE(surface.Create(2, 2, 32, 0));
    EXPECT_FALSE(surface.Load(Write("bad.bmp", c.bytes), 32, 0)) << c.what;
    EXPECT_FALSE(surface.IsCreated()) << c.what;
    EXPECT_EQ(surface.GetImplementation(), nullptr) << c.what;
  }
  CSurface surface;
  EXPECT_FALSE(surface.Load(scratch_ / "absent.bmp", 32, 0));

  // Stored top-down (negative height): read in that order, not refused as huge.
  BmpSpec topDown = SampleSpec();
  topDown.height = -2;
  topDown.pixel = [](int x, int row) {
    const uint32_t c = Sample(x, row);
    return std::vector<uint8_t>{uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16)};
  };
  ASSERT_TRUE(surface.Load(Write("topdown.bmp", MakeBmp(topDown)), 32, 0));
  EXPECT_EQ(surface.GetPixel(0, 0), Sample(0, 0));
  EXPECT_EQ(surface.GetPixel(2, 1), Sample(2, 1));
}

TEST_F(SurfaceTest, RestoreKeepsTheColourKeyAndFlags) {
  const std::string path = Write("restore.bmp", MakeBmp(SampleSpec()));
  CMemorySurface loaded;
  ASSERT_TRUE(loaded.Load(path, 16, 0));
  loaded.SetColorKey(0x0000FF);
  loaded.SetColorKeyEnable(true);
  loaded.SetPixel(0, 0, 0x1234);
  ASSERT_TRUE(loaded.Restore());
  EXPECT_EQ(loaded.GetColorKey(), 0xFF0000u);
  EXPECT_TRUE(loaded.IsColorKeyEnabled());
  EXPECT_EQ(loaded.GetBlitSelector(), 4 + 1);
  EXPECT_EQ(loaded.GetDepth(), 16) << "the depth asked for stays";
  EXPECT_EQ(loaded.GetPixel(0, 0), Pack(Sample(0, 0), 16)) << "the pixels are read again";
  EXPECT_EQ(loaded.GetFileName(), path);

  CMemorySurface blank;
  ASSERT_TRUE(blank.Create(6, 2, 24, 0));
  blank.FillAlphaAll(3);
  blank.SetColorKey(0x010203);
  ASSERT_TRUE(blank.Restore());
  EXPECT_EQ(blank.GetColorKey(), 0x030201u);
  EXPECT_EQ(blank.GetAlpha(5, 1), 255) << "an alpha plane comes back opaque";
  EXPECT_FALSE(blank.IsAlphaEnabled());

  CMemorySurface empty;
  EXPECT_FALSE(empty.Restore());
  DeleteFileA(path.c_str());
  EXPECT_FALSE(loaded.Restore()) << "the file is gone";
}

TEST_F(SurfaceTest, RegistryRestoresAndReleasesTheSurfacesOfAWindow) {
  HWND window = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x5150));
  HWND other = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x5151));
  CSurfaceRegistry* registry = CSurfaceRegistry::Get();
  const std::string path = Write("registered.bmp", MakeBmp(SampleSpec()));
  {
    CSurface fromFile, blank, unregistered, elsewhere;
    fromFile.SetOwnerWindow(window);
    blank.SetOwnerWindow(window);
    unregistered.SetOwnerWindow(window);
    unregistered.SetRegistered(false);
    elsewhere.SetOwnerWindow(other);
    ASSERT_TRUE(fromFile.Load(path, 32, 0));
    ASSERT_TRUE(blank.Create(2, 2, 32, 1));
    ASSERT_TRUE(unregistered.Create(2, 2, 32, 0));
    ASSERT_TRUE(elsewhere.Create(2, 2, 32, 0));
    EXPECT_EQ(registry->Count(window), 2);
    EXPECT_TRUE(registry->Contains(fromFile.GetImplementation()));
    EXPECT_FALSE(registry->Contains(unregistered.GetImplementation()));

    fromFile.SetColorKey(0x00FFFF);
    fromFile.FillAll(0);
    EXPECT_EQ(registry->RestoreAll(window), 0);
    EXPECT_EQ(fromFile.GetPixel(1, 1), Sample(1, 1));
    EXPECT_EQ(fromFile.GetColorKey(), 0xFFFF00u);
    EXPECT_EQ(registry->Count(window), 2) << "restored surfaces stay listed";

    // A surface whose file is gone is released and unlinked; the others stay.
    ASSERT_TRUE(DeleteFileA(path.c_str()));
    EXPECT_EQ(registry->RestoreAll(window), 1);
    EXPECT_FALSE(fromFile.IsCreated());
    EXPECT_TRUE(blank.IsCreated());
    EXPECT_EQ(registry->Count(window), 1);

    registry->ReleaseAll(window);
    EXPECT_FALSE(blank.IsCreated());
    EXPECT_TRUE(unregistered.IsCreated());
    EXPECT_TRUE(elsewhere.IsCreated());
    EXPECT_EQ(registry->Count(window), 0);
    EXPECT_EQ(registry->Count(other), 1);
  }
  EXPECT_EQ(registry->Count(other), 0) << "a destroyed surface leaves the registry";
}

TEST_F(SurfaceTest, DibSurfaceDeviceContextSeesThePixelsBothWays) {
  for (int depth : {16, 24, 32}) {
    SCOPED_TRACE("depth " + std::to_string(depth));
    CSurface surface;
    ASSERT_TRUE(surface.Create(8, 4, depth, 1));
    surface.FillAll(0);
    HDC dc = surface.GetDC();
    ASSERT_NE(dc, nullptr);
    // GDI draws a red rectangle into the section ...
    RECT rect = {2, 1, 5, 3};
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    FillRect(dc, &rect, red);
    DeleteObject(red);
    surface.ReleaseDC();
    // ... which the pixel accessors see, row 0 at the top.
    EXPECT_EQ(surface.GetPixel(2, 1), Pack(0xFF0000, depth));
    EXPECT_EQ(surface.GetPixel(4, 2), Pack(0xFF0000, depth));
    EXPECT_EQ(surface.GetPixel(5, 2), 0u);
    EXPECT_EQ(surface.GetPixel(2, 0), 0u);

    // Pixels written through memory are what GDI reads.
    surface.Fill(0xFF0000, 0, 3, 1, 4);  // blue, in the colour-reference order
    dc = surface.GetDC();
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(GetPixel(dc, 0, 3), RGB(0, 0, 255));
    EXPECT_EQ(GetPixel(dc, 3, 2), RGB(255, 0, 0));
    surface.ReleaseDC();
  }
  CSurface memory;
  ASSERT_TRUE(memory.Create(2, 2, 32, 0));
  EXPECT_EQ(memory.GetDC(), nullptr) << "memory surfaces have no DC";
  CSurface empty;
  EXPECT_EQ(empty.GetDC(), nullptr);
  EXPECT_FALSE(empty.Lock());
  EXPECT_EQ(empty.GetBlitSelector(), -1);
  EXPECT_EQ(empty.GetExtent().cx, 0);
}

TEST_F(SurfaceTest, DrawingLocksBothSurfacesAndTheTrackedHolderRecordsWhatChanged) {
  CTrackedSurface dest;
  CSurface source;
  ASSERT_TRUE(dest.Create(8, 8, 32, 1));
  ASSERT_TRUE(source.Create(4, 4, 32, 0));
  ASSERT_EQ(dest.GetDirtyRegion().GetRects().size(), 1u);
  dest.GetDirtyRegion().Clear();
  dest.FillAll(0x000000);
  dest.GetDirtyRegion().Clear();
  source.FillAll(0x0000FF);           // red
  source.Fill(0x00FF00, 1, 1, 3, 3);  // green middle: the default key
  source.SetColorKeyEnable(true);

  ASSERT_TRUE(DrawSurface(&dest, &source, 6, 6));  // only 2 x 2 fits
  EXPECT_EQ(dest.GetPixel(6, 6), 0xFF0000u);
  EXPECT_EQ(dest.GetPixel(7, 7), 0u) << "the key colour is skipped";
  ASSERT_EQ(dest.GetDirtyRegion().GetRects().size(), 1u);
  const PixelRect drawn = dest.GetDirtyRegion().GetRects()[0];
  EXPECT_EQ(drawn.left, 6);
  EXPECT_EQ(drawn.top, 6);
  EXPECT_EQ(drawn.right, 8);
  EXPECT_EQ(drawn.bottom, 8);

  // A constant-opacity draw of the whole source, clipped to a column.
  source.SetColorKeyEnable(false);
  ASSERT_TRUE(DrawSurface(&dest, &source, 0, 0, SurfaceRect(&source), PixelRect{0, 0, 1, 8}, 128));
  EXPECT_EQ(dest.GetPixel(0, 0), static_cast<uint32_t>(MultiplyByte(128, 255)) << 16);
  EXPECT_EQ(dest.GetPixel(1, 0), 0u);
  EXPECT_FALSE(DrawSurface(&dest, &source, 0, 0, SurfaceRect(&source), PixelRect{20, 20, 30, 30}, 255));

  ASSERT_TRUE(StretchSurface(&dest, &source, PixelRect{0, 0, 8, 8}, PixelRect{0, 0, 4, 4}, SurfaceRect(&dest)));
  EXPECT_EQ(dest.GetPixel(0, 0), 0xFF0000u);
  EXPECT_EQ(dest.GetPixel(4, 4), 0x00FF00u);
  EXPECT_EQ(dest.GetDirtyRegion().GetRects().size(), 1u) << "the whole surface covers the earlier rectangles";

  CSurface empty;
  EXPECT_FALSE(DrawSurface(&dest, &empty, 0, 0));
}

TEST(DirtyRegion, KeepsOnlyRectanglesNotCoveredByOthers) {
  CDirtyRegion region;
  region.Add(PixelRect{0, 0, 4, 4});
  region.Add(PixelRect{1, 1, 2, 2});  // covered
  region.Add(PixelRect{5, 5, 5, 9});  // empty
  region.Add(PixelRect{3, 3, 6, 6});
  EXPECT_EQ(region.GetRects().size(), 2u);
  region.Add(PixelRect{-1, -1, 10, 10});
  ASSERT_EQ(region.GetRects().size(), 1u);
  EXPECT_EQ(region.GetRects()[0].right, 10);
}

TEST_F(SurfaceTest, ImageDrawsIntoADeviceContextAndAlphaCopiesBetweenSurfaces) {
  CImageFile image;
  EXPECT_FALSE(image.Draw(nullptr, 0, 0));
  ASSERT_TRUE(image.Open(Write("draw.bmp", MakeBmp(SampleSpec(32)))));
  CSurface canvas;
  ASSERT_TRUE(canvas.Create(5, 4, 32, 1));
  canvas.FillAll(0);
  HDC dc = canvas.GetDC();
  ASSERT_NE(dc, nullptr);
  EXPECT_TRUE(image.Draw(dc, 1, 2));
  canvas.ReleaseDC();
  EXPECT_EQ(canvas.GetPixel(1, 2) & 0xFFFFFF, Sample(0, 0));
  EXPECT_EQ(canvas.GetPixel(3, 3) & 0xFFFFFF, Sample(2, 1));
  EXPECT_EQ(canvas.GetPixel(0, 2), 0u);
  image.Close();
  EXPECT_EQ(image.GetPixels(), nullptr);

  CSurface source, dest;
  ASSERT_TRUE(source.Create(3, 3, 32, 0));
  ASSERT_TRUE(dest.Create(4, 4, 32, 0));
  EXPECT_FALSE(dest.CopyAlpha(&source, 0, 0, 0, 0, 3, 3)) << "the source has no alpha";
  source.FillAlphaAll(10);
  source.SetAlpha(2, 2, 99);
  // From (1, 1)-(4, 4) of the source (cut to 3 x 3) to (-1, 2) of the destination (cut at the left).
  ASSERT_TRUE(dest.CopyAlpha(&source, -1, 2, 1, 1, 4, 4));
  EXPECT_EQ(dest.GetAlpha(0, 2), 10);
  EXPECT_EQ(dest.GetAlpha(0, 3), 99) << "source (2, 2)";
  EXPECT_EQ(dest.GetAlpha(1, 3), 255) << "outside the copied rectangle";
  EXPECT_EQ(dest.GetAlpha(0, 1), 255);
  EXPECT_FALSE(dest.CopyAlpha(&source, 4, 0, 0, 0, 3, 3)) << "nothing lands on the destination";
}

TEST(SurfaceRegistry, SurfacesMadeOnSeveralThreadsAreAllListedAndAllLeave) {
  HWND window = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x5250));
  constexpr int kThreads = 4, kKept = 25, kChurn = 200;
  std::vector<std::vector<std::unique_ptr<CSurface>>> kept(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kChurn; ++i) {
        auto surface = std::make_unique<CSurface>();
        surface->SetOwnerWindow(window);
        if (!surface->Create(4, 4, 16, i % 2)) continue;
        if (i % (kChurn / kKept) == 0) kept[t].push_back(std::move(surface));  // the rest is released here
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  size_t held = 0;
  for (const auto& list : kept) held += list.size();
  EXPECT_EQ(held, static_cast<size_t>(kThreads * kKept));
  EXPECT_EQ(CSurfaceRegistry::Get()->Count(window), static_cast<int>(held));
  kept.clear();
  EXPECT_EQ(CSurfaceRegistry::Get()->Count(window), 0);
}
