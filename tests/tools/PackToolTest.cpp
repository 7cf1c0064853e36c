// packtool.exe as scripts call it: exit codes, what it writes, and that its packs read back through the
// project's readers byte for byte (and packs from another encoder through its get).

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "foundation/FileFinder.h"
#include "foundation/Folders.h"
#include "foundation/PathText.h"
#include "pack/File.h"
#include "pack/LzssCore.h"
#include "pack/PackFormat.h"
#include "pack/ZipFile.h"
#include "tests/pack/HandPacks.h"
#include "tests/support/TestSupport.h"
#include "tests/support/ToolRun.h"
#include "tools/packtool/MemberPath.h"

using namespace testing_support;

namespace {

std::string ReadThroughFront(const std::string& name) {
  CFile file;
  if (file.Open(name) != 1) return "<closed>";
  std::string bytes(file.GetSize(), '\0');
  if (!bytes.empty() && file.Read(&bytes[0], 1, static_cast<uint32_t>(bytes.size())) != bytes.size()) return "<short>";
  return bytes;
}

// Every file below `folder` by its relative path, with its bytes.
std::vector<std::pair<std::string, std::string>> ReadTree(const std::string& folder) {
  CFileList list;
  list.ListFiles(folder, "*", true);
  std::vector<std::pair<std::string, std::string>> tree;
  for (size_t i = 0; i < list.GetCount(); ++i) {
    std::string bytes;
    if (!ReadWholeFile(list.GetAt(i), &bytes)) bytes = "<unreadable>";
    tree.emplace_back(GetRelativePath(list.GetAt(i), folder), bytes);
  }
  std::sort(tree.begin(), tree.end());
  return tree;
}

std::vector<std::string> TreeNames(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& file : ReadTree(folder)) names.push_back(file.first);
  return names;
}

