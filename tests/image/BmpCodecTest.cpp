// The BMP reader's decoding core on crafted files: the depths it reads, where it finds the pixels, the
// top-down form, and the malformed files it must refuse without reading or allocating past them.

#include "image/BmpCodec.h"

#include <gtest/gtest.h>

#include <algorithm>
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
  for (char bits : {0, 2, 15, 48}) {
    std::string otherDepth = good;
    otherDepth[28] = bits;
    EXPECT_EQ(Decode(otherDepth, &image), BmpStatus::kBadDepth) << int(bits) << " bits";
  }

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

namespace {

// Pixel (x, y from the top) of a decoded image as 0x00RRGGBB, and the fourth byte of 32-bit images
// above it.
uint32_t At(const BmpDecoded& image, int x, int y) {
  const BmpLayout& l = image.layout;
  const uint8_t* p =
      image.pixels.get() + static_cast<size_t>(l.height - 1 - y) * l.stride + static_cast<size_t>(x) * (l.depth / 8);
  uint32_t v = p[0] | (p[1] << 8) | (static_cast<uint32_t>(p[2]) << 16);
  if (l.depth == 32) v |= static_cast<uint32_t>(p[3]) << 24;
  return v;
}

// Counts the pixels of a decoded image that differ from expected(x, y from the top).
int Mismatches(const BmpDecoded& image, const std::function<uint32_t(int x, int y)>& expected) {
  int wrong = 0;
  for (int y = 0; y < image.layout.height; ++y)
    for (int x = 0; x < image.layout.width; ++x)
      if (At(image, x, y) != expected(x, y)) {
        if (wrong < 5)
          ADD_FAILURE() << "pixel " << x << "," << y << ": " << std::hex << At(image, x, y) << " not "
                        << expected(x, y);
        ++wrong;
      }
  return wrong;
}

std::vector<uint32_t> Palette(int entries) {
  std::vector<uint32_t> palette;
  for (int i = 0; i < entries; ++i)
    palette.push_back(0x010000u * (17 * i % 256) + 0x000100u * (255 - 3 * i % 256) + (40 * i + 9) % 256);
  return palette;
}

// A channel of `bits` scaled to a byte by repeating its top bits: 5 bits (v << 3 | v >> 2), 6 bits
// (v << 2 | v >> 4), 4 bits v * 17, 1 bit v * 255.
uint32_t Scaled(uint32_t v, int bits) {
  switch (bits) {
    case 1: return v * 255;
    case 4: return v * 17;
    case 5: return (v << 3) | (v >> 2);
    case 6: return (v << 2) | (v >> 4);
    case 8: return v;
    case 10: return v >> 2;
    default: ADD_FAILURE() << bits; return 0;
  }
}

}  // namespace

// 1- and 4-bit indexes, high bits first, through palettes of every size the header may name, both row
// orders, odd widths (row padding).
TEST(BmpCodec, OneAndFourBitFilesAreExpandedThroughTheirPalette) {
  for (int bits : {1, 4, 8}) {
    for (uint32_t colorsUsed : {0u, 2u}) {
      for (int32_t height : {3, -3}) {
        SCOPED_TRACE(std::to_string(bits) + " bits, " + std::to_string(colorsUsed) + " colours, height " +
                     std::to_string(height));
        const int width = bits == 1 ? 21 : 7;
        const int entries = colorsUsed ? colorsUsed : 1 << bits;
        auto index = [&](int x, int row) { return static_cast<uint32_t>((x * 5 + row * 3) % entries); };
        RawBmpSpec spec;
        spec.width = width;
        spec.height = height;
        spec.bits = static_cast<uint16_t>(bits);
        spec.colorsUsed = colorsUsed;
        spec.palette = Palette(entries);
        spec.pixels = PackRows(width, 3, bits, index);
        BmpDecoded image;
        ASSERT_EQ(Decode(MakeRawBmp(spec), &image), BmpStatus::kOk);
        EXPECT_EQ(image.layout.depth, 24);
        EXPECT_EQ(Mismatches(image, [&](int x, int y) { return spec.palette[index(x, height < 0 ? y : 2 - y)]; }), 0);
        EXPECT_EQ(Row(image, 0).substr(3 * width), std::string(image.layout.stride - 3 * width, '\0')) << "padding";
      }
    }
  }
}

