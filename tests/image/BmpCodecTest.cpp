// The BMP reader's decoding core on crafted files: the depths it reads, where it finds the pixels, the
// top-down form, and the malformed files it must refuse without reading or allocating past them.

#include "image/BmpCodec.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "tests/image/BmpFixtures.h"
#include "tests/support/Bytes.h"

using namespace bmp_fixtures;
using testing_support::HexBytes;

namespace {

BmpStatus Decode(const std::string& file, BmpDecoded* image) {
  MemoryByteSource source(reinterpret_cast<const uint8_t*>(file.data()), file.size());
  return DecodeBmp(source, image);
}

std::string Row(const BmpDecoded& image, int row) {
  return std::string(reinterpret_cast<const char*>(image.pixels.get()) + row * image.layout.stride,
                     image.layout.stride);
}

BmpSpec Spec24(int32_t width, int32_t height) {
  BmpSpec spec;
  spec.width = width;
  spec.height = height;
  spec.pixel = [](int x, int row) {
    return std::vector<uint8_t>{uint8_t(0x10 + x), uint8_t(0x20 + row), uint8_t(0x30 + x + row)};
  };
  return spec;
}

}  // namespace

TEST(BmpCodec, Reads24And32BitRowsAsStoredWithTheirPadding) {
  BmpDecoded image;
  ASSERT_EQ(Decode(MakeBmp(Spec24(3, 2)), &image), BmpStatus::kOk);
  EXPECT_EQ(image.layout.width, 3);
  EXPECT_EQ(image.layout.height, 2);
  EXPECT_EQ(image.layout.depth, 24);
  EXPECT_EQ(image.layout.stride, 12u);  // 9 bytes of pixels + 3 of padding
  EXPECT_EQ(image.layout.pixelOffset, 54u);
  EXPECT_EQ(image.fileHeader.type, 0x4D42);
  EXPECT_EQ(image.infoHeader.size, 40u);
  EXPECT_EQ(image.infoHeader.xPelsPerMeter, 2835);
  EXPECT_EQ(HexBytes(Row(image, 0)), "10 20 30 11 20 31 12 20 32 00 00 00");
  EXPECT_EQ(HexBytes(Row(image, 1)), "10 21 31 11 21 32 12 21 33 00 00 00");

  BmpSpec spec32;
  spec32.width = 2;
  spec32.height = 2;
  spec32.bits = 32;
  spec32.pixel = [](int x, int row) { return std::vector<uint8_t>{uint8_t(x), uint8_t(row), 0x77, 0xEE}; };
  ASSERT_EQ(Decode(MakeBmp(spec32), &image), BmpStatus::kOk);
  EXPECT_EQ(image.layout.depth, 32);
  EXPECT_EQ(image.layout.stride, 8u);
  EXPECT_EQ(HexBytes(Row(image, 1)), "00 01 77 EE 01 01 77 EE");
}

TEST(BmpCodec, ANegativeHeightIsReadTopDownIntoBottomUpRows) {
  BmpDecoded image;
  ASSERT_EQ(Decode(MakeBmp(Spec24(3, -3)), &image), BmpStatus::kOk);
  EXPECT_EQ(image.layout.height, 3);
  EXPECT_TRUE(image.layout.topDown);
  // The file's first row is the top one: it becomes the last decoded row.
  EXPECT_EQ(HexBytes(Row(image, 2)), "10 20 30 11 20 31 12 20 32 00 00 00");
  EXPECT_EQ(HexBytes(Row(image, 0)), "10 22 32 11 22 33 12 22 34 00 00 00");

  BmpSpec indexed;
  indexed.width = 2;
  indexed.height = -2;
  indexed.bits = 8;
  indexed.palette = TestPalette();
  indexed.pixel = [](int x, int row) { return std::vector<uint8_t>{uint8_t(row * 2 + x)}; };
  ASSERT_EQ(Decode(MakeBmp(indexed), &image), BmpStatus::kOk);
  // Entry i is blue (7i), green (255 - i), red i; the top row holds entries 0 and 1.
  EXPECT_EQ(HexBytes(Row(image, 1)), "00 FF 00 07 FE 01 00 00");
  EXPECT_EQ(HexBytes(Row(image, 0)), "0E FD 02 15 FC 03 00 00");
}

