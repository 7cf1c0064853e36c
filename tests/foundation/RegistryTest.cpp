// CRegistry on the real registry: test-only keys below Software\AddonTests under both roots, deleted
// afterwards.

#include "foundation/Registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

#include "tests/support/TestSupport.h"

using testing_support::HexBytes;

namespace {

bool KeyExists(HKEY root, const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

// A fresh test key name under a root; removed with its subkeys when the object goes.
class ScratchKey {
 public:
  explicit ScratchKey(HKEY root) : root_(root) {
    static std::atomic<unsigned> counter{0};
    path_ = "Software\\AddonTests\\Registry-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(counter++);
  }
  ~ScratchKey() {
    testing_support::DeleteRegistryTree(root_, path_);
    RegDeleteKeyA(root_, "Software\\AddonTests");  // only goes when nothing else is below it
  }
  const std::string& Path() const { return path_; }

 private:
  HKEY root_;
  std::string path_;
};

class RegistryOnRoot : public ::testing::TestWithParam<HKEY> {};

}  // namespace

TEST_P(RegistryOnRoot, ValuesRoundTrip) {
  ScratchKey scratch(GetParam());
  CRegistry registry(GetParam());
  if (!registry.CreateKey(scratch.Path()))
    GTEST_SKIP() << testing_support::kHostLacks << "this user may not create keys under the root";
  EXPECT_TRUE(registry.IsOpen());
  EXPECT_EQ(registry.GetPath(), scratch.Path());

  // Strings: the bytes come back as written, Shift-JIS included.
  const std::string text = "C:\\ゲーム\\ソ表能 x";
  ASSERT_TRUE(registry.WriteString("Text", text));
  std::string read = "stale";
  ASSERT_TRUE(registry.ReadString("Text", read));
  EXPECT_EQ(HexBytes(read), HexBytes(text));
  DWORD size = 0;
  EXPECT_EQ(registry.QueryValueType("Text", size), static_cast<DWORD>(REG_SZ));
  EXPECT_GE(size, text.size());

  // A Japanese value near the 260-byte path limit and one far past it: the size the first query
  // answers is in bytes, so nothing is cut.
  for (size_t kanji : {126u, 128u, 700u}) {
    std::string path = "C:\\";
    for (size_t i = 0; i < kanji; ++i) path += i % 2 ? "十" : "表";
    path += ".exe";
    ASSERT_TRUE(registry.WriteString("Long", path));
    ASSERT_TRUE(registry.ReadString("Long", read));
    EXPECT_EQ(HexBytes(path), HexBytes(read)) << kanji;
  }

  // The default value is the one with the empty name.
  ASSERT_TRUE(registry.WriteString("", "default"));
  ASSERT_TRUE(registry.ReadString("", read));
  EXPECT_EQ(read, "default");

  // 32-bit numbers.
  ASSERT_TRUE(registry.WriteDword("Number", 0xDEADBEEF));
  DWORD number = 7;
  ASSERT_TRUE(registry.ReadDword("Number", number));
  EXPECT_EQ(number, 0xDEADBEEFu);
  EXPECT_EQ(registry.QueryValueType("Number", size), static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(size, 4u);

  // Binary data, zeros included; the buffer must hold the whole value.
  const unsigned char blob[] = {1, 0, 2, 0xFF, 0};
  ASSERT_TRUE(registry.WriteBinary("Blob", blob, sizeof blob));
  unsigned char buffer[8] = {};
  ASSERT_TRUE(registry.ReadBinary("Blob", buffer, sizeof blob));
  EXPECT_EQ(std::memcmp(buffer, blob, sizeof blob), 0);
  EXPECT_FALSE(registry.ReadBinary("Blob", buffer, sizeof blob - 1));
  EXPECT_FALSE(registry.ReadBinary("Missing", buffer, sizeof buffer));
  EXPECT_EQ(registry.QueryValueType("Blob", size), static_cast<DWORD>(REG_BINARY));
  EXPECT_EQ(size, sizeof blob);

  // ReadString does not check the type and stops at the first NUL.
  const char twoWords[] = {'a', 'b', 0, 'c', 'd'};
  ASSERT_TRUE(registry.WriteBinary("Words", twoWords, sizeof twoWords));
  ASSERT_TRUE(registry.ReadString("Words", read));
  EXPECT_EQ(read, "ab");

  // ReadDword checks only the size: a string value of 4 bytes reads as its bytes. Whether the size the
  // system reports for a string includes a terminator is the platform's affair: take the text that
  // comes out at 4 bytes.
  std::string four;
  for (const char* candidate : {"abc", "abcd"}) {
    ASSERT_TRUE(registry.WriteString("Four", candidate));
    if (registry.QueryValueType("Four", size) == REG_SZ && size == 4) four = candidate;
    if (!four.empty()) break;
  }
  ASSERT_FALSE(four.empty());
  ASSERT_TRUE(registry.ReadDword("Four", number));
  const std::string fourBytes = four + std::string(4 - four.size(), '\0');
  DWORD expectedNumber = 0;
  std::memcpy(&expectedNumber, fourBytes.data(), 4);
  EXPECT_EQ(number, expectedNumber);
  EXPECT_EQ(number & 0xFFFFFFu, 0x636261u);
  number = 7;
  EXPECT_FALSE(registry.ReadDword("Words", number));  // 5 bytes
  EXPECT_EQ(number, 0u);
  number = 7;
  EXPECT_FALSE(registry.ReadDword("Missing", number));
  EXPECT_EQ(number, 0u);

  // Deleting values.
  EXPECT_TRUE(registry.DeleteValue("Text"));
  read = "stale";
  EXPECT_FALSE(registry.ReadString("Text", read));
  EXPECT_EQ(read, "");
  size = 99;
  EXPECT_EQ(registry.QueryValueType("Text", size), 0u);
  EXPECT_EQ(size, 0u);
  EXPECT_FALSE(registry.DeleteValue("Text"));
  EXPECT_TRUE(registry.DeleteValue(""));
  EXPECT_FALSE(registry.ReadString("", read));

  // What was written is there for another reader too.
  CRegistry other(GetParam());
  ASSERT_TRUE(other.Open(scratch.Path(), KEY_READ));
  ASSERT_TRUE(other.ReadDword("Number", number));
  EXPECT_EQ(number, 0xDEADBEEFu);
  EXPECT_TRUE(other.Close());
  EXPECT_FALSE(other.IsOpen());
  EXPECT_EQ(other.GetPath(), "");
}

TEST_P(RegistryOnRoot, SubkeysEnumerateAndDelete) {
  ScratchKey scratch(GetParam());
  CRegistry registry(GetParam());
  if (!registry.CreateKey(scratch.Path()))
    GTEST_SKIP() << testing_support::kHostLacks << "this user may not create keys under the root";
  // A name of 200 characters in 400 bytes, which a buffer sized for 260 characters of one byte cuts.
  std::string longest;
  while (longest.size() < 400) longest += "ソフト表示能力予十";
  longest.resize(400);
  const std::vector<std::string> names = {"beta", "alpha", "ソ表能", longest};
  for (const std::string& name : names) {
    CRegistry child(GetParam());
    ASSERT_TRUE(child.CreateKey(scratch.Path() + "\\" + name)) << name;
  }

  std::vector<std::string> found;
  std::string name;
  for (DWORD index = 0; registry.EnumSubKey(index, name); ++index) found.push_back(name);
  std::vector<std::string> expected = names;
  std::sort(expected.begin(), expected.end());
  std::sort(found.begin(), found.end());
  EXPECT_EQ(found, expected);
  name = "stale";
  EXPECT_FALSE(registry.EnumSubKey(static_cast<DWORD>(names.size()), name));
  EXPECT_EQ(name, "");

  // A missing key counts as deleted; a present one is gone afterwards.
  EXPECT_TRUE(registry.DeleteKey(scratch.Path() + "\\never-made"));
  for (const std::string& child : names) {
    EXPECT_TRUE(registry.DeleteKey(scratch.Path() + "\\" + child)) << child;
    EXPECT_FALSE(KeyExists(GetParam(), scratch.Path() + "\\" + child)) << child;
  }
  EXPECT_TRUE(registry.IsOpen());  // deleting other keys leaves the open one open
  EXPECT_FALSE(registry.EnumSubKey(0, name));

  // Deleting the key this object has open closes it first.
  EXPECT_TRUE(registry.DeleteKey(scratch.Path()));
  EXPECT_FALSE(registry.IsOpen());
  EXPECT_FALSE(KeyExists(GetParam(), scratch.Path()));
  EXPECT_TRUE(registry.DeleteKey(scratch.Path()));
  EXPECT_FALSE(registry.DeleteKey(""));  // never the root itself
}

INSTANTIATE_TEST_SUITE_P(BothRoots, RegistryOnRoot, ::testing::Values(HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE),
                         [](const ::testing::TestParamInfo<HKEY>& info) {
                           return info.param == HKEY_CURRENT_USER ? std::string("CurrentUser")
                                                                  : std::string("LocalMachine");
                         });

TEST(Registry, ClosedObjectFailsEveryOperation) {
  CRegistry registry(HKEY_CURRENT_USER);
  EXPECT_FALSE(registry.IsOpen());
  EXPECT_EQ(registry.GetRoot(), HKEY_CURRENT_USER);
  std::string text = "stale";
  EXPECT_FALSE(registry.ReadString("x", text));
  EXPECT_EQ(text, "");
  DWORD number = 7, size = 7;
  EXPECT_FALSE(registry.ReadDword("x", number));
  EXPECT_EQ(number, 0u);
  EXPECT_EQ(registry.QueryValueType("x", size), 0u);
  EXPECT_EQ(size, 0u);
  char buffer[4];
  EXPECT_FALSE(registry.ReadBinary("x", buffer, sizeof buffer));
  EXPECT_FALSE(registry.WriteString("x", "y"));
  EXPECT_FALSE(registry.WriteDword("x", 1));
  EXPECT_FALSE(registry.WriteBinary("x", buffer, sizeof buffer));
  EXPECT_FALSE(registry.DeleteValue("x"));
  text = "stale";
  EXPECT_FALSE(registry.EnumSubKey(0, text));
  EXPECT_EQ(text, "");
  EXPECT_TRUE(registry.Close());
}

TEST(Registry, FailedOpenLeavesTheObjectClosed) {
  ScratchKey scratch(HKEY_CURRENT_USER);
  CRegistry registry(HKEY_CURRENT_USER);
  ASSERT_TRUE(registry.CreateKey(scratch.Path()));
  EXPECT_FALSE(registry.Open(scratch.Path() + "\\missing", KEY_READ));
  EXPECT_FALSE(registry.IsOpen());
  EXPECT_EQ(registry.GetPath(), "");
  EXPECT_FALSE(registry.WriteString("x", "y"));

  // Re-opening closes the previous key and takes the new path.
  ASSERT_TRUE(registry.Open(scratch.Path(), KEY_READ));
  EXPECT_EQ(registry.GetPath(), scratch.Path());
  ASSERT_TRUE(registry.Open("Software", KEY_READ));
  EXPECT_EQ(registry.GetPath(), "Software");
}

TEST(Registry, OpenUsesTheAccessMaskGiven) {
  ScratchKey scratch(HKEY_CURRENT_USER);
  {
    CRegistry writer(HKEY_CURRENT_USER);
    ASSERT_TRUE(writer.CreateKey(scratch.Path()));
    ASSERT_TRUE(writer.WriteString("Name", "value"));
  }
  CRegistry reader(HKEY_CURRENT_USER);
  ASSERT_TRUE(reader.Open(scratch.Path(), KEY_QUERY_VALUE));
  std::string text;
  EXPECT_TRUE(reader.ReadString("Name", text));
  EXPECT_EQ(text, "value");
  EXPECT_FALSE(reader.WriteString("Name", "changed"));
  ASSERT_TRUE(reader.Open(scratch.Path(), kRegistryFullAccess));
  EXPECT_TRUE(reader.WriteString("Name", "changed"));
}
