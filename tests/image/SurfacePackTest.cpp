// A bitmap and its ".alp" companion loaded from members of a pack archive through the file front.

#include <gtest/gtest.h>

#include <string>

#include "image/BmpImage.h"
#include "image/Surface.h"
#include "pack/PackFormat.h"
#include "tests/image/BmpFixtures.h"
#include "tests/support/TestSupport.h"

using namespace bmp_fixtures;
using namespace testing_support;

TEST(SurfacePack, BitmapAndAlphaComeFromPackArchiveMembers) {
  ScratchFolder scratch;
  BmpSpec spec;
  spec.width = 3;
  spec.height = 2;
  spec.bits = 8;
  spec.palette = TestPalette();
  spec.pixel = [](int x, int row) { return std::vector<uint8_t>{uint8_t(40 + x + 3 * row)}; };
  std::string pack;
  ASSERT_TRUE(BuildPackArchive({{"other.txt", "not a picture"},
                                {"pic.bmp", MakeBmp(spec)},
                                {"pic.alp", std::string("\x10\x20\x30\x40\x50\x60", 6)}},
                               9, &pack));
  ASSERT_TRUE(WriteWholeFile(scratch / "data.pak", pack));
  // No folder "data" and no loose file: only the pack beside where the folder would be holds them.
  const std::string path = scratch / "data\\pic.bmp";
  ASSERT_FALSE(FileExists(path));

  CSurface surface;
  ASSERT_TRUE(surface.Load(path, 32, 1));
  EXPECT_EQ(surface.GetPixel(0, 1), spec.palette[40]);
  EXPECT_EQ(surface.GetPixel(2, 0), spec.palette[45]);
  ASSERT_TRUE(surface.HasAlphaPlane());
  EXPECT_EQ(surface.GetAlpha(0, 0), 0x10);
  EXPECT_EQ(surface.GetAlpha(2, 1), 0x60);

  // A member that is not a bitmap, and one the pack does not hold.
  EXPECT_FALSE(surface.Load(scratch / "data\\other.txt", 32, 0));
  EXPECT_FALSE(surface.Load(scratch / "data\\absent.bmp", 32, 0));
  EXPECT_FALSE(surface.IsCreated());
}
