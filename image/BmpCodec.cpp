#include "image/BmpCodec.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
void Put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Buffers whose size came from a file: a failed allocation is a result, not an exception.
std::unique_ptr<uint8_t[]> Allocate(uint64_t bytes) {
  if (bytes >= SIZE_MAX) return nullptr;
  return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[static_cast<size_t>(bytes)]);
}

}  // namespace

BmpFileHeader ParseBmpFileHeader(const uint8_t bytes[kBmpFileHeaderSize]) {
  BmpFileHeader h;
  h.type = Get16(bytes);
  h.fileSize = Get32(bytes + 2);
  h.reserved = Get32(bytes + 6);
  h.pixelOffset = Get32(bytes + 10);
  return h;
}

BmpInfoHeader ParseBmpInfoHeader(const uint8_t bytes[kBmpInfoHeaderSize]) {
  BmpInfoHeader h;
  h.size = Get32(bytes);
  h.width = static_cast<int32_t>(Get32(bytes + 4));
  h.height = static_cast<int32_t>(Get32(bytes + 8));
  h.planes = Get16(bytes + 12);
  h.bitCount = Get16(bytes + 14);
  h.compression = Get32(bytes + 16);
  h.imageSize = Get32(bytes + 20);
  h.xPelsPerMeter = static_cast<int32_t>(Get32(bytes + 24));
  h.yPelsPerMeter = static_cast<int32_t>(Get32(bytes + 28));
  h.colorsUsed = Get32(bytes + 32);
  h.colorsImportant = Get32(bytes + 36);
  return h;
}

void WriteBmpFileHeader(const BmpFileHeader& h, uint8_t bytes[kBmpFileHeaderSize]) {
  Put16(bytes, h.type);
  Put32(bytes + 2, h.fileSize);
  Put32(bytes + 6, h.reserved);
  Put32(bytes + 10, h.pixelOffset);
}

void WriteBmpInfoHeader(const BmpInfoHeader& h, uint8_t bytes[kBmpInfoHeaderSize]) {
  Put32(bytes, h.size);
  Put32(bytes + 4, static_cast<uint32_t>(h.width));
  Put32(bytes + 8, static_cast<uint32_t>(h.height));
  Put16(bytes + 12, h.planes);
  Put16(bytes + 14, h.bitCount);
  Put32(bytes + 16, h.compression);
  Put32(bytes + 20, h.imageSize);
  Put32(bytes + 24, static_cast<uint32_t>(h.xPelsPerMeter));
  Put32(bytes + 28, static_cast<uint32_t>(h.yPelsPerMeter));
  Put32(bytes + 32, h.colorsUsed);
  Put32(bytes + 36, h.colorsImportant);
}

uint32_t BmpStride(int depth, int32_t width) {
  if (width < 0 || width > kBmpMaxDimension) return 0;
  uint32_t bytesPerPixel = depth == 8 ? 1 : depth == 24 ? 3 : depth == 32 ? 4 : 0;
  return (static_cast<uint32_t>(width) * bytesPerPixel + 3) & ~3u;
}

bool MemoryByteSource::ReadAt(uint64_t offset, void* buffer, size_t count) {
  if (offset > size_ || count > size_ - offset) return false;
  if (count) std::memcpy(buffer, data_ + offset, count);
  return true;
}

namespace {

constexpr uint32_t kCompressionNone = 0;
constexpr uint32_t kCompressionRle8 = 1;
constexpr uint32_t kCompressionRle4 = 2;
constexpr uint32_t kCompressionBitfields = 3;

// Bytes of one stored row of `bits` per pixel, padded to four bytes.
uint32_t FileStride(int bits, int32_t width) {
  return static_cast<uint32_t>(((static_cast<uint64_t>(width) * static_cast<uint64_t>(bits) + 31) / 32) * 4);
}

}  // namespace

