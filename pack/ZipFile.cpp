#include "pack/ZipFile.h"

#include <cstdio>
#include <memory>
#include <new>

#include "foundation/DebugPrint.h"
#include "foundation/Folders.h"
#include "foundation/NativeFile.h"
#include "foundation/PathText.h"
#include "pack/PackFormat.h"
#include "pack/PackIndexCache.h"

namespace {

// Seek from the start to any 32-bit offset (the raw file's Seek takes a signed 32-bit distance).
bool SeekFromStart(CNativeFile& file, uint32_t offset) {
  if (offset <= 0x7FFFFFFFu) return file.Seek(static_cast<LONG>(offset), FILE_BEGIN);
  return file.Seek(0x7FFFFFFF, FILE_BEGIN) && file.Seek(static_cast<LONG>(offset - 0x7FFFFFFFu), FILE_CURRENT);
}

// Reads the stored block of `length` bytes at `offset` into a new buffer of length + 8 bytes. Null when
// the buffer cannot be had (`allocationFailed` set) or the read fails.
std::unique_ptr<uint8_t[]> ReadStoredBlock(CNativeFile& file, uint32_t offset, uint32_t length, bool* allocationFailed) {
  *allocationFailed = false;
  if (!SeekFromStart(file, offset)) return nullptr;
  uint64_t bufferSize = uint64_t(length) + 8;
  std::unique_ptr<uint8_t[]> block;
  if (bufferSize <= SIZE_MAX) block.reset(new (std::nothrow) uint8_t[static_cast<size_t>(bufferSize)]);
  if (!block) {
    *allocationFailed = true;
    return nullptr;
  }
  if (!file.Read(block.get(), length)) return nullptr;
  return block;
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
  if (!entry || !IsStoredBlockInFile(entry->offset, entry->length, fileSize)) return -1;
  bool allocationFailed;
  std::unique_ptr<uint8_t[]> block = ReadStoredBlock(pack, entry->offset, entry->length, &allocationFailed);
  if (!block) {
    if (allocationFailed) {
      DebugPrint("CZipArchiveFile::_Load() メモリ割り当てに失敗！[%s][src_size:%dbyte]", path.c_str(),
                 static_cast<int>(entry->length));
    }
    Close();
    return -1;
  }
  codec_.SetStoredBlock(block.get(), entry->length);
  if (!codec_.Decode()) {
    Close();
    return -1;
  }
  SetData(codec_.GetDecodedData(), codec_.GetDecodedLength());
  // The stored block goes now; the codec keeps only the decoded bytes.
  return 1;
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
  bool allocationFailed;
  std::unique_ptr<uint8_t[]> block = ReadStoredBlock(pack, head.offset, head.length, &allocationFailed);
  if (!block) {
    if (allocationFailed) {
      DebugPrint("CZipSingleFile::_Load() メモリ割り当てに失敗！[%s][src_size:%dbyte]", path.c_str(),
                 static_cast<int>(head.length));
    }
    Close();
    return 0;
  }
  codec_.SetStoredBlock(block.get(), head.length);
  if (!codec_.Decode()) {
    Close();
    return 0;
  }
  SetData(codec_.GetDecodedData(), codec_.GetDecodedLength());
  return 1;
}
