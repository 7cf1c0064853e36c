// The LZSS encoder on any bytes: its stream decodes to the same bytes with both decoders, fits the
// bound, and is no longer than the classic encoder's.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "pack/LzssCore.h"
#include "tests/support/LzssReference.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 16)) return 0;
  std::vector<uint8_t> stream;
  if (!LzssEncode(data, size, &stream)) std::abort();
  if (stream.size() > LzssEncodeBound(size)) std::abort();
  std::vector<uint8_t> decoded(size + 1), plain(size + 1);
  CLZSSCodec codec;
  if (codec.Decode(stream.data(), uint32_t(stream.size()), decoded.data(), uint32_t(size)) != int64_t(size))
    std::abort();
  if (size && std::memcmp(decoded.data(), data, size) != 0) std::abort();
  if (testing_support::ReferenceLzssDecode(stream.data(), uint32_t(stream.size()), plain.data(), uint32_t(size)) !=
      int64_t(size))
    std::abort();
  if (size && std::memcmp(plain.data(), data, size) != 0) std::abort();
  if (size && stream.size() > testing_support::ReferenceLzssEncode(data, size).size()) std::abort();
  return 0;
}
