// The base-game lookup on real App Paths keys, with test-only product names ("AddonTestGame…") under
// both roots; every entry made here is deleted afterwards.

#include "setup/BaseGameLookup.h"

#include <gtest/gtest.h>

#include <atomic>

#include "foundation/Registry.h"
#include "setup/SetupConstants.h"
#include "tests/support/TestSupport.h"

using testing_support::HexBytes;

namespace {

const std::string kAppPaths = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";

bool EntryExists(HKEY root, const std::string& name) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, (kAppPaths + name + ".exe").c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

// App Paths entries of one product name, written on request and removed from both roots at the end.
class TestEntries {
 public:
  TestEntries() {
    static std::atomic<unsigned> counter{0};
    name_ = "AddonTestGame-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(counter++);
  }
  explicit TestEntries(std::string name) : name_(std::move(name)) {}
  ~TestEntries() {
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
      if (written_[root == HKEY_CURRENT_USER]) RegDeleteKeyA(root, (kAppPaths + name_ + ".exe").c_str());
    }
  }
  const std::string& Name() const { return name_; }

  // An entry with the values given; a null pointer leaves that value out. False if it cannot be made.
  bool Write(HKEY root, const char* executable, const char* folder) {
    CRegistry registry(root);
    if (!registry.CreateKey(kAppPaths + name_ + ".exe")) return false;
    written_[root == HKEY_CURRENT_USER] = true;
    if (executable && !registry.WriteString("", executable)) return false;
    if (folder && !registry.WriteString("Path", folder)) return false;
    return true;
  }

 private:
  std::string name_;
  bool written_[2] = {false, false};
};

}  // namespace

TEST(BaseGameLookup, EntryOnlyUnderTheCurrentUserIsFound) {
  TestEntries entries;
  ASSERT_TRUE(entries.Write(HKEY_CURRENT_USER, "C:\\Games\\Test\\Test.exe", "C:\\Games\\Test"));
  std::string folder, executable;
  ASSERT_TRUE(setup::FindBaseGameInstall(entries.Name(), folder, executable));
  EXPECT_EQ(folder, "C:\\Games\\Test");
  EXPECT_EQ(executable, "C:\\Games\\Test\\Test.exe");
}

TEST(BaseGameLookup, LocalMachineComesFirst) {
  TestEntries entries;
  if (!entries.Write(HKEY_LOCAL_MACHINE, "D:\\Machine\\Game.exe", "D:\\Machine"))
    GTEST_SKIP() << testing_support::kHostLacks << "this user may not write below the local-machine root";
  std::string folder, executable;
  ASSERT_TRUE(setup::FindBaseGameInstall(entries.Name(), folder, executable));
  EXPECT_EQ(folder, "D:\\Machine");
  EXPECT_EQ(executable, "D:\\Machine\\Game.exe");

  ASSERT_TRUE(entries.Write(HKEY_CURRENT_USER, "E:\\User\\Game.exe", "E:\\User"));
  ASSERT_TRUE(setup::FindBaseGameInstall(entries.Name(), folder, executable));
  EXPECT_EQ(folder, "D:\\Machine");
  EXPECT_EQ(executable, "D:\\Machine\\Game.exe");
}

TEST(BaseGameLookup, LocalMachineEntryWithoutPathFallsThroughToTheCurrentUser) {
  TestEntries entries;
  if (!entries.Write(HKEY_LOCAL_MACHINE, "D:\\Machine\\Game.exe", nullptr))
    GTEST_SKIP() << testing_support::kHostLacks << "this user may not write below the local-machine root";
  std::string folder = "kept folder", executable = "kept executable";
  // Only half an entry anywhere: not found, and the caller's strings stay as they were.
  EXPECT_FALSE(setup::FindBaseGameInstall(entries.Name(), folder, executable));
  EXPECT_EQ(folder, "kept folder");
  EXPECT_EQ(executable, "kept executable");

  ASSERT_TRUE(entries.Write(HKEY_CURRENT_USER, "E:\\User\\Game.exe", "E:\\User"));
  ASSERT_TRUE(setup::FindBaseGameInstall(entries.Name(), folder, executable));
  EXPECT_EQ(folder, "E:\\User");
  EXPECT_EQ(executable, "E:\\User\\Game.exe");
}

TEST(BaseGameLookup, FailureLeavesTheOutStringsUntouched) {
  TestEntries entries;
  std::string folder = "kept folder", executable = "kept executable";
  EXPECT_FALSE(setup::FindBaseGameInstall(entries.Name(), folder, executable));  // no entry at all
  EXPECT_EQ(folder, "kept folder");
  EXPECT_EQ(executable, "kept executable");

  // A "Path" without a default value is not an entry either.
  ASSERT_TRUE(entries.Write(HKEY_CURRENT_USER, nullptr, "C:\\Games\\Test"));
  EXPECT_FALSE(setup::FindBaseGameInstall(entries.Name(), folder, executable));
  EXPECT_EQ(folder, "kept folder");
  EXPECT_EQ(executable, "kept executable");
}

TEST(BaseGameLookup, ValuesComeBackExactlyAsStored) {
  TestEntries entries;
  const std::string gameFolder = "C:\\ゲーム\\ソ表能 (x86)\\";
  const std::string gameExecutable = "\"C:\\ゲーム\\ソ表能 (x86)\\ソ.exe\" -x";
  ASSERT_TRUE(entries.Write(HKEY_CURRENT_USER, gameExecutable.c_str(), gameFolder.c_str()));
  std::string folder, executable;
  ASSERT_TRUE(setup::FindBaseGameInstall(entries.Name(), folder, executable));
  EXPECT_EQ(HexBytes(folder), HexBytes(gameFolder));
  EXPECT_EQ(HexBytes(executable), HexBytes(gameExecutable));
}

TEST(BaseGameLookup, FullWidthNameFormsItsKeyByteForByte) {
  // The setup's second lookup name, with full-width parentheses (81 69 and 81 6A). An entry of a real
  // installation is never touched: the test runs only where there is none.
  const std::string name = setup::kSecondLookupName;
  ASSERT_EQ(HexBytes(name), "53 6F 72 76 61 6E 65 81 69 44 6F 72 76 65 6C 6F 81 6A");
  if (EntryExists(HKEY_LOCAL_MACHINE, name) || EntryExists(HKEY_CURRENT_USER, name))
    GTEST_SKIP() << "an App Paths entry of that name exists on this machine";

  TestEntries entries(name);
  ASSERT_TRUE(entries.Write(HKEY_CURRENT_USER, "C:\\Sorvane\\Sorvane.exe", "C:\\Sorvane"));
  // The key holds the characters U+FF08 and U+FF09, as the base game's installer writes them.
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER,
                          L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Sorvane\uFF08Dorvelo\uFF09.exe", 0,
                          KEY_READ, &key),
            ERROR_SUCCESS);
  RegCloseKey(key);

  std::string folder, executable;
  ASSERT_TRUE(setup::FindBaseGameInstall(name, folder, executable));
  EXPECT_EQ(folder, "C:\\Sorvane");
  EXPECT_EQ(executable, "C:\\Sorvane\\Sorvane.exe");
  // Half-width parentheses name another entry.
  EXPECT_FALSE(setup::FindBaseGameInstall("Sorvane(Dorvelo)", folder, executable));
}
