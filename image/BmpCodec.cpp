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

BmpStatus PlanBmp(const BmpFileHeader& fileHeader, const BmpInfoHeader& info, uint64_t sourceSize,
                  BmpLayout* layout) {
  if (fileHeader.type != kBmpType) return BmpStatus::kNotBmp;
  BmpLayout plan;
  plan.fileDepth = info.bitCount;
  if (plan.fileDepth != 8 && plan.fileDepth != 24 && plan.fileDepth != 32) return BmpStatus::kBadDepth;
  plan.depth = plan.fileDepth == 8 ? 24 : plan.fileDepth;

  // A negative height is the top-down form; its magnitude is checked like any other height.
  const int64_t height = info.height;
  plan.topDown = height < 0;
  const int64_t rows = plan.topDown ? -height : height;
  if (info.width <= 0 || info.width > kBmpMaxDimension || rows <= 0 || rows > kBmpMaxDimension) {
    return BmpStatus::kBadSize;
  }
  plan.width = info.width;
  plan.height = static_cast<int32_t>(rows);
  plan.fileStride = BmpStride(plan.fileDepth, plan.width);
  plan.stride = BmpStride(plan.depth, plan.width);
  plan.fileBytes = static_cast<uint64_t>(plan.fileStride) * static_cast<uint64_t>(rows);
  plan.bytes = static_cast<uint64_t>(plan.stride) * static_cast<uint64_t>(rows);

  // The header must hold at least the fields read above; the pixels follow it (and the palette).
  if (info.size < kBmpInfoHeaderSize) return BmpStatus::kBadSize;
  uint64_t offset = kBmpFileHeaderSize + static_cast<uint64_t>(info.size);
  if (plan.fileDepth == 8) {
    plan.paletteEntries =
        (info.colorsUsed >= 1 && info.colorsUsed <= kBmpPaletteEntries) ? info.colorsUsed : kBmpPaletteEntries;
    plan.paletteOffset = offset;
    offset += 4ull * plan.paletteEntries;
  }
  plan.pixelOffset = offset;
  if (plan.pixelOffset > sourceSize) return BmpStatus::kBadSize;
  if (plan.fileBytes > sourceSize - plan.pixelOffset) return BmpStatus::kTruncated;
  *layout = plan;
  return BmpStatus::kOk;
}

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

  decoded.pixels = Allocate(plan.bytes + 1);
  if (!decoded.pixels) return BmpStatus::kNoMemory;
  uint8_t* pixels = decoded.pixels.get();
  const size_t rows = static_cast<size_t>(plan.height);

  if (plan.fileDepth == 8) {
    uint8_t palette[kBmpPaletteEntries * 4] = {};  // entries the file does not give stay black
    if (!source.ReadAt(plan.paletteOffset, palette, 4u * plan.paletteEntries)) return BmpStatus::kTruncated;
    std::unique_ptr<uint8_t[]> indexes = Allocate(plan.fileBytes);
    if (!indexes) return BmpStatus::kNoMemory;
    if (!source.ReadAt(plan.pixelOffset, indexes.get(), static_cast<size_t>(plan.fileBytes))) {
      return BmpStatus::kTruncated;
    }
    for (size_t row = 0; row < rows; ++row) {
      // Decoded rows are bottom row first whatever the file's order.
      const size_t fileRow = plan.topDown ? rows - 1 - row : row;
      const uint8_t* in = indexes.get() + fileRow * plan.fileStride;
      uint8_t* out = pixels + row * plan.stride;
      for (int32_t x = 0; x < plan.width; ++x) {
        const uint8_t* entry = palette + 4u * in[x];
        out[0] = entry[0];
        out[1] = entry[1];
        out[2] = entry[2];
        out += 3;
      }
      std::memset(out, 0, plan.stride - 3u * static_cast<uint32_t>(plan.width));
    }
  } else {
    if (!source.ReadAt(plan.pixelOffset, pixels, static_cast<size_t>(plan.bytes))) return BmpStatus::kTruncated;
    if (plan.topDown) {
      for (size_t top = 0, bottom = rows - 1; top < bottom; ++top, --bottom) {
        std::swap_ranges(pixels + top * plan.stride, pixels + (top + 1) * plan.stride, pixels + bottom * plan.stride);
      }
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
