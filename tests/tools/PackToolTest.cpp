// packtool.exe as scripts call it: exit codes, what it writes, and that its packs read back through the
// project's readers byte for byte (and packs from another encoder through its get).

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "foundation/Folders.h"
#include "pack/File.h"
#include "pack/PackFormat.h"
#include "pack/ZipFile.h"
#include "tests/pack/HandPacks.h"
#include "tests/support/TestSupport.h"
#include "tests/support/ToolRun.h"

using namespace testing_support;

namespace {

std::string ReadThroughFront(const std::string& name) {
  CFile file;
  if (file.Open(name) != 1) return "<closed>";
  std::string bytes(file.GetSize(), '\0');
  if (!bytes.empty() && file.Read(&bytes[0], 1, static_cast<uint32_t>(bytes.size())) != bytes.size()) return "<short>";
  return bytes;
}

}  // namespace

TEST(PackTool, PackedFolderReadsBackByteForByteAndLists) {
  ScratchFolder scratch;
  std::string data = scratch / "data";
  const std::vector<std::pair<std::string, std::string>> files = {
      {"Top.TXT", "top level"},
      {"empty.bin", ""},
      {"sub\\Deep\\random.bin", PatternBytes(70000, 5)},
      {"sub\\" + kSo + "\\text.txt", std::string(50000, 'z')},
  };
  for (const auto& file : files) ASSERT_TRUE(WriteFileMakingFolders(data + "\\" + file.first, file.second));

  ToolRun pack = RunPackTool(scratch, "pack data");
  ASSERT_EQ(pack.exitCode, 0u) << pack.err;
  ASSERT_TRUE(FileExists(scratch / "data.pak"));
  // With the loose files gone, every member comes from the archive, whatever the case asked for.
  ASSERT_TRUE(RemoveTree(data));
  for (const auto& file : files) {
    EXPECT_EQ(ReadThroughFront(data + "\\" + file.first), file.second) << file.first;
  }
  EXPECT_EQ(ReadThroughFront(data + "\\top.txt"), "top level");

  ToolRun list = RunPackTool(scratch, "list data.pak");
  EXPECT_EQ(list.exitCode, 0u) << list.err;
  EXPECT_NE(list.out.find("         9 "), std::string::npos) << list.out;
  EXPECT_NE(list.out.find(" Top.TXT"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find(" sub\\Deep\\random.bin"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("     70000 "), std::string::npos) << list.out;
  EXPECT_NE(list.out.find(" sub\\" + kSo + "\\text.txt"), std::string::npos) << list.out;
  EXPECT_EQ(RunPackTool(scratch, "verify data.pak").exitCode, 0u);

  // Another archive name, and the level: stored (0) is larger than the best compression (9).
  ASSERT_TRUE(WriteFileMakingFolders(scratch / "z\\z.txt", std::string(100000, 'z')));
  ASSERT_EQ(RunPackTool(scratch, "pack z stored.pak --level 0").exitCode, 0u);
  ASSERT_EQ(RunPackTool(scratch, "pack --level 9 z best.pak").exitCode, 0u);
  std::string stored, best;
  ASSERT_TRUE(ReadWholeFile(scratch / "stored.pak", &stored));
  ASSERT_TRUE(ReadWholeFile(scratch / "best.pak", &best));
  EXPECT_GT(stored.size(), 100000u);
  EXPECT_LT(best.size(), 1000u);
  std::vector<uint8_t> out;
  EXPECT_EQ(DecodePackArchiveMember(reinterpret_cast<const uint8_t*>(stored.data()), stored.size(), "z.txt", &out), 1);
  EXPECT_EQ(out.size(), 100000u);

  // An archive written inside the folder it packs does not take itself in, even when packed again.
  ASSERT_EQ(RunPackTool(scratch, "pack z z\\self.pak").exitCode, 0u);
  ASSERT_EQ(RunPackTool(scratch, "pack z z\\self.pak").exitCode, 0u);
  ToolRun self = RunPackTool(scratch, "list z\\self.pak");
  EXPECT_EQ(self.exitCode, 0u);
  EXPECT_NE(self.out.find(" z.txt"), std::string::npos) << self.out;
  EXPECT_EQ(self.out.find("self.pak"), std::string::npos) << self.out;
}

TEST(PackTool, SingleFilePackAndGet) {
  ScratchFolder scratch;
  ASSERT_TRUE(WriteFileMakingFolders(scratch / "v_006_000.bmp", PatternBytes(3000, 2)));
  ToolRun single = RunPackTool(scratch, "pack-single v_006_000.bmp");
  ASSERT_EQ(single.exitCode, 0u) << single.err;
  ASSERT_TRUE(FileExists(scratch / "v_006_00098109112.pak"));
  std::string pack;
  ASSERT_TRUE(ReadWholeFile(scratch / "v_006_00098109112.pak", &pack));
  char line[64];
  snprintf(line, sizeof line, "%10u %10u v_006_000.bmp\r\n", 3000u, static_cast<unsigned>(pack.size() - 14 - 13 - 8));
  ToolRun list = RunPackTool(scratch, "list v_006_00098109112.pak");
  EXPECT_EQ(list.exitCode, 0u);
  EXPECT_EQ(list.out, line);
  RemoveFile(scratch / "v_006_000.bmp");
  EXPECT_TRUE(IsSinglePackFor(scratch / "v_006_000.bmp"));
  EXPECT_EQ(ReadThroughFront(scratch / "v_006_000.bmp"), PatternBytes(3000, 2));

  // get opens a name as the file front does: here a member of a hand-written archive.
  ASSERT_TRUE(WriteFileMakingFolders(scratch / "h.pak",
                                     std::string(reinterpret_cast<const char*>(kHandArchive), sizeof kHandArchive)));
  ToolRun get = RunPackTool(scratch, "get h\\SUB\\hello.txt " + Quoted(scratch / "got.txt"));
  ASSERT_EQ(get.exitCode, 0u) << get.err;
  std::string got;
  ASSERT_TRUE(ReadWholeFile(scratch / "got.txt", &got));
  EXPECT_EQ(got, "hello");
  ToolRun missing = RunPackTool(scratch, "get h\\nothing.txt out.txt");
  EXPECT_EQ(missing.exitCode, 1u);
  EXPECT_FALSE(missing.err.empty());
  EXPECT_FALSE(FileExists(scratch / "out.txt"));
}

TEST(PackTool, DamageAndBadUsage) {
  ScratchFolder scratch;
  ASSERT_TRUE(WriteFileMakingFolders(scratch / "d\\good.txt", std::string(2000, 'g')));
  ASSERT_TRUE(WriteFileMakingFolders(scratch / "d\\bad.txt", std::string(2000, 'b')));
  ASSERT_EQ(RunPackTool(scratch, "pack d").exitCode, 0u);
  std::string archive;
  ASSERT_TRUE(ReadWholeFile(scratch / "d.pak", &archive));
  uint32_t indexLength;
  ASSERT_TRUE(ReadPackHeader(reinterpret_cast<const uint8_t*>(archive.data()), archive.size(), PackVariant::kArchive,
                             &indexLength));
  PackIndex index(reinterpret_cast<const uint8_t*>(archive.data()) + kPackHeaderSize, indexLength);
  ASSERT_EQ(index.GetCount(), 2u);
  ASSERT_EQ(index.GetAt(0).name, "bad.txt");  // members are in name order
  archive[index.GetAt(0).offset + 5] ^= 0x55;
  ASSERT_TRUE(WriteFileMakingFolders(scratch / "d.pak", archive));
  ToolRun verify = RunPackTool(scratch, "verify d.pak");
  EXPECT_EQ(verify.exitCode, 1u);
  EXPECT_NE(verify.err.find("bad.txt"), std::string::npos) << verify.err;
  EXPECT_EQ(verify.err.find("good.txt"), std::string::npos) << verify.err;

  ASSERT_TRUE(WriteFileMakingFolders(scratch / "plain.pak", "not a pack at all"));
  EXPECT_EQ(RunPackTool(scratch, "list plain.pak").exitCode, 1u);
  EXPECT_EQ(RunPackTool(scratch, "verify missing.pak").exitCode, 1u);
  EXPECT_EQ(RunPackTool(scratch, "pack no-such-folder").exitCode, 1u);

  for (const char* usage : {"", "unpack d", "pack", "pack d x.pak extra", "pack d --level", "pack d --level 12",
                            "pack d --fast", "pack-single", "list", "list a b", "get one", "verify"}) {
    ToolRun run = RunPackTool(scratch, usage);
    EXPECT_EQ(run.exitCode, 2u) << usage;
    EXPECT_NE(run.err.find("usage"), std::string::npos) << usage;
  }
}