BmpStatus PlanBmp(const BmpFileHeader& fileHeader, const BmpInfoHeader& info, uint64_t sourceSize, BmpLayout* layout) {
  if (fileHeader.type != kBmpType) return BmpStatus::kNotBmp;
  BmpLayout plan;
  plan.fileDepth = info.bitCount;
  switch (plan.fileDepth) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32: break;
    default: return BmpStatus::kBadDepth;
  }
  plan.depth = plan.fileDepth == 32 ? 32 : 24;

  // The compressions that fit the depth. Files of the depths read before compression was looked at
  // (8, 24 and 32 bits) keep being read as plain rows whatever else the field says.
  plan.compression = kCompressionNone;
  if (info.compression == kCompressionRle8 && plan.fileDepth == 8)
    plan.compression = kCompressionRle8;
  else if (info.compression == kCompressionRle4 && plan.fileDepth == 4)
    plan.compression = kCompressionRle4;
  else if (info.compression == kCompressionBitfields && (plan.fileDepth == 16 || plan.fileDepth == 32))
    plan.compression = kCompressionBitfields;
  else if (info.compression != kCompressionNone && plan.fileDepth != 8 && plan.fileDepth != 24 && plan.fileDepth != 32)
    return BmpStatus::kBadFormat;
  const bool rle = plan.compression == kCompressionRle8 || plan.compression == kCompressionRle4;

  // A negative height is the top-down form; its magnitude is checked like any other height.
  const int64_t height = info.height;
  plan.topDown = height < 0;
  const int64_t rows = plan.topDown ? -height : height;
  if (info.width <= 0 || info.width > kBmpMaxDimension || rows <= 0 || rows > kBmpMaxDimension) {
    return BmpStatus::kBadSize;
  }
  if (rle && plan.topDown) return BmpStatus::kBadFormat;  // compressed rows are stored bottom row first only
  // A few bytes of run-length data can describe a vast blank image: such images are bounded by pixels.
  if (rle && static_cast<uint64_t>(info.width) * static_cast<uint64_t>(rows) > kBmpMaxRlePixels) {
    return BmpStatus::kBadSize;
  }
  plan.width = info.width;
  plan.height = static_cast<int32_t>(rows);
  plan.fileStride = FileStride(plan.fileDepth, plan.width);
  plan.stride = BmpStride(plan.depth, plan.width);
  plan.fileBytes = static_cast<uint64_t>(plan.fileStride) * static_cast<uint64_t>(rows);
  plan.bytes = static_cast<uint64_t>(plan.stride) * static_cast<uint64_t>(rows);

  // The header must hold at least the fields read above. The channel masks of a 40-byte header follow
  // it; larger headers hold them. Then comes the palette (up to 8 bits), then the pixels.
  if (info.size < kBmpInfoHeaderSize) return BmpStatus::kBadSize;
  uint64_t offset = kBmpFileHeaderSize + static_cast<uint64_t>(info.size);
  if (plan.compression == kCompressionBitfields) {
    if (info.size >= kBmpInfoHeaderSize + 12) {
      plan.masksOffset = kBmpFileHeaderSize + kBmpInfoHeaderSize;
    } else {
      plan.masksOffset = offset;
      offset += 12;
    }
  }
  if (plan.fileDepth <= 8) {
    const uint32_t most = 1u << plan.fileDepth;
    plan.paletteEntries = (info.colorsUsed >= 1 && info.colorsUsed <= most) ? info.colorsUsed : most;
    plan.paletteOffset = offset;
    offset += 4ull * plan.paletteEntries;
  }
  if (offset > sourceSize) return BmpStatus::kBadSize;  // no room for the pixels after the header

  // The pixels lie where the file header says when that is after the headers, masks and palette and
  // leaves room for them (other programs put palettes or gaps before the pixels); a missing or
  // impossible offset leaves them right after the palette.
  const uint64_t stated = fileHeader.pixelOffset;
  const bool statedFits = stated >= offset && stated < sourceSize && (rle || plan.fileBytes <= sourceSize - stated);
  plan.pixelOffset = statedFits ? stated : offset;
  if (rle) {
    // The run-length data runs to the end of the file, or as far as the header's image size says.
    const uint64_t available = sourceSize - plan.pixelOffset;
    plan.fileBytes = (info.imageSize > 0 && info.imageSize <= available) ? info.imageSize : available;
    if (plan.fileBytes < 2) return BmpStatus::kTruncated;
  } else if (plan.fileBytes > sourceSize - plan.pixelOffset) {
    return BmpStatus::kTruncated;
  }
  *layout = plan;
  return BmpStatus::kOk;
}