// 16 bits as 5-5-5 (no masks), and with the masks of 5-6-5, 4-4-4 and 1-5-10; 32 bits with masks other
// than the usual, and the usual ones given as masks (taken as stored); masks inside a larger header.
TEST(BmpCodec, SixteenAndThirtyTwoBitFilesFollowTheirChannelMasks) {
  struct Case {
    const char* what;
    int bits;
    uint32_t compression, headerSize;
    std::vector<uint32_t> masks;  // red, green, blue as written
    int sizes[3];                 // bits of red, green, blue
    int shifts[3];
  } cases[] = {
      {"555", 16, 0, 40, {}, {5, 5, 5}, {10, 5, 0}},
      {"565", 16, 3, 40, {0xF800, 0x07E0, 0x001F}, {5, 6, 5}, {11, 5, 0}},
      {"565 in a V4 header", 16, 3, 108, {0xF800, 0x07E0, 0x001F}, {5, 6, 5}, {11, 5, 0}},
      {"444", 16, 3, 40, {0x0F00, 0x00F0, 0x000F}, {4, 4, 4}, {8, 4, 0}},
      {"1 5 10", 16, 3, 56, {0x8000, 0x7C00, 0x03FF}, {1, 5, 10}, {15, 10, 0}},
      {"32 blue high", 32, 3, 40, {0x000000FF, 0x0000FF00, 0x00FF0000}, {8, 8, 8}, {0, 8, 16}},
      {"32 rgba", 32, 3, 40, {0xFF000000, 0x00FF0000, 0x0000FF00}, {8, 8, 8}, {24, 16, 8}},
      {"32 10-10-10", 32, 3, 124, {0x3FF00000, 0x000FFC00, 0x000003FF}, {10, 10, 10}, {20, 10, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const int width = 5, rows = 4;
    auto value = [&](int x, int row) {
      uint32_t v = 0;
      for (int ch = 0; ch < 3; ++ch) v |= ((x * 7 + row * 11 + ch * 13) % (1u << c.sizes[ch])) << c.shifts[ch];
      if (c.bits == 32 && c.shifts[0] != 24) v |= 0xC0000000u & ~(0x3FFFFFFFu);  // bits no mask claims
      return v;
    };
    RawBmpSpec spec;
    spec.width = width;
    spec.height = rows;
    spec.bits = static_cast<uint16_t>(c.bits);
    spec.compression = c.compression;
    spec.headerSize = c.headerSize;
    spec.masks = c.masks;
    spec.pixels = PackRows(width, rows, c.bits, value);
    BmpDecoded image;
    ASSERT_EQ(Decode(MakeRawBmp(spec), &image), BmpStatus::kOk);
    EXPECT_EQ(image.layout.depth, c.bits == 32 ? 32 : 24);
    EXPECT_EQ(Mismatches(image,
                         [&](int x, int y) {
                           const uint32_t v = value(x, rows - 1 - y);
                           uint32_t rgb = 0;
                           for (int ch = 0; ch < 3; ++ch)
                             rgb |= Scaled((v >> c.shifts[ch]) & ((1u << c.sizes[ch]) - 1), c.sizes[ch])
                                    << (16 - 8 * ch);
                           return rgb;
                         }),
              0);
  }

  // The usual 32-bit masks given as masks: the pixels as stored, fourth byte and all.
  RawBmpSpec usual;
  usual.width = 3;
  usual.height = 2;
  usual.bits = 32;
  usual.compression = 3;
  usual.masks = {0xFF0000, 0x00FF00, 0x0000FF};
  usual.pixels = PackRows(3, 2, 32, [](int x, int row) { return 0xA1000000u + 0x10203u * (x + 1) + 0x404040u * row; });
  BmpDecoded image;
  ASSERT_EQ(Decode(MakeRawBmp(usual), &image), BmpStatus::kOk);
  EXPECT_EQ(At(image, 2, 1), 0xA1000000u + 0x10203u * 3);
  EXPECT_EQ(At(image, 0, 0), 0xA1000000u + 0x10203u + 0x404040u) << "read after the masks, not from them";

  // One channel of all 32 bits: its top byte.
  RawBmpSpec wide = usual;
  wide.masks = {0xFFFFFFFFu, 0, 0};
  ASSERT_EQ(Decode(MakeRawBmp(wide), &image), BmpStatus::kOk);
  EXPECT_EQ(At(image, 2, 1), 0xA10000u);

  // Masks the reader cannot use, and compressions a depth cannot have.
  const std::vector<std::vector<uint32_t>> badMasks = {
      {0xF800, 0x0FE0, 0x001F}, {0xF000, 0x0A00, 0x000F}, {0x1F0000, 0x7E0, 0x1F}};
  for (const auto& masks : badMasks) {
    RawBmpSpec bad = usual;
    bad.bits = 16;
    bad.masks = masks;
    bad.pixels = PackRows(3, 2, 16, [](int, int) { return 0x1234u; });
    EXPECT_EQ(Decode(MakeRawBmp(bad), &image), BmpStatus::kBadFormat) << std::hex << masks[0] << " " << masks[1];
  }
  for (uint32_t compression : {1u, 2u, 4u}) {
    RawBmpSpec bad = usual;
    bad.bits = 16;
    bad.masks.clear();
    bad.compression = compression;
    bad.pixels = PackRows(3, 2, 16, [](int, int) { return 0x1234u; });
    EXPECT_EQ(Decode(MakeRawBmp(bad), &image), BmpStatus::kBadFormat) << compression;
  }
  RawBmpSpec cut = usual;
  cut.pixels.clear();
  cut.masks = {0xFF0000};
  EXPECT_NE(Decode(MakeRawBmp(cut), &image), BmpStatus::kOk) << "masks cut short";
}

// The file header's pixel offset places the pixels: after a palette in a 24-bit file, after a gap in an
// 8-bit file. An offset that is missing, inside the headers or palette, past the end, or leaving no room
// for the pixels keeps the pixels right after the palette.
TEST(BmpCodec, ThePixelOffsetPlacesThePixelsWhenItIsPossible) {
  auto colour = [](int x, int row) { return 0x00102030u + 0x00010203u * static_cast<uint32_t>(x + 4 * row); };
  RawBmpSpec withPalette;
  withPalette.width = 4;
  withPalette.height = 3;
  withPalette.colorsUsed = 16;
  withPalette.palette = Palette(16);
  withPalette.pixels = PackRows(4, 3, 24, colour);
  BmpDecoded image;
  ASSERT_EQ(Decode(MakeRawBmp(withPalette), &image), BmpStatus::kOk);
  EXPECT_EQ(image.layout.pixelOffset, 54u + 64u);
  EXPECT_EQ(Mismatches(image, [&](int x, int y) { return colour(x, 2 - y); }), 0);

  RawBmpSpec gap;
  gap.width = 5;
  gap.height = 2;
  gap.bits = 8;
  gap.palette = Palette(256);
  gap.gap = std::string(100, '\x77');
  gap.pixels = PackRows(5, 2, 8, [](int x, int row) { return static_cast<uint32_t>(x + 10 * row); });
  ASSERT_EQ(Decode(MakeRawBmp(gap), &image), BmpStatus::kOk);
  EXPECT_EQ(Mismatches(image, [&](int x, int y) { return gap.palette[x + 10 * (1 - y)]; }), 0);

  // Impossible offsets: the pixels are taken right after the palette (here: no gap, so still right).
  RawBmpSpec plain = gap;
  plain.gap.clear();
  const std::string file = MakeRawBmp(plain);
  for (int64_t offset :
       {int64_t{0}, int64_t{20}, int64_t{54 + 1000}, int64_t{1 << 30}, static_cast<int64_t>(file.size() - 4)}) {
    RawBmpSpec odd = plain;
    odd.pixelOffset = offset;
    ASSERT_EQ(Decode(MakeRawBmp(odd), &image), BmpStatus::kOk) << offset;
    EXPECT_EQ(image.layout.pixelOffset, 54u + 1024u) << offset;
    EXPECT_EQ(Mismatches(image, [&](int x, int y) { return plain.palette[x + 10 * (1 - y)]; }), 0) << offset;
  }
}

namespace {

// A run-length encoder of the tests' own: repeated runs where pixels repeat, stored runs elsewhere
// (RLE8, or RLE4 with two indexes a byte), end-of-row marks and the end-of-bitmap mark.
std::string EncodeRunLength(const std::vector<std::vector<uint8_t>>& rows, bool nibbles) {
  std::string out;
  for (const auto& row : rows) {
    size_t x = 0;
    while (x < row.size()) {
      size_t run = 1;
      while (x + run < row.size() && run < 255 && row[x + run] == row[x]) ++run;
      if (run >= 3 || row.size() - x < 3) {
        out += static_cast<char>(run);
        out += static_cast<char>(nibbles ? (row[x] << 4) | row[x] : row[x]);
        x += run;
        continue;
      }
      size_t stored = 0;
      while (x + stored < row.size() && stored < 200 &&
             !(x + stored + 2 < row.size() && row[x + stored] == row[x + stored + 1] &&
               row[x + stored] == row[x + stored + 2]))
        ++stored;
      if (stored < 3) stored = std::min<size_t>(3, row.size() - x);
      out += '\0';
      out += static_cast<char>(stored);
      std::string bytes;
      for (size_t i = 0; i < stored; ++i) {
        if (!nibbles)
          bytes += static_cast<char>(row[x + i]);
        else if (i % 2 == 0)
          bytes += static_cast<char>(row[x + i] << 4);
        else
          bytes.back() = static_cast<char>(bytes.back() | row[x + i]);
      }
      if (bytes.size() % 2) bytes += '\0';
      out += bytes;
      x += stored;
    }
    out += std::string("\0\0", 2);
  }
  out += std::string("\0\1", 2);
  return out;
}

}  // namespace

// RLE8 and RLE4: runs, stored runs, end of row, moves (skipped pixels keep index 0), end of bitmap;
// data that stops inside a command is refused, as are top-down files and images too large for a run.
TEST(BmpCodec, RunLengthFilesExpandThroughTheirPalette) {
  for (bool nibbles : {false, true}) {
    SCOPED_TRACE(nibbles ? "RLE4" : "RLE8");
    const int width = 37, height = 6, entries = nibbles ? 16 : 256;
    std::vector<std::vector<uint8_t>> rows(height, std::vector<uint8_t>(width));
    for (int row = 0; row < height; ++row)
      for (int x = 0; x < width; ++x)
        rows[row][x] = static_cast<uint8_t>(x < 12 ? (row + 1) % entries : (x * x + row) % entries);
    RawBmpSpec spec;
    spec.width = width;
    spec.height = height;
    spec.bits = nibbles ? 4 : 8;
    spec.compression = nibbles ? 2 : 1;
    spec.palette = Palette(entries);
    spec.pixels = EncodeRunLength(rows, nibbles);
    BmpDecoded image;
    ASSERT_EQ(Decode(MakeRawBmp(spec), &image), BmpStatus::kOk);
    EXPECT_EQ(Mismatches(image, [&](int x, int y) { return spec.palette[rows[height - 1 - y][x]]; }), 0);

    // By hand, 6 x 3: a run of 2 and a move of (3, 1) on row 0; on row 1 from x 5 a run of 1; end of
    // row; on row 2 a stored run of 3; end of bitmap. Everything else is index 0.
    const uint8_t a = nibbles ? 0x12 : 1, b = nibbles ? 0x33 : 3;
    RawBmpSpec hand = spec;
    hand.width = 6;
    hand.height = 3;
    hand.pixels = std::string{2, static_cast<char>(a), 0, 2, 3, 1, 1, static_cast<char>(b), 0, 0, 0, 3};
    hand.pixels += nibbles ? std::string{0x45, 0x60} : std::string{4, 5, 6, 0};
    hand.pixels += std::string{0, 1};
    ASSERT_EQ(Decode(MakeRawBmp(hand), &image), BmpStatus::kOk);
    const std::vector<std::vector<int>> expected = {// rows from the top
                                                    {4, 5, 6, 0, 0, 0},
                                                    {0, 0, 0, 0, 0, 3},
                                                    {1, nibbles ? 2 : 1, 0, 0, 0, 0}};
    EXPECT_EQ(Mismatches(image, [&](int x, int y) { return spec.palette[expected[y][x]]; }), 0);

    RawBmpSpec cut = hand;
    cut.pixels = hand.pixels.substr(0, 12);  // inside the stored run
    EXPECT_EQ(Decode(MakeRawBmp(cut), &image), BmpStatus::kTruncated);
    cut.pixels = std::string{0, 2, 5};  // a move without its second byte
    EXPECT_EQ(Decode(MakeRawBmp(cut), &image), BmpStatus::kTruncated);
    RawBmpSpec topDown = hand;
    topDown.height = -3;
    EXPECT_EQ(Decode(MakeRawBmp(topDown), &image), BmpStatus::kBadFormat);
    RawBmpSpec huge = hand;
    huge.width = 32768;
    huge.height = 32768;
    EXPECT_EQ(Decode(MakeRawBmp(huge), &image), BmpStatus::kBadSize) << "a few bytes for a vast image";
    EXPECT_EQ(image.pixels, nullptr);
  }
}
