// The file interface: the in-memory reader base, the loose-file reader and the front's open order for
// loose files (on the local disk and on a CD-ROM drive of the test prefix).

#include "pack/File.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "foundation/Folders.h"
#include "pack/PlainFile.h"
#include "tests/pack/SparseFile.h"
#include "tests/support/TestSupport.h"

using namespace testing_support;

#define EXPECT_BYTES(actual, expected) EXPECT_EQ(HexBytes(actual), HexBytes(expected)) << (actual)

namespace {

// An in-memory reader whose "decoding" is a copy of a fixed text.
class TextReader : public CCompressFileBase {
 public:
  explicit TextReader(std::string text) : text_(std::move(text)) {}
  ~TextReader() override { Close(); }
  int _Load(const std::string& path) override {
    lastPath = path;
    buffer_.assign(text_.begin(), text_.end());
    SetData(buffer_.data(), static_cast<uint32_t>(buffer_.size()));
    return 1;
  }
  void ReleaseData() override {
    ++releases;
    buffer_.clear();
  }
  std::string lastPath;
  int releases = 0;

 private:
  std::string text_;
  std::vector<uint8_t> buffer_;
};

}  // namespace

TEST(CompressFileBase, ReadsWholeElementsAndStopsAtTheEnd) {
  TextReader reader("0123456789abcdefghij");  // 20 bytes
  EXPECT_FALSE(reader.IsOpen());
  ASSERT_EQ(reader.Open("C:\\x"), 1);
  EXPECT_EQ(reader.lastPath, "C:\\x");
  EXPECT_TRUE(reader.IsOpen());
  EXPECT_EQ(reader.GetSize(), 20u);

  char buffer[64] = {};
  EXPECT_EQ(reader.Read(buffer, 1, 2), 2u);
  EXPECT_EQ(reader.Tell(), 2u);
  // 18 bytes remain: ten elements of four give four whole ones, and the position goes to the end.
  EXPECT_EQ(reader.Read(buffer, 4, 10), 4u);
  EXPECT_EQ(std::string(buffer, 18), "23456789abcdefghij");
  EXPECT_EQ(reader.Tell(), 20u);
  EXPECT_EQ(reader.Read(buffer, 1, 1), 0u);
  EXPECT_EQ(reader.Read(buffer, 0, 5), 0u);

  EXPECT_TRUE(reader.Seek(-4, 2));
  EXPECT_EQ(reader.Tell(), 16u);
  EXPECT_EQ(reader.Read(buffer, 1, 10), 4u);
  EXPECT_EQ(std::string(buffer, 4), "ghij");
  EXPECT_FALSE(reader.Seek(0, 3));
  reader.Rewind();
  EXPECT_EQ(reader.Tell(), 0u);
}

TEST(CompressFileBase, ReadsNothingOutsideTheFileAndRefusesWrites) {
  TextReader reader("0123456789");
  ASSERT_EQ(reader.Open("x"), 1);
  char buffer[16];
  std::memset(buffer, '-', sizeof buffer);
  // Before the start and past the end the position is kept as set, and nothing is copied.
  EXPECT_TRUE(reader.Seek(-1, 0));
  EXPECT_EQ(reader.Read(buffer, 1, 4), 0u);
  EXPECT_TRUE(reader.Seek(20, 1));
  EXPECT_EQ(reader.Read(buffer, 1, 4), 0u);
  EXPECT_TRUE(reader.Seek(4, 2));
  EXPECT_EQ(reader.Tell(), 14u);
  EXPECT_EQ(reader.Read(buffer, 1, 1), 0u);
  EXPECT_EQ(buffer[0], '-');
  // A request of more than 4 GiB does not wrap: the 10 bytes are taken, no whole element of 64 KiB.
  reader.Rewind();
  EXPECT_EQ(reader.Read(buffer, 0x10000, 0x10001), 0u);
  EXPECT_EQ(reader.Tell(), 10u);
  reader.Rewind();
  EXPECT_EQ(reader.Read(buffer, 3, 0xFFFFFFFFu), 3u);
  EXPECT_EQ(std::string(buffer, 9), "012345678");

  DebugCapture capture;
  EXPECT_EQ(reader.Write("ab", 1, 2), 0u);
  EXPECT_FALSE(reader.Create("y", 1));
  EXPECT_FALSE(reader.IsOpen());  // Create closes
  auto texts = capture.Texts();
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_BYTES(texts[0], "CCompressFileBase::Write() 圧縮ファイル書き出しには対応していません。");
  EXPECT_BYTES(texts[1], "CCompressFileBase::Create() 圧縮ファイルの作成には対応していません。");
  EXPECT_GE(reader.releases, 2);
}

