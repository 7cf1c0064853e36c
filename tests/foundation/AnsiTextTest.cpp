// Conversions between the code page and UTF-16, and the expansion of environment strings, with texts
// whose byte count differs from their character count: kana and kanji, trail bytes 0x5C (ソ 表 能 予 十)
// and texts near and past the 260-byte path limit.

#include "foundation/AnsiText.h"

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

using testing_support::HexBytes;
using testing_support::SetHarnessSetting;

namespace {

// `count` copies of a text.
std::string Repeat(const std::string& text, size_t count) {
  std::string out;
  for (size_t i = 0; i < count; ++i) out += text;
  return out;
}

}  // namespace

TEST(AnsiText, ConvertsJapaneseTextBothWaysWithByteAndCharacterCountsApart) {
  const std::string ansi = "ソフト表示能力予十\\ゲーム";
  const std::wstring wide = L"ソフト表示能力予十\\ゲーム";
  ASSERT_EQ(25u, ansi.size());
  ASSERT_EQ(13u, wide.size());
  std::wstring toWide;
  ASSERT_TRUE(AnsiToWide(ansi, toWide));
  EXPECT_TRUE(toWide == wide);
  std::string toAnsi;
  ASSERT_TRUE(WideToAnsi(wide, toAnsi));
  EXPECT_EQ(ansi, toAnsi) << HexBytes(toAnsi);

  // A path of 259 bytes and 132 characters.
  const std::string path = "C:\\" + Repeat("表", 127) + "xy";
  ASSERT_EQ(259u, path.size());
  ASSERT_TRUE(AnsiToWide(path, toWide));
  EXPECT_EQ(132u, toWide.size());
  ASSERT_TRUE(WideToAnsi(toWide, toAnsi));
  EXPECT_EQ(path, toAnsi);

  ASSERT_TRUE(AnsiToWide("", toWide));
  EXPECT_TRUE(toWide.empty());
  ASSERT_TRUE(WideToAnsi(L"", toAnsi));
  EXPECT_TRUE(toAnsi.empty());
}

TEST(AnsiText, TextTheCodePageCannotHoldFailsAndLeavesTheOutTextAlone) {
  std::wstring wide = L"kept";
  EXPECT_FALSE(AnsiToWide("表\x95", wide)) << "a lead byte without its trail byte";
  EXPECT_TRUE(wide == L"kept");
  std::string ansi = "kept";
  EXPECT_FALSE(WideToAnsi(L"ソフト\u00E9", ansi)) << "no best fit: U+00E9 is not e";
  EXPECT_FALSE(WideToAnsi(L"表\U0001F600", ansi));
  EXPECT_EQ("kept", ansi);
}

TEST(AnsiText, ExpandsJapaneseEnvironmentStringsWhole) {
  SetHarnessSetting("ADDON_ANSI_GAME", "C:\\ゲーム\\ソフト表");
  std::string out;
  ASSERT_TRUE(ExpandEnvironmentText("%ADDON_ANSI_GAME%\\Sorvane.exe", out));
  EXPECT_EQ("C:\\ゲーム\\ソフト表\\Sorvane.exe", out) << HexBytes(out);
  ASSERT_TRUE(ExpandEnvironmentText("\"%ADDON_ANSI_GAME%\\能力.exe\" -表示 %ADDON_ANSI_GAME%", out));
  EXPECT_EQ("\"C:\\ゲーム\\ソフト表\\能力.exe\" -表示 C:\\ゲーム\\ソフト表", out) << HexBytes(out);

  // A value near the path limit, and one far past it (the first guess at the size is too small).
  for (size_t kanji : {120u, 125u, 600u}) {
    const std::string value = "C:\\" + Repeat("予十", kanji / 2);
    SetHarnessSetting("ADDON_ANSI_GAME", value.c_str());
    ASSERT_TRUE(ExpandEnvironmentText("%ADDON_ANSI_GAME%\\ソ.exe", out));
    EXPECT_EQ(value + "\\ソ.exe", out) << kanji;
  }
  SetHarnessSetting("ADDON_ANSI_GAME", nullptr);

  // An unknown name stays as written.
  ASSERT_TRUE(ExpandEnvironmentText("%ADDON_ANSI_UNSET_表%\\ソフト.exe", out));
  EXPECT_EQ("%ADDON_ANSI_UNSET_表%\\ソフト.exe", out);
}

TEST(AnsiText, TextWithoutEnvironmentStringsComesBackByteForByte) {
  std::string out;
  // NEC's and IBM's codes of the same kanji: a round trip through UTF-16 would give one of them for both.
  for (const std::string& text : {std::string("C:\\ゲーム\\ソフト表\\Sorvane.exe"), std::string("\xED\x40\xFA\x5C"),
                                  std::string("表\x95"), std::string()}) {
    ASSERT_TRUE(ExpandEnvironmentText(text, out));
    EXPECT_EQ(text, out) << HexBytes(text);
  }
  out = "kept";
  EXPECT_FALSE(ExpandEnvironmentText("%ADDON_ANSI_GAME%\\表\x95", out)) << "undefined bytes with a name to expand";
  EXPECT_EQ("kept", out);
}

TEST(AnsiText, ModuleFileNameIsTheWholeNameOfTheProgram) {
  std::string name;
  ASSERT_TRUE(GetModuleFileNameText(nullptr, name));
  EXPECT_EQ(testing_support::ThisProgramPath(), name);
  EXPECT_FALSE(GetModuleFileNameText(reinterpret_cast<HMODULE>(static_cast<INT_PTR>(0x10)), name));
}
