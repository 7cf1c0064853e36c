#include "foundation/FileFinder.h"

#include <cstring>
#include <stdexcept>

#include "foundation/PathText.h"

namespace {

bool IsDotEntry(const WIN32_FIND_DATAA& data) {
  return std::strcmp(data.cFileName, ".") == 0 || std::strcmp(data.cFileName, "..") == 0;
}

bool IsDirectory(const WIN32_FIND_DATAA& data) { return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }

std::string Normalise(const std::string& path) { return CollapseBackslashes(SlashToBackslash(path)); }

// folder, a separator unless the folder is empty, and the name.
std::string JoinEntry(const std::string& folder, const char* name) {
  return Normalise(folder.empty() ? std::string(name) : folder + "\\" + name);
}

const std::string& ElementAt(const std::vector<std::string>& items, size_t index) {
  if (index >= items.size()) throw std::out_of_range("invalid vector<T> subscript");
  return items[index];
}

}  // namespace

CFileFinder::~CFileFinder() { Close(); }

bool CFileFinder::FindFirst(const std::string& pattern, WIN32_FIND_DATAA& data) {
  Close();
  HANDLE search = FindFirstFileA(pattern.c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) return false;
  search_ = search;
  return true;
}

bool CFileFinder::FindNext(WIN32_FIND_DATAA& data) {
  if (!search_) return false;
  return FindNextFileA(search_, &data) != FALSE;
}

bool CFileFinder::Exists(const std::string& path) {
  WIN32_FIND_DATAA data;
  return FindFirst(path, data);
}

void CFileFinder::Close() {
  if (search_) {
    FindClose(search_);
    search_ = nullptr;
  }
}

CFileList::~CFileList() = default;

void CFileList::ListFiles(const std::string& folder, const std::string& pattern, bool recursive) {
  paths_.clear();
  ListLevel(folder, pattern, recursive);
}

void CFileList::ListLevel(const std::string& folder, const std::string& pattern, bool recursive) {
  CFileFinder finder;
  WIN32_FIND_DATAA data;
  if (!finder.FindFirst(JoinEntry(folder, pattern.c_str()), data)) return;
  do {
    if (IsDotEntry(data)) continue;
    if (!IsDirectory(data)) {
      paths_.push_back(JoinEntry(folder, data.cFileName));
    } else if (recursive) {
      // A subfolder's files take its place among its siblings.
      ListLevel(Normalise(folder + "\\" + data.cFileName), pattern, recursive);
    }
  } while (finder.FindNext(data));
}

std::string CFileList::GetAt(size_t index) const { return ElementAt(paths_, index); }

CFolderList::~CFolderList() = default;

void CFolderList::ListFolders(const std::string& folder) {
  names_.clear();
  CFileFinder finder;
  WIN32_FIND_DATAA data;
  if (!finder.FindFirst(Normalise(folder + "\\*.*"), data)) return;
  do {
    if (!IsDotEntry(data) && IsDirectory(data)) names_.push_back(data.cFileName);
  } while (finder.FindNext(data));
}

std::string CFolderList::GetAt(size_t index) const { return ElementAt(names_, index); }
