#include "tools/packtool/LzssCommands.h"

#include <windows.h>

#include <cstdio>
#include <memory>
#include <new>
#include <set>
#include <stdexcept>
#include <vector>

#include "foundation/Folders.h"
#include "foundation/MessageBox.h"
#include "foundation/NativeFile.h"
#include "pack/LzssCore.h"
#include "pack/LzssFile.h"
#include "pack/PackFormat.h"
#include "tools/packtool/OrderedJobs.h"
#include "tools/packtool/ToolSupport.h"

namespace {

// What a job hands the archive writer: a member's stream and decoded length, or why it has none.
struct EncodedLzssMember {
  std::vector<uint8_t> stream;
  uint32_t decodedLength = 0;
  std::string problem;
};

std::unique_ptr<EncodedLzssMember> EncodeLzssMemberFile(const std::string& path, uint64_t size) {
  std::unique_ptr<EncodedLzssMember> result(new (std::nothrow) EncodedLzssMember);
  if (!result) return nullptr;
  // The encoder needs the whole file in memory: a file that does not fit fails here, alone.
  std::vector<uint8_t> source;
  if (!ReadWholeFile(path, &source)) {
    result->problem = size >= 0x7FFFFFFFu || size > source.max_size() ? "too large to encode in memory" : "cannot read";
  } else if (!LzssEncode(source.data(), source.size(), &result->stream)) {
    result->problem = "no memory to encode";
  }
  result->decodedLength = static_cast<uint32_t>(source.size());
  return result;
}

// Writes the archive of `files`: the index first as zeros, each member's stream in order as the jobs
// encode them, then the index. The archive is the same whatever the job count. On failure nothing is
// left under the archive's name.
int WriteLzssArchive(const std::string& archive, const std::vector<MemberFile>& files, unsigned jobs) {
  uint64_t indexSize = (uint64_t(files.size()) + 1) * kLzssRecordSize;
  if (indexSize > 0xFFFFFFFFu) return Fail("too many members for one archive: %s", archive);
  std::vector<uint64_t> sizes;
  for (const MemberFile& file : files) {
    sizes.push_back(GetFileSize64(file.path));
    if (sizes.back() == ~uint64_t(0)) return Fail("cannot read %s", file.path);
    if (sizes.back() > 0xFFFFFFFFu) return Fail("4 GiB or more, larger than a member can be: %s", file.path);
  }
  std::vector<uint8_t> index(static_cast<size_t>(indexSize), 0);
  PendingOutput pending;
  if (!pending.Open(archive)) return Fail("cannot create %s", archive);
  CNativeFile& out = pending.File();
  if (!out.Write(index.data(), static_cast<DWORD>(index.size()))) return Fail("cannot write %s", archive);
  uint64_t position = indexSize;
  std::string failure;
  bool written = RunOrderedJobs<EncodedLzssMember>(
      files.size(), jobs, kEncodeBudget, [&](size_t i) { return sizes[i]; }, [](size_t) { return false; },
      [&](size_t i) { return EncodeLzssMemberFile(files[i].path, sizes[i]); },
      [&](size_t i, std::unique_ptr<EncodedLzssMember> member) {
        const std::string& path = files[i].path;
        if (!member || !member->problem.empty()) {
          failure = (member ? member->problem : std::string("no memory to encode")) + ": " + path;
          return false;
        }
        const std::vector<uint8_t>& stream = member->stream;
        if (position + stream.size() > 0xFFFFFFFFu) {
          failure = "the archive would pass 4 GiB at " + path;
          return false;
        }
        if (!stream.empty() && !out.Write(stream.data(), static_cast<DWORD>(stream.size()))) {
          failure = "cannot write " + archive;
          return false;
        }
        WriteLzssRecord(files[i].name, member->decodedLength, static_cast<uint32_t>(stream.size()),
                        static_cast<uint32_t>(position), &index[i * kLzssRecordSize]);
        position += stream.size();
        return true;
      });
  if (!written) return Fail("%s", failure);
  WriteLzssEndRecord(&index[files.size() * kLzssRecordSize]);
  if (!out.Seek(0, FILE_BEGIN) || !out.Write(index.data(), static_cast<DWORD>(index.size())) || !pending.Commit()) {
    return Fail("cannot write %s", archive);
  }
  return kToolSuccess;
}

// An LZSS archive opened for reading a record and a member at a time, so that it need not fit in
// memory.
struct LzssArchive {
  CNativeFile file;
  uint64_t size = 0;
  std::vector<LzssRecord> records;
};

// Opens the archive and reads its records, in order; false (with a message) when it cannot be read or
// its index has no end record inside the file.
bool ReadLzssArchive(const std::string& path, LzssArchive* archive) {
  if (IsFolder(path) || !archive->file.OpenRead(path)) return Fail("cannot read %s", path), false;
  archive->size = archive->file.GetSize64();
  if (archive->size == ~uint64_t(0)) return Fail("cannot read %s", path), false;
  uint8_t record[kLzssRecordSize];
  for (uint64_t at = 0;; at += kLzssRecordSize) {
    if (archive->size < kLzssRecordSize || at > archive->size - kLzssRecordSize ||
        !archive->file.Read(record, sizeof record)) {
      return Fail("not an LZSS archive, or its index runs past its end: %s", path), false;
    }
    LzssRecord parsed = ParseLzssRecord(record);
    if (parsed.isEnd) return true;
    archive->records.push_back(parsed);
  }
}

// Decodes the member a record names with every check of the reader, reading only its own bytes: as
// DecodeLzssMember, 1 decoded, -1 read error, -2 decode error, -3 no memory.
int DecodeLzssArchiveMember(LzssArchive& archive, const LzssRecord& record, std::vector<uint8_t>* decoded) {
  decoded->clear();
  switch (CheckLzssMember(record, archive.size)) {
    case LzssMemberProblem::kOutsideArchive:
    case LzssMemberProblem::kEmpty: return -1;
    case LzssMemberProblem::kImpossibleLength: return -2;
    case LzssMemberProblem::kNone: break;
  }
  try {
    std::vector<uint8_t> stream(record.compressedLength);
    if (!archive.file.SeekTo64(record.offset) || !archive.file.Read(stream.data(), record.compressedLength)) return -1;
    LzssRecord own = record;
    own.offset = 0;
    return DecodeLzssMember(stream.data(), stream.size(), own, decoded);
  } catch (const std::bad_alloc&) {
    decoded->clear();
    return -3;
  } catch (const std::length_error&) {
    decoded->clear();
    return -3;
  }
}

const char* DescribeLzssResult(int result) {
  return result == 0    ? "member name without its end"
         : result == -1 ? "member cannot be read (outside the file, or empty)"
         : result == -2 ? "member does not decode to its recorded length"
                        : "no memory for member";
}

// What the reader would have shown the user; collected while `get` runs.
bool g_boxShown = false;

int PrintBox(HWND, const char* text, const char* caption, UINT) {
  g_boxShown = true;
  std::fprintf(stderr, "packtool: %s\n%s\n", caption ? caption : "", text ? text : "");
  return IDOK;
}

}  // namespace

