#pragma once
// The BMP reader's decoding core and the writer's headers, on bytes alone (no Win32, no files), so that
// it builds natively and can be fuzzed. CBmpImage feeds it from a CFile; tests and the fuzz target from
// memory.
//
// What it accepts: type "BM"; 1, 4, 8, 16, 24 or 32 bits per pixel; width 1..32768; height 1..32768,
// negative for rows stored top row first. Rows may be plain; 8- and 4-bit files may be run-length
// encoded (RLE8, RLE4; bottom row first only, at most kBmpMaxRlePixels pixels); 16- and 32-bit files
// may give their channel masks (BI_BITFIELDS: after a 40-byte information header, inside a larger one),
// otherwise 16 bits are 5-5-5 and 32 bits 0x00RRGGBB. Up to 8 bits a palette follows the header (2^bits
// entries, or the colour count the header names when it is smaller). The pixels are read from the file
// header's pixel offset when it lies after the header, masks and palette and the pixels fit after it;
// otherwise (missing or impossible) right after the palette. The decoded image is 24 bits (palettes and
// 16-bit pixels expanded, a channel of n bits scaled to 8 by repeating its top bits) or 32 bits (as
// stored for the usual masks, else 0x00RRGGBB with a zero fourth byte), rows bottom row first, each of
// BmpStride bytes. Every size read from the file is checked in 64-bit arithmetic before anything is
// allocated, and a file shorter than its pixel data is refused.
//
// The ".alp" companion: width x height bytes, top row first, rows not padded. One shorter than that is
// ignored; of a longer one only the first width x height bytes are read.

#include <cstddef>
#include <cstdint>
#include <memory>

constexpr size_t kBmpFileHeaderSize = 14;
constexpr size_t kBmpInfoHeaderSize = 40;
constexpr size_t kBmpPaletteEntries = 256;
constexpr int32_t kBmpMaxDimension = 32768;
constexpr uint64_t kBmpMaxRlePixels = uint64_t{1} << 24;  // width x height of a run-length encoded file
constexpr uint16_t kBmpType = 0x4D42;                     // "BM"

// The 14-byte file header and the 40-byte information header, field by field as stored (little-endian
// on disk, parsed and written byte by byte so that no structure packing is involved).
struct BmpFileHeader {
  uint16_t type = 0;
  uint32_t fileSize = 0;
  uint32_t reserved = 0;
  uint32_t pixelOffset = 0;
};

struct BmpInfoHeader {
  uint32_t size = 0;
  int32_t width = 0;
  int32_t height = 0;
  uint16_t planes = 0;
  uint16_t bitCount = 0;
  uint32_t compression = 0;
  uint32_t imageSize = 0;
  int32_t xPelsPerMeter = 0;
  int32_t yPelsPerMeter = 0;
  uint32_t colorsUsed = 0;
  uint32_t colorsImportant = 0;
};

BmpFileHeader ParseBmpFileHeader(const uint8_t bytes[kBmpFileHeaderSize]);
BmpInfoHeader ParseBmpInfoHeader(const uint8_t bytes[kBmpInfoHeaderSize]);
void WriteBmpFileHeader(const BmpFileHeader& header, uint8_t bytes[kBmpFileHeaderSize]);
void WriteBmpInfoHeader(const BmpInfoHeader& header, uint8_t bytes[kBmpInfoHeaderSize]);

// Bytes of one row: width, 3 x width or 4 x width rounded up to a multiple of 4 for depth 8, 24 or 32;
// 0 for any other depth or a width outside 0..32768.
uint32_t BmpStride(int depth, int32_t width);

// Where the decoder reads from: a byte range it may ask for in pieces.
class BmpByteSource {
 public:
  virtual ~BmpByteSource() = default;
  virtual uint64_t Size() = 0;
  // Fills `buffer` with `count` bytes from `offset`; false unless all of them were read.
  virtual bool ReadAt(uint64_t offset, void* buffer, size_t count) = 0;
};

class MemoryByteSource : public BmpByteSource {
 public:
  MemoryByteSource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint64_t Size() override { return size_; }
  bool ReadAt(uint64_t offset, void* buffer, size_t count) override;

 private:
  const uint8_t* data_;
  size_t size_;
};

enum class BmpStatus {
  kOk,
  kTruncated,  // shorter than its headers or its pixel data
  kNotBmp,     // type is not "BM"
  kBadDepth,   // bits per pixel other than 1, 4, 8, 16, 24 or 32
  kBadSize,    // width or height 0 or beyond 32768, or a header size that places no pixel data
  kNoMemory,   // the pixel buffer could not be allocated
  kBadFormat,  // a compression the depth cannot have, channel masks that are not runs of bits or that
               // overlap, a top-down run-length file
};

// Sizes of the decoded image, checked; computed by PlanBmp from the headers and the source's size.
struct BmpLayout {
  int32_t width = 0;
  int32_t height = 0;           // always positive
  bool topDown = false;         // rows stored top row first (negative height in the file)
  int fileDepth = 0;            // 1, 4, 8, 16, 24 or 32
  int depth = 0;                // of the decoded image: 24 or 32
  uint32_t compression = 0;     // as used: 0 plain rows, 1 RLE8, 2 RLE4, 3 channel masks
  uint32_t fileStride = 0;      // bytes of one plain row in the file
  uint32_t stride = 0;          // bytes of one decoded row
  uint64_t paletteOffset = 0;   // up to 8 bits only
  uint32_t paletteEntries = 0;  // up to 8 bits only
  uint64_t masksOffset = 0;     // channel masks of a BI_BITFIELDS file
  uint32_t masks[3] = {};       // red, green, blue of 16- and 32-bit files (set by DecodeBmp)
  uint64_t pixelOffset = 0;
  uint64_t fileBytes = 0;  // bytes of pixel data taken from the file (plain rows: fileStride x height)
  uint64_t bytes = 0;      // stride x height
};

BmpStatus PlanBmp(const BmpFileHeader& fileHeader, const BmpInfoHeader& infoHeader, uint64_t sourceSize,
                  BmpLayout* layout);

// A decoded image. The buffers hold one byte more than the image needs.
struct BmpDecoded {
  BmpFileHeader fileHeader;
  BmpInfoHeader infoHeader;
  BmpLayout layout;
  std::unique_ptr<uint8_t[]> pixels;  // layout.bytes, rows bottom row first
};

BmpStatus DecodeBmp(BmpByteSource& source, BmpDecoded* image);

// Reads the alpha companion of a width x height image into a new buffer of width x height bytes (+1);
// null when the source is shorter than that, the size is not positive or memory runs out.
std::unique_ptr<uint8_t[]> DecodeAlp(BmpByteSource& source, int32_t width, int32_t height);

// The headers SaveBmp writes before the rows of a 24-bit image of that size, bottom row first:
// file size 54 + stride x height, pixel offset 54, header size 40, planes 1, 24 bits, no compression,
// image size stride x height. False when the size cannot be written (not positive, or past 32 bits).
bool MakeBmp24Headers(int32_t width, int32_t height, uint8_t bytes[kBmpFileHeaderSize + kBmpInfoHeaderSize]);
