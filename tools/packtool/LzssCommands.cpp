#include "tools/packtool/LzssCommands.h"

#include <windows.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "foundation/Folders.h"
#include "foundation/MessageBox.h"
#include "foundation/NativeFile.h"
#include "pack/LzssCore.h"
#include "pack/LzssFile.h"
#include "pack/PackFormat.h"
#include "tools/packtool/ToolSupport.h"

namespace {

// Writes the archive of `files` member by member: the index first as zeros, each member's stream as it
// is encoded, then the index. On failure the archive is removed.
int WriteLzssArchive(const std::string& archive, const std::vector<MemberFile>& files) {
  uint64_t indexSize = (uint64_t(files.size()) + 1) * kLzssRecordSize;
  if (indexSize > 0xFFFFFFFFu) return Fail("too many members for one archive: %s", archive);
  std::vector<uint8_t> index(static_cast<size_t>(indexSize), 0);
  CNativeFile out;
  if (!out.OpenWrite(archive, true)) return Fail("cannot create %s", archive);
  auto abandon = [&](const char* format, const std::string& subject) {
    out.Close();
    DeleteFileA(archive.c_str());
    return Fail(format, subject);
  };
  if (!out.Write(index.data(), static_cast<DWORD>(index.size()))) return abandon("cannot write %s", archive);
  uint64_t position = indexSize;
  std::vector<uint8_t> source, stream;
  for (size_t i = 0; i < files.size(); ++i) {
    const std::string& path = files[i].path;
    if (!ReadWholeFile(path, &source)) return abandon("cannot read %s", path);
    if (!LzssEncode(source.data(), source.size(), &stream)) return abandon("cannot encode %s", path);
    if (position + stream.size() > 0xFFFFFFFFu) return abandon("the archive would pass 4 GiB at %s", path);
    if (!out.Write(stream.data(), static_cast<DWORD>(stream.size()))) return abandon("cannot write %s", archive);
    WriteLzssRecord(files[i].name, static_cast<uint32_t>(source.size()), static_cast<uint32_t>(stream.size()),
                    static_cast<uint32_t>(position), &index[i * kLzssRecordSize]);
    position += stream.size();
  }
  WriteLzssEndRecord(&index[files.size() * kLzssRecordSize]);
  if (!out.Seek(0, FILE_BEGIN) || !out.Write(index.data(), static_cast<DWORD>(index.size()))) {
    return abandon("cannot write %s", archive);
  }
  out.Close();
  return kToolSuccess;
}

// The archive's bytes and its records, in order; false (with a message) when it cannot be read or its
// index has no end record inside the file.
bool ReadLzssArchive(const std::string& path, std::vector<uint8_t>* bytes, std::vector<LzssRecord>* records) {
  if (!ReadWholeFile(path, bytes)) return Fail("cannot read %s", path), false;
  bool ended = WalkLzssIndex(bytes->data(), bytes->size(), [&](const LzssRecord& record) {
    records->push_back(record);
    return true;
  });
  if (!ended) return Fail("not an LZSS archive, or its index runs past its end: %s", path), false;
  return true;
}

// What the reader would have shown the user; collected while `get` runs.
bool g_boxShown = false;

int PrintBox(HWND, const char* text, const char* caption, UINT) {
  g_boxShown = true;
  std::fprintf(stderr, "packtool: %s\n%s\n", caption ? caption : "", text ? text : "");
  return IDOK;
}

}  // namespace

int RunLzssCommand(const PackToolArgs& args) {
  if (HasStrayOption(args) || args.empty() || args.size() > 2) return kToolBadUsage;
  std::string folder, archive;
  if (!ResolveFolderAndArchive(args, ".dat", &folder, &archive)) return kToolFailure;
  std::vector<MemberFile> files = ListFolderFiles(folder, archive, MemberNames::kLowerCase);
  for (size_t i = 0; i < files.size(); ++i) {
    const std::string& name = files[i].name;
    if (name.size() >= kLzssNameSize) return Fail("member name longer than 127 bytes: %s", name);
    // Lowering can make two files one member, of which the readers would find only the first.
    if (i > 0 && name == files[i - 1].name) return Fail("two files are the same member %s", name);
  }
  return WriteLzssArchive(archive, files);
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
  std::vector<uint8_t> bytes;
  std::vector<LzssRecord> records;
  if (!ReadLzssArchive(path, &bytes, &records)) return kToolFailure;
  bool damaged = false;
  for (const LzssRecord& record : records) {
    if (!record.nameTerminated) {
      damaged = true;
      Fail("a member name without its end: %s", record.name);
      continue;
    }
    std::printf("%10u %10u %s\n", record.decodedLength, record.compressedLength, record.name.c_str());
    if (CheckLzssMember(record, bytes.size()) == LzssMemberProblem::kOutsideArchive) {
      damaged = true;
      Fail("member outside the file: %s", record.name);
    }
  }
  return damaged ? kToolFailure : kToolSuccess;
}

int VerifyLzssArchive(const std::string& path) {
  std::vector<uint8_t> bytes;
  std::vector<LzssRecord> records;
  if (!ReadLzssArchive(path, &bytes, &records)) return kToolFailure;
  size_t failed = 0;
  std::vector<uint8_t> decoded;
  for (const LzssRecord& record : records) {
    int result = record.nameTerminated ? DecodeLzssMember(bytes.data(), bytes.size(), record, &decoded) : 0;
    if (result == 1) continue;
    ++failed;
    const char* why = result == 0    ? "member name without its end: %s"
                      : result == -1 ? "member cannot be read (outside the file, or empty): %s"
                      : result == -2 ? "member does not decode to its recorded length: %s"
                                     : "no memory for member %s";
    Fail(why, record.name);
  }
  if (failed) return kToolFailure;
  std::fprintf(stderr, "%u members decode\n", static_cast<unsigned>(records.size()));
  return kToolSuccess;
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
