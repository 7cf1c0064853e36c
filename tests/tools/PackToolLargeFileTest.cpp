// packtool.exe on files of 2 GiB and more (sparse, so that they cost no disk): every command either
// gives the right bytes or fails with exit code 1 and a message, never a crash, and leaves no
// half-written output behind, on the 32-bit build (2 GiB address space) as on the 64-bit one.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/FileFinder.h"
#include "foundation/Folders.h"
#include "foundation/PathText.h"
#include "tests/support/TestSupport.h"
#include "tests/support/ToolRun.h"

using namespace testing_support;

namespace {

// A file of `size` bytes that are zero except `tail` at its end, without writing the zeros.
bool MakeSparseFile(const std::string& path, uint64_t size, const std::string& tail) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD unused;
  DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &unused, nullptr);
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(size - tail.size());
  DWORD written = 0;
  bool made = SetFilePointerEx(file, at, nullptr, FILE_BEGIN) &&
              WriteFile(file, tail.data(), static_cast<DWORD>(tail.size()), &written, nullptr) &&
              written == tail.size();
  CloseHandle(file);
  return made;
}

uint64_t SizeOf(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return ~uint64_t(0);
  return uint64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

// `size` bytes of the file from `offset`; "<unreadable>" when they cannot be read.
std::string ReadAt(const std::string& path, uint64_t offset, DWORD size) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<unreadable>";
  std::string bytes(size, '\0');
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(offset);
  DWORD read = 0;
  bool good = SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && ReadFile(file, &bytes[0], size, &read, nullptr) &&
              read == size;
  CloseHandle(file);
  return good ? bytes : "<unreadable>";
}