TEST(PlainFile, ReadWriteAndShortReads) {
  ScratchFolder folder;
  std::string path = folder / "plain.bin";
  CPlainFile file;
  ASSERT_TRUE(file.Create(path, 1));
  EXPECT_EQ(file.Write("0123456789", 5, 2), 2u);
  EXPECT_EQ(file.Write("x", 0, 1), 0u);
  file.Close();
  ASSERT_TRUE(file.Create(path, 0));  // appends
  EXPECT_EQ(file.Write("abcdefghij", 1, 10), 10u);
  file.Close();

  ASSERT_EQ(file.Open(path), 1);
  EXPECT_EQ(file.GetSize(), 20u);
  char buffer[64] = {};
  EXPECT_EQ(file.Read(buffer, 1, 2), 2u);
  EXPECT_EQ(file.Read(buffer, 4, 10), 4u);  // 18 remain: four whole elements
  EXPECT_EQ(std::string(buffer, 18), "23456789abcdefghij");
  EXPECT_EQ(file.Tell(), 20u);
  EXPECT_TRUE(file.Seek(-4, 2));
  EXPECT_EQ(file.Read(buffer, 1, 10), 4u);
  EXPECT_FALSE(file.Seek(0, 7));
  file.Rewind();
  EXPECT_EQ(file.Read(buffer, 0x10000, 0x10001), 0u);  // no wrap in the request size
  EXPECT_EQ(file.Tell(), 20u);
  file.Rewind();
  EXPECT_EQ(file.Read(buffer, 3, 0xFFFFFFFFu), 6u);
  file.Close();
  EXPECT_EQ(file.Open(folder / "missing.bin"), 0);
}

TEST(PlainFile, FilesPast4GiBOpenOnlyWhereTheirSizeCanBeDescribed) {
  ScratchFolder folder;
  const std::string path = folder / ("大きい" + kHyo + kSo + ".bin");
  const uint64_t size = (uint64_t(1) << 32) + 10;
  const std::string tail = "0123456789";
  if (!MakeSparseFile(path, size, {{size - 10, tail}, {0, "head"}})) {
    GTEST_SKIP() << kHostLacks << "no room for a sparse file of 4 GiB here";
  }
  // Through the 32-bit slots the file cannot be described: it does not open (a cut size would make a
  // copy of 10 bytes look complete), and the front finds nothing.
  CPlainFile slot;
  EXPECT_EQ(slot.Open(path), 0);
  EXPECT_FALSE(slot.IsOpen());
  CFile front;
  EXPECT_EQ(front.Open(path), 0);
  EXPECT_EQ(front.GetSize(), 0u);

  // Opened for large files: the whole size, and reads near the end.
  CPlainFile large;
  ASSERT_EQ(large.OpenLarge(path), 1);
  EXPECT_EQ(large.GetSize64(), size);
  EXPECT_EQ(large.GetSize(), 0xFFFFFFFFu) << "never a cut size";
  char buffer[32] = {};
  EXPECT_EQ(large.Read(buffer, 1, 4), 4u);
  EXPECT_EQ(std::string(buffer, 4), "head");
  ASSERT_TRUE(large.SeekTo64(size - 6));
  EXPECT_EQ(large.Tell64(), size - 6);
  EXPECT_EQ(large.Tell(), 0xFFFFFFFFu);
  EXPECT_EQ(large.Read(buffer, 1, 32), 6u) << "the rest up to the end";
  EXPECT_EQ(std::string(buffer, 6), "456789");
  EXPECT_EQ(large.Tell64(), size);
  ASSERT_TRUE(large.SeekTo64(size - 10));
  EXPECT_EQ(large.Read(buffer, 4, 3), 2u) << "whole elements: 8 of the 10 bytes";
  EXPECT_TRUE(large.Seek(-3, 2));
  EXPECT_EQ(large.Tell64(), size - 3);
  EXPECT_TRUE(large.Seek(-0x7FFFFFFF, 1));
  EXPECT_EQ(large.Tell64(), size - 3 - 0x7FFFFFFF);
  large.Close();
  EXPECT_EQ(large.Tell(), 0u);
  DeleteFileA(path.c_str());
}

