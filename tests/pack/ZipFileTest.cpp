// The pack readers and the file front's choice among them, on packs in a scratch folder and on a
// CD-ROM drive of the test prefix: where a file is looked for, in which order, and what damaged packs
// do.

#include "pack/ZipFile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "foundation/Folders.h"
#include "pack/File.h"
#include "pack/PackFormat.h"
#include "pack/PackIndexCache.h"
#include "tests/pack/HandPacks.h"
#include "tests/pack/SparseFile.h"
#include "tests/support/TestSupport.h"
#include "tests/support/ToolRun.h"

using namespace testing_support;

namespace {

using Members = std::vector<std::pair<std::string, std::string>>;

bool WriteArchive(const std::string& path, const Members& members) {
  std::string bytes;
  return BuildPackArchive(members, 6, &bytes) && WriteFileMakingFolders(path, bytes);
}

bool WriteSingle(const std::string& path, const std::string& storedName, const std::string& contents) {
  std::string bytes;
  return BuildSinglePack(storedName, contents, 6, &bytes) && WriteFileMakingFolders(path, bytes);
}

template <size_t N>
std::string FromArray(const uint8_t (&bytes)[N]) {
  return std::string(reinterpret_cast<const char*>(bytes), N);
}

// Opens `name` through CFile and reads it whole; "<closed>" when the open fails.
std::string ReadThroughFront(const std::string& name, int* result = nullptr) {
  CFile file;
  int r = file.Open(name);
  if (result) *result = r;
  if (r != 1) return file.IsOpen() ? "<open after failure>" : "<closed>";
  std::string bytes(file.GetSize(), '\0');
  if (!bytes.empty() && file.Read(&bytes[0], 1, static_cast<uint32_t>(bytes.size())) != bytes.size()) return "<short>";
  return bytes;
}

void Put32(std::string& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}

// Makes the folder the current directory while it lives.
class CurrentDirectory {
 public:
  explicit CurrentDirectory(const std::string& path) : previous_(GetCurrentDirectoryPath()) {
    EXPECT_TRUE(ChangeCurrentDirectory(path));
  }
  ~CurrentDirectory() { ChangeCurrentDirectory(previous_); }

 private:
  std::string previous_;
};

}  // namespace

TEST(PackSearch, NearestPackArchiveWinsAndNamesMatchAcrossCaseAndSeparators) {
  ScratchFolder folder;
  std::string g = folder / "g";
  ASSERT_TRUE(WriteArchive(g + "\\data.pak", {{"Sub/V_006_000.BMP", "near"}, {"v.bmp", "near v"}}));
  ASSERT_TRUE(WriteArchive(folder / "g.pak", {{"data\\v.bmp", "far v"}, {"data\\w.bmp", "far w"}}));
  ASSERT_TRUE(MakeFolders(g + "\\data"));

  std::string pack, member;
  ASSERT_TRUE(FindPackArchive(g + "\\data\\sub\\v_006_000.bmp", pack, member));
  EXPECT_EQ(pack, g + "\\data.pak");
  EXPECT_EQ(member, "sub\\v_006_000.bmp");
  ASSERT_TRUE(FindPackArchive(g + "\\data\\w.bmp", pack, member));
  EXPECT_EQ(pack, folder / "g.pak");
  EXPECT_EQ(member, "data\\w.bmp");
  EXPECT_FALSE(FindPackArchive(g + "\\data\\x.bmp", pack, member));
  EXPECT_TRUE(PackArchiveContains(g + "\\data.pak", "SUB\\v_006_000.bmp"));
  EXPECT_FALSE(PackArchiveContains(g + "\\data.pak", "data\\v.bmp"));

  EXPECT_EQ(ReadThroughFront(g + "\\data\\sub\\v_006_000.bmp"), "near");
  EXPECT_EQ(ReadThroughFront(g + "\\data\\V.BMP"), "near v");
  EXPECT_EQ(ReadThroughFront(g + "\\data\\w.bmp"), "far w");
  int result = 0;
  EXPECT_EQ(ReadThroughFront(g + "\\data\\x.bmp", &result), "<closed>");
  EXPECT_EQ(result, 0);

  // A pack whose index lists nothing: the search moves on to the next folder up.
  ASSERT_TRUE(
      WriteFileMakingFolders(g + "\\data.pak", MakePackHeader(PackVariant::kArchive, 4) + std::string(4, '\0')));
  EXPECT_EQ(ReadThroughFront(g + "\\data\\v.bmp"), "far v");
  // Neither is a file that is not a 4A pack, nor a folder named like a pack.
  ASSERT_TRUE(WriteFileMakingFolders(g + "\\data.pak", FromArray(kHandSingle)));
  EXPECT_EQ(ReadThroughFront(g + "\\data\\v.bmp"), "far v");
  RemoveFile(g + "\\data.pak");
  ASSERT_TRUE(MakeFolders(g + "\\data.pak"));
  EXPECT_EQ(ReadThroughFront(g + "\\data\\v.bmp"), "far v");
}