int RunLzssCommand(const PackToolArgs& given) {
  PackToolArgs args = given;
  unsigned jobs;
  if (!TakeJobs(args, &jobs) || HasStrayOption(args) || args.empty() || args.size() > 2) return kToolBadUsage;
  std::string folder, archive;
  if (!ResolveFolderAndArchive(args, ".dat", &folder, &archive)) return kToolFailure;
  std::vector<MemberFile> files = ListFolderFiles(folder, archive, MemberNames::kLowerCase);
  for (size_t i = 0; i < files.size(); ++i) {
    const std::string& name = files[i].name;
    if (name.size() >= kLzssNameSize) return Fail("member name longer than 127 bytes: %s", name);
    // Lowering can make two files one member, of which the readers would find only the first.
    if (i > 0 && name == files[i - 1].name) return Fail("two files are the same member %s", name);
  }
  return WriteLzssArchive(archive, files, jobs);
}

int RunLzssSingleCommand(const PackToolArgs& args) {
  if (HasStrayOption(args) || args.size() != 1) return kToolBadUsage;
  std::string full = GetFullPath(args[0]);
  std::vector<uint8_t> source, single;
  if (full.empty() || !ReadWholeFile(full, &source)) return Fail("cannot read %s", args[0]);
  if (!BuildLzssSingleFile(source.data(), source.size(), &single)) return Fail("cannot encode %s", args[0]);
  if (!WriteWholeFile(full + ".dat", single.data(), single.size())) return Fail("cannot write %s", full + ".dat");
  return kToolSuccess;
}

