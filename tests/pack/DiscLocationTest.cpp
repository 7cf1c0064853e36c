// The CD-ROM walk and the disc request against the test prefix's drives: E: (no disc), F: and G: are
// configured as CD-ROM drives, so GetDriveTypeA really answers DRIVE_CDROM for them.

#include "pack/DiscLocation.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/TestSupport.h"

using namespace testing_support;

namespace {

bool HasCdDrives() { return HarnessSetting("ADDON_CD_DRIVES") == "EFG"; }

// A file on the CD-ROM drive F:, removed afterwards.
class FileOnDriveF {
 public:
  explicit FileOnDriveF(const std::string& folder) : folder_("F:\\" + folder) {
    CreateDirectoryA(folder_.c_str(), nullptr);
    WriteWholeFile(folder_ + "\\disc.bin", "disc");
  }
  ~FileOnDriveF() { RemoveTree(folder_); }

 private:
  std::string folder_;
};

UINT WINAPI NoCdRomDrives(LPCSTR) { return DRIVE_FIXED; }

}  // namespace

TEST(CdRomDrives, WalkStartsAtTheLetterTriedLast) {
  if (!HasCdDrives()) GTEST_SKIP() << testing_support::kHostLacks << "the harness configures CD-ROM drives E, F and G";
  FileOnDriveF data("walk-test");
  CdRomDrives drives;
  EXPECT_TRUE(drives.IsCdRom('E'));
  EXPECT_TRUE(drives.IsCdRom('F'));
  EXPECT_FALSE(drives.IsCdRom('C'));

  std::vector<char> tried;
  auto findData = [&](char letter) {
    tried.push_back(letter);
    return FileExists(std::string(1, letter) + ":\\walk-test\\disc.bin");
  };
  EXPECT_TRUE(drives.Walk(findData));
  EXPECT_EQ(std::string(tried.begin(), tried.end()), "EF");
  EXPECT_EQ(drives.LastLetter(), 'F');

  tried.clear();
  EXPECT_TRUE(drives.Walk(findData));
  EXPECT_EQ(std::string(tried.begin(), tried.end()), "F");

  // A failed walk visits every CD-ROM drive once, from F round to E, and ends on the last one tried.
  tried.clear();
  EXPECT_FALSE(drives.Walk([&](char letter) {
    tried.push_back(letter);
    return false;
  }));
  EXPECT_EQ(std::string(tried.begin(), tried.end()), "FGE");
  EXPECT_EQ(drives.LastLetter(), 'E');
}

TEST(CdRomDrives, MachineWithoutCdRomDrivesVisitsNone) {
  CdRomDrives drives(&NoCdRomDrives);
  int visits = 0;
  EXPECT_FALSE(drives.Walk([&](char) {
    ++visits;
    return true;
  }));
  EXPECT_EQ(visits, 0);
  EXPECT_EQ(drives.LastLetter(), 0);
}

TEST(DiscRequest, AsksAtOnceWithoutCdRomDrivesAndReturnsEmptyOnNo) {
  CdRomDrives drives(&NoCdRomDrives);
  ScriptedUser user({IDNO});
  EXPECT_EQ(RequestDiscFile("DISC", "data\\missing.bin", 3, nullptr, drives), "");
  auto asked = user.Asked();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].text, "ディスク 3枚目を挿入してください。");
  EXPECT_EQ(asked[0].caption, "ディスク要求");
  EXPECT_EQ(asked[0].style, static_cast<UINT>(MB_YESNO | MB_ICONINFORMATION));
}

TEST(DiscRequest, FirstCandidateIsTheDiscFolderItself) {
  ScratchFolder scratch;
  ASSERT_TRUE(CreateDirectoryA((scratch / "sub").c_str(), nullptr));
  ASSERT_TRUE(WriteWholeFile(scratch / "sub\\a.bin", "a"));
  CdRomDrives drives(&NoCdRomDrives);
  ScriptedUser user({});
  EXPECT_EQ(RequestDiscFile(scratch.Path() + "\\", "sub\\a.bin", 1, nullptr, drives), scratch / "sub\\a.bin");
  EXPECT_TRUE(user.Asked().empty());
}

namespace {
// Answers the request by "inserting the disc": the file appears on F: and the user says Yes.
int InsertDiscAndSayYes(HWND, const char*, const char*, UINT) {
  CreateDirectoryA("F:\\INSTALL", nullptr);
  CreateDirectoryA("F:\\INSTALL\\data", nullptr);
  WriteWholeFile("F:\\INSTALL\\data\\late.bin", "late");
  return IDYES;
}
}  // namespace

TEST(DiscRequest, FindsTheFileAfterTheUserInsertsTheDiscAndSaysYes) {
  if (!HasCdDrives()) GTEST_SKIP() << testing_support::kHostLacks << "the harness configures CD-ROM drives E, F and G";
  RemoveTree("F:\\INSTALL");
  CdRomDrives drives;
  std::string found;
  {
    CustomUser user(&InsertDiscAndSayYes);
    found = RequestDiscFile("INSTALL", "data\\late.bin", 2, nullptr, drives);
  }
  EXPECT_EQ(found, "F:\\INSTALL\\data\\late.bin");
  EXPECT_EQ(drives.LastLetter(), 'F');
  RemoveTree("F:\\INSTALL");
}
