#include "pack/ZipFile.h"

#include <cstdio>
#include <memory>

#include "foundation/DebugPrint.h"
#include "foundation/Folders.h"
#include "foundation/NativeFile.h"
#include "foundation/PathText.h"
#include "pack/PackFormat.h"
#include "pack/PackIndexCache.h"

namespace {

// Decodes the stored block of `length` bytes at `offset` (which lies inside the file) into the codec,
// reading it in pieces: a large member never has its whole stored block in memory next to its output.
bool DecodeStoredBlockOf(CNativeFile& file, uint32_t offset, uint32_t length, CZipCodec& codec) {
  uint8_t lastFour[4];
  if (!file.SeekTo64(uint64_t(offset) + length - 4) || !file.Read(lastFour, 4) || !file.SeekTo64(offset)) {
    return false;
  }
  return codec.DecodeStreamed(
      length, lastFour, [&file](uint8_t* buffer, size_t size) { return file.Read(buffer, static_cast<DWORD>(size)); });
}

// Whether the pack open in `file` still holds `entry` where the kept index has it: a pack replaced by
// one of the same size and time (a copy that keeps the time; FAT's two-second times) must not be read
// with the old pack's offsets.
bool EntryStillInPack(CNativeFile& file, const PackEntry& entry) {
  uint8_t bytes[kMaxMemberNameSize + 12];
  if (entry.entrySize > sizeof bytes || !file.SeekTo64(kPackHeaderSize + uint64_t(entry.entryStart)) ||
      !file.Read(bytes, entry.entrySize)) {
    return false;
  }
  PackEntry now;
  if (ReadPackEntry(bytes, entry.entrySize, &now) != 1) return false;
  now.entryStart = entry.entryStart;
  return SamePackEntry(now, entry);
}

std::string FileNameOf(const std::string& fullPath) {
  std::string folder, name;
  SplitDirectoryAndName(fullPath, folder, name);
  return name;
}

}  // namespace

bool PackArchiveContains(const std::string& pack, const std::string& member) {
  std::shared_ptr<const PackArchiveIndex> index = GetPackArchiveIndex(pack);
  return index && index->index.Find(member) != nullptr;
}

bool FindPackArchive(const std::string& path, std::string& outPack, std::string& outMember) {
  std::string full = GetFullPath(path);
  std::string current = path;
  for (;;) {
    std::string parent = GetParentDirectory(current);
    if (parent == current) return false;
    // The member is what follows the folder and its separator in the full path.
    if (full.size() <= parent.size() + 1 || full.compare(0, parent.size(), parent) != 0) return false;
    std::string member = full.substr(parent.size() + 1);
    std::string pack = parent + ".pak";
    if (PackArchiveContains(pack, member)) {
      outPack = pack;
      outMember = member;
      return true;
    }
    current = pack;
  }
}

int CZipArchiveFile::_Load(const std::string& path) {
  // A kept index found not to match the pack is dropped and the search made again, once: the pack
  // that holds the file may then be another one, or none.
  for (int attempt = 0; attempt < 2; ++attempt) {
    std::string packPath, member;
    if (!FindPackArchive(path, packPath, member)) return 0;
    CNativeFile pack;
    if (!pack.OpenRead(packPath)) return 0;
    uint8_t header[kPackHeaderSize];
    uint32_t indexLength;
    if (!pack.Read(header, sizeof header) ||
        !ReadPackHeader(header, sizeof header, PackVariant::kArchive, &indexLength)) {
      return 0;
    }
    uint64_t fileSize = pack.GetSize64();
    std::shared_ptr<const PackArchiveIndex> index = GetPackArchiveIndex(packPath);
    // The kept index must be that of the file now open (same size and index length).
    if (!index || index->stamp.size != fileSize || index->indexLength != indexLength) return 0;

    const PackEntry* entry = index->index.Find(member);
    if (!entry) return -1;
    if (!EntryStillInPack(pack, *entry)) {
      DropPackArchiveIndex(packPath, index);
      continue;
    }
    if (!IsStoredBlockInFile(entry->offset, entry->length, fileSize)) return -1;
    if (!DecodeStoredBlockOf(pack, entry->offset, entry->length, codec_)) {
      if (codec_.RanOutOfMemory()) {
        DebugPrint("CZipArchiveFile::_Load() メモリ割り当てに失敗！[%s][src_size:%dbyte]", path.c_str(),
                   static_cast<int>(entry->length));
      }
      Close();
      return -1;
    }
    SetData(codec_.GetDecodedData(), codec_.GetDecodedLength());
    return 1;
  }
  return -1;  // the pack changes while it is read
}

std::string GetSinglePackPath(const std::string& path) {
  std::string full = GetFullPath(path);
  std::string folder, name, title, extension;
  SplitDirectoryAndName(full, folder, name);
  SplitTitleAndExtension(full, title, extension);
  std::string digits;
  for (char c : extension) {
    char number[8];
    std::snprintf(number, sizeof number, "%d", static_cast<int>(static_cast<signed char>(c)));
    digits += number;
  }
  return CollapseBackslashes(folder + "\\" + title + digits + ".pak");
}

namespace {

// Opens a file's single-file pack and reads what follows its header. False when there is none, it is
// not a 4S pack, or its head is damaged or cut short.
bool ReadSinglePack(const std::string& path, CNativeFile& pack, SinglePackHead* head) {
  if (!pack.OpenRead(GetSinglePackPath(path))) return false;
  uint8_t header[kPackHeaderSize];
  uint32_t nameSize;
  if (!pack.Read(header, sizeof header) || !ReadPackHeader(header, sizeof header, PackVariant::kSingle, &nameSize) ||
      nameSize > kMaxSingleNameSize) {
    return false;
  }
  uint8_t rest[kMaxSingleNameSize + 8];
  return pack.Read(rest, nameSize + 8) && ReadSinglePackHead(rest, nameSize, head);
}

}  // namespace

bool IsSinglePackFor(const std::string& path) {
  CNativeFile pack;
  SinglePackHead head;
  return ReadSinglePack(path, pack, &head) && ToLowerCase(head.name) == ToLowerCase(FileNameOf(GetFullPath(path)));
}

int CZipSingleFile::_Load(const std::string& path) {
  CNativeFile pack;
  SinglePackHead head;
  if (!ReadSinglePack(path, pack, &head)) return 0;
  if (ToLowerCase(head.name) != ToLowerCase(FileNameOf(GetFullPath(path)))) return 0;
  uint64_t fileSize = pack.GetSize64();
  if (fileSize == ~uint64_t(0) || !IsStoredBlockInFile(head.offset, head.length, fileSize)) return 0;
  if (!DecodeStoredBlockOf(pack, head.offset, head.length, codec_)) {
    if (codec_.RanOutOfMemory()) {
      DebugPrint("CZipSingleFile::_Load() メモリ割り当てに失敗！[%s][src_size:%dbyte]", path.c_str(),
                 static_cast<int>(head.length));
    }
    Close();
    return 0;
  }
  SetData(codec_.GetDecodedData(), codec_.GetDecodedLength());
  return 1;
}