TEST(BmpCodec, EightBitFilesAreExpandedThroughTheirPalette) {
  BmpSpec spec;
  spec.width = 5;
  spec.height = 1;
  spec.bits = 8;
  spec.palette = TestPalette();
  spec.pixel = [](int x, int) { return std::vector<uint8_t>{uint8_t(x * 60)}; };
  BmpDecoded image;
  ASSERT_EQ(Decode(MakeBmp(spec), &image), BmpStatus::kOk);
  EXPECT_EQ(image.layout.depth, 24);  // stored as 24 bits
  EXPECT_EQ(image.layout.fileDepth, 8);
  EXPECT_EQ(image.layout.stride, 16u);
  EXPECT_EQ(image.layout.pixelOffset, 54u + 1024u);
  for (int x = 0; x < 5; ++x) {
    const uint32_t entry = spec.palette[x * 60];
    const uint8_t* p = image.pixels.get() + 3 * x;
    EXPECT_EQ(p[0] | (p[1] << 8) | (p[2] << 16), static_cast<int>(entry)) << "pixel " << x;
  }

  // A palette of the size the header names (16 colours) and a larger header: the palette follows the
  // header, the pixels follow the palette.
  spec.headerSize = 108;
  spec.colorsUsed = 16;
  spec.palette.resize(16);
  spec.pixel = [](int x, int) { return std::vector<uint8_t>{uint8_t(x * 3)}; };
  ASSERT_EQ(Decode(MakeBmp(spec), &image), BmpStatus::kOk);
  EXPECT_EQ(image.layout.paletteOffset, 14u + 108u);
  EXPECT_EQ(image.layout.pixelOffset, 14u + 108u + 64u);
  const uint8_t* p = image.pixels.get() + 3 * 4;  // index 12
  EXPECT_EQ(p[0] | (p[1] << 8) | (p[2] << 16), static_cast<int>(spec.palette[12]));
}

TEST(BmpCodec, AHeaderSizeOtherThan40PlacesThePixels) {
  BmpSpec spec = Spec24(2, 1);
  spec.headerSize = 124;
  BmpDecoded image;
  ASSERT_EQ(Decode(MakeBmp(spec), &image), BmpStatus::kOk);
  EXPECT_EQ(image.layout.pixelOffset, 124u + 14u);
  EXPECT_EQ(HexBytes(Row(image, 0)), "10 20 30 11 20 31 00 00");
}

TEST(BmpCodec, RefusesMalformedFilesBeforeAllocating) {
  BmpDecoded image;
  const std::string good = MakeBmp(Spec24(3, 2));
  ASSERT_EQ(Decode(good, &image), BmpStatus::kOk);

  auto with32 = [&](size_t at, uint32_t value) {
    std::string bytes = good;
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
    return bytes;
  };
  EXPECT_EQ(Decode(good.substr(0, 53), &image), BmpStatus::kTruncated) << "shorter than its headers";
  EXPECT_EQ(Decode("BA" + good.substr(2), &image), BmpStatus::kNotBmp);
  std::string depth16 = good;
  depth16[28] = 16;
  EXPECT_EQ(Decode(depth16, &image), BmpStatus::kBadDepth);

  EXPECT_EQ(Decode(with32(18, 0), &image), BmpStatus::kBadSize) << "width 0";
  EXPECT_EQ(Decode(with32(22, 0), &image), BmpStatus::kBadSize) << "height 0";
  EXPECT_EQ(Decode(with32(18, 32769), &image), BmpStatus::kBadSize) << "width beyond 32768";
  EXPECT_EQ(Decode(with32(22, 32769), &image), BmpStatus::kBadSize) << "height beyond 32768";
  EXPECT_EQ(Decode(with32(18, 0x80000000u), &image), BmpStatus::kBadSize) << "negative width";
  EXPECT_EQ(Decode(with32(22, static_cast<uint32_t>(-32769)), &image), BmpStatus::kBadSize);
  EXPECT_EQ(Decode(with32(22, 0x80000000u), &image), BmpStatus::kBadSize) << "INT_MIN has no magnitude";
  EXPECT_EQ(Decode(with32(14, 12), &image), BmpStatus::kBadSize) << "header too small for its fields";
  EXPECT_EQ(Decode(with32(14, 0xFFFFFFF0u), &image), BmpStatus::kBadSize) << "pixels past the end";
  EXPECT_EQ(Decode(with32(14, 41), &image), BmpStatus::kTruncated) << "pixels run past the end";

  // The largest image there is, in a file of a few bytes: the sizes overflow 32 bits and must be
  // refused against the file's length, not allocated.
  std::string huge = with32(18, 32768);
  huge = huge.substr(0, 22) + with32(22, 32768).substr(22);
  huge[28] = 32;
  EXPECT_EQ(Decode(huge, &image), BmpStatus::kTruncated);
  // The refusal comes from the plan made before any buffer: the headers against the file's length.
  BmpLayout layout;
  const auto* hugeBytes = reinterpret_cast<const uint8_t*>(huge.data());
  EXPECT_EQ(PlanBmp(ParseBmpFileHeader(hugeBytes), ParseBmpInfoHeader(hugeBytes + 14), huge.size(), &layout),
            BmpStatus::kTruncated);
  EXPECT_EQ(PlanBmp(ParseBmpFileHeader(hugeBytes), ParseBmpInfoHeader(hugeBytes + 14), 54 + (4ull << 30), &layout),
            BmpStatus::kOk);
  EXPECT_EQ(layout.bytes, 4ull << 30) << "sizes computed in 64 bits";

  // One byte short of its pixel data.
  EXPECT_EQ(Decode(good.substr(0, good.size() - 1), &image), BmpStatus::kTruncated);
  EXPECT_EQ(image.pixels, nullptr);
  std::string indexed = MakeBmp([] {
    BmpSpec s;
    s.width = 4;
    s.height = 4;
    s.bits = 8;
    s.palette = TestPalette();
    s.pixel = [](int, int) { return std::vector<uint8_t>{7}; };
    return s;
  }());
  EXPECT_EQ(Decode(indexed, &image), BmpStatus::kOk);
  EXPECT_EQ(Decode(indexed.substr(0, 54 + 1000), &image), BmpStatus::kBadSize) << "palette cut short";
  EXPECT_EQ(Decode(indexed.substr(0, indexed.size() - 1), &image), BmpStatus::kTruncated);
}

