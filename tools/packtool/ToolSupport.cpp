#include "tools/packtool/ToolSupport.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <io.h>
#include <memory>
#include <new>

#include "foundation/FileFinder.h"
#include "foundation/Folders.h"
#include "foundation/NativeFile.h"
#include "foundation/PathText.h"
#include "foundation/ShiftJis.h"
#include "tools/packtool/MemberPath.h"
#include "tools/packtool/OrderedJobs.h"

int Fail(const char* format, const std::string& subject) {
  std::fprintf(stderr, "packtool: ");
  std::fprintf(stderr, format, subject.c_str());
  std::fprintf(stderr, "\n");
  return kToolFailure;
}

bool HasStrayOption(const PackToolArgs& args) {
  return std::any_of(args.begin(), args.end(),
                     [](const std::string& a) { return a.size() > 1 && a.compare(0, 2, "--") == 0; });
}

bool IsFolder(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes) {
  CNativeFile file;
  if (IsFolder(path) || !file.OpenRead(path)) return false;
  uint64_t size = file.GetSize64();
  // A 32-bit vector holds at most 2^31 - 1 bytes, and less than that fits a fragmented address space.
  if (size >= 0xFFFFFFFFu || size > bytes->max_size()) return false;
  try {
    bytes->resize(static_cast<size_t>(size));
  } catch (const std::bad_alloc&) {
    return false;
  }
  return size == 0 || file.Read(bytes->data(), static_cast<DWORD>(size));
}

PendingOutput::~PendingOutput() { Abandon(); }

bool PendingOutput::Open(const std::string& path) {
  Abandon();
  std::string full = GetFullPath(path);
  if (full.empty()) return false;
  std::string folder, name;
  SplitDirectoryAndName(full, folder, name);
  if (name.empty()) return false;
  // A short name of the system's making in the same folder: the rename then stays on one volume, and
  // a final name near the path limit does not push the temporary one past it.
  char temporary[MAX_PATH];
  if (GetTempFileNameA(folder.c_str(), "pkt", 0, temporary) == 0) return false;
  temporary_ = temporary;
  path_ = full;
  if (!file_.OpenWrite(temporary_, true)) {
    Abandon();
    return false;
  }
  return true;
}

bool PendingOutput::Commit(bool replace) {
  if (temporary_.empty()) return false;
  file_.Close();
  if (!MoveFileExA(temporary_.c_str(), path_.c_str(), replace ? MOVEFILE_REPLACE_EXISTING : 0)) {
    Abandon();
    return false;
  }
  temporary_.clear();
  return true;
}

void PendingOutput::Abandon() {
  file_.Close();
  if (!temporary_.empty()) DeleteFileA(temporary_.c_str());
  temporary_.clear();
}

std::string StripTrailingBackslashes(const std::string& path) {
  // The end of the last character that is not a backslash of its own, found by a double-byte walk.
  size_t keep = 0;
  for (size_t i = 0; i < path.size();) {
    size_t length = ShiftJisCharLength(path, i);
    if (length != 1 || path[i] != '\\') keep = i + length;
    i += length;
  }
  // "C:\\" and "\\" keep the backslash that makes them a root.
  if (keep == 0 || (keep == 2 && path[1] == ':')) keep = std::min(path.size(), keep + 1);
  return path.substr(0, keep);
}

bool WriteWholeFile(const std::string& path, const void* bytes, size_t size) {
  PendingOutput out;
  if (!out.Open(path)) return false;
  if (size != 0 && !out.File().Write(bytes, static_cast<DWORD>(size))) return false;
  return out.Commit();
}

int SaveOpenedFile(CFileBase& file, const std::string& name, const std::string& outPath) {
  PendingOutput out;
  if (!out.Open(outPath)) return Fail("cannot write %s", outPath);
  const uint32_t size = file.GetSize();
  const uint32_t kChunk = 1 << 20;
  std::unique_ptr<uint8_t[]> chunk(new (std::nothrow) uint8_t[kChunk]);
  if (!chunk) return Fail("no memory to copy %s", name);
  for (uint32_t done = 0; done < size;) {
    uint32_t want = std::min(kChunk, size - done);
    if (file.Read(chunk.get(), 1, want) != want) return Fail("cannot read %s", name);
    if (!out.File().Write(chunk.get(), want)) return Fail("cannot write %s", outPath);
    done += want;
  }
  // A size that did not fit the interface's 32 bits would have been cut: what follows is then more of
  // the file, and what was written is not all of it.
  if (file.Read(chunk.get(), 1, 1) != 0) return Fail("larger than 4 GiB, cannot be copied whole: %s", name);
  if (!out.Commit()) return Fail("cannot write %s", outPath);
  return kToolSuccess;
}

