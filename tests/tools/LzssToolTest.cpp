// packtool.exe's LZSS commands as scripts call them: what lzss and lzss-single write reads back through
// the LZSS readers byte for byte, list and verify take LZSS archives, and get with an LZSS reader turns
// the reader's boxes into a message on stderr.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pack/LzssCore.h"
#include "pack/LzssFile.h"
#include "tests/support/TestSupport.h"
#include "tests/support/ToolRun.h"

using namespace testing_support;

namespace {

template <typename Reader>
std::string ReadWith(const std::string& path) {
  Reader reader;
  if (reader.Open(path) != 1) return "<not loaded>";
  std::string bytes(reader.GetSize(), '\0');
  if (!bytes.empty() && reader.Read(&bytes[0], 1, reader.GetSize()) != reader.GetSize()) return "<short>";
  return bytes;
}

const char kCaption[] = "ゲーム内部エラー";

}  // namespace

TEST(LzssTool, ArchiveOfAFolderReadsBackAndLists) {
  ScratchFolder scratch;
  const std::vector<std::pair<std::string, std::string>> files = {
      {"Top.TXT", "top level"},
      {"empty.bin", ""},
      {"Sub\\Deep\\random.bin", PatternBytes(70000, 5)},
      {"sub\\" + kSo + "\\text.txt", std::string(50000, 'z')},
  };
  for (const auto& file : files) ASSERT_TRUE(WriteFileMakingFolders(scratch / "data\\" + file.first, file.second));

  ToolRun made = RunPackTool(scratch, "lzss data");
  ASSERT_EQ(made.exitCode, 0u) << made.err;
  ASSERT_TRUE(FileExists(scratch / "data.dat"));
  for (const auto& file : files) {
    EXPECT_EQ(ReadWith<CLZSSArchiveFile>(scratch / "data\\" + file.first), file.second) << file.first;
  }

  ToolRun list = RunPackTool(scratch, "list data.dat");
  EXPECT_EQ(list.exitCode, 0u) << list.err;
  // Decoded size, compressed size, name: lower case with '\\'.
  EXPECT_NE(list.out.find("         9         11 top.txt"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("         0          1 empty.bin"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("     70000 "), std::string::npos) << list.out;
  EXPECT_NE(list.out.find(" sub\\deep\\random.bin"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find(" sub\\" + kSo + "\\text.txt"), std::string::npos) << list.out;
  ToolRun verify = RunPackTool(scratch, "verify data.dat");
  EXPECT_EQ(verify.exitCode, 0u) << verify.err;
  EXPECT_NE(verify.err.find("4 members decode"), std::string::npos) << verify.err;

  ToolRun get = RunPackTool(scratch, "get --reader lzss-archive data\\SUB\\DEEP\\random.bin got.bin");
  ASSERT_EQ(get.exitCode, 0u) << get.err;
  std::string got;
  ASSERT_TRUE(ReadWholeFile(scratch / "got.bin", &got));
  EXPECT_TRUE(got == files[2].second);

  // Another archive name; the front's get does not choose LZSS readers.
  ASSERT_EQ(RunPackTool(scratch, "lzss data other.dat").exitCode, 0u);
  std::string first, second;
  ASSERT_TRUE(ReadWholeFile(scratch / "data.dat", &first));
  ASSERT_TRUE(ReadWholeFile(scratch / "other.dat", &second));
  EXPECT_TRUE(first == second);
  ASSERT_TRUE(RemoveTree(scratch / "data"));
  EXPECT_EQ(RunPackTool(scratch, "get data\\top.txt front.txt").exitCode, 1u);
  EXPECT_EQ(RunPackTool(scratch, "get --reader lzss-archive data\\absent.txt x.txt").exitCode, 1u);
}

TEST(LzssTool, SingleFileReadsBack) {
  ScratchFolder scratch;
  std::string bytes = PatternBytes(3000, 2) + std::string(5000, 'a');
  ASSERT_TRUE(WriteWholeFile(scratch / "v.bmp", bytes));
  ToolRun single = RunPackTool(scratch, "lzss-single v.bmp");
  ASSERT_EQ(single.exitCode, 0u) << single.err;
  std::string file;
  ASSERT_TRUE(ReadWholeFile(scratch / "v.bmp.dat", &file));
  EXPECT_LT(file.size(), bytes.size());
  EXPECT_EQ(ReadWith<CLZSSSingleFile>(scratch / "v.bmp"), bytes);
  ToolRun get = RunPackTool(scratch, "get --reader lzss-single v.bmp got.bmp");
  ASSERT_EQ(get.exitCode, 0u) << get.err;
  std::string got;
  ASSERT_TRUE(ReadWholeFile(scratch / "got.bmp", &got));
  EXPECT_TRUE(got == bytes);
}

TEST(LzssTool, DamageAndBadUsage) {
  ScratchFolder scratch;
  // An archive whose member "m" has compressed length 0 and whose member "n" is one byte short.
  std::vector<uint8_t> stream;
  std::string text(400, 'q');
  ASSERT_TRUE(LzssEncode(reinterpret_cast<const uint8_t*>(text.data()), text.size(), &stream));
  std::string archive(3 * kLzssRecordSize, '\0');
  uint8_t* records = reinterpret_cast<uint8_t*>(&archive[0]);
  ASSERT_TRUE(WriteLzssRecord("m", 5, 0, 3 * kLzssRecordSize, records));
  ASSERT_TRUE(WriteLzssRecord("n", 401, uint32_t(stream.size()), 3 * kLzssRecordSize, records + kLzssRecordSize));
  archive.append(stream.begin(), stream.end());
  ASSERT_TRUE(WriteWholeFile(scratch / "bad.dat", archive));

  ToolRun get = RunPackTool(scratch, "get --reader lzss-archive bad\\m out.bin");
  EXPECT_EQ(get.exitCode, 1u);
  EXPECT_NE(get.err.find(kCaption), std::string::npos) << get.err;
  EXPECT_NE(get.err.find("[ReadError]"), std::string::npos) << get.err;
  EXPECT_FALSE(FileExists(scratch / "out.bin"));
  get = RunPackTool(scratch, "get --reader lzss-archive bad\\n out.bin");
  EXPECT_EQ(get.exitCode, 1u);
  EXPECT_NE(get.err.find("[DecodeError]"), std::string::npos) << get.err;
  EXPECT_NE(get.err.find("bad\\n]"), std::string::npos) << "the text ends in the wanted path: " << get.err;

  EXPECT_EQ(RunPackTool(scratch, "list bad.dat").exitCode, 0u);
  ToolRun verify = RunPackTool(scratch, "verify bad.dat");
  EXPECT_EQ(verify.exitCode, 1u);
  EXPECT_NE(verify.err.find(": m"), std::string::npos) << verify.err;
  EXPECT_NE(verify.err.find(": n"), std::string::npos) << verify.err;

  // Not an archive of either kind: an index without its end inside the file.
  ASSERT_TRUE(WriteWholeFile(scratch / "junk.dat", "not an archive"));
  EXPECT_EQ(RunPackTool(scratch, "list junk.dat").exitCode, 1u);
  EXPECT_EQ(RunPackTool(scratch, "verify junk.dat").exitCode, 1u);
  EXPECT_EQ(RunPackTool(scratch, "lzss nowhere").exitCode, 1u);
  EXPECT_EQ(RunPackTool(scratch, "lzss-single nothing.bin").exitCode, 1u);

  EXPECT_EQ(RunPackTool(scratch, "lzss").exitCode, 2u);
  EXPECT_EQ(RunPackTool(scratch, "lzss a b c").exitCode, 2u);
  EXPECT_EQ(RunPackTool(scratch, "lzss-single a b").exitCode, 2u);
  EXPECT_EQ(RunPackTool(scratch, "get --reader zip a b").exitCode, 2u);
  EXPECT_EQ(RunPackTool(scratch, "get --reader lzss-single a").exitCode, 2u);
}

TEST(LzssTool, ArchiveIsTheSameWhateverTheJobCount) {
  ScratchFolder scratch;
  for (int i = 0; i < 30; ++i) {
    std::string name = "d\\" + std::string(i % 2 ? kNo : kSo) + "\\F" + std::to_string(i) + ".bin";
    ASSERT_TRUE(WriteFileMakingFolders(
        scratch / name, PatternBytes(size_t(i) * 3001 % 90000, i) + std::string(size_t(i) * 2000, char('A' + i % 26))));
  }
  ASSERT_EQ(RunPackTool(scratch, "lzss d one.dat --jobs 1").exitCode, 0u);
  ASSERT_EQ(RunPackTool(scratch, "lzss --jobs 3 d three.dat").exitCode, 0u);
  ASSERT_EQ(RunPackTool(scratch, "lzss d").exitCode, 0u);
  std::string one, three, all;
  ASSERT_TRUE(ReadWholeFile(scratch / "one.dat", &one));
  ASSERT_TRUE(ReadWholeFile(scratch / "three.dat", &three));
  ASSERT_TRUE(ReadWholeFile(scratch / "d.dat", &all));
  EXPECT_TRUE(one == three);
  EXPECT_TRUE(one == all);
  std::string bytes;
  ASSERT_TRUE(ReadWholeFile(scratch / "d\\" + kNo + "\\F29.bin", &bytes));
  EXPECT_EQ(ReadWith<CLZSSArchiveFile>(scratch / "d\\" + kNo + "\\f29.bin"), bytes);

  // A failed archive leaves nothing under its name, and an earlier archive of that name stays whole:
  // here a file that another program holds cannot be read.
  ASSERT_TRUE(WriteFileMakingFolders(scratch / "e\\" + kHyo + "\\a.txt", "fine"));
  ASSERT_TRUE(WriteFileMakingFolders(scratch / "e\\" + kHyo + "\\b.txt", "held"));
  ASSERT_TRUE(WriteWholeFile(scratch / "e.dat", "earlier"));
  HANDLE held =
      CreateFileA((scratch / "e\\" + kHyo + "\\b.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  ToolRun failed = RunPackTool(scratch, "lzss e");
  CloseHandle(held);
  EXPECT_EQ(failed.exitCode, 1u);
  EXPECT_NE(failed.err.find("b.txt"), std::string::npos) << failed.err;
  ASSERT_TRUE(ReadWholeFile(scratch / "e.dat", &bytes));
  EXPECT_EQ(bytes, "earlier");
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA((scratch / "*.tmp").c_str(), &found);
  EXPECT_EQ(find, INVALID_HANDLE_VALUE) << "a temporary file is left: " << found.cFileName;
  if (find != INVALID_HANDLE_VALUE) FindClose(find);
}
