#pragma once
// Directory enumeration over the system's find-first/find-next search.
// CFileFinder owns one search handle and answers whether anything matches a path (files, folders and
// wildcards alike). CFileList collects the full paths of the files below a folder, depth-first in the
// order the system returns the entries; CFolderList collects the bare names of a folder's subfolders.
// A folder that cannot be read contributes nothing; nothing is reported.

#include <windows.h>

#include <string>
#include <vector>

class CFileFinder {
 public:
  CFileFinder() = default;
  virtual ~CFileFinder();
  CFileFinder(const CFileFinder&) = delete;
  CFileFinder& operator=(const CFileFinder&) = delete;

  // Ends any open search and starts one on the pattern; true and data filled if something matched.
  bool FindFirst(const std::string& pattern, WIN32_FIND_DATAA& data);
  // The next match of the open search; false when there is none or no search is open.
  bool FindNext(WIN32_FIND_DATAA& data);
  // True if anything matches the path; the search stays open until the next search or Close.
  bool Exists(const std::string& path);
  void Close();

 private:
  HANDLE search_ = nullptr;
};

class CFileList {
 public:
  CFileList() = default;
  virtual ~CFileList();

  // Empties the list, then lists the files of the folder that match the pattern, descending into the
  // subfolders whose names match it when recursive is true.
  void ListFiles(const std::string& folder, const std::string& pattern, bool recursive);
  size_t GetCount() const { return paths_.size(); }
  // Throws std::out_of_range when index is not below GetCount().
  std::string GetAt(size_t index) const;

 private:
  void ListLevel(const std::string& folder, const std::string& pattern, bool recursive);

  std::vector<std::string> paths_;
};

class CFolderList {
 public:
  CFolderList() = default;
  virtual ~CFolderList();

  // Empties the list, then fills it with the names of the folder's immediate subfolders.
  void ListFolders(const std::string& folder);
  size_t GetCount() const { return names_.size(); }
  // Throws std::out_of_range when index is not below GetCount().
  std::string GetAt(size_t index) const;

 private:
  std::vector<std::string> names_;
};
