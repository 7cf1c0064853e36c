// The walk over an LZSS archive's index as the readers do it, on any bytes: every record parsed, its
// name compared with the wanted forms, and every member checked and decoded. Nothing may be read
// outside the archive's bytes or allocated beyond what the member's compressed length can give.

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "pack/LzssCore.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const LzssMemberForms kWanted = MakeLzssMemberForms("Data/A.BMP");
  std::vector<uint8_t> archive(data, data + size);
  const uint8_t* bytes = archive.empty() ? nullptr : archive.data();
  int records = 0;
  WalkLzssIndex(bytes, archive.size(), [&](const LzssRecord& record) {
    if (!record.nameTerminated && LzssRecordMatches(record, kWanted)) std::abort();
    if (record.name.size() > kLzssNameSize) std::abort();
    std::vector<uint8_t> decoded;
    int result = DecodeLzssMember(bytes, archive.size(), record, &decoded);
    if (result == 1 && decoded.size() != record.decodedLength) std::abort();
    if (result == 1 && uint64_t(record.offset) + record.compressedLength > archive.size()) std::abort();
    return ++records < 64;
  });
  return 0;
}