TEST(PackSearch, HandWrittenPacksReadThroughTheFront) {
  ScratchFolder folder;
  ASSERT_TRUE(WriteFileMakingFolders(folder / "h.pak", FromArray(kHandArchive)));
  EXPECT_EQ(ReadThroughFront(folder / "h\\sub\\hello.txt"), "hello");
  EXPECT_EQ(ReadThroughFront(folder / "h\\A\\\xE0\x40.bin"), std::string("\0\1\2", 3));
  ASSERT_TRUE(WriteFileMakingFolders(folder / "V_006_00098109112.pak", FromArray(kHandSingle)));
  EXPECT_EQ(ReadThroughFront(folder / "v_006_000.bmp"), "BMdata");

  // The open reader serves reads and seeks from memory and refuses writes.
  CFile file;
  ASSERT_EQ(file.Open(folder / "h\\sub\\hello.txt"), 1);
  EXPECT_EQ(file.GetSize(), 5u);
  EXPECT_TRUE(file.Seek(-2, 2));
  char buffer[8] = {};
  EXPECT_EQ(file.Read(buffer, 1, 8), 2u);
  EXPECT_EQ(std::string(buffer, 2), "lo");
  EXPECT_EQ(file.Write("x", 1, 1), 0u);
}

TEST(PackSearch, SinglePackPathsAndStoredNames) {
  ScratchFolder folder;
  EXPECT_EQ(GetSinglePackPath(folder / "v_006_000.bmp"), folder / "v_006_00098109112.pak");
  EXPECT_EQ(GetSinglePackPath(folder / "V.BMP"), folder / "V667780.pak");
  EXPECT_EQ(GetSinglePackPath(folder / "noext"), folder / "noext.pak");
  // Bytes above 0x7F count negative: E0 gives -32.
  EXPECT_EQ(GetSinglePackPath(folder / "a.\xE0\x40"), folder / "a-3264.pak");
  {
    CurrentDirectory here(folder.Path());
    EXPECT_EQ(GetSinglePackPath("data\\x.b"), folder / "data\\x98.pak");
  }

  ASSERT_TRUE(WriteSingle(folder / "v_006_00098109112.pak", "V_006_000.BMP", "single"));
  EXPECT_TRUE(IsSinglePackFor(folder / "v_006_000.bmp"));
  EXPECT_EQ(ReadThroughFront(folder / "v_006_000.bmp"), "single");

  // Another stored name (the same title, another byte): the pack is not this file's, and the file
  // front falls back to the archive reader.
  ASSERT_TRUE(WriteSingle(folder / "v_006_00098109112.pak", "v_006_001.bmp", "other"));
  EXPECT_FALSE(IsSinglePackFor(folder / "v_006_000.bmp"));
  EXPECT_EQ(ReadThroughFront(folder / "v_006_000.bmp"), "<closed>");
  ASSERT_TRUE(WriteArchive(folder.Path() + ".pak", {{"v_006_000.bmp", "from the archive"}}));
  EXPECT_EQ(ReadThroughFront(folder / "v_006_000.bmp"), "from the archive");
  RemoveFile(folder.Path() + ".pak");

  CZipSingleFile single;
  EXPECT_EQ(single.Open(folder / "v_006_000.bmp"), 0);
  EXPECT_FALSE(single.IsOpen());
  EXPECT_EQ(single.Open(folder / "v_006_001.bmp"), 0);  // another pack name: none there
}