std::string Archive(const std::vector<std::pair<std::string, std::string>>& members) {
  std::string archive;
  EXPECT_TRUE(BuildPackArchive(members, 6, &archive));
  return archive;
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

TEST(PackTool, FolderNamesEndingInATrailByte) {
  // 表, ソ, 能, 予 and 十 end in the byte of '\\': a folder so named is no folder with a backslash cut off.
  ScratchFolder scratch;
  const std::vector<std::pair<std::string, std::string>> files = {
      {"a.txt", "first"},
      {kNo + "\\" + kSo + ".bin", PatternBytes(5000, 3)},
  };
  for (const char* folder : {"表", "データ\\ソ", "予十"}) {
    for (const auto& file : files)
      ASSERT_TRUE(WriteFileMakingFolders(scratch / folder + "\\" + file.first, file.second));
  }
  ToolRun pack = RunPackTool(scratch, "pack " + kHyo);
  ASSERT_EQ(pack.exitCode, 0u) << pack.err;
  ASSERT_TRUE(FileExists(scratch / kHyo + ".pak"));
  // With a trailing backslash of its own, the folder is still the same one.
  ToolRun again = RunPackTool(scratch, "pack 予十\\ again.pak");
  ASSERT_EQ(again.exitCode, 0u) << again.err;
  ToolRun lzss = RunPackTool(scratch, "lzss データ\\ソ");
  ASSERT_EQ(lzss.exitCode, 0u) << lzss.err;
  ASSERT_TRUE(FileExists(scratch / "データ\\ソ.dat"));

  ASSERT_EQ(RunPackTool(scratch, "extract 表.pak out1").exitCode, 0u);
  ASSERT_EQ(RunPackTool(scratch, "extract again.pak out2").exitCode, 0u);
  ToolRun fromLzss = RunPackTool(scratch, "extract データ\\ソ.dat 出力\\ソ\\");
  ASSERT_EQ(fromLzss.exitCode, 0u) << fromLzss.err;
  EXPECT_EQ(ReadTree(scratch / "out1"), files);
  EXPECT_EQ(ReadTree(scratch / "out2"), files);
  EXPECT_EQ(ReadTree(scratch / "出力\\ソ"), files);
}

TEST(PackTool, MemberPathChecks) {
  std::string relative;
  // Usable names, Japanese ones among them: a trail byte 0x5C or 0x7C is part of its character.
  const std::vector<std::pair<std::string, std::string>> usable = {
      {"a.txt", "a.txt"},
      {"sub/deep\\x.bin", "sub\\deep\\x.bin"},
      {kHyo, kHyo},
      {kHyo + "\\" + kSo + "\\" + kNo, kHyo + "\\" + kSo + "\\" + kNo},
      {"予.txt", "予.txt"},
      {"十|", ""},   // '|' of its own is no name character
      {"ポ", "ポ"},  // 83 7C: its trail byte is the byte of '|'
      {"console.txt", "console.txt"},
      {"com10", "com10"},
      {".hidden", ".hidden"},
  };
  for (const auto& name : usable) {
    MemberPathProblem problem = CheckMemberPath(name.first, &relative);
    if (name.second.empty()) {
      EXPECT_EQ(problem, MemberPathProblem::kBadCharacter) << name.first;
    } else {
      EXPECT_EQ(problem, MemberPathProblem::kNone) << name.first;
      EXPECT_EQ(relative, name.second) << name.first;
    }
  }
  // A name near the path limit is still checked whole, not cut.
  std::string longName;
  while (longName.size() < 258) longName += kSo;
  EXPECT_EQ(CheckMemberPath(longName, &relative), MemberPathProblem::kNone);
  EXPECT_EQ(relative, longName);

  const std::vector<std::pair<std::string, MemberPathProblem>> refused = {
      {"", MemberPathProblem::kEmpty},
      {"\\abs.txt", MemberPathProblem::kAbsolute},
      {"/abs.txt", MemberPathProblem::kAbsolute},
      {"\\\\server\\share\\x", MemberPathProblem::kAbsolute},
      {"C:x.txt", MemberPathProblem::kDrive},
      {"C:\\x.txt", MemberPathProblem::kDrive},
      {"a.txt:stream", MemberPathProblem::kDrive},
      {"..", MemberPathProblem::kClimbs},
      {"..\\up.txt", MemberPathProblem::kClimbs},
      {"a\\..\\..\\up.txt", MemberPathProblem::kClimbs},
      {kHyo + "\\..\\up.txt", MemberPathProblem::kClimbs},
      {"a/./b", MemberPathProblem::kClimbs},
      {"...\\up.txt", MemberPathProblem::kClimbs},
      {".. \\up.txt", MemberPathProblem::kClimbs},
      {"a\\\\b", MemberPathProblem::kEmptyComponent},
      {"a\\", MemberPathProblem::kEmptyComponent},
      {"CON", MemberPathProblem::kDevice},
      {"nul.txt", MemberPathProblem::kDevice},
      {"sub\\Com1.bin", MemberPathProblem::kDevice},
      {kSo + "\\lpt9", MemberPathProblem::kDevice},
      {"aux .txt", MemberPathProblem::kDevice},
      {"conout$", MemberPathProblem::kDevice},
      {"a?b", MemberPathProblem::kBadCharacter},
      {"a*", MemberPathProblem::kBadCharacter},
      {"tab\tname", MemberPathProblem::kBadCharacter},
      {std::string("x\\\x95"), MemberPathProblem::kBadCharacter},  // a lead byte without its trail byte
  };
  for (const auto& name : refused) {
    EXPECT_EQ(CheckMemberPath(name.first, &relative), name.second) << HexBytes(name.first);
    EXPECT_EQ(relative, "") << HexBytes(name.first);
  }
}

TEST(PackTool, ExtractRefusesHostileNamesAndWritesTheRest) {
  ScratchFolder scratch;
  const std::vector<std::string> hostile = {
      "..\\up.txt", "a\\..\\..\\up2.txt", "\\abs.txt",  "C:drive.txt",  "good.txt:stream", "", "CON",
      "nul.txt",    "sub\\COM1.bin",      "x\\\\y.txt", "...\\up3.txt",
  };
  std::vector<std::pair<std::string, std::string>> members = {{"ok\\" + kHyo + ".txt", "good one"}};
  for (const std::string& name : hostile) members.emplace_back(name, "hostile " + name);
  members.emplace_back("予\\十.txt", "good two");
  ASSERT_TRUE(WriteWholeFile(scratch / "hostile.pak", Archive(members)));

  ToolRun run = RunPackTool(scratch, "extract hostile.pak " + Quoted(scratch / "box\\in"));
  EXPECT_EQ(run.exitCode, 1u) << run.err;
  for (const std::string& name : hostile) {
    if (!name.empty()) {
      EXPECT_NE(run.err.find(": " + name + "\r\n"), std::string::npos) << name << "\n" << run.err;
    }
  }
  EXPECT_NE(run.err.find("(empty name): \r\n"), std::string::npos) << run.err;
  const std::vector<std::pair<std::string, std::string>> written = {{"ok\\" + kHyo + ".txt", "good one"},
                                                                    {"予\\十.txt", "good two"}};
  EXPECT_EQ(ReadTree(scratch / "box\\in"), written);
  // Nothing landed beside or above the folder.
  for (const std::string& name : TreeNames(scratch.Path())) {
    EXPECT_TRUE(name == "hostile.pak" || name.compare(0, 4, "box\\") == 0 || name.compare(0, 5, "tool-") == 0) << name;
  }
  EXPECT_FALSE(FileExists(scratch / "box\\up2.txt"));

  // The same in an LZSS archive.
  std::vector<LzssMemberInput> lzssMembers;
  for (const auto& member : members) {
    lzssMembers.push_back({member.first, std::vector<uint8_t>(member.second.begin(), member.second.end())});
  }
  std::vector<uint8_t> lzss;
  ASSERT_TRUE(BuildLzssArchive(lzssMembers, &lzss));
  ASSERT_TRUE(WriteWholeFile(scratch / "hostile.dat", std::string(lzss.begin(), lzss.end())));
  ToolRun fromLzss = RunPackTool(scratch, "extract hostile.dat lzss-out");
  EXPECT_EQ(fromLzss.exitCode, 1u) << fromLzss.err;
  EXPECT_NE(fromLzss.err.find(": ..\\up.txt\r\n"), std::string::npos) << fromLzss.err;
  EXPECT_EQ(ReadTree(scratch / "lzss-out"), written);

  // Two members of one name: the readers find the first, and so does extract.
  ASSERT_TRUE(WriteWholeFile(scratch / "twice.pak", Archive({{"Same.txt", "first"}, {"same.TXT", "second"}})));
  ToolRun twice = RunPackTool(scratch, "extract twice.pak twice");
  EXPECT_EQ(twice.exitCode, 1u);
  EXPECT_NE(twice.err.find("same.TXT"), std::string::npos) << twice.err;
  std::string first;
  EXPECT_TRUE(ReadWholeFile(scratch / "twice\\Same.txt", &first));
  EXPECT_EQ(first, "first");
}

TEST(PackTool, ExtractKeepsExistingFilesUnlessForced) {
  ScratchFolder scratch;
  ASSERT_TRUE(WriteWholeFile(scratch / "two.pak", Archive({{kSo + "\\a.txt", "new a"}, {"b.txt", "new b"}})));
  ASSERT_TRUE(WriteFileMakingFolders(scratch / "out\\" + kSo + "\\a.txt", "old a"));
  ToolRun kept = RunPackTool(scratch, "extract two.pak out");
  EXPECT_EQ(kept.exitCode, 1u);
  EXPECT_NE(kept.err.find("a.txt"), std::string::npos) << kept.err;
  EXPECT_NE(kept.err.find("--force"), std::string::npos) << kept.err;
  std::string bytes;
  ASSERT_TRUE(ReadWholeFile(scratch / "out\\" + kSo + "\\a.txt", &bytes));
  EXPECT_EQ(bytes, "old a");
  ASSERT_TRUE(ReadWholeFile(scratch / "out\\b.txt", &bytes));  // the other member is still written
  EXPECT_EQ(bytes, "new b");

  ToolRun forced = RunPackTool(scratch, "extract --force two.pak out");
  EXPECT_EQ(forced.exitCode, 0u) << forced.err;
  ASSERT_TRUE(ReadWholeFile(scratch / "out\\" + kSo + "\\a.txt", &bytes));
  EXPECT_EQ(bytes, "new a");
  // No temporary file is left beside what was written.
  EXPECT_EQ(TreeNames(scratch / "out"), (std::vector<std::string>{"b.txt", kSo + "\\a.txt"}));

  // A damaged member is named and leaves no file; the good one beside it is written.
  std::string archive = Archive({{"bad.bin", std::string(3000, 'x')}, {"good.bin", "fine"}});
  PackIndex index(reinterpret_cast<const uint8_t*>(archive.data()) + kPackHeaderSize, archive.size() - kPackHeaderSize);
  ASSERT_EQ(index.GetAt(0).name, "bad.bin");
  archive[index.GetAt(0).offset + 6] ^= 0x5A;
  ASSERT_TRUE(WriteWholeFile(scratch / "damaged.pak", archive));
  ToolRun damaged = RunPackTool(scratch, "extract damaged.pak d");
  EXPECT_EQ(damaged.exitCode, 1u);
  EXPECT_NE(damaged.err.find("bad.bin"), std::string::npos) << damaged.err;
  EXPECT_EQ(TreeNames(scratch / "d"), std::vector<std::string>{"good.bin"});

  for (const char* usage : {"extract", "extract two.pak", "extract a b c", "extract two.pak x --overwrite",
                            "pack d --jobs", "pack d --jobs 0", "pack d --jobs x", "lzss d --jobs 65"}) {
    ToolRun run = RunPackTool(scratch, usage);
    EXPECT_EQ(run.exitCode, 2u) << usage;
    EXPECT_NE(run.err.find("usage"), std::string::npos) << usage;
  }
  EXPECT_EQ(RunPackTool(scratch, "extract missing.pak x").exitCode, 1u);
}

TEST(PackTool, PackThenExtractGivesTheTreeBack) {
  // The sample disc's data, Japanese names with trail bytes 0x5C among them.
  const std::string drive = HarnessSetting("ADDON_DISC_DRIVE");
  if (drive.empty() || !FolderExists(drive + "\\data")) GTEST_SKIP() << kHostLacks << "the sample disc";
  ScratchFolder scratch;
  const auto disc = ReadTree(drive + "\\data");
  ASSERT_FALSE(disc.empty());
  ToolRun pack = RunPackTool(scratch, "pack " + drive + "\\data " + Quoted(scratch / "disc.pak"));
  ASSERT_EQ(pack.exitCode, 0u) << pack.err;
  ToolRun extract = RunPackTool(scratch, "extract disc.pak " + Quoted(scratch / kHyo + "\\" + kSo));
  ASSERT_EQ(extract.exitCode, 0u) << extract.err;
  EXPECT_TRUE(ReadTree(scratch / kHyo + "\\" + kSo) == disc);
  ToolRun lzss = RunPackTool(scratch, "lzss " + drive + "\\data " + Quoted(scratch / "disc.dat"));
  ASSERT_EQ(lzss.exitCode, 0u) << lzss.err;
  ToolRun fromLzss = RunPackTool(scratch, "extract disc.dat lzss");
  ASSERT_EQ(fromLzss.exitCode, 0u) << fromLzss.err;
  // LZSS members are named in lower case.
  auto lowered = disc;
  for (auto& file : lowered) file.first = ToLowerCase(file.first);
  std::sort(lowered.begin(), lowered.end());
  auto fromDat = ReadTree(scratch / "lzss");
  for (auto& file : fromDat) file.first = ToLowerCase(file.first);
  EXPECT_TRUE(fromDat == lowered);
}

TEST(PackTool, ArchiveIsTheSameWhateverTheJobCount) {
  ScratchFolder scratch;
  // Small and middling members, and one large enough to be encoded a piece at a time.
  for (int i = 0; i < 40; ++i) {
    std::string name = "d\\" + std::string(i % 3 ? kSo : kHyo) + "\\f" + std::to_string(i) + ".bin";
    ASSERT_TRUE(WriteFileMakingFolders(scratch / name, PatternBytes(size_t(i) * 7919 % 300000, i) +
                                                           std::string(size_t(i) * 5000, char('a' + i % 26))));
  }
  std::string large = PatternBytes(1 << 20, 9);
  for (int i = 0; i < 5; ++i) large += large;  // 32 MiB
  large += "end";
  ASSERT_TRUE(WriteFileMakingFolders(scratch / "d\\large.bin", large));
  ASSERT_EQ(RunPackTool(scratch, "pack d one.pak --jobs 1").exitCode, 0u);
  ASSERT_EQ(RunPackTool(scratch, "pack d four.pak --jobs 4 --level 9").exitCode, 0u);
  ASSERT_EQ(RunPackTool(scratch, "pack d --level 9 --jobs 1 nine.pak").exitCode, 0u);
  ASSERT_EQ(RunPackTool(scratch, "pack d all.pak").exitCode, 0u);
  std::string one, four, nine, all;
  ASSERT_TRUE(ReadWholeFile(scratch / "one.pak", &one));
  ASSERT_TRUE(ReadWholeFile(scratch / "four.pak", &four));
  ASSERT_TRUE(ReadWholeFile(scratch / "nine.pak", &nine));
  ASSERT_TRUE(ReadWholeFile(scratch / "all.pak", &all));
  EXPECT_TRUE(one == all);
  EXPECT_TRUE(four == nine);
  EXPECT_FALSE(one == nine);
  // The large member reads back through the readers.
  std::vector<uint8_t> out;
  EXPECT_EQ(DecodePackArchiveMember(reinterpret_cast<const uint8_t*>(all.data()), all.size(), "large.bin", &out), 1);
  EXPECT_TRUE(std::string(out.begin(), out.end()) == large);
  ToolRun verify = RunPackTool(scratch, "verify all.pak");
  EXPECT_EQ(verify.exitCode, 0u) << verify.err;
  EXPECT_NE(verify.err.find("41 members decode"), std::string::npos) << verify.err;

  // Damage inside the large member, which verify and extract decode a piece at a time, is found.
  std::string damaged = all;
  PackIndex index(reinterpret_cast<const uint8_t*>(damaged.data()) + kPackHeaderSize, damaged.size() - kPackHeaderSize);
  const PackEntry* largeEntry = index.Find("large.bin");
  ASSERT_NE(largeEntry, nullptr);
  ASSERT_GE(largeEntry->length, 32u << 20);
  damaged[largeEntry->offset + largeEntry->length / 2] ^= 0x21;
  ASSERT_TRUE(WriteWholeFile(scratch / "damaged.pak", damaged));
  ToolRun verifyDamaged = RunPackTool(scratch, "verify damaged.pak");
  EXPECT_EQ(verifyDamaged.exitCode, 1u);
  EXPECT_NE(verifyDamaged.err.find("damaged member: large.bin"), std::string::npos) << verifyDamaged.err;
  ToolRun extractDamaged = RunPackTool(scratch, "extract damaged.pak " + kNo);
  EXPECT_EQ(extractDamaged.exitCode, 1u);
  EXPECT_NE(extractDamaged.err.find("large.bin"), std::string::npos) << extractDamaged.err;
  EXPECT_FALSE(FileExists(scratch / kNo + "\\large.bin"));
  EXPECT_EQ(TreeNames(scratch / kNo).size(), 40u);

  // A member that cannot be read (another program holds it) fails the archive: nothing is left under its
  // name, and the archive written before stays whole.
  HANDLE held =
      CreateFileA((scratch / "d\\" + kSo + "\\f1.bin").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  ToolRun failed = RunPackTool(scratch, "pack d all.pak");
  ToolRun failedSingle = RunPackTool(scratch, "pack-single d\\" + kSo + "\\f1.bin");
  CloseHandle(held);
  EXPECT_EQ(failed.exitCode, 1u);
  EXPECT_NE(failed.err.find("f1.bin"), std::string::npos) << failed.err;
  EXPECT_EQ(failedSingle.exitCode, 1u);
  std::string after;
  ASSERT_TRUE(ReadWholeFile(scratch / "all.pak", &after));
  EXPECT_TRUE(after == all);
  EXPECT_EQ(TreeNames(scratch / "d").size(), 41u) << "no single pack nor temporary file is left in the folder";
}
