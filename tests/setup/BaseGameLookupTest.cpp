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

namespace {

// A key of the test's own below HKLM\Software, which the system keeps apart per registry view (32-bit
// and 64-bit programs see different keys there; App Paths itself may be shared between the views),
// written in one view only and removed from both at the end.
class ViewEntries {
 public:
  ViewEntries() : parent_("Software\\AddonTestViews-" + std::to_string(GetCurrentProcessId())) {}
  ~ViewEntries() {
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
      HKEY key = nullptr;
      if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, parent_.c_str(), 0, KEY_ALL_ACCESS | view, &key) == ERROR_SUCCESS) {
        RegDeleteKeyA(key, kName);
        RegCloseKey(key);
      }
      if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_ALL_ACCESS | view, &key) == ERROR_SUCCESS) {
        RegDeleteKeyA(key, parent_.substr(9).c_str());
        RegCloseKey(key);
      }
    }
    RegDeleteKeyA(HKEY_CURRENT_USER, Key().c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, parent_.c_str());
  }
  std::string Key() const { return parent_ + "\\" + kName; }

  bool Write(HKEY root, REGSAM view, const std::string& executable, const std::string& folder) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(root, Key().c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
      return false;
    bool written = RegSetValueExA(key, "", 0, REG_SZ, reinterpret_cast<const BYTE*>(executable.c_str()),
                                  static_cast<DWORD>(executable.size() + 1)) == ERROR_SUCCESS &&
                   RegSetValueExA(key, "Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                                  static_cast<DWORD>(folder.size() + 1)) == ERROR_SUCCESS;
    RegCloseKey(key);
    return written;
  }

  bool Visible(REGSAM view) const {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, Key().c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
  }

 private:
  static constexpr const char* kName = "ソフト表.exe";
  std::string parent_;
};

constexpr REGSAM kOwnView = sizeof(void*) == 4 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
constexpr REGSAM kOtherView = sizeof(void*) == 4 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;

}  // namespace

TEST(BaseGameLookup, EntryWrittenInTheOtherRegistryViewIsFound) {
  ViewEntries entries;
  const std::string otherFolder = "C:\\Program Files (x86)\\ゲーム\\ソフト表";
  if (!entries.Write(HKEY_LOCAL_MACHINE, kOtherView, otherFolder + "\\Sorvane.exe", otherFolder))
    GTEST_SKIP() << testing_support::kHostLacks << "this user may not write below the local-machine root";
  if (entries.Visible(0))
    GTEST_SKIP() << "this system keeps no separate registry views (a 32-bit system, or no redirection)";

  std::string folder = "kept", executable = "kept";
  ASSERT_TRUE(setup::lookup_internal::FindRegisteredInstall(entries.Key(), folder, executable));
  EXPECT_EQ(HexBytes(otherFolder), HexBytes(folder));
  EXPECT_EQ(HexBytes(otherFolder + "\\Sorvane.exe"), HexBytes(executable));

  // The machine-wide root in either view comes before the current user's.
  ASSERT_TRUE(entries.Write(HKEY_CURRENT_USER, 0, "C:\\User\\表.exe", "C:\\User"));
  ASSERT_TRUE(setup::lookup_internal::FindRegisteredInstall(entries.Key(), folder, executable));
  EXPECT_EQ(HexBytes(otherFolder), HexBytes(folder));

  // This program's own view comes before the other one.
  const std::string ownFolder = "C:\\Program Files\\ゲーム\\能力";
  ASSERT_TRUE(entries.Write(HKEY_LOCAL_MACHINE, kOwnView, ownFolder + "\\Sorvane.exe", ownFolder));
  ASSERT_TRUE(setup::lookup_internal::FindRegisteredInstall(entries.Key(), folder, executable));
  EXPECT_EQ(HexBytes(ownFolder), HexBytes(folder));
  EXPECT_EQ(HexBytes(ownFolder + "\\Sorvane.exe"), HexBytes(executable));
}
