#pragma once
// Bitmap files written byte by byte for the reader's tests, independent of the code under test.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace bmp_fixtures {

inline void Put16(std::string& out, uint32_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>((v >> 8) & 0xFF);
}
inline void Put32(std::string& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}
inline uint32_t Get32(const std::string& bytes, size_t at) {
  return static_cast<uint8_t>(bytes[at]) | (static_cast<uint8_t>(bytes[at + 1]) << 8) |
         (static_cast<uint8_t>(bytes[at + 2]) << 16) |
         (static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 3])) << 24);
}

struct BmpSpec {
  int32_t width = 1;
  int32_t height = 1;  // the value written; negative for top-down files
  uint16_t bits = 24;
  uint32_t headerSize = 40;
  uint32_t colorsUsed = 0;
  std::vector<uint32_t> palette;  // 0x00RRGGBB entries, written blue, green, red, 0
  // The bytes of pixel (x, row) where row counts in file order (first row stored first).
  std::function<std::vector<uint8_t>(int x, int row)> pixel;
};

// Headers, the header's extra bytes, the palette (8 bits) and the padded rows.
inline std::string MakeBmp(const BmpSpec& spec) {
  const int bytesPerPixel = spec.bits / 8;
  const uint32_t stride = (static_cast<uint32_t>(spec.width) * bytesPerPixel + 3) & ~3u;
  const int rows = spec.height < 0 ? -spec.height : spec.height;
  std::string pixels;
  for (int row = 0; row < rows; ++row) {
    std::string line;
    for (int x = 0; x < spec.width; ++x) {
      for (uint8_t b : spec.pixel(x, row)) line += static_cast<char>(b);
    }
    line.resize(stride, '\0');
    pixels += line;
  }
  std::string palette;
  for (uint32_t c : spec.palette) {
    palette += static_cast<char>(c & 0xFF);
    palette += static_cast<char>((c >> 8) & 0xFF);
    palette += static_cast<char>((c >> 16) & 0xFF);
    palette += '\0';
  }
  std::string out = "BM";
  const uint32_t offset = 14 + spec.headerSize + static_cast<uint32_t>(palette.size());
  Put32(out, offset + static_cast<uint32_t>(pixels.size()));
  Put32(out, 0);
  Put32(out, offset);
  Put32(out, spec.headerSize);
  Put32(out, static_cast<uint32_t>(spec.width));
  Put32(out, static_cast<uint32_t>(spec.height));
  Put16(out, 1);
  Put16(out, spec.bits);
  Put32(out, 0);  // compression
  Put32(out, static_cast<uint32_t>(pixels.size()));
  Put32(out, 2835);
  Put32(out, 2835);
  Put32(out, spec.colorsUsed);
  Put32(out, 0);
  out.resize(14 + spec.headerSize, '\x5A');  // a larger header's extra fields: bytes the reader must skip
  return out + palette + pixels;
}

// A 256-entry palette whose entry i is easy to predict.
inline std::vector<uint32_t> TestPalette() {
  std::vector<uint32_t> palette;
  for (uint32_t i = 0; i < 256; ++i) palette.push_back((i << 16) | ((255 - i) << 8) | ((i * 7) & 0xFF));
  return palette;
}

// A file of any layout other programs write: pixel data already encoded by the test, channel masks
// (after a 40-byte header, or inside a larger one), a palette, bytes between palette and pixels, and a
// pixel offset written as given (or the true one).
struct RawBmpSpec {
  int32_t width = 1;
  int32_t height = 1;
  uint16_t bits = 24;
  uint32_t compression = 0;
  uint32_t headerSize = 40;
  uint32_t colorsUsed = 0;
  std::vector<uint32_t> masks;    // red, green, blue
  std::vector<uint32_t> palette;  // 0x00RRGGBB
  std::string gap;                // between the palette and the pixels
  std::string pixels;             // as stored
  int64_t pixelOffset = -1;       // -1: where the pixels really start
};

inline std::string MakeRawBmp(const RawBmpSpec& spec) {
  std::string header;
  Put32(header, spec.headerSize);
  Put32(header, static_cast<uint32_t>(spec.width));
  Put32(header, static_cast<uint32_t>(spec.height));
  Put16(header, 1);
  Put16(header, spec.bits);
  Put32(header, spec.compression);
  Put32(header, static_cast<uint32_t>(spec.pixels.size()));
  Put32(header, 2835);
  Put32(header, 2835);
  Put32(header, spec.colorsUsed);
  Put32(header, 0);
  std::string masks;
  for (uint32_t m : spec.masks) Put32(masks, m);
  if (spec.headerSize > 40) {
    header += masks;
    masks.clear();
    header.resize(spec.headerSize, '\x33');
  }
  header += masks;
  for (uint32_t c : spec.palette) Put32(header, c & 0xFFFFFF);
  header += spec.gap;
  const uint32_t offset = 14 + static_cast<uint32_t>(header.size());
  std::string out = "BM";
  Put32(out, offset + static_cast<uint32_t>(spec.pixels.size()));
  Put32(out, 0);
  Put32(out, spec.pixelOffset < 0 ? offset : static_cast<uint32_t>(spec.pixelOffset));
  return out + header + spec.pixels;
}

// Rows of packed values, `bits` each (1, 4, 8: indexes high bits first; 16, 32: little-endian words),
// padded to four bytes; value(x, row) in file order.
inline std::string PackRows(int width, int rows, int bits, const std::function<uint32_t(int x, int row)>& value) {
  std::string out;
  for (int row = 0; row < rows; ++row) {
    std::string line((static_cast<size_t>(width) * bits + 31) / 32 * 4, '\0');
    for (int x = 0; x < width; ++x) {
      const uint32_t v = value(x, row);
      if (bits < 8) {
        const size_t bit = static_cast<size_t>(x) * bits;
        line[bit / 8] = static_cast<char>(static_cast<uint8_t>(line[bit / 8]) | (v << (8 - bits - bit % 8)));
      } else {
        for (int b = 0; b < bits / 8; ++b)
          line[static_cast<size_t>(x) * (bits / 8) + b] = static_cast<char>(v >> (8 * b));
      }
    }
    out += line;
  }
  return out;
}

}  // namespace bmp_fixtures