TEST(PlainFile, PositionsStayWithin32BitsThroughTheSlots) {
  ScratchFolder folder;
  const std::string path = folder / (kNo + "予十.bin");
  CPlainFile file;
  ASSERT_TRUE(file.Create(path, 1));
  EXPECT_EQ(file.Write("abc", 1, 3), 3u);
  // Seeks may go past the end, but not past what Tell can answer.
  ASSERT_TRUE(file.Seek(0x7FFFFFFF, 0));
  ASSERT_TRUE(file.Seek(0x7FFFFFFF, 1));
  EXPECT_EQ(file.Tell(), 0xFFFFFFFEu);
  EXPECT_TRUE(file.Seek(1, 1));
  EXPECT_EQ(file.Tell(), 0xFFFFFFFFu);
  EXPECT_FALSE(file.Seek(1, 1));
  EXPECT_EQ(file.Tell(), 0xFFFFFFFFu) << "a refused seek moves nothing";
  EXPECT_FALSE(file.Seek(-4, 0));
  // A write that would end past 4 GiB is refused before anything is written.
  EXPECT_EQ(file.Write("x", 1, 1), 0u);
  EXPECT_FALSE(file.Seek(-4, 2)) << "before the start";
  EXPECT_TRUE(file.Seek(-3, 2));
  EXPECT_EQ(file.Tell(), 0u);
  EXPECT_FALSE(file.Seek(-1, 1));
  file.Close();
  ASSERT_EQ(file.Open(path), 1);
  EXPECT_EQ(file.GetSize(), 3u);
  file.Close();
}

TEST(FileFront, OpensLooseFilesAndCreates) {
  ScratchFolder folder;
  CFile file;
  EXPECT_EQ(file.Open(""), 0);
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(file.GetSize(), 0u);
  EXPECT_EQ(file.Read(nullptr, 1, 1), 0u);

  ASSERT_TRUE(file.Create(folder / "made.txt", 1));
  EXPECT_EQ(file.Write("hello", 1, 5), 5u);
  file.Close();
  ASSERT_EQ(file.Open(folder / "made.txt"), 1);
  EXPECT_EQ(file.GetSize(), 5u);
  char buffer[8] = {};
  EXPECT_EQ(file.Read(buffer, 5, 1), 1u);
  EXPECT_EQ(std::string(buffer, 5), "hello");

  // A relative name resolves against the current directory.
  std::string previous = GetCurrentDirectoryPath();
  ASSERT_TRUE(ChangeCurrentDirectory(folder.Path()));
  EXPECT_EQ(file.Open("made.txt"), 1);
  ChangeCurrentDirectory(previous);

  DebugCapture capture;
  EXPECT_FALSE(file.Create(folder / "no-such-folder\\x.txt", 1));
  EXPECT_FALSE(file.IsOpen());
  auto texts = capture.Texts();
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_BYTES(texts[0],
               "error：ファイルの作成に失敗しました。<" + folder / "no-such-folder\\x.txt" + "> [CFile::Create()]");
  EXPECT_EQ(file.Open(folder / "absent.txt"), 0);
}

TEST(FileFront, FindsARelativeNameBelowDataGamedataOfACdRomDrive) {
  if (HarnessSetting("ADDON_CD_DRIVES") != "EFG") GTEST_SKIP() << "the harness configures CD-ROM drives";
  ASSERT_TRUE(WriteFileMakingFolders("F:\\data\\gamedata\\front-test\\on-disc.txt", "from F"));
  ScratchFolder folder;
  std::string previous = GetCurrentDirectoryPath();
  ASSERT_TRUE(ChangeCurrentDirectory(folder.Path()));
  CFile file;
  int relative = file.Open("front-test\\on-disc.txt");
  uint32_t size = file.GetSize();
  // An absolute name is never looked for on a disc.
  int absolute = file.Open(folder / "front-test\\on-disc.txt");
  ChangeCurrentDirectory(previous);
  RemoveTree("F:\\data");
  EXPECT_EQ(relative, 1);
  EXPECT_EQ(size, 6u);
  EXPECT_EQ(absolute, 0);
}
