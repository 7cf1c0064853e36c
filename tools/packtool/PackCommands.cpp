// The pack commands of packtool.exe: pack, pack-single, list, verify and get (LZSS data files are
// handed to LzssCommands).

#include <io.h>
#include <windows.h>

#include <cstdio>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "foundation/Folders.h"
#include "foundation/NativeFile.h"
#include "foundation/PathText.h"
#include "pack/File.h"
#include "pack/PackFormat.h"
#include "pack/ZipCodec.h"
#include "pack/ZipFile.h"
#include "tools/packtool/LzssCommands.h"
#include "tools/packtool/PackToolCommands.h"
#include "tools/packtool/ToolSupport.h"

namespace {

// Takes "--level N" (N from 0 to 9) out of the arguments; false when it is malformed.
bool TakeLevel(PackToolArgs& args, int* level) {
  *level = 6;
  for (size_t i = 0; i < args.size();) {
    if (args[i] != "--level") {
      ++i;
      continue;
    }
    if (i + 1 >= args.size() || args[i + 1].size() != 1 || args[i + 1][0] < '0' || args[i + 1][0] > '9') return false;
    *level = args[i + 1][0] - '0';
    args.erase(args.begin() + i, args.begin() + i + 2);
  }
  return true;
}

// Progress on a terminal only, so that scripts' logs stay clean.
class Progress {
 public:
  explicit Progress(size_t total) : total_(total), shown_(_isatty(_fileno(stderr)) != 0) {}
  void Step(size_t done) {
    if (!shown_) return;
    DWORD now = GetTickCount();
    if (done != total_ && now - last_ < 100) return;
    last_ = now;
    std::fprintf(stderr, "\r%u / %u files", static_cast<unsigned>(done), static_cast<unsigned>(total_));
    if (done == total_) std::fprintf(stderr, "\n");
    std::fflush(stderr);
  }

 private:
  size_t total_;
  bool shown_;
  DWORD last_ = 0;
};

// Writes a pack archive of `files`. On failure the archive is removed.
int WriteArchive(const std::string& archive, const std::vector<MemberFile>& files, int level) {
  std::vector<std::string> names;
  for (const MemberFile& file : files) names.push_back(file.name);
  uint64_t indexSize = IndexBlockSize(names);
  if (kPackHeaderSize + indexSize > 0xFFFFFFFFu) return Fail("too many members for one archive: %s", archive);
  CNativeFile out;
  if (!out.OpenWrite(archive, true)) return Fail("cannot create %s", archive);
  auto abandon = [&](const char* format, const std::string& subject) {
    out.Close();
    DeleteFileA(archive.c_str());
    return Fail(format, subject);
  };
  std::string head = MakePackHeader(PackVariant::kArchive, static_cast<uint32_t>(indexSize));
  std::string placeholder(static_cast<size_t>(indexSize), '\0');
  if (!out.Write(head.data(), static_cast<DWORD>(head.size())) ||
      !out.Write(placeholder.data(), static_cast<DWORD>(placeholder.size()))) {
    return abandon("cannot write %s", archive);
  }
  uint64_t position = kPackHeaderSize + indexSize;
  std::vector<PackEntry> entries;
  Progress progress(files.size());
  std::vector<uint8_t> source;
  CZipCodec codec;
  for (size_t i = 0; i < files.size(); ++i) {
    const std::string& path = files[i].path;
    if (!ReadWholeFile(path, &source)) return abandon("cannot read %s", path);
    codec.SetSource(source.data(), static_cast<uint32_t>(source.size()));
    if (!codec.Encode(level)) return abandon("cannot encode %s", path);
    uint32_t length = codec.GetEncodedLength();
    if (position + length > 0xFFFFFFFFu) return abandon("the archive would pass 4 GiB at %s", path);
    if (!out.Write(codec.GetEncodedData(), length)) return abandon("cannot write %s", archive);
    PackEntry entry;
    entry.name = files[i].name;
    entry.offset = static_cast<uint32_t>(position);
    entry.length = length;
    entries.push_back(entry);
    position += length;
    progress.Step(i + 1);
  }
  std::string index = MakeIndexBlock(entries);
  if (!out.Seek(static_cast<LONG>(kPackHeaderSize), FILE_BEGIN) ||
      !out.Write(index.data(), static_cast<DWORD>(index.size()))) {
    return abandon("cannot write %s", archive);
  }
  out.Close();
  return kToolSuccess;
}

// The members of a pack archive or single-file pack as its head gives them.
struct PackContents {
  bool isArchive = false;
  std::vector<PackEntry> members;
  bool indexDamaged = false;
  uint64_t fileSize = 0;
};

// Reads the head of the pack at `path`; false (with a message) when it is no pack or its head is cut.
bool ReadPackContents(CNativeFile& file, const std::string& path, PackContents* contents) {
  if (!file.OpenRead(path)) return Fail("cannot open %s", path), false;
  contents->fileSize = file.GetSize64();
  uint8_t header[kPackHeaderSize];
  uint32_t number;
  if (contents->fileSize == ~uint64_t(0) || !file.Read(header, sizeof header)) return Fail("not a pack: %s", path), false;
  if (ReadPackHeader(header, sizeof header, PackVariant::kArchive, &number)) {
    contents->isArchive = true;
    if (number > contents->fileSize - kPackHeaderSize) return Fail("index runs past the end of %s", path), false;
    std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[number ? number : 1]);
    if (!block || !file.Read(block.get(), number)) return Fail("cannot read the index of %s", path), false;
    PackIndex index(block.get(), number);
    for (size_t i = 0; i < index.GetCount(); ++i) contents->members.push_back(index.GetAt(i));
    contents->indexDamaged = index.IsDamaged();
    return true;
  }
  if (ReadPackHeader(header, sizeof header, PackVariant::kSingle, &number)) {
    uint8_t rest[kMaxSingleNameSize + 8];
    SinglePackHead head;
    if (number > kMaxSingleNameSize || !file.Read(rest, number + 8) || !ReadSinglePackHead(rest, number, &head)) {
      return Fail("damaged single-file pack head: %s", path), false;
    }
    PackEntry entry;
    entry.name = head.name;
    entry.offset = head.offset;
    entry.length = head.length;
    contents->members.push_back(entry);
    return true;
  }
  return Fail("not a pack: %s", path), false;
}

