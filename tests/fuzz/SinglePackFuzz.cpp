// The single-file pack core on arbitrary file bytes: header, stored name and place, block decode.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "pack/PackFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> out;
  DecodeSinglePack(data, size, "v_006_000.bmp", &out);
  uint32_t nameSize;
  if (ReadPackHeader(data, size, PackVariant::kSingle, &nameSize) && nameSize <= kMaxSingleNameSize &&
      uint64_t(nameSize) + 8 <= size - kPackHeaderSize) {
    SinglePackHead head;
    if (ReadSinglePackHead(data + kPackHeaderSize, nameSize, &head)) DecodeSinglePack(data, size, head.name, &out);
  }
  return 0;
}
