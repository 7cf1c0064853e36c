// Directory enumeration on real folders. The expected order of a recursive listing comes from a plain
// depth-first walk over FindFirstFileA, since the order of entries is the file system's.

#include "foundation/FileFinder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "foundation/PathText.h"
#include "tests/support/TestSupport.h"

using testing_support::HexBytes;
using testing_support::kHyo;
using testing_support::kNo;
using testing_support::kSo;
using testing_support::MakeFolders;
using testing_support::ScratchFolder;
using testing_support::WriteWholeFile;

namespace {

// Every file below a folder, depth-first in the order the system returns the entries.
void ReferenceWalk(const std::string& folder, std::vector<std::string>& out) {
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    if (!std::strcmp(data.cFileName, ".") || !std::strcmp(data.cFileName, "..")) continue;
    std::string path = folder + "\\" + data.cFileName;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      ReferenceWalk(path, out);
    } else {
      out.push_back(path);
    }
  } while (FindNextFileA(find, &data));
  FindClose(find);
}

std::vector<std::string> Listed(const CFileList& list) {
  std::vector<std::string> paths;
  for (size_t i = 0; i < list.GetCount(); ++i) paths.push_back(list.GetAt(i));
  return paths;
}

std::vector<std::string> Hex(std::vector<std::string> texts) {
  for (std::string& text : texts) text = HexBytes(text);
  return texts;
}

}  // namespace

TEST(FileFinder, ExistsAndSearches) {
  ScratchFolder scratch;
  ASSERT_TRUE(MakeFolders(scratch / "sub"));
  CFileFinder finder;
  EXPECT_FALSE(finder.Exists(scratch / "a.txt"));
  EXPECT_TRUE(finder.Exists(scratch / "s*"));  // a wildcard that matches only a folder
  EXPECT_TRUE(finder.Exists(scratch / "sub"));
  EXPECT_FALSE(finder.Exists(""));
  ASSERT_TRUE(WriteWholeFile(scratch / "a.txt", "a"));
  EXPECT_TRUE(finder.Exists(scratch / "a.txt"));
  EXPECT_TRUE(finder.Exists(scratch / "*.txt"));
  EXPECT_FALSE(finder.Exists(scratch / "*.bin"));

  // FindFirst and FindNext visit every entry once.
  ASSERT_TRUE(WriteWholeFile(scratch / "b.bin", "b"));
  WIN32_FIND_DATAA data;
  std::vector<std::string> names;
  ASSERT_TRUE(finder.FindFirst(scratch / "*", data));
  do {
    names.push_back(data.cFileName);
  } while (finder.FindNext(data));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{".", "..", "a.txt", "b.bin", "sub"}));
  EXPECT_FALSE(finder.FindNext(data));

  // No search after a failed FindFirst or a Close.
  EXPECT_FALSE(finder.FindFirst(scratch / "none*", data));
  EXPECT_FALSE(finder.FindNext(data));
  ASSERT_TRUE(finder.FindFirst(scratch / "*", data));
  finder.Close();
  EXPECT_FALSE(finder.FindNext(data));
}

TEST(FileList, EmptyMissingAndFolderOnlyListings) {
  ScratchFolder scratch;
  CFileList list;
  list.ListFiles(scratch.Path(), "*.*", true);
  EXPECT_EQ(list.GetCount(), 0u);
  list.ListFiles(scratch / "missing", "*.*", true);
  EXPECT_EQ(list.GetCount(), 0u);

  ASSERT_TRUE(MakeFolders(scratch / "sub"));
  ASSERT_TRUE(WriteWholeFile(scratch / "sub\\a.txt", "a"));
  list.ListFiles(scratch.Path(), "*.*", false);
  EXPECT_EQ(list.GetCount(), 0u);
  list.ListFiles(scratch.Path(), "*.*", true);
  EXPECT_EQ(list.GetCount(), 1u);
  list.ListFiles(scratch.Path(), "*.*", true);  // listing again starts afresh
  EXPECT_EQ(list.GetCount(), 1u);

  // Past the end: the standard range error.
  try {
    list.GetAt(1);
    ADD_FAILURE() << "no exception";
  } catch (const std::out_of_range& error) {
    EXPECT_STREQ(error.what(), "invalid vector<T> subscript");
  }
  EXPECT_THROW(CFileList().GetAt(0), std::out_of_range);
}

TEST(FileList, DeepFileHasSingleBackslashesWhateverTheFolderLooksLike) {
  ScratchFolder scratch;
  ASSERT_TRUE(MakeFolders(scratch / "sub"));
  ASSERT_TRUE(MakeFolders(scratch / "sub\\subsub"));
  ASSERT_TRUE(WriteWholeFile(scratch / "sub\\subsub\\name.txt", "x"));
  const std::string expected = scratch.Path() + "\\sub\\subsub\\name.txt";
  for (const std::string& folder : {scratch.Path(), scratch.Path() + "\\", scratch.Path() + "\\\\",
                                    BackslashToSlash(scratch.Path()), BackslashToSlash(scratch.Path()) + "/"}) {
    CFileList list;
    list.ListFiles(folder, "*.*", true);
    ASSERT_EQ(list.GetCount(), 1u) << folder;
    EXPECT_EQ(list.GetAt(0), expected) << folder;
  }
}

