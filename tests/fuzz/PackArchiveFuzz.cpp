// The pack archive core on arbitrary file bytes: header, index walk, look-up of names (the hashed
// look-up must agree with a walk from the first entry) and the decode of listed members.

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
    std::vector<MemberNameForms> lowered;
    for (size_t i = 0; i < index.GetCount() && i < 32; ++i) lowered.push_back(NormaliseMemberName(index.GetAt(i).name));
    for (size_t i = 0; i < lowered.size(); ++i) {
      const PackEntry* walked = nullptr;
      for (size_t j = 0; j < index.GetCount() && !walked; ++j) {
        if (MemberNameMatches(index.GetAt(j).name, lowered[i])) walked = &index.GetAt(j);
      }
      const PackEntry* found = index.Find(lowered[i]);
      if (found != walked) std::abort();
      // The whole-file path for the first names, the block alone for the others.
      if (i < 4) {
        DecodePackArchiveMember(data, size, index.GetAt(i).name, &out);
      } else if (found == &index.GetAt(i) && IsStoredBlockInFile(found->offset, found->length, size)) {
        DecodeStoredBlock(data + found->offset, found->length, &out);
      }
    }
  }

  // The input as one stored block, too.
  if (size <= 0xFFFFFFFFu) DecodeStoredBlock(data, static_cast<uint32_t>(size), &out);
  return 0;
}
