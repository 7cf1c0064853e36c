// The pack archive core on arbitrary file bytes: header, index walk, look-up of names (the hashed
// look-up must agree with a walk from the first entry) and the decode of every listed member.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "pack/PackFormat.h"
#include "pack/ZipCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> out;
  DecodePackArchiveMember(data, size, "data\\v_006_000.bmp", &out);

  uint32_t indexLength;
  if (ReadPackHeader(data, size, PackVariant::kArchive, &indexLength) && indexLength <= size - kPackHeaderSize) {
    PackIndex index(data + kPackHeaderSize, indexLength);
    for (size_t i = 0; i < index.GetCount() && i < 64; ++i) {
      const PackEntry& entry = index.GetAt(i);
      MemberNameForms forms = NormaliseMemberName(entry.name);
      const PackEntry* walked = nullptr;
      for (size_t j = 0; j < index.GetCount() && !walked; ++j) {
        if (MemberNameMatches(index.GetAt(j).name, forms)) walked = &index.GetAt(j);
      }
      if (index.Find(forms) != walked) std::abort();
      int result = DecodePackArchiveMember(data, size, entry.name, &out);
      if (result == 1 && !IsStoredBlockInFile(walked->offset, walked->length, size)) std::abort();
    }
  }

  // The input as one stored block, too.
  if (size <= 0xFFFFFFFFu) DecodeStoredBlock(data, static_cast<uint32_t>(size), &out);
  return 0;
}