TEST(FileList, RecursiveOrderIsDepthFirstInSystemOrder) {
  ScratchFolder scratch;
  for (const char* folder : {"m", "m\\inner", "b", "z", "z\\y", "z\\y\\x", "empty"}) {
    ASSERT_TRUE(MakeFolders(scratch / folder)) << folder;
  }
  for (const char* file : {"top1.txt", "top2.dat", "m\\m1.txt", "m\\inner\\i1.txt", "m\\inner\\i2.txt", "m\\m2.txt",
                           "b\\b1", "z\\y\\x\\deep.txt", "z\\z1.txt", "last"}) {
    ASSERT_TRUE(WriteWholeFile(scratch / file, file)) << file;
  }
  std::vector<std::string> expected;
  ReferenceWalk(scratch.Path(), expected);
  ASSERT_EQ(expected.size(), 10u);

  CFileList list;
  list.ListFiles(scratch.Path(), "*.*", true);
  EXPECT_EQ(Listed(list), expected);

  // Not recursive: only the top files, in the same relative order.
  std::vector<std::string> top;
  for (const std::string& path : expected) {
    if (path.find('\\', scratch.Path().size() + 1) == std::string::npos) top.push_back(path);
  }
  list.ListFiles(scratch.Path(), "*.*", false);
  EXPECT_EQ(Listed(list), top);
}

TEST(FileList, PatternAlsoDecidesWhichSubfoldersAreEntered) {
  ScratchFolder scratch;
  ASSERT_TRUE(MakeFolders(scratch / "sub"));
  ASSERT_TRUE(MakeFolders(scratch / "dir.txt"));
  ASSERT_TRUE(WriteWholeFile(scratch / "sub\\a.txt", "a"));
  ASSERT_TRUE(WriteWholeFile(scratch / "dir.txt\\b.txt", "b"));
  ASSERT_TRUE(WriteWholeFile(scratch / "c.txt", "c"));
  ASSERT_TRUE(WriteWholeFile(scratch / "d.bin", "d"));
  CFileList list;
  list.ListFiles(scratch.Path(), "*.txt", true);
  std::vector<std::string> paths = Listed(list);
  std::sort(paths.begin(), paths.end());
  EXPECT_EQ(paths, (std::vector<std::string>{scratch / "c.txt", scratch / "dir.txt\\b.txt"}));
}

TEST(FileList, EmptyFolderListsTheCurrentDirectoryByBareNames) {
  ScratchFolder scratch;
  ASSERT_TRUE(WriteWholeFile(scratch / "only.txt", "x"));
  char saved[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, saved);
  ASSERT_TRUE(SetCurrentDirectoryA(scratch.Path().c_str()));
  CFileList list;
  list.ListFiles("", "*.*", false);
  SetCurrentDirectoryA(saved);
  ASSERT_EQ(list.GetCount(), 1u);
  EXPECT_EQ(list.GetAt(0), "only.txt");
}

TEST(FileList, JapaneseNamesWithTrailBackslashRoundTripThroughTheFileSystem) {
  ScratchFolder scratch;
  const std::string folder = scratch / kSo;
  const std::string file = scratch / (kSo + kHyo + kNo + ".txt");
  const std::string nested = folder + "\\" + kHyo + "\\" + kNo + ".bin";
  ASSERT_TRUE(MakeFolders(folder));
  ASSERT_TRUE(MakeFolders(folder + "\\" + kHyo));
  ASSERT_TRUE(WriteWholeFile(file, "1"));
  ASSERT_TRUE(WriteWholeFile(nested, "2"));

  // The system holds the intended characters (U+30BD U+8868 U+80FD), not bytes split at 0x5C.
  WIN32_FIND_DATAW wide;
  wchar_t wideFolder[MAX_PATH] = {};
  ASSERT_GT(MultiByteToWideChar(CP_ACP, 0, scratch.Path().c_str(), -1, wideFolder, MAX_PATH), 0);
  HANDLE find = FindFirstFileW((std::wstring(wideFolder) + L"\\\u30BD\u8868\u80FD.txt").c_str(), &wide);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  FindClose(find);

  CFileList list;
  list.ListFiles(scratch.Path(), "*.*", true);
  std::vector<std::string> paths = Listed(list);
  std::sort(paths.begin(), paths.end());
  std::vector<std::string> expected = {file, nested};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Hex(paths), Hex(expected));

  // Listing the Japanese folder itself, given with a slash.
  list.ListFiles(BackslashToSlash(folder) + "/", "*.*", true);
  ASSERT_EQ(list.GetCount(), 1u);
  EXPECT_EQ(HexBytes(list.GetAt(0)), HexBytes(nested));
  EXPECT_EQ(HexBytes(GetRelativePath(list.GetAt(0), folder)), HexBytes(kHyo + "\\" + kNo + ".bin"));
}

TEST(FolderList, ListsBareSubfolderNames) {
  ScratchFolder scratch;
  ASSERT_TRUE(MakeFolders(scratch / "alpha"));
  ASSERT_TRUE(MakeFolders(scratch / (kSo + kHyo)));
  ASSERT_TRUE(MakeFolders(scratch / "alpha\\inner"));  // not immediate: not listed
  ASSERT_TRUE(WriteWholeFile(scratch / "file.txt", "x"));
  CFolderList list;
  list.ListFolders(scratch.Path() + "\\");
  std::vector<std::string> names;
  for (size_t i = 0; i < list.GetCount(); ++i) names.push_back(list.GetAt(i));
  std::sort(names.begin(), names.end());
  std::vector<std::string> expected = {"alpha", kSo + kHyo};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Hex(names), Hex(expected));
  EXPECT_THROW(list.GetAt(2), std::out_of_range);

  list.ListFolders(scratch / "alpha\\inner");
  EXPECT_EQ(list.GetCount(), 0u);
  list.ListFolders(scratch / "missing");
  EXPECT_EQ(list.GetCount(), 0u);
}
