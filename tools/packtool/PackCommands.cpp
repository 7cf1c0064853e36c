// The pack commands of packtool.exe: pack, pack-single, list, verify and get (LZSS data files are
// handed to LzssCommands).

#include <io.h>
#include <windows.h>

#include <cstdio>
#include <memory>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "foundation/Folders.h"
#include "foundation/NativeFile.h"
#include "foundation/PathText.h"
#include "pack/File.h"
#include "pack/PackFormat.h"
#include "pack/ZipCodec.h"
#include "pack/ZipFile.h"
#include "tools/packtool/BlockStream.h"
#include "tools/packtool/LzssCommands.h"
#include "tools/packtool/OrderedJobs.h"
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

// What a job hands the archive writer: a member's stored block, or why it has none.
struct EncodedMember {
  std::vector<uint8_t> block;
  std::string problem;
};

// The stored block of the file at `path` in memory (members below kStreamedMemberSize).
std::unique_ptr<EncodedMember> EncodeMemberFile(const std::string& path, int level) {
  std::unique_ptr<EncodedMember> result(new (std::nothrow) EncodedMember);
  if (!result) return nullptr;
  std::vector<uint8_t> source;
  if (!ReadWholeFile(path, &source)) {
    result->problem = "cannot read";
  } else if (!EncodeBlockInMemory(source.data(), source.size(), level, &result->block, &result->problem)) {
    result->block.clear();
  }
  return result;
}

// Writes the stored block of the file at `path` (`size` bytes) at the position of `out`, a piece at a
// time. `*length` gets the block's length.
bool StreamMemberFile(const std::string& path, uint64_t size, int level, CNativeFile& out, uint32_t* length,
                      std::string* problem) {
  CNativeFile source;
  if (!source.OpenRead(path)) return *problem = "cannot read", false;
  const uint64_t start = out.Tell64();
  if (start == ~uint64_t(0)) return *problem = "cannot write", false;
  return EncodeBlockStreamed(
             size, level, [&](uint8_t* buffer, size_t piece) { return source.Read(buffer, static_cast<DWORD>(piece)); },
             [&](const uint8_t* bytes, size_t count) { return out.Write(bytes, static_cast<DWORD>(count)); }, length,
             problem) &&
         (ScrambleWrittenHead(out, start, *length) || (*problem = "cannot write", false));
}