TEST(BmpCodec, AlphaCompanionIsWidthTimesHeightUnpaddedBytes) {
  const std::string alp = "\x01\x02\x03\x04\x05\x06\x07";
  MemoryByteSource exact(reinterpret_cast<const uint8_t*>(alp.data()), 6);
  auto alpha = DecodeAlp(exact, 3, 2);  // width 3: rows of 3 bytes, not 4
  ASSERT_NE(alpha, nullptr);
  EXPECT_EQ(HexBytes(std::string(reinterpret_cast<char*>(alpha.get()), 6)), "01 02 03 04 05 06");

  MemoryByteSource shorter(reinterpret_cast<const uint8_t*>(alp.data()), 5);
  EXPECT_EQ(DecodeAlp(shorter, 3, 2), nullptr);
  // A companion of a larger image: only the first width x height bytes are taken.
  MemoryByteSource longer(reinterpret_cast<const uint8_t*>(alp.data()), 7);
  alpha = DecodeAlp(longer, 2, 2);
  ASSERT_NE(alpha, nullptr);
  EXPECT_EQ(HexBytes(std::string(reinterpret_cast<char*>(alpha.get()), 4)), "01 02 03 04");
  EXPECT_EQ(DecodeAlp(longer, 32768, 32768), nullptr);
  EXPECT_EQ(DecodeAlp(longer, 0, 5), nullptr);
}

TEST(BmpCodec, SaveHeadersArePinned) {
  uint8_t headers[54];
  ASSERT_TRUE(MakeBmp24Headers(3, 2, headers));
  EXPECT_EQ(HexBytes(std::string(reinterpret_cast<char*>(headers), 54)),
            "42 4D 4E 00 00 00 00 00 00 00 36 00 00 00 "  // "BM", 54 + 24, reserved, offset 54
            "28 00 00 00 03 00 00 00 02 00 00 00 01 00 18 00 "
            "00 00 00 00 18 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00");
  EXPECT_FALSE(MakeBmp24Headers(0, 2, headers));
  EXPECT_FALSE(MakeBmp24Headers(40000, 40000, headers)) << "past 32-bit sizes";

  // What is written parses back to the same fields.
  const BmpInfoHeader info = ParseBmpInfoHeader(headers + 14);
  EXPECT_EQ(info.width, 3);
  EXPECT_EQ(info.height, 2);
  EXPECT_EQ(info.bitCount, 24);
  EXPECT_EQ(info.imageSize, 24u);
  EXPECT_EQ(ParseBmpFileHeader(headers).fileSize, 78u);
}