// Reads a member's stored block; false when it does not lie in the file or cannot be read.
bool ReadBlock(CNativeFile& file, const PackContents& contents, const PackEntry& entry, std::vector<uint8_t>* block) {
  if (!IsStoredBlockInFile(entry.offset, entry.length, contents.fileSize)) return false;
  block->resize(entry.length);
  return file.SeekTo64(entry.offset) && file.Read(block->data(), entry.length);
}

}  // namespace

int RunPackCommand(const PackToolArgs& given) {
  PackToolArgs args = given;
  int level;
  if (!TakeLevel(args, &level) || HasStrayOption(args) || args.empty() || args.size() > 2) return kToolBadUsage;
  std::string folder, archive;
  if (!ResolveFolderAndArchive(args, ".pak", &folder, &archive)) return kToolFailure;
  std::vector<MemberFile> files = ListFolderFiles(folder, archive, MemberNames::kAsFound);
  for (const MemberFile& file : files) {
    if (file.name.size() + 1 > kMaxMemberNameSize) return Fail("member name longer than 263 bytes: %s", file.name);
  }
  return WriteArchive(archive, files, level);
}

int RunPackSingleCommand(const PackToolArgs& given) {
  PackToolArgs args = given;
  int level;
  if (!TakeLevel(args, &level) || HasStrayOption(args) || args.size() != 1) return kToolBadUsage;
  std::string full = GetFullPath(args[0]);
  std::string folder, name;
  SplitDirectoryAndName(full, folder, name);
  if (name.size() > kMaxSingleNameSize) return Fail("file name longer than 251 bytes: %s", name);
  std::vector<uint8_t> source;
  if (full.empty() || !ReadWholeFile(full, &source)) return Fail("cannot read %s", args[0]);
  std::string pack;
  if (!BuildSinglePack(name, std::string(source.begin(), source.end()), level, &pack)) {
    return Fail("cannot encode %s", args[0]);
  }
  std::string packPath = GetSinglePackPath(full);
  if (!WriteWholeFile(packPath, pack.data(), pack.size())) return Fail("cannot write %s", packPath);
  return kToolSuccess;
}

int RunListCommand(const PackToolArgs& args) {
  if (args.size() != 1 || HasStrayOption(args)) return kToolBadUsage;
  if (!IsPakFile(args[0])) return ListLzssArchive(args[0]);
  CNativeFile file;
  PackContents contents;
  if (!ReadPackContents(file, args[0], &contents)) return kToolFailure;
  bool damaged = false;
  for (const PackEntry& entry : contents.members) {
    uint8_t trailer[4];
    uint64_t at = uint64_t(entry.offset) + entry.length - 4;
    if (!IsStoredBlockInFile(entry.offset, entry.length, contents.fileSize) || !file.SeekTo64(at) ||
        !file.Read(trailer, 4)) {
      damaged = true;
      Fail("stored block outside the file: %s", entry.name);
      continue;
    }
    for (int i = 0; i < 4; ++i) trailer[i] ^= PackScrambleKeyAt(entry.length, entry.length - 4 + i);
    std::printf("%10u %10u %s\n", ReadLittleEndian32(trailer), entry.length, entry.name.c_str());
  }
  if (contents.indexDamaged) {
    damaged = true;
    Fail("the index is damaged after its last listed member: %s", args[0]);
  }
  return damaged ? kToolFailure : kToolSuccess;
}

int RunVerifyCommand(const PackToolArgs& args) {
  if (args.size() != 1 || HasStrayOption(args)) return kToolBadUsage;
  if (!IsPakFile(args[0])) return VerifyLzssArchive(args[0]);
  CNativeFile file;
  PackContents contents;
  if (!ReadPackContents(file, args[0], &contents)) return kToolFailure;
  size_t failed = 0;
  std::vector<uint8_t> block;
  CZipCodec codec;
  for (const PackEntry& entry : contents.members) {
    bool good = ReadBlock(file, contents, entry, &block);
    if (good) {
      codec.SetStoredBlock(block.data(), entry.length);
      good = codec.Decode();
      codec.Release();
    }
    if (!good) {
      ++failed;
      Fail("damaged member: %s", entry.name);
    }
  }
  if (contents.indexDamaged) Fail("the index is damaged after its last listed member: %s", args[0]);
  if (failed || contents.indexDamaged) return kToolFailure;
  std::fprintf(stderr, "%u members decode\n", static_cast<unsigned>(contents.members.size()));
  return kToolSuccess;
}

int RunGetCommand(const PackToolArgs& args) {
  if (!args.empty() && args[0] == "--reader") return RunLzssGetCommand(args);
  if (args.size() != 2 || HasStrayOption(args)) return kToolBadUsage;
  CFile in;
  if (in.Open(args[0]) != 1) return Fail("not found: %s", args[0]);
  return SaveOpenedFile(in, args[0], args[1]);
}
