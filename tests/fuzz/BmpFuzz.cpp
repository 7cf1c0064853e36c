// The BMP reader and its ".alp" companion on arbitrary bytes. The input is a bitmap file (any depth,
// palette, run-length data or channel masks); whatever follows its pixel data is taken for the
// companion, so that both readers see sizes that fit the image and sizes that do not.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "image/BmpCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MemoryByteSource source(data, size);
  BmpDecoded image;
  if (DecodeBmp(source, &image) != BmpStatus::kOk) return 0;

  // Every byte of the decoded rows must have been written: sanitizers flag reads of garbage only
  // indirectly, so touch them all.
  const BmpLayout& layout = image.layout;
  uint32_t sum = 0;
  for (uint64_t i = 0; i < layout.bytes; ++i) sum += image.pixels[i];

  // What the decoder promises about every image it accepts: a depth the surfaces take, rows of the
  // decoded stride, and pixel data that lay inside the input.
  const bool depthOk = layout.depth == 24 || layout.depth == 32;
  const bool rowsOk = layout.stride >= static_cast<uint64_t>(layout.width) * (layout.depth / 8) &&
                      layout.bytes == static_cast<uint64_t>(layout.stride) * static_cast<uint64_t>(layout.height);
  if (!depthOk || !rowsOk || layout.pixelOffset > size || layout.fileBytes > size - layout.pixelOffset)
    __builtin_trap();

  const size_t end = static_cast<size_t>(layout.pixelOffset + layout.fileBytes);  // within the input
  MemoryByteSource alphaSource(data + end, size - end);
  if (auto alpha = DecodeAlp(alphaSource, layout.width, layout.height)) {
    const uint64_t count = static_cast<uint64_t>(layout.width) * static_cast<uint64_t>(layout.height);
    for (uint64_t i = 0; i < count; ++i) sum += alpha[i];
  }
  volatile uint32_t sink = sum;
  (void)sink;
  return 0;
}