namespace {

// One channel of a masked pixel: where it sits and how its value becomes a byte (the top bits repeated
// into the low ones, so that full scale stays full scale: 5 bits of 31 give 255).
struct Channel {
  uint32_t mask = 0;
  int shift = 0;
  int bits = 0;
  uint8_t scale[256] = {};  // for bits <= 8

  bool Set(uint32_t m) {
    mask = m;
    if (!m) return true;  // an absent channel reads 0
    while (!((m >> shift) & 1)) ++shift;
    const uint64_t run = m >> shift;    // 64 bits: a mask of all 32 bits is one run too
    if (run & (run + 1)) return false;  // not one run of bits
    while (bits < 32 && ((run >> bits) & 1)) ++bits;
    if (bits <= 8) {
      for (uint32_t value = 0; value < (1u << bits); ++value) {
        uint32_t out = 0;
        for (int at = 8 - bits; at > -bits; at -= bits) out |= at >= 0 ? value << at : value >> -at;
        scale[value] = static_cast<uint8_t>(out);
      }
    }
    return true;
  }
  uint8_t Of(uint32_t pixel) const {
    if (!mask) return 0;
    const uint32_t value = (pixel & mask) >> shift;
    return bits <= 8 ? scale[value] : static_cast<uint8_t>(value >> (bits - 8));
  }
};

// Run-length data (RLE8, or RLE4 with `nibbles`) into one index a pixel, rows bottom row first as in
// the file. Pixels the data skips keep index 0; runs past the end of a row or below the image are cut.
// False when the data ends inside a run or a command.
bool ExpandRunLength(const uint8_t* data, size_t size, bool nibbles, int32_t width, int32_t height, uint8_t* indexes) {
  int64_t x = 0, y = 0;
  auto put = [&](uint8_t index) {
    if (x < width && y < height)
      indexes[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] = index;
    ++x;
  };
  size_t at = 0;
  while (y < height) {
    if (size - at < 2) return at == size;  // the data may stop without an end-of-bitmap mark
    const uint8_t count = data[at], value = data[at + 1];
    at += 2;
    if (count > 0) {
      for (int i = 0; i < count && x < width; ++i) put(nibbles ? (i & 1 ? value & 0x0F : value >> 4) : value);
      continue;
    }
    if (value == 0) {  // end of row
      x = 0;
      ++y;
    } else if (value == 1) {  // end of bitmap
      return true;
    } else if (value == 2) {  // move right and up
      if (size - at < 2) return false;
      x += data[at];
      y += data[at + 1];
      at += 2;
    } else {  // `value` pixels stored as they are, padded to two bytes
      const size_t bytes = nibbles ? (value + 1u) / 2 : value;
      const size_t padded = (bytes + 1) & ~size_t{1};
      if (size - at < bytes) return false;
      for (int i = 0; i < value; ++i)
        put(nibbles ? (i & 1 ? data[at + i / 2] & 0x0F : data[at + i / 2] >> 4) : data[at + i]);
      at += std::min(padded, size - at);
    }
  }
  return true;
}

}  // namespace