bool ResolveFolderAndArchive(const PackToolArgs& args, const char* extension, std::string* folder,
                             std::string* archive) {
  *folder = GetFullPath(args[0]);
  *folder = StripTrailingBackslashes(*folder);
  if (!IsFolder(*folder)) return Fail("not a folder: %s", args[0]), false;
  *archive = args.size() == 2 ? GetFullPath(args[1]) : *folder + extension;
  if (archive->empty()) return Fail("bad archive name: %s", args[1]), false;
  return true;
}

std::vector<MemberFile> ListFolderFiles(const std::string& folder, const std::string& archive, MemberNames names) {
  CFileList list;
  list.ListFiles(folder, "*", true);
  std::vector<MemberFile> files;
  for (size_t i = 0; i < list.GetCount(); ++i) {
    MemberFile file;
    file.path = list.GetAt(i);
    if (ToLowerCase(file.path) == ToLowerCase(archive)) continue;
    file.name = GetRelativePath(file.path, folder);
    if (names == MemberNames::kLowerCase) file.name = ToLowerCase(file.name);
    if (!file.name.empty()) files.push_back(file);
  }
  std::sort(files.begin(), files.end(), [](const MemberFile& a, const MemberFile& b) {
    return a.name != b.name ? a.name < b.name : a.path < b.path;
  });
  return files;
}

bool TakeJobs(PackToolArgs& args, unsigned* jobs) {
  *jobs = CountProcessors();
  for (size_t i = 0; i < args.size();) {
    if (args[i] != "--jobs") {
      ++i;
      continue;
    }
    if (i + 1 >= args.size()) return false;
    const std::string& value = args[i + 1];
    if (value.empty() || value.size() > 2 || value.find_first_not_of("0123456789") != std::string::npos) return false;
    unsigned count = static_cast<unsigned>(std::stoul(value));
    if (count < 1 || count > 64) return false;
    *jobs = count;
    args.erase(args.begin() + i, args.begin() + i + 2);
  }
  return true;
}

bool TakeFlag(PackToolArgs& args, const char* flag) {
  auto at = std::find(args.begin(), args.end(), flag);
  if (at == args.end()) return false;
  args.erase(std::remove(args.begin(), args.end(), flag), args.end());
  return true;
}

uint64_t GetFileSize64(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return ~uint64_t(0);
  return uint64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

Progress::Progress(size_t total) : total_(total), shown_(_isatty(_fileno(stderr)) != 0) {}

void Progress::Step(size_t done) {
  if (!shown_) return;
  DWORD now = GetTickCount();
  if (done != total_ && now - last_ < 100) return;
  last_ = now;
  std::fprintf(stderr, "\r%u / %u files", static_cast<unsigned>(done), static_cast<unsigned>(total_));
  if (done == total_) std::fprintf(stderr, "\n");
  std::fflush(stderr);
}

bool ExtractMember(const std::string& folder, const std::string& storedName, bool force, const MemberFill& fill,
                   std::set<std::string>* written) {
  std::string relative;
  MemberPathProblem problem = CheckMemberPath(storedName, &relative);
  if (problem != MemberPathProblem::kNone) {
    std::fprintf(stderr, "packtool: refused member (%s): %s\n", DescribeMemberPathProblem(problem), storedName.c_str());
    return false;
  }
  // The file system ignores the case of ASCII letters.
  if (!written->insert(ToLowerCase(relative)).second) {
    return Fail("a member of this name was written already, the first one is kept: %s", storedName), false;
  }
  const std::string path = folder + "\\" + relative;
  if (!force && GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
    return Fail("exists already (--force replaces it): %s", path), false;
  }
  CreateParentDirectories(path);
  PendingOutput out;
  if (!out.Open(path)) return Fail("cannot create %s", path), false;
  std::string why;
  if (!fill(out.File(), &why)) {
    std::fprintf(stderr, "packtool: %s: %s\n", why.c_str(), storedName.c_str());
    return false;
  }
  if (!out.Commit(force)) return Fail("cannot write %s", path), false;
  return true;
}
