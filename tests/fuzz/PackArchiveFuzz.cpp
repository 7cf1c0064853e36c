// The pack archive core on arbitrary file bytes: header, index walk, look-up of names (the sorted
// look-up must agree with a walk from the first entry; a small budget refuses the index whole or
// lists the same; each entry reads back from its place as the reader's check does), the decode of listed members, and
// the block decode whole against the readers' decode in pieces.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
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
    PackIndex bounded(data + kPackHeaderSize, indexLength, PackIndexBudget{8, 200});
    if (bounded.IsOverBudget() ? bounded.GetCount() != 0 : bounded.GetCount() != index.GetCount()) std::abort();
    for (size_t i = 0; i < index.GetCount() && i < 32; ++i) {
      const PackEntry& entry = index.GetAt(i);
      PackEntry again;
      if (ReadPackEntry(data + kPackHeaderSize + entry.entryStart, indexLength - entry.entryStart, &again) != 1)
        std::abort();
      again.entryStart = entry.entryStart;
      if (!SamePackEntry(again, entry)) std::abort();
    }
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

  // The input as one stored block, decoded whole and in pieces (as the readers do): the two must agree.
  if (size <= 0xFFFFFFFFu) {
    bool whole = DecodeStoredBlock(data, static_cast<uint32_t>(size), &out);
    if (size >= kMinStoredBlockLength) {
      size_t chunk = 1 + data[0] % 16, next = 0;
      CZipCodec pieces;
      bool streamed = pieces.DecodeStreamed(
          static_cast<uint32_t>(size), data + size - 4,
          [&](uint8_t* buffer, size_t wanted) {
            if (wanted > chunk || next + wanted > size - 4) std::abort();  // asked for bytes outside the stream
            std::memcpy(buffer, data + next, wanted);
            next += wanted;
            return true;
          },
          chunk);
      if (streamed != whole) std::abort();
      if (streamed && (pieces.GetDecodedLength() != out.size() ||
                       (!out.empty() && std::memcmp(pieces.GetDecodedData(), out.data(), out.size()) != 0))) {
        std::abort();
      }
    }
  }
  return 0;
}