TEST(PackSearch, WizardBitmapFoundAsSinglePackMemberOrParentMember) {
  ScratchFolder folder;
  CurrentDirectory here(folder.Path());
  const std::string name = "data\\v_006_000.bmp";
  // The scratch folder plays C:\s: first C:\s.pak's member data\v_006_000.bmp, then C:\s\data.pak's
  // member, then the single-file pack, then the loose file, each taking over from the one before.
  ASSERT_TRUE(WriteArchive(folder.Path() + ".pak", {{"data\\v_006_000.bmp", "parent archive"}}));
  EXPECT_EQ(ReadThroughFront(name), "parent archive");
  ASSERT_TRUE(WriteArchive(folder / "data.pak", {{"v_006_000.bmp", "archive"}}));
  EXPECT_EQ(ReadThroughFront(name), "archive");
  ASSERT_TRUE(WriteSingle(folder / "data\\v_006_00098109112.pak", "v_006_000.bmp", "single"));
  EXPECT_EQ(ReadThroughFront(name), "single");
  ASSERT_TRUE(WriteFileMakingFolders(folder / name, "loose"));
  EXPECT_EQ(ReadThroughFront(name), "loose");
  RemoveFile(folder.Path() + ".pak");
}

TEST(PackSearch, LooseFileIsNeverLookedPast) {
  ScratchFolder folder;
  ASSERT_TRUE(WriteArchive(folder / "d.pak", {{"x.bin", "packed"}}));
  ASSERT_TRUE(WriteFileMakingFolders(folder / "d\\x.bin", "loose"));
  EXPECT_EQ(ReadThroughFront(folder / "d\\x.bin"), "loose");
  // Locked by another open that shares nothing: the loose file does not open, and the pack is not
  // tried in its place.
  HANDLE lock = CreateFileA((folder / "d\\x.bin").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  int result = -2;
  EXPECT_EQ(ReadThroughFront(folder / "d\\x.bin", &result), "<closed>");
  EXPECT_EQ(result, 0);
  CloseHandle(lock);
}

TEST(PackSearch, WrongScrambleConstantFailsToInflate) {
  ScratchFolder folder;
  std::string pack;
  ASSERT_TRUE(BuildPackArchive({{"x.bin", std::string(100, 'x')}}, 6, &pack));
  // Scramble the stored block again with another constant: as if written by a tool with another one.
  PackIndex index(reinterpret_cast<const uint8_t*>(pack.data()) + kPackHeaderSize, pack.size() - kPackHeaderSize);
  ASSERT_EQ(index.GetCount(), 1u);
  uint8_t* block = reinterpret_cast<uint8_t*>(&pack[index.GetAt(0).offset]);
  ScramblePackHead(block, index.GetAt(0).length);
  ScramblePackHead(block, index.GetAt(0).length, 0x6C);
  ASSERT_TRUE(WriteFileMakingFolders(folder / "d.pak", pack));
  CZipArchiveFile reader;
  EXPECT_EQ(reader.Open(folder / "d\\x.bin"), -1);
  EXPECT_FALSE(reader.IsOpen());
  EXPECT_EQ(reader.GetSize(), 0u);
  int result = 0;
  EXPECT_EQ(ReadThroughFront(folder / "d\\x.bin", &result), "<closed>");
  EXPECT_EQ(result, 0);
}

TEST(PackSearch, DamagedPacksFailCleanly) {
  ScratchFolder folder;
  std::string good = FromArray(kHandArchive);
  const std::string wanted = folder / "h\\sub\\hello.txt";
  auto loadWith = [&](const std::string& bytes) {
    EXPECT_TRUE(WriteFileMakingFolders(folder / "h.pak", bytes));
    CZipArchiveFile reader;
    int result = reader.Open(wanted);
    EXPECT_EQ(reader.IsOpen(), result == 1);
    if (result != 1) {
      EXPECT_EQ(reader.GetSize(), 0u);
    }
    return result;
  };
  ASSERT_EQ(loadWith(good), 1);
  const uint32_t key = 0x47B;  // of "Sub/Hello.TXT"; its numbers are at 32 and 36, its block at 0x41
  auto withPlace = [&](uint32_t offset, uint32_t length) {
    std::string bytes = good;
    Put32(bytes, 32, offset ^ key);
    Put32(bytes, 36, length ^ key);
    return bytes;
  };
  EXPECT_EQ(loadWith(withPlace(0x41, 17)), 1);
  EXPECT_EQ(loadWith(withPlace(0x41, 18)), -1);           // past the end of the file
  EXPECT_EQ(loadWith(withPlace(0xFFFFFFF0u, 0x20)), -1);  // offset + length wraps in 32 bits
  EXPECT_EQ(loadWith(withPlace(0x41, 0xFFFFFFFFu)), -1);  // S + 8 wraps in 32 bits
  EXPECT_EQ(loadWith(withPlace(0x41, 4)), -1);            // too short for a stream and its trailer
  std::string claim = good;
  Put32(claim, 0x41 + 13, 0xFFFFFFFFu);  // L + 1 wraps
  EXPECT_EQ(loadWith(claim), -1);
  Put32(claim, 0x41 + 13, 13 * 1032 + 1);  // more than 13 stream bytes can give
  EXPECT_EQ(loadWith(claim), -1);
  // The index declared shorter than its first entry: nothing is listed, so no pack holds the file.
  std::string cut = good;
  Put32(cut, 10, 25);
  EXPECT_EQ(loadWith(cut), 0);
  // Declared longer than the file: the index cannot be read.
  Put32(cut, 10, 0xFFFFFFF0u);
  EXPECT_EQ(loadWith(cut), 0);
  // A name length above 264 before the member: the walk ends, the member is not found.
  std::string longName = good.substr(0, 14) + std::string("\x09\x01\x00\x00", 4) + std::string(265, 'n') +
                         std::string(8, '\0') + good.substr(14);
  Put32(longName, 10, 0x33 + 4 + 265 + 8);
  EXPECT_EQ(loadWith(longName), 0);
  // A single-file pack with a hostile name length, and one cut short in its block.
  ASSERT_TRUE(WriteFileMakingFolders(folder / "v_006_00098109112.pak",
                                     MakePackHeader(PackVariant::kSingle, 0x100) + std::string(0x100 + 8, 'n')));
  EXPECT_FALSE(IsSinglePackFor(folder / "v_006_000.bmp"));
  std::string single = FromArray(kHandSingle);
  single.pop_back();
  ASSERT_TRUE(WriteFileMakingFolders(folder / "v_006_00098109112.pak", single));
  EXPECT_TRUE(IsSinglePackFor(folder / "v_006_000.bmp"));
  CZipSingleFile reader;
  EXPECT_EQ(reader.Open(folder / "v_006_000.bmp"), 0);
  EXPECT_FALSE(reader.IsOpen());
}

TEST(PackSearch, RewrittenPackIsReadAgain) {
  ScratchFolder folder;
  ASSERT_TRUE(WriteArchive(folder / "d.pak", {{"a.txt", "first"}}));
  EXPECT_EQ(ReadThroughFront(folder / "d\\a.txt"), "first");
  // The same size, with another last-write time.
  ASSERT_TRUE(WriteArchive(folder / "d.pak", {{"a.txt", "again"}}));
  HANDLE file = CreateFileA((folder / "d.pak").c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  FILETIME time = {0x12345678u, 0x01D00000u};
  SetFileTime(file, nullptr, nullptr, &time);
  CloseHandle(file);
  EXPECT_EQ(ReadThroughFront(folder / "d\\a.txt"), "again");
  ASSERT_TRUE(WriteArchive(folder / "d.pak", {{"b.txt", "other members"}}));
  EXPECT_EQ(ReadThroughFront(folder / "d\\a.txt"), "<closed>");
  EXPECT_EQ(ReadThroughFront(folder / "d\\b.txt"), "other members");
  // Many packs in turn: the kept indexes are replaced, the answers stay right.
  for (int i = 0; i < 40; ++i) {
    std::string name = "p" + std::to_string(i);
    ASSERT_TRUE(WriteArchive(folder / (name + ".pak"), {{"m.txt", name}}));
    EXPECT_EQ(ReadThroughFront(folder / (name + "\\m.txt")), name);
  }
  EXPECT_EQ(ReadThroughFront(folder / "p0\\m.txt"), "p0");
  ClearPackIndexCache();
  EXPECT_EQ(ReadThroughFront(folder / "p1\\m.txt"), "p1");
}

TEST(PackSearch, MemberOfAPackOnACdRomDrive) {
  if (HarnessSetting("ADDON_CD_DRIVES") != "EFG") GTEST_SKIP() << "the harness configures CD-ROM drives";
  ASSERT_TRUE(MakeFolders("F:\\data\\gamedata"));
  ASSERT_TRUE(WriteArchive("F:\\data\\gamedata.pak", {{"pack-test\\On-Disc.bmp", "packed on F"}}));
  ScratchFolder folder;
  std::string relative, absolute;
  {
    CurrentDirectory here(folder.Path());
    relative = ReadThroughFront("pack-test\\on-disc.bmp");
    absolute = ReadThroughFront(folder / "pack-test\\on-disc.bmp");
  }
  RemoveFile("F:\\data\\gamedata.pak");
  RemoveTree("F:\\data");
  EXPECT_EQ(relative, "packed on F");
  EXPECT_EQ(absolute, "<closed>");
}

namespace {

bool SetLastWriteTime(const std::string& path, const FILETIME& time) {
  HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool set = SetFileTime(file, nullptr, nullptr, &time) != FALSE;
  CloseHandle(file);
  return set;
}

}  // namespace

TEST(PackSearch, PackReplacedWithTheSameSizeAndTimeIsNotReadWithTheOldIndex) {
  // A copy that keeps the time (or FAT's two-second times) puts another pack of the same size and
  // index length in place: the kept index would point a member at another member's bytes.
  ScratchFolder folder;
  const std::string pack = folder / ("データ" + kHyo + ".pak");
  const std::string base = folder / ("データ" + kHyo + "\\");
  const std::string a = kSo + "a.bmp", b = kSo + "b.bmp", c = kSo + "c.bmp";
  std::string v1, v2;
  ASSERT_TRUE(BuildPackArchive({{a, "contents of A"}, {b, "contents of B"}}, 6, &v1));
  ASSERT_TRUE(BuildPackArchive({{b, "contents of b"}, {c, "contents of c"}}, 6, &v2));
  ASSERT_EQ(v1.size(), v2.size());
  ASSERT_EQ(v1.substr(0, kPackHeaderSize), v2.substr(0, kPackHeaderSize)) << "same index length";
  const FILETIME time = {0x2468ACE0u, 0x01D50000u};

  ASSERT_TRUE(WriteFileMakingFolders(pack, v1));
  ASSERT_TRUE(SetLastWriteTime(pack, time));
  EXPECT_EQ(ReadThroughFront(base + a), "contents of A");
  EXPECT_EQ(ReadThroughFront(base + b), "contents of B");
  ASSERT_TRUE(WriteFileMakingFolders(pack, v2));
  ASSERT_TRUE(SetLastWriteTime(pack, time));
  int result = 0;
  EXPECT_EQ(ReadThroughFront(base + a, &result), "<closed>");
  EXPECT_EQ(result, 0) << "no pack holds the file any more";
  EXPECT_EQ(ReadThroughFront(base + b), "contents of b");
  EXPECT_EQ(ReadThroughFront(base + c), "contents of c");

  // And back: b's entry in the kept index is the first, where the pack now has a.
  ASSERT_TRUE(WriteFileMakingFolders(pack, v1));
  ASSERT_TRUE(SetLastWriteTime(pack, time));
  EXPECT_EQ(ReadThroughFront(base + b), "contents of B");
  EXPECT_EQ(ReadThroughFront(base + a), "contents of A");
}

TEST(PackSearch, PackThatCouldNotBeReadOnceIsReadWhenItCan) {
  ScratchFolder folder;
  const std::string pack = folder / (kNo + ".pak");
  ASSERT_TRUE(WriteArchive(pack, {{kHyo + "\\予十.txt", "locked once"}}));
  const std::string wanted = folder / (kNo + "\\" + kHyo + "\\予十.txt");
  {
    // Another program holds the pack without sharing it, as while it writes it.
    HANDLE writer = CreateFileA(pack.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    EXPECT_EQ(ReadThroughFront(wanted), "<closed>");
    CloseHandle(writer);
  }
  EXPECT_EQ(ReadThroughFront(wanted), "locked once");
}

TEST(PackSearch, IndexOverItsBudgetIsNoPack) {
  // An index of more entries than a reader may hold is not read at all: the reader answers 0 and the
  // search goes on to the parent folder's pack.
  ScratchFolder folder;
  std::string entry;
  const std::string name = kSo + ".bin";
  const uint32_t key = PackNameKey(name.data(), name.size());
  AppendLittleEndian32(entry, static_cast<uint32_t>(name.size() + 1));
  entry += name;
  entry.push_back('\0');
  AppendLittleEndian32(entry, 0 ^ key);
  AppendLittleEndian32(entry, 5 ^ key);
  std::string index;
  index.reserve(entry.size() * (kPackIndexBudget.entries + 1) + 4);
  for (uint32_t i = 0; i <= kPackIndexBudget.entries; ++i) index += entry;
  AppendLittleEndian32(index, 0);
  const std::string big = folder / ("大" + kHyo + ".pak");
  ASSERT_TRUE(
      WriteFileMakingFolders(big, MakePackHeader(PackVariant::kArchive, static_cast<uint32_t>(index.size())) + index));
  index.clear();
  ASSERT_TRUE(WriteArchive(folder.Path() + ".pak", {{"大" + kHyo + "\\" + name, "from the parent"}}));
  const std::string wanted = folder / ("大" + kHyo + "\\" + name);
  EXPECT_EQ(GetPackArchiveIndex(big), nullptr);
  EXPECT_FALSE(PackArchiveContains(big, name));
  CZipArchiveFile reader;
  std::string pack, member;
  ASSERT_TRUE(FindPackArchive(wanted, pack, member));
  EXPECT_EQ(pack, folder.Path() + ".pak");
  EXPECT_EQ(ReadThroughFront(wanted), "from the parent");
  RemoveFile(folder.Path() + ".pak");
  EXPECT_EQ(reader.Open(wanted), 0);
  EXPECT_FALSE(reader.IsOpen());

  // The tools say so and fail.
  for (const char* command : {"list ", "verify "}) {
    ToolRun run = RunPackTool(folder, command + Quoted(big));
    EXPECT_EQ(run.exitCode, 1u) << command << run.err;
    EXPECT_NE(run.err.find(big), std::string::npos) << command << run.err;
  }
}

TEST(PackSearch, MemberAcrossThe4GiBMarkOfALargePack) {
  // The last member of a pack of more than 4 GiB starts below the mark and ends past it: the reader
  // and `packtool list` find its trailer by a 64-bit position.
  ScratchFolder folder;
  const std::string name = kHyo + "\\" + kSo + "末尾.bin";
  const std::string contents = PatternBytes(3000, 19);
  std::string block;
  ASSERT_TRUE(EncodeStoredBlock(contents.data(), contents.size(), 6, &block));
  PackEntry entry;
  entry.name = name;
  entry.offset = 0xFFFFFF00u;
  entry.length = static_cast<uint32_t>(block.size());
  ASSERT_GT(uint64_t(entry.offset) + entry.length, uint64_t(1) << 32);
  std::string index = MakeIndexBlock({entry});
  const std::string pack = folder / ("大" + kNo + ".pak");
  if (!MakeSparseFile(pack, uint64_t(entry.offset) + entry.length,
                      {{0, MakePackHeader(PackVariant::kArchive, static_cast<uint32_t>(index.size())) + index},
                       {entry.offset, block}})) {
    GTEST_SKIP() << kHostLacks << "no room for a sparse file of 4 GiB here";
  }
  EXPECT_EQ(ReadThroughFront(folder / ("大" + kNo + "\\" + name)), contents);
  ToolRun list = RunPackTool(folder, "list " + Quoted(pack));
  EXPECT_EQ(list.exitCode, 0u) << list.err;
  char line[64];
  std::snprintf(line, sizeof line, "%10u %10u ", 3000u, entry.length);
  EXPECT_NE(list.out.find(line + name + "\r\n"), std::string::npos) << list.out;
  DeleteFileA(pack.c_str());
}