bool IsPakFile(const std::string& path) {
  CNativeFile file;
  uint8_t header[kPackHeaderSize];
  uint32_t number;
  if (!file.OpenRead(path) || !file.Read(header, sizeof header)) return false;
  return ReadPackHeader(header, sizeof header, PackVariant::kArchive, &number) ||
         ReadPackHeader(header, sizeof header, PackVariant::kSingle, &number);
}

int ListLzssArchive(const std::string& path) {
  LzssArchive archive;
  if (!ReadLzssArchive(path, &archive)) return kToolFailure;
  bool damaged = false;
  for (const LzssRecord& record : archive.records) {
    if (!record.nameTerminated) {
      damaged = true;
      Fail("a member name without its end: %s", record.name);
      continue;
    }
    std::printf("%10u %10u %s\n", record.decodedLength, record.compressedLength, record.name.c_str());
    if (CheckLzssMember(record, archive.size) == LzssMemberProblem::kOutsideArchive) {
      damaged = true;
      Fail("member outside the file: %s", record.name);
    }
  }
  return damaged ? kToolFailure : kToolSuccess;
}

int VerifyLzssArchive(const std::string& path) {
  LzssArchive archive;
  if (!ReadLzssArchive(path, &archive)) return kToolFailure;
  size_t failed = 0;
  std::vector<uint8_t> decoded;
  for (const LzssRecord& record : archive.records) {
    int result = record.nameTerminated ? DecodeLzssArchiveMember(archive, record, &decoded) : 0;
    if (result == 1) continue;
    ++failed;
    Fail((std::string(DescribeLzssResult(result)) + ": %s").c_str(), record.name);
  }
  if (failed) return kToolFailure;
  std::fprintf(stderr, "%u members decode\n", static_cast<unsigned>(archive.records.size()));
  return kToolSuccess;
}

int ExtractLzssArchive(const std::string& path, const std::string& folder, bool force) {
  LzssArchive archive;
  if (!ReadLzssArchive(path, &archive)) return kToolFailure;
  if (!IsFolder(folder) && !CreateDirectoryTree(folder)) return Fail("cannot make the folder %s", folder);
  size_t failed = 0;
  std::set<std::string> written;
  std::vector<uint8_t> decoded;
  Progress progress(archive.records.size());
  for (size_t i = 0; i < archive.records.size(); ++i) {
    const LzssRecord& record = archive.records[i];
    bool good;
    if (!record.nameTerminated) {
      good = false;
      Fail("a member name without its end: %s", record.name);
    } else {
      good = ExtractMember(
          folder, record.name, force,
          [&](CNativeFile& out, std::string* problem) {
            int result = DecodeLzssArchiveMember(archive, record, &decoded);
            if (result != 1) return *problem = DescribeLzssResult(result), false;
            if (!decoded.empty() && !out.Write(decoded.data(), static_cast<DWORD>(decoded.size()))) {
              return *problem = "cannot write the member", false;
            }
            return true;
          },
          &written);
    }
    if (!good) ++failed;
    progress.Step(i + 1);
  }
  return failed ? kToolFailure : kToolSuccess;
}

int RunLzssGetCommand(const PackToolArgs& args) {
  if (args.size() != 4 || args[0] != "--reader" || HasStrayOption(PackToolArgs(args.begin() + 2, args.end()))) {
    return kToolBadUsage;
  }
  std::unique_ptr<CCompressFileBase> reader;
  if (args[1] == "lzss-archive") {
    reader = std::make_unique<CLZSSArchiveFile>();
  } else if (args[1] == "lzss-single") {
    reader = std::make_unique<CLZSSSingleFile>();
  } else {
    return kToolBadUsage;
  }
  const std::string& name = args[2];
  const std::string& outPath = args[3];
  g_boxShown = false;
  MessageBoxHandler previous = SetMessageBoxHandler(&PrintBox);
  int opened = reader->Open(GetFullPath(name));
  SetMessageBoxHandler(previous);
  if (g_boxShown) return kToolFailure;
  if (opened != 1) return Fail("not found: %s", name);
  return SaveOpenedFile(*reader, name, outPath);
}