// Writes a pack archive of `files`, members encoded on `jobs` threads and written in their order: the
// archive is the same whatever the job count. On failure nothing is left under the archive's name.
int WriteArchive(const std::string& archive, const std::vector<MemberFile>& files, int level, unsigned jobs) {
  std::vector<std::string> names;
  for (const MemberFile& file : files) names.push_back(file.name);
  uint64_t indexSize = IndexBlockSize(names);
  if (kPackHeaderSize + indexSize > 0xFFFFFFFFu) return Fail("too many members for one archive: %s", archive);
  std::vector<uint64_t> sizes;
  for (const MemberFile& file : files) {
    sizes.push_back(GetFileSize64(file.path));
    if (sizes.back() == ~uint64_t(0)) return Fail("cannot read %s", file.path);
    if (sizes.back() > 0xFFFFFFFFu) return Fail("4 GiB or more, larger than a member can be: %s", file.path);
  }
  PendingOutput pending;
  if (!pending.Open(archive)) return Fail("cannot create %s", archive);
  CNativeFile& out = pending.File();
  std::string head = MakePackHeader(PackVariant::kArchive, static_cast<uint32_t>(indexSize));
  std::string placeholder(static_cast<size_t>(indexSize), '\0');
  if (!out.Write(head.data(), static_cast<DWORD>(head.size())) ||
      !out.Write(placeholder.data(), static_cast<DWORD>(placeholder.size()))) {
    return Fail("cannot write %s", archive);
  }
  uint64_t position = kPackHeaderSize + indexSize;
  std::vector<PackEntry> entries;
  Progress progress(files.size());
  std::string failure;
  auto streamed = [&](size_t i) { return sizes[i] >= kStreamedMemberSize; };
  bool written = RunOrderedJobs<EncodedMember>(
      files.size(), jobs, kEncodeBudget, [&](size_t i) { return sizes[i]; }, streamed,
      [&](size_t i) { return EncodeMemberFile(files[i].path, level); },
      [&](size_t i, std::unique_ptr<EncodedMember> member) {
        const std::string& path = files[i].path;
        uint32_t length = 0;
        std::string problem;
        if (streamed(i)) {
          if (!StreamMemberFile(path, sizes[i], level, out, &length, &problem)) {
            failure = problem + ": " + path;
            return false;
          }
        } else {
          if (!member)
            problem = "no memory to encode";
          else if (!member->problem.empty())
            problem = member->problem;
          if (!problem.empty()) {
            failure = problem + ": " + path;
            return false;
          }
          length = static_cast<uint32_t>(member->block.size());
          if (position + length <= 0xFFFFFFFFu && !out.Write(member->block.data(), length)) {
            failure = "cannot write " + archive;
            return false;
          }
        }
        if (position + length > 0xFFFFFFFFu) {
          failure = "the archive would pass 4 GiB at " + path;
          return false;
        }
        PackEntry entry;
        entry.name = files[i].name;
        entry.offset = static_cast<uint32_t>(position);
        entry.length = length;
        entries.push_back(entry);
        position += length;
        progress.Step(i + 1);
        return true;
      });
  if (!written) return Fail("%s", failure);
  std::string index = MakeIndexBlock(entries);
  if (!out.Seek(static_cast<LONG>(kPackHeaderSize), FILE_BEGIN) ||
      !out.Write(index.data(), static_cast<DWORD>(index.size())) || !pending.Commit()) {
    return Fail("cannot write %s", archive);
  }
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
  if (contents->fileSize == ~uint64_t(0) || !file.Read(header, sizeof header))
    return Fail("not a pack: %s", path), false;
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

// Decodes a member a piece at a time to `out` (or only checks it, with null): "" when it decodes,
// otherwise what went wrong.
std::string DecodeMember(CNativeFile& file, const PackContents& contents, const PackEntry& entry, CNativeFile* out) {
  if (!IsStoredBlockInFile(entry.offset, entry.length, contents.fileSize)) return "stored block outside the file";
  BlockDecodeResult result = DecodeBlockStreamed(
      file, entry.offset, entry.length,
      [&](const uint8_t* bytes, size_t size) { return !out || out->Write(bytes, static_cast<DWORD>(size)); });
  switch (result) {
    case BlockDecodeResult::kDecoded: return std::string();
    case BlockDecodeResult::kDamaged: return "damaged member";
    case BlockDecodeResult::kReadFailed: return "cannot read the member";
    case BlockDecodeResult::kWriteFailed: return "cannot write the member";
    case BlockDecodeResult::kNoMemory: break;
  }
  return "no memory to decode the member";
}

}  // namespace

int RunPackCommand(const PackToolArgs& given) {
  PackToolArgs args = given;
  int level;
  unsigned jobs;
  if (!TakeLevel(args, &level) || !TakeJobs(args, &jobs) || HasStrayOption(args) || args.empty() || args.size() > 2) {
    return kToolBadUsage;
  }
  std::string folder, archive;
  if (!ResolveFolderAndArchive(args, ".pak", &folder, &archive)) return kToolFailure;
  std::vector<MemberFile> files = ListFolderFiles(folder, archive, MemberNames::kAsFound);
  for (const MemberFile& file : files) {
    if (file.name.size() + 1 > kMaxMemberNameSize) return Fail("member name longer than 263 bytes: %s", file.name);
  }
  return WriteArchive(archive, files, level, jobs);
}

