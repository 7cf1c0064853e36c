// The LZSS decoder on any bytes with any capacity, against the plain ring decoder: the same result and
// the same bytes, nothing read past the input (it sits in a block of its own size) and nothing written
// past the capacity.
//
// Input: 4 bytes choosing the capacity (the low bits pick the stream's own length, one either side of
// it, or any length up to what the stream could give), then the stream.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "pack/LzssCore.h"
#include "tests/support/LzssReference.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4 || size - 4 > (1u << 20)) return 0;
  uint32_t choice = uint32_t(data[0]) | uint32_t(data[1]) << 8 | uint32_t(data[2]) << 16 | uint32_t(data[3]) << 24;
  std::vector<uint8_t> stream(data + 4, data + size);
  uint32_t length = uint32_t(stream.size());
  const uint8_t* input = length ? stream.data() : nullptr;

  uint64_t most = LzssMaxDecodedSize(length);
  std::vector<uint8_t> scratch(most + 1);
  uint64_t natural = 0;
  testing_support::ReferenceLzssDecode(input, length, scratch.data(), uint32_t(most + 1), &natural);
  uint64_t capacity;
  switch (choice & 3) {
    case 0: capacity = natural; break;
    case 1: capacity = natural + 1; break;
    case 2: capacity = natural ? natural - 1 : 0; break;
    default: capacity = (choice >> 2) % (most + 2); break;
  }

  std::vector<uint8_t> expected(capacity + 1), actual(capacity + 64, 0xA5);
  int64_t want = testing_support::ReferenceLzssDecode(input, length, expected.data(), uint32_t(capacity));
  CLZSSCodec codec;
  int64_t got = codec.Decode(input, length, actual.data(), uint32_t(capacity));
  if (got != want) std::abort();
  // An empty stream gives 0 whatever the capacity; otherwise success is the whole capacity.
  if (got >= 0 && std::memcmp(actual.data(), expected.data(), size_t(got)) != 0) std::abort();
  for (size_t i = capacity; i < actual.size(); ++i)
    if (actual[i] != 0xA5) std::abort();
  return 0;
}
