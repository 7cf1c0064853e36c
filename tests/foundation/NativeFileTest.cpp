#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "foundation/NativeFile.h"
#include "tests/support/TestSupport.h"

namespace {

using testing_support::ReadWholeFile;
using testing_support::ScratchFolder;
using testing_support::WriteWholeFile;

constexpr uint64_t kAllOnes = ~uint64_t{0};

std::string ReadString(CNativeFile& file, DWORD count, bool* ok) {
  std::string bytes(count, '\0');
  *ok = file.Read(bytes.data(), count);
  return bytes;
}

TEST(NativeFile, ClosedOrMissingFileAnswersTheFailureValues) {
  ScratchFolder folder;
  CNativeFile file;
  EXPECT_FALSE(file.OpenRead(folder / "missing.bin"));
  EXPECT_FALSE(file.IsOpen());
  EXPECT_FALSE(file.OpenRead(nullptr));
  EXPECT_FALSE(file.OpenWrite(folder / "no-such-folder\\file.bin", true));
  EXPECT_FALSE(file.IsOpen());
  EXPECT_FALSE(file.IsOpenForWrite());

  char buffer[4] = {};
  EXPECT_FALSE(file.Read(buffer, sizeof buffer));
  EXPECT_FALSE(file.Read(buffer, 0));
  EXPECT_FALSE(file.Write(buffer, sizeof buffer));
  EXPECT_FALSE(file.Seek(0, FILE_BEGIN));
  EXPECT_FALSE(file.Rewind());
  EXPECT_EQ(file.Tell(), 0u);
  EXPECT_EQ(file.GetSize(), 0xFFFFFFFFu);
  EXPECT_EQ(file.GetSize64(), kAllOnes);
  file.Close();  // harmless
}

TEST(NativeFile, ReadDeliversWholeCountsOrLeavesThePositionAlone) {
  ScratchFolder folder;
  ASSERT_TRUE(WriteWholeFile(folder / "digits.txt", "0123456789"));
  CNativeFile file;
  ASSERT_TRUE(file.OpenRead(folder / "digits.txt"));
  EXPECT_TRUE(file.IsOpen());
  EXPECT_FALSE(file.IsOpenForWrite());
  EXPECT_EQ(file.GetSize(), 10u);
  EXPECT_EQ(file.GetSize64(), 10u);

  bool ok = false;
  EXPECT_EQ(ReadString(file, 4, &ok), "0123");
  EXPECT_TRUE(ok);
  EXPECT_EQ(file.Tell(), 4u);

  // More than remains: fails and the position stays at the start of the read.
  ReadString(file, 10, &ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(file.Tell(), 4u);

  EXPECT_TRUE(file.Read(nullptr, 0));
  EXPECT_EQ(file.Tell(), 4u);
  EXPECT_FALSE(file.Read(nullptr, 1));

  EXPECT_EQ(ReadString(file, 6, &ok), "456789");
  EXPECT_TRUE(ok);
  EXPECT_EQ(file.Tell(), 10u);
  ReadString(file, 1, &ok);  // at the end
  EXPECT_FALSE(ok);
  EXPECT_EQ(file.Tell(), 10u);
  EXPECT_TRUE(file.Read(nullptr, 0));

  // Moving about.
  EXPECT_TRUE(file.Seek(-3, FILE_END));
  EXPECT_EQ(file.Tell(), 7u);
  EXPECT_TRUE(file.Seek(2, FILE_CURRENT));
  EXPECT_EQ(file.Tell(), 9u);
  EXPECT_FALSE(file.Seek(-1, FILE_BEGIN));
  EXPECT_FALSE(file.Seek(0, 7));
  EXPECT_EQ(file.Tell(), 9u);
  EXPECT_TRUE(file.Rewind());
  EXPECT_EQ(ReadString(file, 10, &ok), "0123456789");
  EXPECT_TRUE(ok);

  // A file open for reading cannot be written: the failed write leaves the position.
  ASSERT_TRUE(file.Seek(5, FILE_BEGIN));
  EXPECT_FALSE(file.Write("xy", 2));
  EXPECT_EQ(file.Tell(), 5u);

  file.Close();
  EXPECT_FALSE(file.IsOpen());
  std::string contents;
  ASSERT_TRUE(ReadWholeFile(folder / "digits.txt", &contents));
  EXPECT_EQ(contents, "0123456789");
}

// Reads and writes land where the previous operations left the position, through every kind of move.
TEST(NativeFile, PositionFollowsReadsWritesSeeksAndFailures) {
  ScratchFolder scratch;
  const std::string path = scratch / "position.bin";
  CNativeFile file;
  ASSERT_TRUE(file.OpenWrite(path, true));
  ASSERT_TRUE(file.Write("0123456789", 10));
  ASSERT_TRUE(file.Seek(-4, FILE_CURRENT));
  EXPECT_EQ(file.Tell(), 6u);
  ASSERT_TRUE(file.Write("ab", 2));
  bool ok = false;
  EXPECT_EQ(ReadString(file, 2, &ok), "89");
  EXPECT_TRUE(ok);
  EXPECT_EQ(file.Tell(), 10u);
  ASSERT_TRUE(file.Seek(3, FILE_BEGIN));
  EXPECT_EQ(ReadString(file, 3, &ok), "345");
  EXPECT_FALSE(file.Read(std::string(8, '\0').data(), 8));  // past the end: back to 6
  EXPECT_EQ(file.Tell(), 6u);
  ASSERT_TRUE(file.Write("Z", 1));
  EXPECT_FALSE(file.Seek(-100, FILE_BEGIN));
  ASSERT_TRUE(file.Seek(0, FILE_END));
  ASSERT_TRUE(file.Write("!", 1));
  file.Close();
  std::string bytes;
  ASSERT_TRUE(ReadWholeFile(path, &bytes));
  EXPECT_EQ(bytes, "012345Zb89!");

  ASSERT_TRUE(file.OpenWrite(path, false));
  EXPECT_EQ(file.Tell(), 11u) << "append starts at the end";
  ASSERT_TRUE(file.OpenRead(path));
  EXPECT_EQ(file.Tell(), 0u);
}

TEST(NativeFile, OpenWriteTruncatesOrAppends) {
  ScratchFolder folder;
  const std::string path = folder / "out.bin";
  ASSERT_TRUE(WriteWholeFile(path, "old contents"));

  CNativeFile file;
  ASSERT_TRUE(file.OpenWrite(path, true));
  EXPECT_TRUE(file.IsOpenForWrite());
  EXPECT_EQ(file.GetSize(), 0u);
  EXPECT_EQ(file.Tell(), 0u);
  EXPECT_TRUE(file.Write("abc", 3));
  EXPECT_EQ(file.Tell(), 3u);
  // Writing nothing fails and moves nothing.
  EXPECT_FALSE(file.Write("zzz", 0));
  EXPECT_EQ(file.Tell(), 3u);
  EXPECT_EQ(file.GetSize(), 3u);
  file.Close();
  EXPECT_FALSE(file.IsOpenForWrite());

  ASSERT_TRUE(file.OpenWrite(path, false));
  EXPECT_EQ(file.Tell(), 3u);  // at the end
  EXPECT_TRUE(file.Write("de", 2));
  // Open for writing is open for reading too.
  ASSERT_TRUE(file.Rewind());
  bool ok = false;
  EXPECT_EQ(ReadString(file, 5, &ok), "abcde");
  EXPECT_TRUE(ok);
  file.Close();
  std::string contents;
  ASSERT_TRUE(ReadWholeFile(path, &contents));
  EXPECT_EQ(contents, "abcde");

  // Appending to a missing file creates it.
  ASSERT_TRUE(file.OpenWrite(folder / "new.bin", false));
  EXPECT_EQ(file.GetSize64(), 0u);
  EXPECT_EQ(file.Tell(), 0u);
  file.Close();
  EXPECT_TRUE(testing_support::FileExists(folder / "new.bin"));
}

TEST(NativeFile, WriteThroughOpensAndWrites) {
  ScratchFolder folder;
  CNativeFile file;
  file.writeThrough = true;
  ASSERT_TRUE(file.OpenWrite(folder / "through.bin", true));
  std::vector<char> chunk(16384);
  for (size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<char>(i * 7);
  EXPECT_TRUE(file.Write(chunk.data(), static_cast<DWORD>(chunk.size())));
  EXPECT_TRUE(file.Write(chunk.data(), 100));
  EXPECT_EQ(file.GetSize(), 16484u);
  file.Close();
  std::string contents;
  ASSERT_TRUE(ReadWholeFile(folder / "through.bin", &contents));
  ASSERT_EQ(contents.size(), 16484u);
  EXPECT_EQ(std::memcmp(contents.data(), chunk.data(), chunk.size()), 0);
  EXPECT_EQ(std::memcmp(contents.data() + chunk.size(), chunk.data(), 100), 0);
}

TEST(NativeFile, SharingAndReopeningCloseWhatWasOpen) {
  ScratchFolder folder;
  ASSERT_TRUE(WriteWholeFile(folder / "a.txt", "aaa"));
  ASSERT_TRUE(WriteWholeFile(folder / "b.txt", "bbbb"));

  CNativeFile reader1, reader2, writer;
  ASSERT_TRUE(reader1.OpenRead(folder / "a.txt"));
  EXPECT_TRUE(reader2.OpenRead(folder / "a.txt"));  // readers share
  ASSERT_TRUE(writer.OpenWrite(folder / "b.txt", false));
  EXPECT_EQ(writer.Tell(), 4u);

  // Writing a file that readers hold fails; the writer's earlier file is closed all the same.
  EXPECT_FALSE(writer.OpenWrite(folder / "a.txt", true));
  EXPECT_FALSE(writer.IsOpen());
  EXPECT_FALSE(writer.IsOpenForWrite());
  CNativeFile probe;
  EXPECT_TRUE(probe.OpenWrite(folder / "b.txt", false));  // b.txt was let go
  // A file open for writing is not shared.
  EXPECT_FALSE(reader1.OpenRead(folder / "b.txt"));
  EXPECT_FALSE(reader1.IsOpen());
  probe.Close();

  // Reopening moves to the new file.
  ASSERT_TRUE(reader2.OpenRead(folder / "b.txt"));
  EXPECT_EQ(reader2.GetSize(), 4u);
  EXPECT_TRUE(writer.OpenWrite(folder / "a.txt", true));  // no reader left on a.txt
}

TEST(NativeFile, SizesOfFourGibibytesAndMore) {
  ScratchFolder folder;
  const std::string path = folder / "huge.bin";
  const uint64_t size = (uint64_t{1} << 32) + 16;
  {
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    DWORD returned = 0;
    DeviceIoControl(handle, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);  // best effort
    LONG high = static_cast<LONG>(size >> 32);
    bool made =
        SetFilePointer(handle, static_cast<LONG>(size & 0xFFFFFFFF), &high, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
        SetEndOfFile(handle);
    CloseHandle(handle);
    if (!made) GTEST_SKIP() << testing_support::kHostLacks << "no room for a sparse file of 4 GiB here";
  }

  CNativeFile file;
  ASSERT_TRUE(file.OpenRead(path));
  EXPECT_EQ(file.GetSize(), 16u);
  EXPECT_EQ(file.GetSize64(), size);

  // A failed read past 4 GiB goes back to where it began, not to a 32-bit cut of it.
  ASSERT_TRUE(file.Seek(-8, FILE_END));
  EXPECT_EQ(file.Tell(), 0u);  // beyond what 32 bits hold
  char buffer[16];
  EXPECT_FALSE(file.Read(buffer, 16));
  EXPECT_TRUE(file.Read(buffer, 8));
  EXPECT_FALSE(file.Read(buffer, 1));  // at the end
  EXPECT_EQ(file.Tell64(), size);

  // Absolute 64-bit seeks: reading the last bytes from their offset, and back below 4 GiB.
  ASSERT_TRUE(file.SeekTo64(size - 4));
  EXPECT_EQ(file.Tell64(), size - 4);
  EXPECT_TRUE(file.Read(buffer, 4));
  EXPECT_FALSE(file.Read(buffer, 1));
  ASSERT_TRUE(file.SeekTo64(3));
  EXPECT_EQ(file.Tell(), 3u);
  EXPECT_EQ(file.Tell64(), 3u);
  EXPECT_FALSE(file.SeekTo64(~uint64_t{0}));
  file.Close();
  EXPECT_EQ(file.Tell64(), ~uint64_t{0});
  EXPECT_FALSE(file.SeekTo64(0));
  DeleteFileA(path.c_str());
}

TEST(NativeFile, FailedWriteOnAFullDiskLeavesThePositionAndTheReason) {
  std::string drive = testing_support::HarnessSetting("ADDON_SMALL_DRIVE");
  if (drive.empty()) GTEST_SKIP() << testing_support::kHostLacks << "no small drive in this environment";
  const std::string path = drive + "\\native-file-full.bin";
  CNativeFile file;
  ASSERT_TRUE(file.OpenWrite(path, true));
  std::vector<char> chunk(1 << 20, 'x');
  DWORD before = 0;
  bool failed = false;
  for (int i = 0; i < 64 && !failed; ++i) {
    before = file.Tell();
    failed = !file.Write(chunk.data(), static_cast<DWORD>(chunk.size()));
  }
  EXPECT_TRUE(failed);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL)) << "the reason survives the move back";
  EXPECT_EQ(file.Tell(), before);
  EXPECT_GT(before, 0u);
  file.Close();
  DeleteFileA(path.c_str());
}

}  // namespace