// The files below the scratch folder other than the tools' captured output.
std::vector<std::string> FilesLeft(const ScratchFolder& scratch) {
  CFileList list;
  list.ListFiles(scratch.Path(), "*", true);
  std::vector<std::string> names;
  for (size_t i = 0; i < list.GetCount(); ++i) {
    std::string name = GetRelativePath(list.GetAt(i), scratch.Path());
    if (name.compare(0, 5, "tool-") != 0) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// A failure as scripts must see it: exit code 1 and a message.
void ExpectCleanFailure(const ToolRun& run, const std::string& what) {
  EXPECT_EQ(run.exitCode, 1u) << what << "\n" << run.err;
  EXPECT_NE(run.err.find("packtool: "), std::string::npos) << what << "\n" << run.err;
  EXPECT_EQ(run.err.find("terminate"), std::string::npos) << what << "\n" << run.err;
}

const bool k32BitBuild = sizeof(void*) == 4;

}  // namespace

TEST(PackToolLargeFiles, FourGigabytesAndMoreFailCleanly) {
  ScratchFolder scratch;
  const std::string folder = "大" + kHyo + "データ";
  ASSERT_TRUE(MakeFolders(scratch / folder));
  const uint64_t size = (uint64_t(4) << 30) + 10;
  if (!MakeSparseFile(scratch / folder + "\\big.bin", size, "ten bytes!")) {
    GTEST_SKIP() << kHostLacks << "room for a sparse file of 4 GiB";
  }
  const std::vector<std::string> before = FilesLeft(scratch);

  // A member's decoded length has 32 bits: no archive can hold the file, and none is left behind.
  ExpectCleanFailure(RunPackTool(scratch, "pack " + folder), "pack");
  ExpectCleanFailure(RunPackTool(scratch, "pack " + folder + " --jobs 1"), "pack --jobs 1");
  ExpectCleanFailure(RunPackTool(scratch, "pack-single " + folder + "\\big.bin"), "pack-single");
  ExpectCleanFailure(RunPackTool(scratch, "lzss " + folder), "lzss");
  ExpectCleanFailure(RunPackTool(scratch, "lzss-single " + folder + "\\big.bin"), "lzss-single");
  // The file interface's sizes have 32 bits: get copies all of the file or fails, never a part.
  ToolRun get = RunPackTool(scratch, "get " + folder + "\\big.bin got.bin");
  ExpectCleanFailure(get, "get");
  ToolRun getLzss = RunPackTool(scratch, "get --reader lzss-single " + folder + "\\big.bin got.bin");
  EXPECT_EQ(getLzss.exitCode, 1u) << getLzss.err;
  EXPECT_EQ(FilesLeft(scratch), before);

  // Zeros from the start read as an LZSS archive whose index ends at once: listed, it holds nothing.
  ToolRun list = RunPackTool(scratch, "list " + folder + "\\big.bin");
  EXPECT_EQ(list.exitCode, 0u) << list.err;
  EXPECT_EQ(list.out, "");
  ToolRun verify = RunPackTool(scratch, "verify " + folder + "\\big.bin");
  EXPECT_EQ(verify.exitCode, 0u) << verify.err;
  EXPECT_NE(verify.err.find("0 members decode"), std::string::npos) << verify.err;
}

TEST(PackToolLargeFiles, TwoAndAHalfGigabytesPackAndReadBack) {
  ScratchFolder scratch;
  const std::string folder = "大" + kSo + "ファイル";
  ASSERT_TRUE(MakeFolders(scratch / folder));
  const uint64_t size = uint64_t(5) << 29;  // 2.5 GiB: past what a 32-bit vector holds
  const std::string tail = "the end of a large file";
  if (!MakeSparseFile(scratch / folder + "\\" + kNo + ".bin", size, tail) ||
      !WriteWholeFile(scratch / folder + "\\small.txt", "small")) {
    GTEST_SKIP() << kHostLacks << "room for a sparse file of 2.5 GiB";
  }
  const std::string big = folder + "\\" + kNo + ".bin";

  // pack and pack-single encode the file a piece at a time, on both builds.
  ToolRun pack = RunPackTool(scratch, "pack " + folder);
  ASSERT_EQ(pack.exitCode, 0u) << pack.err;
  ToolRun list = RunPackTool(scratch, "list " + folder + ".pak");
  EXPECT_EQ(list.exitCode, 0u) << list.err;
  EXPECT_NE(list.out.find("2684354560 "), std::string::npos) << list.out;
  ToolRun verify = RunPackTool(scratch, "verify " + folder + ".pak");
  EXPECT_EQ(verify.exitCode, 0u) << verify.err;
  EXPECT_NE(verify.err.find("2 members decode"), std::string::npos) << verify.err;

  ToolRun single = RunPackTool(scratch, "pack-single " + big);
  ASSERT_EQ(single.exitCode, 0u) << single.err;
  CFileList singles;
  singles.ListFiles(scratch / folder, "*.pak", false);
  ASSERT_EQ(singles.GetCount(), 1u);
  const std::string singlePack = singles.GetAt(0);
  ToolRun listSingle = RunPackTool(scratch, "list " + Quoted(singlePack));
  EXPECT_EQ(listSingle.exitCode, 0u) << listSingle.err;
  EXPECT_NE(listSingle.out.find("2684354560 "), std::string::npos) << listSingle.out;
  EXPECT_EQ(RunPackTool(scratch, "verify " + Quoted(singlePack)).exitCode, 0u);

  // The readers decode a member whole: the 32-bit build may have no room for it and then says so.
  ASSERT_TRUE(MoveFileA((scratch / big).c_str(), (scratch / "moved.bin").c_str()));
  ToolRun get = RunPackTool(scratch, "get " + big + " got.bin");
  if (get.exitCode == 0u) {
    EXPECT_EQ(SizeOf(scratch / "got.bin"), size);
    EXPECT_EQ(ReadAt(scratch / "got.bin", size - tail.size(), static_cast<DWORD>(tail.size())), tail);
    EXPECT_EQ(ReadAt(scratch / "got.bin", size / 2, 4), std::string(4, '\0'));
  } else {
    ExpectCleanFailure(get, "get");
  }
  RemoveFile(scratch / "got.bin");

  // extract writes the member a piece at a time: right on both builds.
  ToolRun extract = RunPackTool(scratch, "extract " + folder + ".pak out");
  EXPECT_EQ(extract.exitCode, 0u) << extract.err;
  EXPECT_EQ(SizeOf(scratch / "out\\" + kNo + ".bin"), size);
  EXPECT_EQ(ReadAt(scratch / "out\\" + kNo + ".bin", size - tail.size(), static_cast<DWORD>(tail.size())), tail);
  RemoveFile(scratch / "out\\" + kNo + ".bin");

  // The LZSS encoder needs the whole file in memory, which the 32-bit build cannot give it.
  ASSERT_TRUE(MoveFileA((scratch / "moved.bin").c_str(), (scratch / big).c_str()));
  const std::vector<std::string> before = FilesLeft(scratch);
  if (k32BitBuild) {
    ExpectCleanFailure(RunPackTool(scratch, "lzss " + folder), "lzss");
    ExpectCleanFailure(RunPackTool(scratch, "lzss-single " + big), "lzss-single");
    EXPECT_EQ(FilesLeft(scratch), before);
  }
}