BmpStatus DecodeBmp(BmpByteSource& source, BmpDecoded* image) {
  *image = BmpDecoded();
  uint8_t headers[kBmpFileHeaderSize + kBmpInfoHeaderSize];
  if (!source.ReadAt(0, headers, sizeof headers)) return BmpStatus::kTruncated;
  BmpDecoded decoded;
  decoded.fileHeader = ParseBmpFileHeader(headers);
  decoded.infoHeader = ParseBmpInfoHeader(headers + kBmpFileHeaderSize);
  BmpLayout& plan = decoded.layout;
  BmpStatus status = PlanBmp(decoded.fileHeader, decoded.infoHeader, source.Size(), &plan);
  if (status != BmpStatus::kOk) return status;

  // Channel masks: the file's for BI_BITFIELDS, else 5-5-5 for 16 bits and 8-8-8 for 32.
  if (plan.compression == kCompressionBitfields) {
    uint8_t masks[12];
    if (!source.ReadAt(plan.masksOffset, masks, sizeof masks)) return BmpStatus::kTruncated;
    for (int i = 0; i < 3; ++i) plan.masks[i] = Get32(masks + 4 * i);
  } else if (plan.fileDepth == 16) {
    plan.masks[0] = 0x7C00, plan.masks[1] = 0x03E0, plan.masks[2] = 0x001F;
  } else if (plan.fileDepth == 32) {
    plan.masks[0] = 0xFF0000, plan.masks[1] = 0x00FF00, plan.masks[2] = 0x0000FF;
  }
  Channel channels[3];
  if (plan.fileDepth == 16 || plan.fileDepth == 32) {
    const uint32_t limit = plan.fileDepth == 16 ? 0xFFFFu : 0xFFFFFFFFu;
    for (int i = 0; i < 3; ++i)
      if (plan.masks[i] > limit || !channels[i].Set(plan.masks[i])) return BmpStatus::kBadFormat;
    if ((plan.masks[0] & plan.masks[1]) || (plan.masks[0] & plan.masks[2]) || (plan.masks[1] & plan.masks[2]))
      return BmpStatus::kBadFormat;
  }
  // 32-bit pixels in the surfaces' own order are taken as stored, fourth byte and all.
  const bool storedAsIs = plan.fileDepth == 24 || (plan.fileDepth == 32 && plan.masks[0] == 0xFF0000 &&
                                                   plan.masks[1] == 0x00FF00 && plan.masks[2] == 0x0000FF);

  decoded.pixels = Allocate(plan.bytes + 1);
  if (!decoded.pixels) return BmpStatus::kNoMemory;
  uint8_t* pixels = decoded.pixels.get();
  const size_t rows = static_cast<size_t>(plan.height);
  const size_t width = static_cast<size_t>(plan.width);
  const size_t outBytes = plan.depth / 8;

  if (storedAsIs) {
    if (!source.ReadAt(plan.pixelOffset, pixels, static_cast<size_t>(plan.bytes))) return BmpStatus::kTruncated;
    if (plan.topDown) {
      for (size_t top = 0, bottom = rows - 1; top < bottom; ++top, --bottom) {
        std::swap_ranges(pixels + top * plan.stride, pixels + (top + 1) * plan.stride, pixels + bottom * plan.stride);
      }
    }
    pixels[plan.bytes] = 0;
    *image = std::move(decoded);
    return BmpStatus::kOk;
  }

  std::unique_ptr<uint8_t[]> stored = Allocate(plan.fileBytes);
  if (!stored) return BmpStatus::kNoMemory;
  if (!source.ReadAt(plan.pixelOffset, stored.get(), static_cast<size_t>(plan.fileBytes))) {
    return BmpStatus::kTruncated;
  }

  if (plan.fileDepth <= 8) {
    uint8_t palette[kBmpPaletteEntries * 4] = {};  // entries the file does not give stay black
    if (!source.ReadAt(plan.paletteOffset, palette, 4u * plan.paletteEntries)) return BmpStatus::kTruncated;
    // Run-length data is expanded to one index a pixel first (rows of `width` bytes).
    std::unique_ptr<uint8_t[]> expanded;
    if (plan.compression == kCompressionRle8 || plan.compression == kCompressionRle4) {
      expanded = Allocate(static_cast<uint64_t>(width) * rows);
      if (!expanded) return BmpStatus::kNoMemory;
      std::memset(expanded.get(), 0, width * rows);
      if (!ExpandRunLength(stored.get(), static_cast<size_t>(plan.fileBytes), plan.compression == kCompressionRle4,
                           plan.width, plan.height, expanded.get()))
        return BmpStatus::kTruncated;
    }
    for (size_t row = 0; row < rows; ++row) {
      // Decoded rows are bottom row first whatever the file's order.
      const size_t fileRow = plan.topDown ? rows - 1 - row : row;
      uint8_t* out = pixels + row * plan.stride;
      const uint8_t* in = expanded ? expanded.get() + row * width : stored.get() + fileRow * plan.fileStride;
      for (size_t x = 0; x < width; ++x) {
        uint32_t index;
        if (expanded || plan.fileDepth == 8)
          index = in[x];
        else if (plan.fileDepth == 4)
          index = (in[x / 2] >> (x & 1 ? 0 : 4)) & 0x0F;
        else
          index = (in[x / 8] >> (7 - (x & 7))) & 1;
        const uint8_t* entry = palette + 4u * index;
        out[0] = entry[0];
        out[1] = entry[1];
        out[2] = entry[2];
        out += 3;
      }
      std::memset(out, 0, plan.stride - 3 * width);
    }
  } else {
    // 16 bits, or 32 bits with other masks: each channel through its mask; the fourth byte is 0.
    for (size_t row = 0; row < rows; ++row) {
      const size_t fileRow = plan.topDown ? rows - 1 - row : row;
      const uint8_t* in = stored.get() + fileRow * plan.fileStride;
      uint8_t* out = pixels + row * plan.stride;
      for (size_t x = 0; x < width; ++x) {
        const uint32_t value = plan.fileDepth == 16 ? Get16(in + 2 * x) : Get32(in + 4 * x);
        out[0] = channels[2].Of(value);
        out[1] = channels[1].Of(value);
        out[2] = channels[0].Of(value);
        if (outBytes == 4) out[3] = 0;
        out += outBytes;
      }
      std::memset(out, 0, plan.stride - outBytes * width);
    }
  }
  pixels[plan.bytes] = 0;
  *image = std::move(decoded);
  return BmpStatus::kOk;
}