int RunPackSingleCommand(const PackToolArgs& given) {
  PackToolArgs args = given;
  int level;
  if (!TakeLevel(args, &level) || HasStrayOption(args) || args.size() != 1) return kToolBadUsage;
  std::string full = GetFullPath(args[0]);
  std::string folder, name;
  SplitDirectoryAndName(full, folder, name);
  if (name.size() > kMaxSingleNameSize) return Fail("file name longer than 251 bytes: %s", name);
  const uint64_t size = full.empty() || IsFolder(full) ? ~uint64_t(0) : GetFileSize64(full);
  if (size == ~uint64_t(0)) return Fail("cannot read %s", args[0]);
  if (size > 0xFFFFFFFFu) return Fail("4 GiB or more, larger than a member can be: %s", args[0]);
  // Header, name, the block's place (written once its length is known), then the block.
  std::string packPath = GetSinglePackPath(full);
  PendingOutput pending;
  if (!pending.Open(packPath)) return Fail("cannot write %s", packPath);
  CNativeFile& out = pending.File();
  const uint64_t offset = kPackHeaderSize + name.size() + 8;
  std::string head = MakePackHeader(PackVariant::kSingle, static_cast<uint32_t>(name.size())) + name;
  head.append(8, '\0');
  if (!out.Write(head.data(), static_cast<DWORD>(head.size()))) return Fail("cannot write %s", packPath);
  uint32_t length = 0;
  std::string problem;
  if (!StreamMemberFile(full, size, level, out, &length, &problem)) return Fail((problem + ": %s").c_str(), args[0]);
  if (offset + length > 0xFFFFFFFFu) return Fail("the pack would pass 4 GiB: %s", packPath);
  const uint32_t key = PackNameKey(name.data(), name.size());
  std::string place;
  AppendLittleEndian32(place, static_cast<uint32_t>(offset) ^ key);
  AppendLittleEndian32(place, length ^ key);
  if (!out.SeekTo64(offset - 8) || !out.Write(place.data(), 8) || !pending.Commit()) {
    return Fail("cannot write %s", packPath);
  }
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
    bool good;
    if (entry.length < kStreamedMemberSize) {
      good = ReadBlock(file, contents, entry, &block);
      // A small block can still decode to gigabytes: a member too large to be decoded whole is checked
      // a piece at a time.
      uint32_t claimed = 0;
      for (uint32_t i = 0; good && i < 4; ++i) {
        const uint32_t at = entry.length - 4 + i;
        claimed |= uint32_t(block[at] ^ PackScrambleKeyAt(entry.length, at)) << (8 * i);
      }
      if (good && claimed >= kStreamedMemberSize) {
        good = DecodeMember(file, contents, entry, nullptr).empty();
      } else if (good) {
        codec.SetStoredBlock(block.data(), entry.length);
        good = codec.Decode();
        if (!good && codec.RanOutOfMemory()) good = DecodeMember(file, contents, entry, nullptr).empty();
        codec.Release();
      }
    } else {
      good = DecodeMember(file, contents, entry, nullptr).empty();
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

int RunExtractCommand(const PackToolArgs& given) {
  PackToolArgs args = given;
  const bool force = TakeFlag(args, "--force");
  if (HasStrayOption(args) || args.size() != 2) return kToolBadUsage;
  const std::string folder = StripTrailingBackslashes(GetFullPath(args[1]));
  if (folder.empty()) return Fail("bad folder name: %s", args[1]);
  if (!IsPakFile(args[0])) {
    if (GetFileSize64(args[0]) == ~uint64_t(0)) return Fail("cannot open %s", args[0]);
    return ExtractLzssArchive(args[0], folder, force);
  }
  CNativeFile file;
  PackContents contents;
  if (!ReadPackContents(file, args[0], &contents)) return kToolFailure;
  if (!IsFolder(folder) && !CreateDirectoryTree(folder)) return Fail("cannot make the folder %s", folder);
  size_t failed = 0;
  std::set<std::string> written;
  Progress progress(contents.members.size());
  for (size_t i = 0; i < contents.members.size(); ++i) {
    const PackEntry& entry = contents.members[i];
    bool good = ExtractMember(
        folder, entry.name, force,
        [&](CNativeFile& out, std::string* problem) {
          *problem = DecodeMember(file, contents, entry, &out);
          return problem->empty();
        },
        &written);
    if (!good) ++failed;
    progress.Step(i + 1);
  }
  if (contents.indexDamaged) {
    ++failed;
    Fail("the index is damaged after its last listed member: %s", args[0]);
  }
  return failed ? kToolFailure : kToolSuccess;
}
