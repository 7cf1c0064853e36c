#include "tools/packtool/ToolSupport.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>

#include "foundation/FileFinder.h"
#include "foundation/Folders.h"
#include "foundation/NativeFile.h"
#include "foundation/PathText.h"

int Fail(const char* format, const std::string& subject) {
  std::fprintf(stderr, "packtool: ");
  std::fprintf(stderr, format, subject.c_str());
  std::fprintf(stderr, "\n");
  return kToolFailure;
}

bool HasStrayOption(const PackToolArgs& args) {
  return std::any_of(args.begin(), args.end(), [](const std::string& a) { return a.size() > 1 && a.compare(0, 2, "--") == 0; });
}

bool IsFolder(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes) {
  CNativeFile file;
  if (IsFolder(path) || !file.OpenRead(path)) return false;
  uint64_t size = file.GetSize64();
  if (size >= 0xFFFFFFFFu) return false;
  bytes->resize(static_cast<size_t>(size));
  return size == 0 || file.Read(bytes->data(), static_cast<DWORD>(size));
}

bool WriteWholeFile(const std::string& path, const void* bytes, size_t size) {
  CNativeFile out;
  if (out.OpenWrite(path, true) && (size == 0 || out.Write(bytes, static_cast<DWORD>(size)))) return true;
  out.Close();
  DeleteFileA(path.c_str());
  return false;
}

int SaveOpenedFile(CFileBase& file, const std::string& name, const std::string& outPath) {
  uint32_t size = file.GetSize();
  std::vector<uint8_t> bytes(size);
  if (size && file.Read(bytes.data(), 1, size) != size) return Fail("cannot read %s", name);
  if (!WriteWholeFile(outPath, bytes.data(), bytes.size())) return Fail("cannot write %s", outPath);
  return kToolSuccess;
}

bool ResolveFolderAndArchive(const PackToolArgs& args, const char* extension, std::string* folder,
                             std::string* archive) {
  *folder = GetFullPath(args[0]);
  while (folder->size() > 3 && folder->back() == '\\') folder->pop_back();
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