std::unique_ptr<uint8_t[]> DecodeAlp(BmpByteSource& source, int32_t width, int32_t height) {
  if (width <= 0 || height <= 0) return nullptr;
  const uint64_t bytes = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
  if (source.Size() < bytes) return nullptr;
  std::unique_ptr<uint8_t[]> alpha = Allocate(bytes + 1);
  if (!alpha || !source.ReadAt(0, alpha.get(), static_cast<size_t>(bytes))) return nullptr;
  alpha[bytes] = 0;
  return alpha;
}

bool MakeBmp24Headers(int32_t width, int32_t height, uint8_t bytes[kBmpFileHeaderSize + kBmpInfoHeaderSize]) {
  if (width <= 0 || height <= 0) return false;
  const uint64_t stride = (static_cast<uint64_t>(width) * 3 + 3) & ~3ull;
  const uint64_t imageSize = stride * static_cast<uint64_t>(height);
  const uint64_t headerBytes = kBmpFileHeaderSize + kBmpInfoHeaderSize;
  if (imageSize + headerBytes > UINT32_MAX) return false;

  BmpFileHeader file;
  file.type = kBmpType;
  file.fileSize = static_cast<uint32_t>(headerBytes + imageSize);
  file.pixelOffset = static_cast<uint32_t>(headerBytes);
  BmpInfoHeader info;
  info.size = kBmpInfoHeaderSize;
  info.width = width;
  info.height = height;
  info.planes = 1;
  info.bitCount = 24;
  info.imageSize = static_cast<uint32_t>(imageSize);
  WriteBmpFileHeader(file, bytes);
  WriteBmpInfoHeader(info, bytes + kBmpFileHeaderSize);
  return true;
}
